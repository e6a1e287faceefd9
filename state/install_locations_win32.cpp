#include "state/install_locations_win32.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <array>
#include <cstring>
#include <vector>

#include "core/file_paths_win32.h"
#include "core/owners_win32.h"
#include "core/wide.h"
#include "setup_version.h"
#include "state/version.h"
#include "state/version_folders.h"

namespace zelkora::state {
namespace {

constexpr DWORD kMaxVersionBlockBytes = 0x100000;
constexpr DWORD kFixedFileInfoBytes = 52;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kMaxVersionPart = 65535;

struct ProductLayout {
    const wchar_t* folder;
    std::string_view product_word;
    std::u16string_view metadata_file;
};

ProductLayout layout_of(Product product) {
    if (product == Product::host) return {L"Host", "ZelkoraHost", u"zelkora-host.json"};
    return {L"Client", kClientProductWord, kClientMetadataFile};
}

bool has_attributes(const std::wstring& path, bool folder) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

bool is_plain_folder(const std::wstring& path) { return has_attributes(path, true); }
bool is_plain_file(const std::wstring& path) { return has_attributes(path, false); }

// Three numbers of at most 65535 from a well-formed version.
std::optional<std::array<std::uint32_t, 3>> version_parts(std::string_view version) {
    if (!is_well_formed_version(version)) return std::nullopt;
    std::array<std::uint32_t, 3> parts{};
    std::size_t part = 0;
    for (const char c : version) {
        if (c == '.') {
            ++part;
            continue;
        }
        parts[part] = parts[part] * 10 + static_cast<std::uint32_t>(c - '0');
        if (parts[part] > kMaxVersionPart) return std::nullopt;
    }
    return parts;
}

std::optional<std::string> read_small_file(const std::wstring& path, std::size_t limit) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(limit)) {
        return std::nullopt;
    }
    // One byte more than allowed, so a file that grew since is refused too.
    std::string bytes(limit + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) break;
        filled += read;
    }
    if (filled > limit) return std::nullopt;
    bytes.resize(filled);
    return bytes;
}

bool version_folder_proves(const std::wstring& folder, Product product, std::string_view version) {
    const ProductLayout layout = layout_of(product);
    return metadata_file_matches(core::join_path(folder, to_wide(layout.metadata_file)), layout.product_word, version);
}

std::wstring product_folder(const std::wstring& root, Product product) {
    return core::join_path(core::join_path(root, L"Zelkora"), layout_of(product).folder);
}

std::optional<LaunchTarget> client_target(const std::wstring& version_folder, std::string_view version) {
    const std::wstring program = core::join_path(version_folder, L"Zelkora.exe");
    if (!version_folder_proves(version_folder, Product::client, version) ||
        !file_version_equals(program, version, false)) {
        return std::nullopt;
    }
    return LaunchTarget{program, version_folder, L"", false};
}

// {root}\Zelkora, {root}\Zelkora\Client and the version folder below it.
std::array<std::wstring, 3> client_folders(const std::wstring& root, std::string_view version) {
    const std::wstring zelkora = core::join_path(root, L"Zelkora");
    const std::wstring client = core::join_path(zelkora, L"Client");
    return {zelkora, client, core::join_path(client, std::wstring(version.begin(), version.end()))};
}

std::optional<LaunchTarget> protected_client_target(const std::wstring& root, std::string_view version,
                                                    const core::TrustedOwners& owners) {
    const auto folders = client_folders(root, version);
    for (const std::wstring& folder : folders) {
        if (!core::is_protected_location(folder, core::ObjectKind::folder, owners)) return std::nullopt;
    }
    if (!core::is_protected_location(core::join_path(folders[2], L"Zelkora.exe"), core::ObjectKind::file, owners)) {
        return std::nullopt;
    }
    return client_target(folders[2], version);
}

std::optional<LaunchTarget> per_user_client_target(const std::wstring& root, std::string_view version) {
    const auto folders = client_folders(root, version);
    for (const std::wstring& folder : folders) {
        if (!is_plain_folder(folder)) return std::nullopt;
    }
    if (!is_plain_file(core::join_path(folders[2], L"Zelkora.exe"))) return std::nullopt;
    return client_target(folders[2], version);
}

