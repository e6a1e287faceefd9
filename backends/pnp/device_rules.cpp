#include "backends/pnp/device_rules.h"

#include <cstring>

namespace zelkora::pnp {
namespace {

char16_t ascii_upper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - (u'a' - u'A') : unit; }

bool is_hex_digit(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') || (unit >= u'A' && unit <= u'F');
}

}  // namespace

bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    }
    return true;
}

bool is_well_formed_instance_id(std::u16string_view id) {
    if (id.size() < kInstanceIdPrefix.size()) return false;
    if (!equal_ignoring_ascii_case(id.substr(0, kInstanceIdPrefix.size()), kInstanceIdPrefix)) return false;
    const std::u16string_view digits = id.substr(kInstanceIdPrefix.size());
    if (digits.size() < 4 || digits.size() > 8) return false;
    for (const char16_t unit : digits) {
        if (!is_hex_digit(unit)) return false;
    }
    return true;
}

std::optional<std::u16string> property_string(const PropertyAnswer& answer, std::uint32_t expected_type) {
    if (answer.type != expected_type) return std::nullopt;
    if (answer.size < 2 || answer.size > kPropertyBufferBytes || answer.size % 2 != 0) return std::nullopt;
    if (answer.size > answer.buffer.size()) return std::nullopt;
    std::u16string text(answer.size / 2, u'\0');
    std::memcpy(text.data(), answer.buffer.data(), answer.size);
    if (text.back() != u'\0') return std::nullopt;
    return text;
}

bool is_exactly_our_hardware_id(std::u16string_view list) {
    if (list.size() < 2 || list[list.size() - 1] != u'\0' || list[list.size() - 2] != u'\0') return false;
    const std::u16string_view id = list.substr(0, list.size() - 2);
    if (id.find(u'\0') != std::u16string_view::npos) return false;
    return equal_ignoring_ascii_case(id, kHardwareId);
}

bool is_our_label(std::u16string_view read_back) { return read_back == friendly_name_value(); }

std::u16string hardware_id_list() { return std::u16string(kHardwareId) + u'\0' + u'\0'; }

std::u16string friendly_name_value() { return std::u16string(kFriendlyName) + u'\0'; }

}  // namespace zelkora::pnp
