#include "payload/removal_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "core/wide.h"
#include "payload/failure.h"
#include "payload/reply_codes.h"
#include "payload/file_primitives_win32.h"
#include "payload/full_path_win32.h"
#include "payload/path_rules.h"
#include "state/version_folders.h"

namespace zelkora::payload {
namespace {

constexpr DWORD kTempPathUnits = 261;

// A listing buffer of any size, aligned as the directory queries need.
class ListBuffer {
public:
    explicit ListBuffer(std::size_t size)
        : chunks_(std::make_unique_for_overwrite<Chunk[]>((size + sizeof(Chunk) - 1) / sizeof(Chunk))), size_(size) {}
    std::byte* data() const { return chunks_[0].bytes; }
    std::size_t size() const { return size_; }

private:
    struct alignas(32) Chunk {
        std::byte bytes[32];
    };
    std::unique_ptr<Chunk[]> chunks_;
    std::size_t size_;
};

constexpr std::size_t kEntryHeaderBytes = offsetof(FILE_FULL_DIR_INFO, FileName);

// Every entry of the batch lies wholly inside the buffer, names included, and
// each next entry starts after the one before, aligned as the entries are.
bool batch_is_sound(const std::byte* bytes, std::size_t size) {
    std::size_t offset = 0;
    for (;;) {
        if (size - offset < kEntryHeaderBytes) return false;
        const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(bytes + offset);
        const std::size_t name_bytes = info->FileNameLength;
        if (name_bytes == 0 || name_bytes % sizeof(wchar_t) != 0 || name_bytes > size - offset - kEntryHeaderBytes) {
            return false;
        }
        const std::size_t next = info->NextEntryOffset;
        if (next == 0) return true;
        if (next % alignof(FILE_FULL_DIR_INFO) != 0 || next < kEntryHeaderBytes + name_bytes || next >= size - offset) {
            return false;
        }
        offset += next;
    }
}

// Visits the entries of one checked batch; false when visit stops.
bool visit_batch(const ListBuffer& buffer, std::size_t& count, const std::function<bool(const FolderEntry&)>& visit) {
    if (!batch_is_sound(buffer.data(), buffer.size())) fail(kLegacyListFailed);
    for (std::size_t offset = 0;;) {
        const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer.data() + offset);
        FolderEntry entry{std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)), info->FileAttributes};
        if (entry.name != L"." && entry.name != L"..") {
            if (++count > kMaxFolderEntries) fail(kLegacyListFailed);
            if (!visit(entry)) return false;
        }
        if (info->NextEntryOffset == 0) return true;
        offset += info->NextEntryOffset;
    }
}

BOOL list_batch(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS batch, ListBuffer& buffer, const RemovalHooks& hooks) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    if (hooks.list_batch) return hooks.list_batch(folder, batch, buffer.data(), size);
    return ::GetFileInformationByHandleEx(folder, batch, buffer.data(), size);
}

