#include "payload/shortcuts_win32.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <winternl.h>

#include <cstring>
#include <optional>
#include <vector>

#include "core/com_owners_win32.h"
#include "core/scope_exit.h"
#include "core/wide.h"
#include "payload/failure.h"
#include "payload/reply_codes.h"
#include "payload/file_primitives_win32.h"
#include "payload/full_path_win32.h"
#include "payload/removal_win32.h"

namespace zelkora::payload {
namespace {

constexpr int kBusyAttempts = 20;
constexpr DWORD kBusyPauseMs = 50;
constexpr std::wstring_view kWorkSuffix = L".zelkora-new";
constexpr std::size_t kTagLength = 12;
// Missing from MinGW's headers; the values are fixed by the Windows ABI.
constexpr auto kFileRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kStatusNotSupported = static_cast<NTSTATUS>(0xC00000BB);

void require_plain_file(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) fail(kShortcutTargetMissing);
    const DWORD attributes = file_attributes(file.get());
    if (is_folder(attributes) || is_reparse_point(attributes)) fail(kShortcutTargetMissing);
}

// The shell opens a file that appears on the desktop to draw its icon, and
// may hold it for a moment: such a hold shows as a sharing violation and is
// waited out for up to a second. Nothing else is tried again; an access
// denial in particular is what a read-only file or a hostile change gives.
template <typename Operation>
bool retry_while_shared(Operation operation) {
    for (int attempt = 1;; ++attempt) {
        if (operation()) return true;
        if (::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kBusyAttempts) return false;
        reached(WorkPoint::waiting_for_holder);
        ::Sleep(kBusyPauseMs);
    }
}

// The folder that holds the link, held open from the first look at it to
// the end of the operation.
class LinkFolder {
public:
    explicit LinkFolder(const std::wstring& link_path) {
        const std::size_t separator = link_path.rfind(L'\\');
        link_name_ = link_path.substr(separator + 1);
        if (link_name_.empty() || link_name_ == L"." || link_name_ == L".." ||
            link_name_.find(L':') != std::wstring::npos) {
            fail(kShortcutUnavailable);
        }
        const std::wstring path = parent_folder(link_path);
        // No delete sharing: while this handle is open, neither the folder
        // nor a folder above it can be renamed or replaced.
        const bool opened = retry_while_shared([&] {
            folder_.reset(::CreateFileW(path.c_str(),
                                        FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            return static_cast<bool>(folder_);
        });
        if (!opened) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY) {
                fail(kShortcutFolderMissing);
            }
            fail(kShortcutUnsafe);
        }
        const DWORD attributes = file_attributes(folder_.get());
        if (is_reparse_point(attributes)) fail(kShortcutUnsafe);
        if (!is_folder(attributes)) fail(kShortcutFolderMissing);
        // Refuses a junction, link or short-name alias anywhere on the way.
        try {
            final_ = final_path(folder_.get());
            if (!paths_equal(final_, long_path(path))) fail(kShortcutUnsafe);
        } catch (const Failure&) {
            fail(kShortcutUnsafe);
        }
        if (!final_.empty() && final_.back() == L'\\') final_.pop_back();
    }

    const std::wstring& link_name() const { return link_name_; }

    // Opens a file of this folder by its name, relative to the held handle
    // and without following a link. Invalid when it does not open, with the
    // reason in GetLastError.
    UniqueFile open(const std::wstring& name, ACCESS_MASK access, ULONG sharing, ULONG disposition) const {
        UNICODE_STRING object_name{};
        object_name.Buffer = const_cast<wchar_t*>(name.c_str());
        object_name.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
        object_name.MaximumLength = object_name.Length;
        OBJECT_ATTRIBUTES attributes{};
        InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, folder_.get(), nullptr);
        IO_STATUS_BLOCK status_block{};
        HANDLE opened = nullptr;
        const NTSTATUS status =
            ::NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &status_block, nullptr, FILE_ATTRIBUTE_NORMAL,
                           sharing, disposition,
                           FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
        if (status < 0) {
            ::SetLastError(::RtlNtStatusToDosError(status));
            return UniqueFile();
        }
        return UniqueFile(opened);
    }

