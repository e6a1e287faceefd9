#include "payload/file_primitives_win32.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include <winternl.h>

#include "payload/failure.h"
#include "payload/reply_codes.h"

namespace zelkora::payload {

namespace {

constexpr DWORD kAllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr int kPathAttempts = 4;

// MinGW's headers hide this class behind a version test that _WIN32_WINNT
// 0x0A00 never passes; the value is fixed by the Windows ABI.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

bool starts_with_long_prefix(std::wstring_view path) { return path.substr(0, kLongPrefix.size()) == kLongPrefix; }

// Calls query(buffer, capacity) until the answer fits: the query returns the
// length written, the size it needs (more than capacity), or 0 on failure.
template <typename Query>
bool query_growing_path(DWORD first_capacity, Query query, std::wstring& out) {
    DWORD capacity = first_capacity;
    for (int attempt = 0; attempt < kPathAttempts; ++attempt) {
        std::wstring buffer(capacity, L'\0');
        const DWORD length = query(buffer.data(), capacity);
        if (length == 0) return false;
        if (length < capacity) {
            buffer.resize(length);
            out = std::move(buffer);
            return true;
        }
        capacity = length + 1;
    }
    return false;
}

BCRYPT_ALG_HANDLE sha256_provider() {
    // Opened once per process; a failed open leaves no provider for good.
    static const UniqueAlgorithmProvider provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (::BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
            return UniqueAlgorithmProvider();
        }
        return UniqueAlgorithmProvider(opened);
    }();
    return provider.get();
}

}  // namespace

FileIdentity file_identity(HANDLE file) {
    FileIdentity identity;
    FILE_ID_INFO id_info{};
    if (::GetFileInformationByHandleEx(file, FileIdInfo, &id_info, sizeof(id_info))) {
        identity.volume_serial = id_info.VolumeSerialNumber;
        std::memcpy(identity.file_id.data(), id_info.FileId.Identifier, identity.file_id.size());
        return identity;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) fail(kIdentityUnavailable);
    identity.volume_serial = info.dwVolumeSerialNumber;
    const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    std::memcpy(identity.file_id.data(), &index, sizeof(index));
    return identity;
}

namespace {

// FILE_INTERNAL_INFORMATION through ntdll, which every process has loaded;
// no Win32 function gives the index without the volume serial.
constexpr ULONG kFileInternalInformation = 6;
using QueryInformationFile = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void* buffer, ULONG length, ULONG kind);

QueryInformationFile query_information_file() {
    static const auto query = reinterpret_cast<QueryInformationFile>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    return query;
}

}  // namespace

VolumeIdentities::VolumeIdentities(HANDLE folder_on_volume) {
    volume_serial_ = file_identity(folder_on_volume).volume_serial;
    wchar_t file_system[MAX_PATH + 1] = {};
    indexes_are_ids_ = query_information_file() &&
                       ::GetVolumeInformationByHandleW(folder_on_volume, nullptr, 0, nullptr, nullptr, nullptr,
                                                       file_system, MAX_PATH + 1) &&
                       std::wstring_view(file_system) == L"NTFS";
}

FileIdentity VolumeIdentities::of(HANDLE file) const {
    if (!indexes_are_ids_) return file_identity(file);
    IO_STATUS_BLOCK status_block{};
    std::uint64_t index = 0;
    if (query_information_file()(file, &status_block, &index, sizeof(index), kFileInternalInformation) < 0) {
        fail(kIdentityUnavailable);
    }
    FileIdentity identity;
    identity.volume_serial = volume_serial_;
    std::memcpy(identity.file_id.data(), &index, sizeof(index));
    return identity;
}

DWORD file_attributes(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof(info))) {
        fail(kIdentityUnavailable);
    }
    return info.FileAttributes;
}

bool is_folder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool is_reparse_point(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

std::wstring final_path(HANDLE file) {
    auto path = core::final_path(file);
    if (!path) fail(kPathUnverified);
    return std::move(*path);
}

std::wstring long_path(const std::wstring& path) {
    std::wstring result;
    const DWORD first = static_cast<DWORD>(std::min<std::size_t>(path.size() + 64, MAXDWORD));
    const bool ok = query_growing_path(first, [&path](wchar_t* buffer, DWORD capacity) {
        return ::GetLongPathNameW(path.c_str(), buffer, capacity);
    }, result);
    if (!ok) fail(kPathUnverified);
    // A path already in "\\?\" form keeps its single prefix.
    return starts_with_long_prefix(result) ? result : std::wstring(kLongPrefix) + result;
}

bool rename_by_handle(HANDLE file, const std::wstring& new_path) {
    if (!starts_with_long_prefix(new_path)) return false;
    const std::size_t name_bytes = new_path.size() * sizeof(wchar_t);
    std::vector<std::byte> storage(sizeof(FILE_RENAME_INFO) + name_bytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name_bytes);
    std::memcpy(info->FileName, new_path.data(), name_bytes);
    if (!::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(storage.size()))) {
        return false;
    }
    if (!paths_equal(final_path(file), new_path)) fail(kLinkRefused);
    return true;
}

