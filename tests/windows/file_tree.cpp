#include "file_tree.h"

#include <stdexcept>

#include "core/owners_win32.h"
#include "payload/file_primitives_win32.h"

namespace zelkora::test {

namespace {

bool is_link(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool is_dir(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

template <typename Visit>
void for_each_child(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found{};
    const UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") visit(name, found.dwFileAttributes);
    } while (::FindNextFileW(search.get(), &found));
}

void snapshot_into(const std::wstring& folder, const std::wstring& prefix, TreeSnapshot& snapshot) {
    for_each_child(folder, [&](const std::wstring& name, DWORD attributes) {
        const std::wstring path = folder + L"\\" + name;
        const std::wstring key = prefix + name;
        if (is_link(attributes)) {
            snapshot[key] = "<link>";
        } else if (is_dir(attributes)) {
            snapshot[key] = "<folder>";
            snapshot_into(path, key + L"\\", snapshot);
        } else {
            snapshot[key] = read_file(path).value_or("<unreadable>");
        }
    });
}

}  // namespace

ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
    std::wstring base(temp, length);
    if (base.back() == L'\\') base.pop_back();
    // The long form, so that paths in plans equal their final paths.
    const std::wstring long_base = payload::long_path(base).substr(4);
    path_ = long_base + L"\\zelkora-test-" + payload::random_tag();
    if (!::CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("CreateDirectoryW failed");
}

// The long form also removes trees deeper than MAX_PATH.
ScratchFolder::~ScratchFolder() { remove_tree(L"\\\\?\\" + path_); }

void make_folders(const std::wstring& path) {
    for (std::size_t cut = path.find(L'\\', 3); cut != std::wstring::npos; cut = path.find(L'\\', cut + 1)) {
        ::CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
    }
    ::CreateDirectoryW(path.c_str(), nullptr);
}

void write_file(const std::wstring& path, std::string_view bytes) {
    make_folders(path.substr(0, path.rfind(L'\\')));
    const UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("CreateFileW failed");
    DWORD written = 0;
    if (!bytes.empty() &&
        (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
         written != bytes.size())) {
        throw std::runtime_error("WriteFile failed");
    }
}

std::optional<std::string> read_file(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD count = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &count, nullptr) && count > 0) bytes.append(buffer, count);
    return bytes;
}

void remove_tree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (is_dir(attributes) && !is_link(attributes)) {
        for_each_child(path, [&](const std::wstring& name, DWORD) { remove_tree(path + L"\\" + name); });
        ::RemoveDirectoryW(path.c_str());
    } else if (is_dir(attributes)) {
        ::RemoveDirectoryW(path.c_str());
    } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
    }
}

TreeSnapshot snapshot_tree(const std::wstring& root) {
    TreeSnapshot snapshot;
    snapshot_into(root, L"", snapshot);
    return snapshot;
}

payload::Sha256Digest sha256_of(std::string_view bytes) {
    payload::Sha256 hash;
    hash.add(bytes.data(), bytes.size());
    return hash.finish();
}

payload::TrustedOwners owners_with_current_user() { return payload::test_variant_trust().location_owners; }

}  // namespace zelkora::test