std::optional<LaunchTarget> host_target(const std::wstring& root, std::string_view version) {
    const std::wstring host = product_folder(root, Product::host);
    const std::wstring version_folder = core::join_path(host, std::wstring(version.begin(), version.end()));
    const std::wstring bin = core::join_path(version_folder, L"bin");
    const std::wstring program = core::join_path(bin, L"ZelkoraHostSettings.exe");
    if (!is_plain_folder(core::join_path(root, L"Zelkora")) || !is_plain_folder(host) ||
        !is_plain_folder(version_folder) || !is_plain_folder(bin) || !is_plain_file(program) ||
        !version_folder_proves(version_folder, Product::host, version)) {
        return std::nullopt;
    }
    return LaunchTarget{program, bin, L"--host-settings", true};
}

}  // namespace

bool file_version_equals(const std::wstring& exe, std::string_view version, bool strict) {
    const auto parts = version_parts(version);
    if (!parts) return false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeExW(FILE_VER_GET_NEUTRAL, exe.c_str(), &ignored);
    if (size == 0 || size > kMaxVersionBlockBytes) return false;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoExW(FILE_VER_GET_NEUTRAL, exe.c_str(), 0, size, block.data())) return false;
    void* root = nullptr;
    UINT root_size = 0;
    if (!::VerQueryValueW(block.data(), L"\\", &root, &root_size) || !root || root_size < kFixedFileInfoBytes) {
        return false;
    }
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, root, sizeof(info));
    if (info.dwSignature != kFixedFileInfoSignature) return false;
    return (*parts)[0] == HIWORD(info.dwFileVersionMS) && (*parts)[1] == LOWORD(info.dwFileVersionMS) &&
           (*parts)[2] == HIWORD(info.dwFileVersionLS) && (!strict || LOWORD(info.dwFileVersionLS) == 0);
}

bool metadata_file_matches(const std::wstring& path, std::string_view product_word, std::string_view version) {
    if (!is_plain_file(path)) return false;
    const auto bytes = read_small_file(path, kMaxMetadataBytes);
    return bytes && metadata_matches(*bytes, product_word, version);
}

std::optional<std::string> highest_installed_version(const std::wstring& root, Product product) {
    if (root.empty()) return std::nullopt;
    const std::wstring folder = product_folder(root, product);
    if (!is_plain_folder(core::join_path(root, L"Zelkora")) || !is_plain_folder(folder)) return std::nullopt;

    WIN32_FIND_DATAW entry{};
    const UniqueFind search(::FindFirstFileExW(core::join_path(folder, L"*").c_str(), FindExInfoBasic, &entry,
                                                     FindExSearchNameMatch, nullptr, 0));
    if (!search) return std::nullopt;
    std::optional<std::string> best;
    do {
        const auto version = version_of_folder_name(from_wide(entry.cFileName));
        if (!version) continue;
        const std::wstring candidate = core::join_path(folder, entry.cFileName);
        if (!is_plain_folder(candidate) || !version_folder_proves(candidate, product, *version)) continue;
        if (!best || is_older(*best, *version)) best = *version;
    } while (::FindNextFileW(search.get(), &entry));
    return best;
}

bool installed_client_newer_than(const std::wstring& root, std::string_view own_version) {
    const auto installed = highest_installed_version(root, Product::client);
    return installed && (!is_well_formed_version(own_version) || is_older(own_version, *installed));
}

bool installed_client_newer_than_setup() {
    const std::wstring program_files = core::known_folder_path(FOLDERID_ProgramFiles);
    return !program_files.empty() && installed_client_newer_than(program_files, kSetupVersion);
}

std::optional<LaunchTarget> resolve_launch_target_under(Product product, std::string_view version,
                                                        const std::wstring& program_files,
                                                        const std::wstring& per_user,
                                                        const core::TrustData& trust) {
    if (!is_well_formed_version(version)) return std::nullopt;
    if (product == Product::host) {
        if (program_files.empty()) return std::nullopt;
        return host_target(program_files, version);
    }
    if (!program_files.empty()) {
        if (auto target = protected_client_target(program_files, version, trust.location_owners)) return target;
    }
    if (!per_user.empty()) return per_user_client_target(per_user, version);
    return std::nullopt;
}

std::optional<LaunchTarget> resolve_launch_target(Product product, std::string_view version,
                                                  const core::TrustData& trust) {
    return resolve_launch_target_under(product, version, core::known_folder_path(FOLDERID_ProgramFiles),
                                       core::known_folder_path(FOLDERID_LocalAppData), trust);
}

}  // namespace zelkora::state