    // The file must stand under name in this very folder.
    void require_inside(HANDLE file, const std::wstring& name) const {
        try {
            if (paths_equal(final_path(file), final_ + L"\\" + name)) return;
        } catch (const Failure&) {
        }
        fail(kShortcutUnsafe);
    }

    // False with a sharing violation while somebody holds the file at name
    // without letting it be deleted: a replacing rename would only be
    // refused with an access denial, which says nothing about why.
    bool may_be_replaced(const std::wstring& name) const {
        const UniqueFile current = open(name, DELETE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN);
        return current || ::GetLastError() != ERROR_SHARING_VIOLATION;
    }

    // Moves file to name in this folder, replacing what stands there. POSIX
    // semantics let the swap pass a reader that shares delete access; systems
    // and file systems without them take the plain rename. The system call
    // itself, since only it takes a name relative to the folder everywhere.
    bool move_here(HANDLE file, const std::wstring& name) const {
        const std::size_t name_bytes = name.size() * sizeof(wchar_t);
        std::vector<std::byte> storage(sizeof(FILE_RENAME_INFORMATION) + name_bytes);
        auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(storage.data());
        const ULONG flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        std::memcpy(&info->ReplaceIfExists, &flags, sizeof(flags));  // the extended class's Flags field
        info->RootDirectory = folder_.get();
        info->FileNameLength = static_cast<ULONG>(name_bytes);
        std::memcpy(info->FileName, name.data(), name_bytes);
        const auto size = static_cast<ULONG>(storage.size());
        IO_STATUS_BLOCK status_block{};
        NTSTATUS status = ::NtSetInformationFile(file, &status_block, info, size, kFileRenameInformationEx);
        if (status == kStatusNotImplemented || status == kStatusInvalidInfoClass || status == kStatusInvalidParameter || status == kStatusNotSupported) {
            std::memset(&info->ReplaceIfExists, 0, sizeof(flags));
            info->ReplaceIfExists = TRUE;
            status = ::NtSetInformationFile(file, &status_block, info, size, FileRenameInformation);
        }
        if (status >= 0) return true;
        ::SetLastError(::RtlNtStatusToDosError(status));
        return false;
    }

    // Best effort: deletes the temporary files of earlier writes of this link
    // that never finished (a setup ended in the middle), plain files only,
    // each by its own handle.
    void clear_work_files() const {
        std::vector<std::wstring> strays;
        try {
            visit_folder(folder_.get(), {}, [&](const FolderEntry& entry) {
                if (!is_folder(entry.attributes) && !is_reparse_point(entry.attributes) &&
                    is_shortcut_work_name(entry.name, link_name_))
                    strays.push_back(entry.name);
                return true;
            });
        } catch (const Failure&) {
            return;
        }
        for (const auto& name : strays) {
            const UniqueFile stray = open(name, DELETE | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN);
            if (!stray) continue;
            try {
                const DWORD attributes = file_attributes(stray.get());
                if (is_folder(attributes) || is_reparse_point(attributes)) continue;
                require_inside(stray.get(), name);
            } catch (const Failure&) {
                continue;
            }
            [[maybe_unused]] const bool deleted = delete_by_handle(stray.get());
        }
    }

private:
    UniqueFile folder_;
    std::wstring final_;
    std::wstring link_name_;
};

// The link file now under the link's name, read through the pinned folder.
// Its handle stays open without write or delete sharing, so the bytes that
// were judged are what stands there until the handle is given up.
struct ExistingLink {
    UniqueFile file;
    std::string bytes;
};

// Nothing when there is no file. Raises "shortcut_unsafe" (a folder, a link,
// or not openable), "shortcut_unreadable" (over 1 MiB or a failed read) or
// "payload_identity_unavailable".
std::optional<ExistingLink> read_existing(const LinkFolder& folder) {
    ExistingLink existing;
    const bool opened = retry_while_shared([&] {
        existing.file = folder.open(folder.link_name(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, FILE_OPEN);
        return static_cast<bool>(existing.file);
    });
    if (!opened) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return std::nullopt;
        fail(kShortcutUnsafe);
    }
    const DWORD attributes = file_attributes(existing.file.get());
    if (is_folder(attributes) || is_reparse_point(attributes)) fail(kShortcutUnsafe);
    folder.require_inside(existing.file.get(), folder.link_name());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(existing.file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxShortcutBytes)) {
        fail(kShortcutUnreadable);
    }
    existing.bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!existing.bytes.empty() && (!::ReadFile(existing.file.get(), existing.bytes.data(),
                                                static_cast<DWORD>(existing.bytes.size()), &read, nullptr) ||
                                    read != existing.bytes.size())) {
        fail(kShortcutUnreadable);
    }
    return existing;
}