// Read-only files and folders refuse deletion until the bit is gone.
bool clear_read_only(HANDLE object, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    FILE_BASIC_INFO basic{};  // times 0: left as they are
    basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(object, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool delete_tree_or_raise(const std::wstring& path, const RemovalHooks& hooks, int depth) {
    if (depth > kMaxDeleteDepth) return false;
    // No delete sharing: nobody can move or delete the object while it is
    // examined and emptied.
    const UniqueFile object(::CreateFileW(
        path.c_str(), DELETE | SYNCHRONIZE | FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!object) return false;
    if (!paths_equal(final_path(object.get()), path)) return false;
    const DWORD attributes = file_attributes(object.get());
    if (is_folder(attributes) && !is_reparse_point(attributes)) {
        const bool emptied = visit_folder(object.get(), hooks, [&](const FolderEntry& entry) {
            return delete_tree_or_raise(join_path(path, entry.name), hooks, depth + 1);
        });
        if (!emptied) return false;
    }
    return clear_read_only(object.get(), attributes) && delete_by_handle(object.get());
}

bool is_kept(const std::wstring& name, const std::vector<std::string>& keep) {
    return std::any_of(keep.begin(), keep.end(), [&](const std::string& version) {
        return paths_equal(name, std::wstring(version.begin(), version.end()));
    });
}

UniqueFile open_for_listing(const std::wstring& path) {
    UniqueFile folder(::CreateFileW(path.c_str(), SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) fail(kLegacyUnavailable);
    if (is_reparse_point(file_attributes(folder.get()))) fail(kLinkRefused);
    return folder;
}

// The removal form of the metadata check: the file itself, never a link,
// read whole in one go.
bool metadata_matches_file(const std::wstring& path, const std::string& version) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    const DWORD attributes = file_attributes(file.get());
    if (is_folder(attributes) || is_reparse_point(attributes)) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < static_cast<LONGLONG>(state::kMinMetadataBytes) ||
        size.QuadPart > static_cast<LONGLONG>(state::kMaxMetadataBytes)) {
        return false;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size()) {
        return false;
    }
    return state::metadata_matches(bytes, state::kClientProductWord, version, state::MetadataSpace::json);
}

bool is_version_folder(const std::wstring& path, const std::wstring& name) {
    const auto version = state::version_of_folder_name(from_wide(name));
    return version && metadata_matches_file(join_path(path, to_wide(state::kClientMetadataFile)), *version);
}

// The folder opened for deletion stands at path itself, not behind a link.
bool stands_at(HANDLE folder, const std::wstring& path) {
    try {
        return !is_reparse_point(file_attributes(folder)) && paths_equal(final_path(folder), path);
    } catch (const Failure&) {
        return false;
    }
}

// Moves the version folder aside under a leftover name, then deletes it. A
// folder that resists stays under the leftover name for the next removal. A
// random tag that cannot be drawn fails the whole removal with its code.
bool remove_version_folder(const std::wstring& folder, const std::wstring& path, const std::wstring& name,
                           const RemovalHooks& hooks) {
    std::wstring leftover;
    {
        const UniqueFile version = open_for_delete(path);
        if (!version || !stands_at(version.get(), path)) return false;
        const std::wstring tag = hooks.random_tag ? hooks.random_tag() : random_tag();
        leftover = join_path(folder, name + std::wstring(state::kLeftoverMarker.begin(), state::kLeftoverMarker.end()) + tag);
        try {
            if (!rename_by_handle(version.get(), leftover)) return false;
        } catch (const Failure&) {
            return false;
        }
    }
    // Moved aside and closed: from here on an interruption leaves a leftover.
    reached(WorkPoint::folder_moved_aside);
    return delete_tree(leftover, hooks);
}

}  // namespace

bool visit_folder(HANDLE folder, const RemovalHooks& hooks, const std::function<bool(const FolderEntry&)>& visit) {
    ListBuffer buffer(hooks.list_buffer_size);
    std::size_t count = 0;
    FILE_INFO_BY_HANDLE_CLASS batch = FileFullDirectoryRestartInfo;
    while (list_batch(folder, batch, buffer, hooks)) {
        if (!visit_batch(buffer, count, visit)) return false;
        batch = FileFullDirectoryInfo;
    }
    if (::GetLastError() != ERROR_NO_MORE_FILES) fail(kLegacyListFailed);
    return true;
}

bool delete_tree(const std::wstring& path, const RemovalHooks& hooks, int depth) noexcept {
    try {
        return delete_tree_or_raise(path, hooks, depth);
    } catch (...) {
        return false;
    }
}

void verify_new_install(const std::wstring& folder, const std::string& version, const TrustedOwners& owners) {
    UniqueFile opened;
    try {
        opened = open_folder(folder, READ_CONTROL);
        if (!paths_equal(long_path(folder), final_path(opened.get()))) fail(kLegacyNewInstallUnverified);
    } catch (const Failure&) {
        fail(kLegacyNewInstallUnverified);
    }
    const std::wstring metadata = join_path(folder, to_wide(state::kClientMetadataFile));
    if (!metadata_matches_file(metadata, version) || !open_unlinked(join_path(folder, L"Zelkora.exe"), ObjectKind::file)) {
        fail(kLegacyNewInstallUnverified);
    }
    require_protected_location(opened.get(), owners);
    UniqueFile parent;
    try {
        parent = open_folder(parent_folder(folder), READ_CONTROL);
    } catch (const Failure&) {
        fail(kDestinationUnprotected);
    }
    require_protected_location(parent.get(), owners);
}

void remove_client_versions(const std::wstring& root, const std::vector<std::string>& keep, RemovalResult& result,
                            const RemovalHooks& hooks) {
    const std::wstring product = join_path(root, L"Zelkora");
    const std::wstring client = join_path(product, L"Client");
    if (::GetFileAttributesW(client.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        fail(kLegacyUnavailable);
    }
    ensure_walk_up(client, root);
    const UniqueFile product_folder = open_for_listing(product);
    const UniqueFile client_folder = open_for_listing(client);
    const std::wstring client_final = final_path(client_folder.get());
    if (!paths_equal(client_final, long_path(client)) ||
        !paths_equal(final_path(product_folder.get()), long_path(product))) {
        fail(kLinkRefused);
    }
    // Only folders that may go are kept (version and leftover names, at most
    // 45 units each), and the whole listing is read before anything is
    // renamed, so a folder moved aside is not met again under its new name.
    std::vector<FolderEntry> candidates;
    visit_folder(client_folder.get(), hooks, [&](const FolderEntry& entry) {
        const std::u16string name = from_wide(entry.name);
        if (is_folder(entry.attributes) && !is_reparse_point(entry.attributes) &&
            (state::is_leftover_folder_name(name) || state::version_of_folder_name(name))) {
            candidates.push_back(entry);
        }
        return true;
    });
    for (const auto& entry : candidates) {
        const std::wstring path = join_path(client_final, entry.name);
        bool removed = false;
        if (state::is_leftover_folder_name(from_wide(entry.name))) {
            removed = delete_tree(path, hooks);
        } else if (is_version_folder(path, entry.name) && !is_kept(entry.name, keep)) {
            removed = remove_version_folder(client_final, path, entry.name, hooks);
        } else {
            continue;
        }
        ++(removed ? result.removed : result.not_removed);
    }
}

RemovalResult remove_versions(const RemovalRequest& request, const TrustedOwners& owners, const RemovalHooks& hooks) {
    RemovalResult result;
    try {
        if (!passes_absolute_rule(request.root) || !passes_absolute_rule(request.new_install)) {
            fail(kPayloadUnavailable);
        }
        verify_new_install(to_wide(request.new_install), request.version, owners);
        remove_client_versions(to_wide(request.root), request.keep, result, hooks);
        result.ok = true;
    } catch (const Failure& failure) {
        result = {false, failure.code(), 0, 0};
    } catch (...) {
        result = {false, std::string(kLegacyFailed), 0, 0};
    }
    return result;
}

std::string remove_source(const std::u16string& setup_bin) {
    try {
        if (!passes_absolute_rule(setup_bin)) return std::string(kPayloadUnavailable);
        wchar_t buffer[kTempPathUnits] = {};
        const DWORD length = ::GetTempPathW(kTempPathUnits, buffer);
        if (length == 0 || length >= kTempPathUnits) return std::string(kPayloadUnavailable);
        std::wstring temporary(buffer, length);
        while (temporary.size() > 3 && temporary.back() == L'\\') temporary.pop_back();
        const std::wstring folder = long_path(to_wide(setup_bin));
        const std::wstring inside = join_path(long_path(temporary), L"");
        // The temporary folder itself never goes, only a folder inside it.
        if (folder.size() < inside.size() || !paths_equal(std::wstring_view(folder).substr(0, inside.size()), inside)) {
            return std::string(kSourceNotTemporary);
        }
        return delete_tree(folder) ? std::string() : std::string(kSourceRemoveIncomplete);
    } catch (const Failure& failure) {
        return failure.code();
    } catch (...) {
        return std::string(kSourceRemoveFailed);
    }
}

}  // namespace zelkora::payload
