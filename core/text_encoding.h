#pragma once
// UTF-8 <-> UTF-16 conversion for the portable logic. No <windows.h> here:
// this header is compiled into the product and into the host tests.

#include <optional>
#include <string>
#include <string_view>

namespace zelkora {

// Strict decoding: overlong forms, encoded surrogates, code points above
// U+10FFFF, stray continuation bytes and truncated sequences all fail.
std::optional<std::u16string> utf8_to_utf16_strict(std::string_view bytes);

// Lone surrogates become U+FFFD so the output is always valid UTF-8.
std::string utf16_to_utf8(std::u16string_view text);

// ASCII-only widening and narrowing for codes and protocol words.
std::u16string ascii_to_utf16(std::string_view ascii);
// Fails when any unit lies outside printable ASCII (32..126).
std::optional<std::string> printable_ascii_from_utf16(std::u16string_view text);

}  // namespace zelkora
