#include "payload/shortcuts.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <vector>

#include "core/com_owners.h"
#include "core/wide.h"
#include "payload/failure.h"
#include "payload/file_primitives.h"
#include "payload/full_path_win32.h"
#include "payload/path_rules.h"

namespace zelkora::payload {
namespace {

bool passes_absolute_rule(const std::u16string& path) { return passes_absolute_path_rule(path, full_path_win32); }

void check_link_folder(const std::wstring& link_path) {
    const DWORD attributes = ::GetFileAttributesW(parent_folder(link_path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !is_folder(attributes)) fail("shortcut_folder_missing");
    if (is_reparse_point(attributes)) fail("shortcut_unsafe");
}

void require_plain_file(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) fail("shortcut_target_missing");
    const DWORD attributes = file_attributes(file.get());
    if (is_folder(attributes) || is_reparse_point(attributes)) fail("shortcut_target_missing");
}

bool lies_below(const std::wstring& path, const std::u16string& root) {
    if (root.empty()) return false;
    const std::wstring prefix = to_wide(root) + L"\\";
    return path.size() > prefix.size() && paths_equal(std::wstring_view(path).substr(0, prefix.size()), prefix);
}

std::optional<std::wstring> full_path_of(const wchar_t* path) {
    const auto full = full_path_win32(from_wide(path));
    if (!full) return std::nullopt;
    return to_wide(*full);
}

// Loads the existing shortcut into the link object and refuses one that
// points outside the product's folders.
void load_existing(IShellLinkW* link, const std::string& bytes, const ShortcutPlan& plan) {
    ComPtr<IPersistStream> persist;
    if (FAILED(link->QueryInterface(IID_IPersistStream, persist.put_void()))) fail("shortcut_unavailable");
    ComPtr<IStream> stream;
    *stream.put() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!stream || FAILED(persist->Load(stream.get()))) fail("shortcut_unreadable");
    std::vector<wchar_t> stored(kShortcutPathUnits, L'\0');
    if (link->GetPath(stored.data(), static_cast<int>(stored.size()), nullptr, 0) != S_OK || stored[0] == L'\0') {
        return;  // no stored path: nothing to belong to anybody else
    }
    const auto full = full_path_of(stored.data());
    if (!full || !(lies_below(*full, plan.product_root) || lies_below(*full, plan.alternative_root))) {
        fail("shortcut_foreign");
    }
}

void set_properties(IShellLinkW* link, const ShortcutPlan& plan) {
    const auto ok = [](HRESULT result) {
        if (FAILED(result)) fail("shortcut_write_failed");
    };
    ok(link->SetPath(to_wide(plan.target).c_str()));
    if (plan.has_arguments) ok(link->SetArguments(to_wide(plan.arguments).c_str()));
    ok(link->SetWorkingDirectory(to_wide(plan.working_folder).c_str()));
    ok(link->SetDescription(to_wide(plan.description).c_str()));
    ok(link->SetIconLocation(to_wide(plan.icon).c_str(), 0));
}

// The shortcut never asks for elevation, whatever the loaded one said.
void clear_run_as_administrator(IShellLinkW* link) {
    ComPtr<IShellLinkDataList> data;
    if (FAILED(link->QueryInterface(IID_IShellLinkDataList, data.put_void()))) return;
    DWORD flags = 0;
    if (FAILED(data->GetFlags(&flags))) return;
    if ((flags & SLDF_RUNAS_USER) == 0) return;
    if (FAILED(data->SetFlags(flags & ~static_cast<DWORD>(SLDF_RUNAS_USER)))) fail("shortcut_write_failed");
}

std::string serialise(IShellLinkW* link) {
    ComPtr<IPersistStream> persist;
    ComPtr<IStream> stream;
    if (FAILED(link->QueryInterface(IID_IPersistStream, persist.put_void())) ||
        FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) || FAILED(persist->Save(stream.get(), TRUE))) {
        fail("shortcut_write_failed");
    }
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart < 1 ||
        stat.cbSize.QuadPart > kMaxShortcutBytes) {
        fail("shortcut_write_failed");
    }
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    const LARGE_INTEGER start{};
    ULONG read = 0;
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size()) {
        fail("shortcut_write_failed");
    }
    return bytes;
}

