#include "state/version.h"

#include <array>
#include <cstdint>
#include <optional>

namespace zelkora::state {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads one run of digits at the front of text; nothing when there is none
// or its value does not fit in 32 bits.
std::optional<std::uint32_t> take_number(std::string_view& text) {
    std::size_t length = 0;
    std::uint64_t value = 0;
    while (length < text.size() && is_digit(text[length])) {
        value = value * 10 + static_cast<std::uint64_t>(text[length] - '0');
        if (value > UINT32_MAX) return std::nullopt;
        ++length;
    }
    if (length == 0) return std::nullopt;
    text.remove_prefix(length);
    return static_cast<std::uint32_t>(value);
}

// Like "%lu.%lu.%lu": text after the third number is ignored. Unlike it, no
// white space or sign is taken, so "-1.0.0" never reads as a huge version.
std::optional<std::array<std::uint32_t, 3>> version_numbers(std::string_view text) {
    std::array<std::uint32_t, 3> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) {
            if (!text.starts_with('.')) return std::nullopt;
            text.remove_prefix(1);
        }
        const auto number = take_number(text);
        if (!number) return std::nullopt;
        numbers[i] = *number;
    }
    return numbers;
}

}  // namespace

bool is_well_formed_version(std::string_view version) {
    if (version.size() > kMaxVersionLength) return false;
    std::size_t components = 0;
    std::size_t digits = 0;
    for (const char c : version) {
        if (c == '.') {
            if (digits == 0 || ++components == 3) return false;
            digits = 0;
        } else if (is_digit(c)) {
            if (++digits > kMaxVersionComponentDigits) return false;
        } else {
            return false;
        }
    }
    return components == 2 && digits > 0;
}

bool is_older(std::string_view a, std::string_view b) {
    const auto left = version_numbers(a);
    const auto right = version_numbers(b);
    if (!left || !right) return true;
    return *left < *right;
}

}  // namespace zelkora::state