// A read-only product shortcut is made writable through the handle its
// bytes were read and judged through, so the swap can replace it. Only a
// shortcut already known to be ours gets here.
void clear_read_only(const ExistingLink& existing) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(existing.file.get(), FileBasicInfo, &basic, sizeof(basic))) {
        fail(kShortcutWriteFailed);
    }
    if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return;
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(existing.file.get(), FileBasicInfo, &basic, sizeof(basic))) {
        fail(kShortcutWriteFailed);
    }
}

// Writes under a temporary name beside the link and swaps it in, so the old
// shortcut stays whole until the swap; the existing link's handle is given up
// just before, since an open file cannot be replaced. Raises
// "shortcut_write_failed", "shortcut_unsafe" or "payload_hash_unavailable".
void write_link(const LinkFolder& folder, const std::string& bytes, std::optional<ExistingLink>& existing,
                const ShortcutHooks& hooks) {
    const std::wstring temporary_name = folder.link_name() + L"." + random_tag() + std::wstring(kWorkSuffix);
    const UniqueFile temporary =
        folder.open(temporary_name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE);
    if (!temporary) fail(kShortcutWriteFailed);
    ScopeExit delete_temporary([&] { [[maybe_unused]] const bool deleted = delete_by_handle(temporary.get()); });
    folder.require_inside(temporary.get(), temporary_name);
    DWORD written = 0;
    if (!::WriteFile(temporary.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !::FlushFileBuffers(temporary.get())) {
        fail(kShortcutWriteFailed);
    }
    if (hooks.before_swap) hooks.before_swap();
    existing.reset();
    if (!retry_while_shared([&] {
            return folder.may_be_replaced(folder.link_name()) && folder.move_here(temporary.get(), folder.link_name());
        })) {
        fail(kShortcutWriteFailed);
    }
    // What now stands at the link's name must be this file, in this folder.
    folder.require_inside(temporary.get(), folder.link_name());
    delete_temporary.release();
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
void load_existing(const ComPtr<IShellLinkW>& link, const std::string& bytes, const ShortcutPlan& plan) {
    const auto persist = link.query<IPersistStream>(IID_IPersistStream);
    if (!persist) fail(kShortcutUnavailable);
    ComPtr<IStream> stream;
    *stream.put() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!stream || FAILED(persist->Load(stream.get()))) fail(kShortcutUnreadable);
    std::vector<wchar_t> stored(kShortcutPathUnits, L'\0');
    if (link->GetPath(stored.data(), static_cast<int>(stored.size()), nullptr, 0) != S_OK || stored[0] == L'\0') {
        return;  // no stored path: nothing to belong to anybody else
    }
    const auto full = full_path_of(stored.data());
    if (!full || !(lies_below(*full, plan.product_root) || lies_below(*full, plan.alternative_root))) {
        fail(kShortcutForeign);
    }
}

void set_properties(IShellLinkW* link, const ShortcutPlan& plan) {
    const auto ok = [](HRESULT result) {
        if (FAILED(result)) fail(kShortcutWriteFailed);
    };
    ok(link->SetPath(to_wide(plan.target).c_str()));
    if (plan.has_arguments) ok(link->SetArguments(to_wide(plan.arguments).c_str()));
    ok(link->SetWorkingDirectory(to_wide(plan.working_folder).c_str()));
    ok(link->SetDescription(to_wide(plan.description).c_str()));
    ok(link->SetIconLocation(to_wide(plan.icon).c_str(), 0));
}

// The shortcut never asks for elevation, whatever the loaded one said.
void clear_run_as_administrator(const ComPtr<IShellLinkW>& link) {
    const auto data = link.query<IShellLinkDataList>(IID_IShellLinkDataList);
    if (!data) return;
    DWORD flags = 0;
    if (FAILED(data->GetFlags(&flags))) return;
    if ((flags & SLDF_RUNAS_USER) == 0) return;
    if (FAILED(data->SetFlags(flags & ~static_cast<DWORD>(SLDF_RUNAS_USER)))) fail(kShortcutWriteFailed);
}

std::string serialise(const ComPtr<IShellLinkW>& link) {
    const auto persist = link.query<IPersistStream>(IID_IPersistStream);
    ComPtr<IStream> stream;
    if (!persist ||
        FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) || FAILED(persist->Save(stream.get(), TRUE))) {
        fail(kShortcutWriteFailed);
    }
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart < 1 ||
        stat.cbSize.QuadPart > kMaxShortcutBytes) {
        fail(kShortcutWriteFailed);
    }
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    const LARGE_INTEGER start{};
    ULONG read = 0;
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size()) {
        fail(kShortcutWriteFailed);
    }
    return bytes;
}

