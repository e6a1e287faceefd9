// Shortcuts through the shell's link object, written into real folders of the
// Wine prefix, and the start of a program as the desktop user. The requests
// go through a payload context over the real file work, as on the pipe. A
// desktop that another program of the user replaces by a link is played by a
// Unix symbolic link, which Wine cannot make itself: the tests run ln.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/com_owners_win32.h"
#include "core/file_paths_win32.h"
#include "core/text_encoding.h"
#include "core/wide.h"
#include "console_session.h"
#include "file_tree.h"
#include "payload/desktop_user_start_win32.h"
#include "payload/file_work_win32.h"
#include "payload/full_path_win32.h"
#include "payload/shortcuts_win32.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora;
using namespace zelkora::payload;

constexpr std::size_t kLinkFlagsOffset = 0x14;
constexpr UINT kNotified = WM_APP + 7;
const std::string kShortcut = "-6|shortcut-v1|client|1.0.0";
const std::string kRestore = "-6|shortcut-restore-v1|client";
const std::string kOk = "payload-v1|ok\n";

// A link file as the shell writes it; run_as sets the run-as-administrator
// flag in the bytes, since Wine's link object drops it.
std::string link_bytes(const std::wstring& target, const std::wstring& arguments = L"", bool run_as = false) {
    const ComApartment apartment;
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        return {};
    }
    if (!target.empty()) link->SetPath(target.c_str());
    if (!arguments.empty()) link->SetArguments(arguments.c_str());
    link->SetDescription(L"made by the test");
    const auto persist = link.query<IPersistStream>(IID_IPersistStream);
    ComPtr<IStream> stream;
    if (!persist || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) ||
        FAILED(persist->Save(stream.get(), TRUE))) {
        return {};
    }
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    const LARGE_INTEGER start{};
    ULONG read = 0;
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    if (run_as && bytes.size() > kLinkFlagsOffset + 4) bytes[kLinkFlagsOffset + 1] |= 0x20;  // 0x2000
    return bytes;
}

std::uint32_t link_flags(const std::string& bytes) {
    std::uint32_t flags = 0;
    if (bytes.size() >= kLinkFlagsOffset + 4) std::memcpy(&flags, bytes.data() + kLinkFlagsOffset, 4);
    return flags;
}

struct LinkFields {
    std::wstring path;
    std::wstring arguments;
    std::wstring working_folder;
    std::wstring description;
    std::wstring icon;
};

LinkFields read_link(const std::string& bytes) {
    const ComApartment apartment;
    LinkFields fields;
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        return fields;
    }
    const auto persist = link.query<IPersistStream>(IID_IPersistStream);
    ComPtr<IStream> stream;
    *stream.put() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!persist || !stream || FAILED(persist->Load(stream.get()))) return fields;
    std::vector<wchar_t> text(kShortcutPathUnits, L'\0');
    int icon_index = -1;
    link->GetPath(text.data(), static_cast<int>(text.size()), nullptr, 0);
    fields.path = text.data();
    link->GetArguments(text.data(), static_cast<int>(text.size()));
    fields.arguments = text.data();
    link->GetWorkingDirectory(text.data(), static_cast<int>(text.size()));
    fields.working_folder = text.data();
    link->GetDescription(text.data(), static_cast<int>(text.size()));
    fields.description = text.data();
    link->GetIconLocation(text.data(), static_cast<int>(text.size()), &icon_index);
    fields.icon = text.data() + std::wstring(L",") + std::to_wstring(icon_index);
    return fields;
}

// Shell change notifications for one folder, received by a window of the
// test's thread. The shell may send them as well as post them.
class ChangeWatch {
public:
    explicit ChangeWatch(const std::wstring& folder) {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = &ChangeWatch::procedure;
        window_class.hInstance = ::GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"ZelkoraTestChangeWatch";
        ::RegisterClassW(&window_class);
        window_ = ::CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    window_class.hInstance, nullptr);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen_));
        PIDLIST_ABSOLUTE pidl = ::ILCreateFromPathW(folder.c_str());
        SHChangeNotifyEntry entry{pidl, TRUE};
        id_ = ::SHChangeNotifyRegister(window_, SHCNRF_ShellLevel | SHCNRF_InterruptLevel,
                                       SHCNE_CREATE | SHCNE_UPDATEITEM, kNotified, 1, &entry);
        ::ILFree(pidl);
    }
    ~ChangeWatch() {
        if (id_) ::SHChangeNotifyDeregister(id_);
        if (window_) ::DestroyWindow(window_);
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    bool registered() const { return id_ != 0; }

    // The events that arrived since the last call, in order.
    std::vector<LONG> events() {
        const auto until = std::chrono::steady_clock::now() + 300ms;
        while (std::chrono::steady_clock::now() < until) {
            MSG message{};
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
            std::this_thread::sleep_for(10ms);
        }
        return std::exchange(seen_, {});
    }

private:
    HWND window_ = nullptr;
    ULONG id_ = 0;
    std::vector<LONG> seen_;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message != kNotified) return ::DefWindowProcW(window, message, wparam, lparam);
        auto* seen = reinterpret_cast<std::vector<LONG>*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (seen) seen->push_back(static_cast<LONG>(lparam));
        return 0;
    }
};

