#pragma once
// The in-memory form of the update hand-off record that the running Client
// leaves in the registry before a seamless update. Portable: no <windows.h>.

#include <array>
#include <cstdint>
#include <string>

namespace zelkora::state {

struct HandoffRecord {
    std::string from_version;
    std::string to_version;
    std::u16string token;
    std::array<std::uint8_t, 44> placement{};
    bool has_placement = false;
    std::array<std::uint8_t, 16> bounds{};
    bool has_bounds = false;
    bool dark = false;
    std::uint32_t process_id = 0;
    std::uint64_t created = 0;  // FILETIME units; 0 = unset
    std::string outcome;
    std::string code;
    std::int32_t stage = 0;
    bool attention = false;
    bool restart_required = false;
};

}  // namespace zelkora::state
