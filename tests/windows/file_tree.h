#pragma once
// Real files for payload tests under Wine: a scratch folder that cleans up
// after itself, small file helpers, and a snapshot of a whole tree (names and
// bytes) to prove that a failed placement left everything as it was.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "payload/placement_plan.h"
#include "payload/trust_checks_win32.h"

namespace zelkora::test {

// A fresh folder under the temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const noexcept { return path_; }
    std::wstring operator/(std::wstring_view relative) const { return path_ + L"\\" + std::wstring(relative); }

private:
    std::wstring path_;
};

// Creates the parent folders as needed.
void write_file(const std::wstring& path, std::string_view bytes);
std::optional<std::string> read_file(const std::wstring& path);
void make_folders(const std::wstring& path);
// Removes files and folders below path and path itself; links are unlinked,
// never followed.
void remove_tree(const std::wstring& path);

// Relative path -> bytes of files, "<folder>" for folders and "<link>" for
// links (which are not followed).
using TreeSnapshot = std::map<std::wstring, std::string>;
TreeSnapshot snapshot_tree(const std::wstring& root);

payload::Sha256Digest sha256_of(std::string_view bytes);

// The test variant's owners: with the user running the test (under Wine the
// owner of every file), placements into Wine folders can pass the trust checks.
payload::TrustedOwners owners_with_current_user();

}  // namespace zelkora::test
