#pragma once
// Folders and files a scenario prepares, as the installer script would lay
// out its bin folder, and the size and digest a request line quotes.
// Every function returns 0 or a Win32 error.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace zelkora::standin {

DWORD create_folders(const std::wstring& path);

// Fills each chunk of the new content from its offset in the file.
using ContentFiller = std::function<void(std::uint64_t offset, std::span<char> chunk)>;

// Writes under a temporary name and renames, so the path never holds a
// half-written file; an existing file is replaced.
DWORD write_whole_file(const std::wstring& path, std::uint64_t size, const ContentFiller& fill);

DWORD file_size(const std::wstring& path, std::uint64_t& size);
// SHA-256 as 64 lower-case hexadecimal digits.
DWORD file_sha256(const std::wstring& path, std::string& hex_digest);

}  // namespace zelkora::standin