bool delete_by_handle(HANDLE file) {
    // The extended class removes the name at once even while others hold the
    // file open; older systems (and Wine) only know the plain class.
    FILE_DISPOSITION_INFO_EX extended{};
    extended.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
    if (::SetFileInformationByHandle(file, kFileDispositionInfoEx, &extended, sizeof(extended))) return true;
    FILE_DISPOSITION_INFO plain{};
    plain.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &plain, sizeof(plain)) != FALSE;
}

UniqueFile open_for_delete(const std::wstring& path) {
    return UniqueFile(::CreateFileW(path.c_str(), DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, kAllSharing, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

bool delete_by_identity(const std::wstring& path, const FileIdentity& expected, const VolumeIdentities& identities) {
    const UniqueFile file = open_for_delete(path);
    if (!file) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    try {
        if (identities.of(file.get()) != expected) return false;
    } catch (const Failure&) {
        return false;
    }
    return delete_by_handle(file.get());
}

std::wstring random_tag() {
    std::uint8_t bytes[6];
    if (::BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
        fail(kHashUnavailable);
    }
    static constexpr wchar_t kHex[] = L"0123456789abcdef";
    std::wstring tag;
    for (std::uint8_t byte : bytes) {
        tag.push_back(kHex[byte >> 4]);
        tag.push_back(kHex[byte & 0xF]);
    }
    return tag;
}

// Not zero-filled: every byte is written by a read before it is used.
std::unique_ptr<CopyBuffer> make_copy_buffer() { return std::make_unique_for_overwrite<CopyBuffer>(); }

Sha256::Sha256() {
    const BCRYPT_ALG_HANDLE provider = sha256_provider();
    if (!provider) fail(kHashUnavailable);
    BCRYPT_HASH_HANDLE created = nullptr;
    if (::BCryptCreateHash(provider, &created, nullptr, 0, nullptr, 0, 0) < 0) fail(kHashUnavailable);
    hash_.reset(created);
}

void Sha256::add(const void* data, std::size_t size) {
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, kCopyBufferSize));
        if (::BCryptHashData(hash_.get(), bytes, piece, 0) < 0) fail(kHashUnavailable);
        bytes += piece;
        size -= piece;
    }
}

Sha256Digest Sha256::finish() {
    Sha256Digest digest{};
    if (::BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0) < 0) {
        fail(kHashUnavailable);
    }
    return digest;
}

Sha256Digest file_digest(HANDLE file, std::uint64_t expected_size, CopyBuffer& buffer) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) fail(kVerifyFailed);
    Sha256 hash;
    std::uint64_t total = 0;
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(file, buffer.bytes, static_cast<DWORD>(kCopyBufferSize), &count, nullptr)) {
            fail(kVerifyFailed);
        }
        if (count == 0) break;
        total += count;
        // Already too long: the answer is the non-matching digest, no need to read on.
        if (total > expected_size) return Sha256Digest{};
        hash.add(buffer.bytes, count);
    }
    if (total != expected_size) return Sha256Digest{};
    return hash.finish();
}

Sha256Digest file_digest(HANDLE file, std::uint64_t expected_size) {
    const auto buffer = make_copy_buffer();
    return file_digest(file, expected_size, *buffer);
}

UniqueFile open_folder(const std::wstring& path, DWORD extra_access) {
    UniqueFile folder(::CreateFileW(path.c_str(), SYNCHRONIZE | FILE_READ_ATTRIBUTES | extra_access, kAllSharing,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) fail(kDestinationMissing);
    const DWORD attributes = file_attributes(folder.get());
    if (is_reparse_point(attributes)) fail(kLinkRefused);
    if (!is_folder(attributes)) fail(kDestinationMissing);
    return folder;
}

void ensure_walk_up(std::wstring path, const std::wstring& stop_path) {
    for (;;) {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !is_folder(attributes)) fail(kDestinationMissing);
        if (is_reparse_point(attributes)) fail(kLinkRefused);
        if (path.size() < 4) return;
        if (!stop_path.empty() && paths_equal(path, stop_path)) return;
        // "C:\" is the last step; a path without a separator cannot go higher.
        std::wstring parent = parent_folder(path);
        if (parent.size() >= path.size()) return;
        path = std::move(parent);
    }
}

UniqueFile ensure_folder(const std::wstring& folder, PathSet& ensured, const FolderCreated& on_created,
                         const VolumeIdentities& identities) {
    if (ensured.contains(folder)) return {};
    UniqueFile existing;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) fail(kDirectoryFailed);
        if (!::CreateDirectoryW(folder.c_str(), nullptr)) fail(kDirectoryFailed);
        const UniqueFile created = open_folder(folder, DELETE);
        on_created(folder, identities.of(created.get()));
        if (!paths_equal(final_path(created.get()), folder)) fail(kLinkRefused);
    } else if (is_reparse_point(attributes)) {
        fail(kLinkRefused);
    } else if (is_folder(attributes)) {
        existing = open_folder(folder, FILE_LIST_DIRECTORY);
        if (!paths_equal(final_path(existing.get()), folder)) fail(kLinkRefused);
    } else {
        fail(kTargetUnsafe);
    }
    ensured.insert(folder);
    return existing;
}

namespace {
std::atomic<WorkPointHandler> work_point_handler{nullptr};
}  // namespace

void set_work_point_handler(WorkPointHandler handler) { work_point_handler.store(handler); }

void reached(WorkPoint point) {
    if (const WorkPointHandler handler = work_point_handler.load()) handler(point);
}

}  // namespace zelkora::payload