void notify_shell(LONG event, const std::wstring& link_path) {
    ::SHChangeNotify(event, SHCNF_PATHW, link_path.c_str(), nullptr);
}

ShortcutResult create_or_raise(const ShortcutPlan& plan) {
    if (!passes_absolute_rule(plan.link_path) || !passes_absolute_rule(plan.product_root) ||
        (!plan.alternative_root.empty() && !passes_absolute_rule(plan.alternative_root)) ||
        plan.link_path.find(u'\\') == std::u16string::npos) {
        fail("shortcut_unavailable");
    }
    const std::wstring link_path = to_wide(plan.link_path);
    check_link_folder(link_path);
    require_plain_file(to_wide(plan.target));
    require_plain_file(to_wide(plan.icon));
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        fail("shortcut_unavailable");
    }
    ShortcutResult result;
    if (auto existing = read_shortcut_file(link_path)) {
        result.replaced_existing = true;
        result.previous_bytes = std::move(*existing);
        load_existing(link.get(), result.previous_bytes, plan);
    }
    set_properties(link.get(), plan);
    clear_run_as_administrator(link.get());
    write_shortcut_file(link_path, serialise(link.get()));
    notify_shell(result.replaced_existing ? SHCNE_UPDATEITEM : SHCNE_CREATE, link_path);
    result.ok = true;
    return result;
}

}  // namespace

std::optional<std::string> read_shortcut_file(const std::wstring& link_path) {
    const UniqueFile file(::CreateFileW(link_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return std::nullopt;
        fail("shortcut_unsafe");
    }
    const DWORD attributes = file_attributes(file.get());
    if (is_folder(attributes) || is_reparse_point(attributes)) fail("shortcut_unsafe");
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxShortcutBytes)) {
        fail("shortcut_unreadable");
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())) {
        fail("shortcut_unreadable");
    }
    return bytes;
}

constexpr int kBusyAttempts = 20;
constexpr DWORD kBusyPauseMs = 50;

// The shell opens a file that appears on the desktop to draw its icon, and
// may hold it, or the link being replaced, for a moment. A swap or clean-up
// that meets such a hold is tried again for up to a second.
template <typename Operation>
bool retry_while_busy(Operation operation) {
    for (int attempt = 1;; ++attempt) {
        if (operation()) return true;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == kBusyAttempts) {
            return false;
        }
        reached(WorkPoint::waiting_for_holder);
        ::Sleep(kBusyPauseMs);
    }
}

void delete_temporary(const std::wstring& temporary) {
    [[maybe_unused]] const bool deleted = retry_while_busy([&] { return ::DeleteFileW(temporary.c_str()) != FALSE; });
}

void write_shortcut_file(const std::wstring& link_path, const std::string& bytes) {
    const std::wstring temporary = link_path + L"." + random_tag() + L".zelkora-new";
    bool deleted = true;
    {
        const UniqueFile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) fail("shortcut_write_failed");
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !::FlushFileBuffers(file.get())) {
            deleted = delete_by_handle(file.get());
            if (deleted) fail("shortcut_write_failed");
        }
    }
    // Not deleted through its handle: once closed, it goes by name.
    if (!deleted) {
        delete_temporary(temporary);
        fail("shortcut_write_failed");
    }
    const bool swapped = retry_while_busy([&] {
        return ::MoveFileExW(temporary.c_str(), link_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
    });
    if (!swapped) {
        delete_temporary(temporary);
        fail("shortcut_write_failed");
    }
}

ShortcutResult create_shortcut(const ShortcutPlan& plan) {
    const ComApartment apartment;
    try {
        return create_or_raise(plan);
    } catch (const Failure& failure) {
        return {false, failure.code(), false, {}};
    } catch (...) {
        return {false, "shortcut_write_failed", false, {}};
    }
}

std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes) {
    try {
        if (!passes_absolute_rule(link_path)) return "shortcut_unavailable";
        const std::wstring path = to_wide(link_path);
        // Refuses a folder, a link or an oversized file now at the name.
        [[maybe_unused]] const auto current = read_shortcut_file(path);
        write_shortcut_file(path, bytes);
        notify_shell(SHCNE_UPDATEITEM, path);
        return {};
    } catch (const Failure& failure) {
        return failure.code();
    } catch (...) {
        return "shortcut_write_failed";
    }
}

}  // namespace zelkora::payload
