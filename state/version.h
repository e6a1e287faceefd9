#pragma once
// Version strings: three dot-separated decimal components. Portable: no
// <windows.h>.

#include <cstddef>
#include <string_view>

namespace zelkora::state {

inline constexpr std::size_t kMaxVersionLength = 20;
inline constexpr std::size_t kMaxVersionComponentDigits = 6;

// Three components of 1 to 6 ASCII digits, leading zeros allowed, at most 20
// characters, nothing before or after.
bool is_well_formed_version(std::string_view version);

// Whether a is older than b, comparing the three numbers in order. A side
// that does not start with three dot-separated numbers of at most 32 bits
// makes a count as older, so a doubtful version never wins.
bool is_older(std::string_view a, std::string_view b);

}  // namespace zelkora::state
