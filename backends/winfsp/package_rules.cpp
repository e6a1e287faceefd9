#include "backends/winfsp/package_rules.h"

#include <limits>
#include <tuple>

namespace zelkora::winfsp {
namespace {

std::optional<std::uint32_t> parse_component(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// C0 controls, DEL and C1 controls.
bool is_control(char16_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

bool quotable(std::u16string_view path) {
    for (const char16_t unit : path) {
        if (unit == u'"' || is_control(unit)) return false;
    }
    return true;
}

bool is_drive_absolute(std::u16string_view path) {
    if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return false;
    const char16_t drive = static_cast<char16_t>(path[0] | 0x20);
    return drive >= u'a' && drive <= u'z';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<VersionRecord> parse_version_string(std::string_view text) {
    std::array<std::uint32_t, 4> parts{};
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        if (count == parts.size()) return std::nullopt;
        const std::size_t dot = text.find('.', start);
        const auto part = parse_component(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (!part) return std::nullopt;
        parts[count++] = *part;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (count < 3) return std::nullopt;
    if (count == 4 && parts[3] != 0) return std::nullopt;
    return VersionRecord{parts[0], parts[1], parts[2], true};
}

bool replaces(const VersionRecord& candidate, const VersionRecord& kept) {
    if (!kept.valid) return true;
    return std::tie(candidate.major, candidate.minor, candidate.build) >
           std::tie(kept.major, kept.minor, kept.build);
}

std::optional<Digest> decode_digest(std::string_view hex) {
    Digest digest{};
    if (hex.size() != digest.size() * 2) return std::nullopt;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = hex_value(hex[2 * i]);
        const int low = hex_value(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return digest;
}

std::optional<std::u16string> msiexec_command_line(std::u16string_view msiexec, std::u16string_view package,
                                                   std::u16string_view log) {
    if (!quotable(msiexec) || !quotable(package) || !quotable(log)) return std::nullopt;
    std::u16string line = u"\"";
    line += msiexec;
    line += u"\" /i \"";
    line += package;
    line += u"\" /qn /norestart REBOOT=ReallySuppress /l*v \"";
    line += log;
    line += u"\"";
    return line;
}

std::u16string library_path(std::u16string_view install_dir) {
    if (!is_drive_absolute(install_dir)) return {};
    std::u16string path(install_dir);
    if (path.back() != u'\\') path += u'\\';
    path += kLibraryBelowInstallDir;
    return path;
}

}  // namespace zelkora::winfsp
