#include "local_files.h"

#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "core/owners_win32.h"

namespace zelkora::standin {
namespace {

constexpr std::size_t kChunk = 1u << 20;


bool is_folder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD write_content(HANDLE file, std::uint64_t size, const ContentFiller& fill) {
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk)));
    for (std::uint64_t offset = 0; offset < size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(size - offset, kChunk));
        fill(offset, std::span<char>(buffer.data(), length));
        DWORD written = 0;
        if (!::WriteFile(file, buffer.data(), static_cast<DWORD>(length), &written, nullptr)) return ::GetLastError();
        if (written != length) return ERROR_WRITE_FAULT;
        offset += length;
    }
    return 0;
}

std::string hex(const unsigned char* bytes, std::size_t count) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace

DWORD create_folders(const std::wstring& path) {
    if (::CreateDirectoryW(path.c_str(), nullptr)) return 0;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return is_folder(path) ? 0 : ERROR_ALREADY_EXISTS;
    if (error != ERROR_PATH_NOT_FOUND) return error;
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator == 0) return error;
    if (const DWORD parent_error = create_folders(path.substr(0, separator)); parent_error != 0) return parent_error;
    return ::CreateDirectoryW(path.c_str(), nullptr) ? 0 : ::GetLastError();
}

DWORD write_whole_file(const std::wstring& path, std::uint64_t size, const ContentFiller& fill) {
    const std::wstring partial = path + L".standin-partial";
    DWORD error = 0;
    {
        UniqueFile file(::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return ::GetLastError();
        error = write_content(file.get(), size, fill);
    }
    if (error == 0 && !::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = ::GetLastError();
    }
    if (error != 0) ::DeleteFileW(partial.c_str());
    return error;
}

DWORD file_size(const std::wstring& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return ::GetLastError();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_DIRECTORY;
    size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return 0;
}

DWORD file_sha256(const std::wstring& path, std::string& hex_digest) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return ::GetLastError();
    UniqueAlgorithmProvider provider;
    UniqueHash hash;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(provider.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(::BCryptCreateHash(provider.get(), hash.put(), nullptr, 0, nullptr, 0, 0))) {
        return ERROR_INTERNAL_ERROR;
    }
    std::vector<unsigned char> buffer(kChunk);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            return ::GetLastError();
        }
        if (read == 0) break;
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), buffer.data(), read, 0))) return ERROR_INTERNAL_ERROR;
    }
    unsigned char digest[32];
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest, sizeof(digest), 0))) return ERROR_INTERNAL_ERROR;
    hex_digest = hex(digest, sizeof(digest));
    return 0;
}

}  // namespace zelkora::standin
