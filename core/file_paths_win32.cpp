#include "core/file_paths_win32.h"

#include <shlobj.h>

#include <algorithm>

namespace zelkora::core {
namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr DWORD kLongPathUnits = 32768;
constexpr int kPathAttempts = 4;

bool has_drive_root_at(std::wstring_view path, std::size_t at) {
    return path.size() >= at + 3 && path[at + 1] == L':' && path[at + 2] == L'\\';
}

// Length of "C:\" or "\\?\C:\" at the start of path; 0 for other forms.
std::size_t drive_root_length(std::wstring_view path) {
    if (path.substr(0, kLongPrefix.size()) == kLongPrefix) {
        return has_drive_root_at(path, kLongPrefix.size()) ? kLongPrefix.size() + 3 : 0;
    }
    return has_drive_root_at(path, 0) ? 3 : 0;
}

}  // namespace

UniqueFile open_unlinked(const std::wstring& path, ObjectKind kind, DWORD access, DWORD sharing) {
    UniqueFile object(::CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!object || !::GetFileInformationByHandleEx(object.get(), FileAttributeTagInfo, &info, sizeof(info))) {
        return {};
    }
    const bool linked = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (linked || folder != (kind == ObjectKind::folder)) return {};
    return object;
}

std::optional<std::wstring> final_path(HANDLE file) {
    DWORD capacity = 512;
    for (int attempt = 0; attempt < kPathAttempts; ++attempt) {
        std::wstring buffer(capacity, L'\0');
        const DWORD length =
            ::GetFinalPathNameByHandleW(file, buffer.data(), capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < capacity) {
            buffer.resize(length);
            return buffer;
        }
        capacity = length + 1;
    }
    return std::nullopt;
}

bool paths_equal(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool PathLessIgnoringCase::operator()(const std::wstring& a, const std::wstring& b) const {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_LESS_THAN;
}

std::wstring parent_folder(const std::wstring& path) {
    const std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) return path;
    return path.substr(0, std::max(cut, drive_root_length(path)));
}

std::wstring setup_program_folder() {
    std::wstring path(kLongPathUnits, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), kLongPathUnits);
    if (length == 0 || length >= kLongPathUnits) return {};
    path.resize(length);
    if (path.find(L'\\') == std::wstring::npos) return {};
    return parent_folder(path);
}

std::wstring known_folder_path(REFKNOWNFOLDERID id) {
    UniqueCoTaskString path;
    if (FAILED(::SHGetKnownFolderPath(id, 0, nullptr, path.put())) || !path) return {};
    return path.get();
}

}  // namespace zelkora::core