// The file work with hooks in the shortcut operations.
class HookedWork final : public PayloadExecutor {
public:
    ShortcutHooks hooks;

    PlacementResult place(const PlacementPlan& plan) override { return work_.place(plan); }
    ShortcutResult create_shortcut(const ShortcutPlan& plan) override { return payload::create_shortcut(plan, hooks); }
    std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes) override {
        return payload::restore_shortcut(link_path, bytes, hooks);
    }
    RemovalResult remove_versions(const RemovalRequest& request) override { return work_.remove_versions(request); }
    std::string remove_source(const std::u16string& setup_bin) override { return work_.remove_source(setup_bin); }

private:
    FileWork work_{test::owners_with_current_user()};
};

// The Linux path of a path of the prefix, by Wine's own export.
std::string unix_path(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = convert ? convert(path.c_str()) : nullptr;
    if (!name) return {};
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

// Runs a Linux program of the machine (Wine starts it directly) and waits
// until check says it has done its work.
bool run_unix(const std::wstring& program, const std::string& arguments, const std::function<bool()>& check) {
    const auto wide = utf8_to_utf16_strict(arguments);
    const auto started = wide ? test::start_process(L"Z:\\bin\\" + program, to_wide(*wide)) : std::nullopt;
    return started && test::wait_until(check, 10s);
}

// Moves folder aside and puts a symbolic link to target in its place, as any
// program of the user could while the setup works.
bool replace_by_link(const std::wstring& folder, const std::wstring& target) {
    if (!::MoveFileExW(folder.c_str(), (folder + L".moved").c_str(), 0)) return false;
    return run_unix(L"ln", "-s \"" + unix_path(target) + "\" \"" + unix_path(folder) + "\"",
                    [&] { return ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

// Takes the link away again and puts the folder back.
void undo_link(const std::wstring& folder) {
    const std::string link = unix_path(folder);
    run_unix(L"rm", "\"" + link + "\"", [&] { return ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES; });
    ::MoveFileExW((folder + L".moved").c_str(), folder.c_str(), 0);
}

class Shortcut : public testing::Test {
public:
    test::ScratchFolder scratch;
    state::WellKnownLocations locations{from_wide(scratch / L"bin"), from_wide(scratch / L"pf"),
                                        from_wide(scratch / L"local"), u"", u"", from_wide(scratch / L"Desktop")};
    std::wstring desktop = scratch / L"Desktop";
    std::wstring link = desktop + L"\\Zelkora.lnk";
    std::wstring version_folder = scratch / L"pf\\Zelkora\\Client\\1.0.0";
    std::wstring target = version_folder + L"\\Zelkora.exe";
    HookedWork work;
    std::unique_ptr<PayloadContext> context;

    void SetUp() override {
        test::make_folders(desktop);
        test::write_file(target, "MZ");
        use();
    }

    void use() {
        context = std::make_unique<PayloadContext>(locations, Flavour::client, "1.0.0", full_path_win32, work);
    }

    std::string send(const std::string& line) {
        std::string reply;
        EXPECT_TRUE(context->handle_line(line, reply));
        return reply;
    }

    // No temporary file is ever left beside the link.
    void expect_only_the_link() const {
        for (const auto& [name, bytes] : test::snapshot_tree(desktop)) EXPECT_EQ(name, L"Zelkora.lnk");
    }
};

TEST_F(Shortcut, FirstShortcutIsCreatedAndAnnouncedAndLeavesNothingToRestore) {
    ChangeWatch watch(desktop);
    ASSERT_TRUE(watch.registered());
    EXPECT_EQ(send(kShortcut), kOk);
    EXPECT_EQ(watch.events(), std::vector<LONG>{SHCNE_CREATE});
    const auto bytes = test::read_file(link);
    ASSERT_TRUE(bytes);
    const LinkFields fields = read_link(*bytes);
    EXPECT_TRUE(paths_equal(fields.path, target)) << fields.path;
    EXPECT_EQ(fields.arguments, L"");
    EXPECT_TRUE(paths_equal(fields.working_folder, version_folder)) << fields.working_folder;
    EXPECT_EQ(fields.description, L"Zelkora \uD074\uB77C\uC6B0\uB4DC \uB370\uC2A4\uD06C\uD1B1");
    EXPECT_TRUE(paths_equal(fields.icon, target + L",0")) << fields.icon;
    expect_only_the_link();

    // Updating its own shortcut is an update, and there is still nothing to restore.
    EXPECT_EQ(send(kShortcut), kOk);
    EXPECT_EQ(watch.events(), std::vector<LONG>{SHCNE_UPDATEITEM});
    EXPECT_EQ(send(kRestore), "payload-v1|error|shortcut_restore_unavailable\n");
}

TEST_F(Shortcut, AUsersOwnShortcutIsNeverOverwritten) {
    const std::string own = link_bytes(L"C:\\windows\\notepad.exe");
    ASSERT_FALSE(own.empty());
    test::write_file(link, own);
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_foreign\n");
    EXPECT_EQ(test::read_file(link), own);
    // A path that only begins like the product folder is not below it.
    const std::string lookalike = link_bytes(scratch / L"pf\\Zelkora\\Client-old\\Zelkora.exe");
    test::write_file(link, lookalike);
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_foreign\n");
    EXPECT_EQ(test::read_file(link), lookalike);
    expect_only_the_link();
}

TEST_F(Shortcut, APerUserShortcutIsReplacedAndRestoredFromBeforeTheFirstRequest) {
    const std::string per_user = link_bytes(scratch / L"local\\Zelkora\\Client\\0.8.0\\Zelkora.exe", L"--from-tray");
    ASSERT_FALSE(per_user.empty());
    test::write_file(link, per_user);
    EXPECT_EQ(send(kShortcut), kOk);
    const auto replaced = test::read_file(link);
    ASSERT_TRUE(replaced);
    EXPECT_NE(*replaced, per_user);
    const LinkFields fields = read_link(*replaced);
    EXPECT_TRUE(paths_equal(fields.path, target)) << fields.path;
    EXPECT_EQ(fields.arguments, L"--from-tray");  // not set by the request, so kept
    EXPECT_EQ(send(kShortcut), kOk);
    EXPECT_EQ(send(kRestore), kOk);
    EXPECT_EQ(test::read_file(link), per_user);
    expect_only_the_link();
}

HANDLE hold_met = nullptr;  // set when the swap has met the test's hold

// The shell opens links on the desktop to draw them; a replacement that meets
// such a short hold waits for it instead of failing. The hold ends only once
// the swap has met it.
TEST_F(Shortcut, ALinkHeldOpenForAMomentIsStillReplaced) {
    const std::string per_user = link_bytes(scratch / L"local\\Zelkora\\Client\\0.8.0\\Zelkora.exe");
    ASSERT_FALSE(per_user.empty());
    test::write_file(link, per_user);
    UniqueFile held(::CreateFileW(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const UniqueHandle met(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    hold_met = met.get();
    set_work_point_handler([](WorkPoint point) {
        if (point == WorkPoint::waiting_for_holder) ::SetEvent(hold_met);
    });
    std::thread release_when_met([&] {
        ::WaitForSingleObject(met.get(), 30000);
        held.reset();
    });
    EXPECT_EQ(send(kShortcut), kOk);
    release_when_met.join();
    set_work_point_handler(nullptr);
    EXPECT_EQ(::WaitForSingleObject(met.get(), 0), WAIT_OBJECT_0) << "the swap never met the hold";
    const auto replaced = test::read_file(link);
    ASSERT_TRUE(replaced);
    EXPECT_TRUE(paths_equal(read_link(*replaced).path, target));
    expect_only_the_link();
}

TEST_F(Shortcut, AShortcutWithoutAStoredPathIsReplaced) {
    const std::string empty = link_bytes(L"");
    ASSERT_FALSE(empty.empty());
    test::write_file(link, empty);
    EXPECT_EQ(send(kShortcut), kOk);
    EXPECT_TRUE(paths_equal(read_link(*test::read_file(link)).path, target));
}

TEST_F(Shortcut, TheRunAsAdministratorFlagIsCleared) {
    const std::string elevated = link_bytes(target, L"", true);
    ASSERT_NE(link_flags(elevated) & SLDF_RUNAS_USER, 0u);
    test::write_file(link, elevated);
    EXPECT_EQ(send(kShortcut), kOk);
    const auto written = test::read_file(link);
    ASSERT_TRUE(written);
    EXPECT_EQ(link_flags(*written) & SLDF_RUNAS_USER, 0u);
}

TEST_F(Shortcut, ExistingFilesThatAreNoShortcutsAreRefused) {
    test::write_file(link, std::string(kMaxShortcutBytes + 1, 'L'));
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_unreadable\n");
    EXPECT_EQ(test::read_file(link)->size(), kMaxShortcutBytes + 1);
    test::write_file(link, "not a shell link");
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_unreadable\n");
    EXPECT_EQ(test::read_file(link), "not a shell link");
    test::remove_tree(L"\\\\?\\" + link);
    test::make_folders(link);
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_unsafe\n");
}

TEST_F(Shortcut, MissingOrUnsafeFoldersAndTargets) {
    locations.desktop.clear();
    use();
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_unavailable\n");
    locations.desktop = from_wide(scratch / L"no-desktop");
    use();
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_folder_missing\n");
    // Wine shows a Unix link to a folder with the reparse-point attribute.
    locations.desktop = u"C:\\zelkora-links\\folder-link";
    use();
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_unsafe\n");
    EXPECT_FALSE(test::read_file(L"C:\\zelkora-links\\real\\Zelkora.lnk"));
    locations.desktop = from_wide(desktop);
    use();
    test::remove_tree(L"\\\\?\\" + target);
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_target_missing\n");
    test::make_folders(target);
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_target_missing\n");
    EXPECT_TRUE(test::snapshot_tree(desktop).empty());
}

TEST_F(Shortcut, RestoreRefusesAFolderAtTheLinkPath) {
    test::write_file(link, link_bytes(scratch / L"local\\Zelkora\\Client\\0.8.0\\Zelkora.exe"));
    EXPECT_EQ(send(kShortcut), kOk);
    test::remove_tree(L"\\\\?\\" + link);
    test::make_folders(link);
    EXPECT_EQ(send(kRestore), "payload-v1|error|shortcut_unsafe\n");
}

// A read-only product shortcut is made writable through the handle it was
// judged through and replaced; a read-only shortcut of somebody else is left
// as it is, attribute included.
TEST_F(Shortcut, AReadOnlyShortcutIsReplacedOnlyWhenItIsOurs) {
    const std::string per_user = link_bytes(scratch / L"local\\Zelkora\\Client\\0.8.0\\Zelkora.exe");
    const std::string own = link_bytes(L"C:\\windows\\notepad.exe");
    ASSERT_FALSE(per_user.empty());
    test::write_file(link, per_user);
    ASSERT_TRUE(::SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(send(kShortcut), kOk);
    EXPECT_TRUE(paths_equal(read_link(test::read_file(link).value_or("")).path, target));
    EXPECT_EQ(send(kRestore), kOk);
    EXPECT_EQ(test::read_file(link), per_user);
    expect_only_the_link();

    ASSERT_TRUE(::SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL));
    test::write_file(link, own);
    ASSERT_TRUE(::SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(send(kShortcut), "payload-v1|error|shortcut_foreign\n");
    EXPECT_EQ(test::read_file(link), own);
    EXPECT_NE(::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    ::SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Temporary files of a write that never finished are cleared by the next
// request; anything that only looks like one stays.
TEST_F(Shortcut, LeftTemporariesOfTheLinkAreClearedAndNothingElse) {
    const std::vector<std::wstring> strays = {L"Zelkora.lnk.0123456789ab.zelkora-new", L"zelkora.LNK.ffffffffffff.zelkora-new"};
    const std::vector<std::wstring> kept = {L"Zelkora.lnk.ABCDEF012345.zelkora-new", L"Zelkora.lnk.0123456789a.zelkora-new",
                                            L"Zelkora.lnk.0123456789ab.zelkora-old", L"Other.lnk.0123456789ab.zelkora-new",
                                            L"Zelkora.lnk.0123456789ab.zelkora-new.txt"};
    for (const auto& name : strays) test::write_file(desktop + L"\\" + name, "partial");
    for (const auto& name : kept) test::write_file(desktop + L"\\" + name, "user's");
    test::make_folders(desktop + L"\\Zelkora.lnk.aaaaaaaaaaaa.zelkora-new\\inside");
    EXPECT_EQ(send(kShortcut), kOk);
    const auto tree = test::snapshot_tree(desktop);
    for (const auto& name : strays) EXPECT_FALSE(tree.contains(name)) << name;
    for (const auto& name : kept) EXPECT_EQ(tree.count(name), 1u) << name;
    EXPECT_EQ(tree.count(L"Zelkora.lnk.aaaaaaaaaaaa.zelkora-new\\inside"), 1u);
    EXPECT_TRUE(tree.contains(L"Zelkora.lnk"));
}

// The desktop, or a folder above it, replaced by a link to another folder
// between two requests of one session of payload-console: the later requests
// refuse, and nothing reaches the folder the link points to.
TEST(ShortcutThroughConsole, ADesktopReplacedByALinkBetweenRequestsIsRefused) {
    struct Case {
        const wchar_t* replaced;  // below the scratch folder
        const wchar_t* decoy;     // what the link points to instead
    };
    for (const Case& swap : {Case{L"user\\Desktop", L"decoy\\Desktop"}, Case{L"user", L"decoy"}}) {
        SCOPED_TRACE(std::string("replaced: ") + utf16_to_utf8(from_wide(swap.replaced)));
        test::ScratchFolder scratch;
        const std::wstring desktop = scratch / L"user\\Desktop";
        test::make_folders(desktop);
        test::make_folders(scratch / L"decoy\\Desktop");
        test::write_file(scratch / L"pf\\Zelkora\\Client\\1.0.0\\Zelkora.exe", "MZ");
        const std::string per_user = link_bytes(scratch / L"local\\Zelkora\\Client\\0.8.0\\Zelkora.exe");
        test::write_file(desktop + L"\\Zelkora.lnk", per_user);

        test::ConsoleSession session(L"--bin " + scratch / L"bin" + L" --program-files " + scratch / L"pf" +
                               L" --local-app-data " + scratch / L"local" + L" --desktop " + desktop);
        ASSERT_TRUE(session.started());
        EXPECT_EQ(session.ask(kShortcut), kOk);
        const auto written = test::read_file(desktop + L"\\Zelkora.lnk");
        ASSERT_TRUE(written);
        ASSERT_TRUE(replace_by_link(scratch / swap.replaced, scratch / swap.decoy));
        EXPECT_EQ(session.ask(kShortcut), "payload-v1|error|shortcut_unsafe\n");
        EXPECT_EQ(session.ask(kRestore), "payload-v1|error|shortcut_unsafe\n");
        session.finish();
        EXPECT_EQ(test::snapshot_tree(scratch / L"decoy"), (test::TreeSnapshot{{L"Desktop", "<folder>"}}));
        undo_link(scratch / swap.replaced);
        EXPECT_EQ(test::read_file(desktop + L"\\Zelkora.lnk"), written);
    }
}

// The same swap made at the exact points between the folder's check and its
// use. The held folder itself cannot be renamed (it is open without delete
// sharing), on Windows nor can a folder above it; where a rename of a parent
// gets through (Wine), the final-path checks refuse and the file that was
// written is taken back. Either way nothing reaches the decoy, and what the
// request leaves in the real desktop is the link or, under Wine, a temporary
// the next request clears.
TEST_F(Shortcut, AFolderSwappedDuringTheWorkIsNeverWrittenThrough) {
    const std::wstring user = scratch / L"user";
    desktop = user + L"\\Desktop";
    link = desktop + L"\\Zelkora.lnk";
    locations.desktop = from_wide(desktop);
    test::make_folders(desktop);
    test::make_folders(scratch / L"decoy\\Desktop");
    use();
    struct Case {
        const char* name;
        bool at_swap;             // else once the folder is held
        std::wstring swapped;     // the folder replaced by a link
        std::wstring decoy;       // where the link points
        bool rename_refused;      // on every system
    };
    const Case cases[] = {
        {"the desktop, once held", false, desktop, scratch / L"decoy\\Desktop", true},
        {"the desktop, before the swap", true, desktop, scratch / L"decoy\\Desktop", true},
        {"the folder above, once held", false, user, scratch / L"decoy", false},
        {"the folder above, before the swap", true, user, scratch / L"decoy", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool replaced = false;
        work.hooks = {};
        (c.at_swap ? work.hooks.before_swap : work.hooks.folder_pinned) = [&] {
            replaced = replace_by_link(c.swapped, c.decoy);
        };
        const std::string reply = send(kShortcut);
        work.hooks = {};
        EXPECT_EQ(test::snapshot_tree(scratch / L"decoy"), (test::TreeSnapshot{{L"Desktop", "<folder>"}}));
        if (c.rename_refused) EXPECT_FALSE(replaced);
        if (replaced) {
            EXPECT_TRUE(reply.starts_with("payload-v1|error|shortcut_")) << reply;
            undo_link(c.swapped);
            // Wine deletes a file by the name it was opened under, which now
            // leads elsewhere: its temporary may stay, for the next request.
            for (const auto& [name, bytes] : test::snapshot_tree(desktop)) {
                EXPECT_TRUE(is_shortcut_work_name(name, L"Zelkora.lnk")) << std::string(name.begin(), name.end());
            }
            EXPECT_EQ(send(kShortcut), kOk);
        } else {
            EXPECT_EQ(reply, kOk);
        }
        expect_only_the_link();
        test::remove_tree(L"\\\\?\\" + link);
    }
}

// Ended in the middle of the swap (the new link complete under its temporary
// name), the setup leaves the old shortcut whole and one temporary file; the
// same request run again answers ok and leaves only the link.
TEST_F(Shortcut, ASetupEndedDuringTheSwapLeavesNothingTheNextRequestKeeps) {
    const std::string per_user = link_bytes(scratch / L"local\\Zelkora\\Client\\0.8.0\\Zelkora.exe");
    test::write_file(link, per_user);
    const std::wstring paused = scratch / L"paused";
    ::SetEnvironmentVariableW(L"ZELKORA_SHORTCUT_PAUSE_ROOT", scratch.path().c_str());
    const auto child = test::start_process(
        test::this_program(), L"--gtest_filter=Shortcut.DISABLED_PausesDuringTheSwap --gtest_also_run_disabled_tests");
    ::SetEnvironmentVariableW(L"ZELKORA_SHORTCUT_PAUSE_ROOT", nullptr);
    ASSERT_TRUE(child);
    const bool reached = test::wait_until([&] { return test::read_file(paused).has_value(); }, 60s);
    ::TerminateProcess(child->process.get(), 9);
    ASSERT_TRUE(test::wait_for_exit(*child, 10s));
    ASSERT_TRUE(reached);
    const auto left = test::snapshot_tree(desktop);
    EXPECT_EQ(left.size(), 2u);
    EXPECT_EQ(left.at(L"Zelkora.lnk"), per_user);
    EXPECT_EQ(std::count_if(left.begin(), left.end(),
                            [](const auto& entry) { return is_shortcut_work_name(entry.first, L"Zelkora.lnk"); }),
              1);

    EXPECT_EQ(send(kShortcut), kOk);
    expect_only_the_link();
    EXPECT_TRUE(paths_equal(read_link(test::read_file(link).value_or("")).path, target));
}

// The worker of the test above, started as a process of its own.
TEST_F(Shortcut, DISABLED_PausesDuringTheSwap) {
    wchar_t root[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"ZELKORA_SHORTCUT_PAUSE_ROOT", root, MAX_PATH), 0u);
    desktop = std::wstring(root) + L"\\Desktop";
    locations = state::WellKnownLocations{from_wide(std::wstring(root) + L"\\bin"), from_wide(std::wstring(root) + L"\\pf"),
                                          from_wide(std::wstring(root) + L"\\local"), u"", u"", from_wide(desktop)};
    use();
    work.hooks.before_swap = [&] {
        test::write_file(std::wstring(root) + L"\\paused", "");
        ::Sleep(INFINITE);
    };
    ADD_FAILURE() << "answered: " << send(kShortcut);
}

TEST(DesktopUserStart, TheShellStartsTheProgram) {
    test::ScratchFolder scratch;
    const std::wstring marker = scratch / L"started.txt";
    // A prefix made moments ago may not have registered its desktop with the
    // shell windows yet; a user's session always has. Until it has, the call
    // starts nothing and answers false.
    const auto shell_ready_by = std::chrono::steady_clock::now() + 20s;
    bool started = false;
    while (!(started = start_as_desktop_user(L"C:\\windows\\system32\\cmd.exe", L"/c echo started> started.txt",
                                             scratch.path())) &&
           std::chrono::steady_clock::now() < shell_ready_by) {
        std::this_thread::sleep_for(200ms);
    }
    ASSERT_TRUE(started);
    const auto until = std::chrono::steady_clock::now() + 20s;
    // cmd makes the file before it writes into it.
    while (test::read_file(marker).value_or("") != "started\r\n" && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(50ms);
    }
    const auto written = test::read_file(marker);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, "started\r\n");
}

}  // namespace
