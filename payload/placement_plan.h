#pragma once
// The placement plan built from "place-v1" and "file" requests and carried
// out on "commit", and the result handed back to the request protocol.
// Portable: no <windows.h>.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zelkora::payload {

inline constexpr std::size_t kMaxPlanEntries = 100000;
inline constexpr std::uint64_t kMaxFileSize = 4294967296ULL;  // 4 GiB exactly is allowed

using Sha256Digest = std::array<std::uint8_t, 32>;

struct FileEntry {
    std::u16string relative_path;  // normalized, components joined by '\'
    std::uint64_t size = 0;
    Sha256Digest digest{};
};

struct PlacementPlan {
    std::u16string source_root;
    std::u16string destination;
    std::u16string containment_root;  // may be empty
    std::u16string ownership_marker;  // file name, may be empty
    bool destination_must_be_empty = false;
    bool protection_checks = true;
    std::vector<FileEntry> entries;
};

struct PlacementResult {
    bool ok = false;
    std::string error;  // empty on success
    std::uint64_t written = 0;
    std::uint64_t unchanged = 0;
};

}  // namespace zelkora::payload
