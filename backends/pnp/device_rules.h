#pragma once
// The rules the virtual display backend applies to what SetupAPI hands back:
// instance ids, property buffers and hardware-id lists. Portable: no
// <windows.h>, so the host tests and the fuzzer reach them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zelkora::pnp {

inline constexpr std::u16string_view kInstanceIdPrefix = u"ROOT\\DISPLAY\\";
inline constexpr std::u16string_view kHardwareId = u"Root\\SunshineVirtualDisplay";
inline constexpr std::u16string_view kFriendlyName = u"Zelkora Virtual Display Adapter";
inline constexpr std::u16string_view kDisplayClassName = u"Display";

// SetupDiGetDeviceRegistryPropertyW answers into a buffer of this size.
inline constexpr std::size_t kPropertyBufferBytes = 4096;
// Registry types, as winnt.h numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegMultiSz = 7;

// "ROOT\DISPLAY\" (any case) and 4 to 8 hexadecimal digits, nothing else.
bool is_well_formed_instance_id(std::u16string_view id);

// Case-insensitive for ASCII letters only: a unit outside ASCII never equals
// an ASCII one, so a look-alike name is never taken for ours.
bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b);

// What a property read returned: the call succeeded, the type and the size it
// reported, and the buffer it filled (kPropertyBufferBytes).
struct PropertyAnswer {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::span<const std::byte> buffer;
};

// The property as a string of size / 2 units, its terminating null(s)
// included; nothing when the type differs, the size is not even, not within
// 2..4096 bytes (or the buffer), or the last unit is not a null.
std::optional<std::u16string> property_string(const PropertyAnswer& answer, std::uint32_t expected_type);

// A REG_MULTI_SZ as property_string gives it: exactly one id, ours, with the
// two closing nulls and no other null.
bool is_exactly_our_hardware_id(std::u16string_view list);

// The friendly name read back must be the label and its one terminating null.
bool is_our_label(std::u16string_view read_back);

// The REG_MULTI_SZ written as SPDRP_HARDWAREID: the id, its null and the
// list-ending null (58 bytes).
std::u16string hardware_id_list();
// The REG_SZ written as SPDRP_FRIENDLYNAME, its null included (64 bytes).
std::u16string friendly_name_value();

}  // namespace zelkora::pnp
