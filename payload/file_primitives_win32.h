#pragma once
// File-system primitives of the payload engine: identity, final and long
// paths, rename and delete by handle, the random tag and SHA-256 digests.
// Placement, shortcuts and removals all go through these, so every path they
// touch is checked the same way. Failures raise payload::Failure.

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "core/file_paths_win32.h"
#include "core/owners_win32.h"
#include "payload/placement_plan.h"

namespace zelkora::payload {

// Volume serial number and 128-bit file id; equal only when all 24 bytes are.
struct FileIdentity {
    std::uint64_t volume_serial = 0;
    std::array<std::uint8_t, 16> file_id{};

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Raises "payload_identity_unavailable" when neither query works.
[[nodiscard]] FileIdentity file_identity(HANDLE file);

// The identities of many objects on one volume. On NTFS a file id is the
// 64-bit file index in the low half, so the volume serial is read once and
// each object gives only its index: the same identity as file_identity, for
// a fraction of the cost where asking for the volume serial is slow (under
// Wine each ask goes to the mount manager, which costs more than writing a
// small file). Default-constructed, or on any other file system, it is
// file_identity. Only for objects proven to lie on that volume.
class VolumeIdentities {
public:
    VolumeIdentities() = default;
    // Raises "payload_identity_unavailable".
    explicit VolumeIdentities(HANDLE folder_on_volume);
    [[nodiscard]] FileIdentity of(HANDLE file) const;

private:
    bool indexes_are_ids_ = false;
    std::uint64_t volume_serial_ = 0;
};

// Attributes from FileAttributeTagInfo; raises "payload_identity_unavailable".
[[nodiscard]] DWORD file_attributes(HANDLE file);
[[nodiscard]] bool is_folder(DWORD attributes);
[[nodiscard]] bool is_reparse_point(DWORD attributes);

// core::final_path that raises "payload_path_unverified" when it fails.
[[nodiscard]] std::wstring final_path(HANDLE file);
// "\\?\" + GetLongPathNameW(path); raises "payload_path_unverified".
[[nodiscard]] std::wstring long_path(const std::wstring& path);

using core::ObjectKind;
using core::open_unlinked;
using core::parent_folder;
using core::PathLessIgnoringCase;
using core::paths_equal;
using PathSet = std::set<std::wstring, PathLessIgnoringCase>;

// new_path must be a "\\?\" path. False when refused or the rename fails;
// raises "payload_link_refused" when the renamed file lands elsewhere.
[[nodiscard]] bool rename_by_handle(HANDLE file, const std::wstring& new_path);
// The handle needs DELETE access.
[[nodiscard]] bool delete_by_handle(HANDLE file);
// Deletes the object at path only if it is the one recorded; a path that is
// already gone counts as done.
[[nodiscard]] bool delete_by_identity(const std::wstring& path, const FileIdentity& expected,
                                      const VolumeIdentities& identities = {});
// Opens path for deletion, without following reparse points; invalid when it
// does not open (GetLastError tells why).
[[nodiscard]] UniqueFile open_for_delete(const std::wstring& path);

// 12 lower-case hex digits from the system RNG; raises "payload_hash_unavailable".
[[nodiscard]] std::wstring random_tag();

// A 1 MiB buffer aligned for fast copies.
inline constexpr std::size_t kCopyBufferSize = 1048576;
struct alignas(32) CopyBuffer {
    std::byte bytes[kCopyBufferSize];
};
std::unique_ptr<CopyBuffer> make_copy_buffer();

// One SHA-256 computation on the process-wide provider. Every failure raises
// "payload_hash_unavailable".
class Sha256 {
public:
    Sha256();
    void add(const void* data, std::size_t size);
    Sha256Digest finish();

private:
    UniqueHash hash_;
};

// Digest of the whole file from offset 0; a length other than expected_size
// gives 32 zero bytes so it never matches. Raises "payload_verify_failed" when
// seeking or reading fails.
[[nodiscard]] Sha256Digest file_digest(HANDLE file, std::uint64_t expected_size, CopyBuffer& buffer);
[[nodiscard]] Sha256Digest file_digest(HANDLE file, std::uint64_t expected_size);

// Opens an existing folder without following reparse points. Raises
// "payload_destination_missing", "payload_identity_unavailable" or
// "payload_link_refused".
[[nodiscard]] UniqueFile open_folder(const std::wstring& path, DWORD extra_access);

// Every folder from path up to stop_path (or the drive root) must exist and
// not be a reparse point.
void ensure_walk_up(std::wstring path, const std::wstring& stop_path);

// Makes sure folder exists as a real folder at exactly that final path.
// on_created runs for a folder this call created, before its path is checked,
// so the caller can undo it whatever happens next. Gives a folder that was
// there already opened with FILE_LIST_DIRECTORY, and an invalid handle for one
// it created or one in the ensured set.
using FolderCreated = std::function<void(const std::wstring& path, const FileIdentity& identity)>;
[[nodiscard]] UniqueFile ensure_folder(const std::wstring& folder, PathSet& ensured, const FolderCreated& on_created,
                                       const VolumeIdentities& identities = {});

// Named points in the file work where a test program can stop the process, to
// show what an interrupted run leaves behind and that the next run clears it.
enum class WorkPoint {
    backup_made,               // a replaced target has just moved to its backup name
    temporary_partly_written,  // part of a file's bytes are in its temporary file
    last_file_placed,          // every file is in place, the backups not yet deleted
    folder_moved_aside,        // a removal renamed a version folder, not yet deleted
    waiting_for_holder,        // a file held open by another process; tried again shortly
};
using WorkPointHandler = void (*)(WorkPoint point);
// Only test programs install a handler; without one the points do nothing.
void set_work_point_handler(WorkPointHandler handler);
void reached(WorkPoint point);

}  // namespace zelkora::payload