void notify_shell(LONG event, const std::wstring& link_path) {
    ::SHChangeNotify(event, SHCNF_PATHW, link_path.c_str(), nullptr);
}

ShortcutResult create_or_raise(const ShortcutPlan& plan, const ShortcutHooks& hooks) {
    if (!passes_absolute_rule(plan.link_path) || !passes_absolute_rule(plan.product_root) ||
        (!plan.alternative_root.empty() && !passes_absolute_rule(plan.alternative_root)) ||
        plan.link_path.find(u'\\') == std::u16string::npos) {
        fail(kShortcutUnavailable);
    }
    const std::wstring link_path = to_wide(plan.link_path);
    const LinkFolder folder(link_path);
    if (hooks.folder_pinned) hooks.folder_pinned();
    folder.clear_work_files();
    require_plain_file(to_wide(plan.target));
    require_plain_file(to_wide(plan.icon));
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        fail(kShortcutUnavailable);
    }
    ShortcutResult result;
    auto existing = read_existing(folder);
    if (existing) {
        result.replaced_existing = true;
        result.previous_bytes = existing->bytes;
        load_existing(link, result.previous_bytes, plan);
    }
    set_properties(link.get(), plan);
    clear_run_as_administrator(link);
    const std::string bytes = serialise(link);
    if (existing) clear_read_only(*existing);
    write_link(folder, bytes, existing, hooks);
    notify_shell(result.replaced_existing ? SHCNE_UPDATEITEM : SHCNE_CREATE, link_path);
    result.ok = true;
    return result;
}

}  // namespace

bool is_shortcut_work_name(std::wstring_view name, std::wstring_view link_name) {
    if (name.size() != link_name.size() + 1 + kTagLength + kWorkSuffix.size()) return false;
    if (!paths_equal(name.substr(0, link_name.size()), link_name) || name[link_name.size()] != L'.') return false;
    const std::wstring_view tag = name.substr(link_name.size() + 1, kTagLength);
    for (const wchar_t unit : tag) {
        if (!((unit >= L'0' && unit <= L'9') || (unit >= L'a' && unit <= L'f'))) return false;
    }
    return name.substr(name.size() - kWorkSuffix.size()) == kWorkSuffix;
}

ShortcutResult create_shortcut(const ShortcutPlan& plan, const ShortcutHooks& hooks) {
    const ComApartment apartment;
    try {
        return create_or_raise(plan, hooks);
    } catch (const Failure& failure) {
        return {false, failure.code(), false, {}};
    } catch (...) {
        return {false, std::string(kShortcutWriteFailed), false, {}};
    }
}

std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes, const ShortcutHooks& hooks) {
    try {
        if (!passes_absolute_rule(link_path)) return std::string(kShortcutUnavailable);
        const std::wstring path = to_wide(link_path);
        const LinkFolder folder(path);
        if (hooks.folder_pinned) hooks.folder_pinned();
        folder.clear_work_files();
        // Refuses a folder, a link or an oversized file now at the name. A
        // read-only file there is not known to be ours and is not made
        // writable: the swap then fails.
        auto current = read_existing(folder);
        write_link(folder, bytes, current, hooks);
        notify_shell(SHCNE_UPDATEITEM, path);
        return {};
    } catch (const Failure& failure) {
        return failure.code();
    } catch (...) {
        return std::string(kShortcutWriteFailed);
    }
}

}  // namespace zelkora::payload
