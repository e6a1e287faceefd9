#pragma once
// The stand-in's own UTF-8 and UTF-16 conversion, written apart from the
// setup's so that a fault in one shows against the other.

#include <optional>
#include <string>
#include <string_view>

namespace zelkora::standin {

// UTF-8 as .NET's UTF8Encoding writes it: a lone surrogate becomes U+FFFD.
std::string utf8(std::u16string_view text);
std::string utf8(std::wstring_view text);

// Strict decoding: nothing for an overlong form, an encoded surrogate, a code
// point above U+10FFFF, a stray continuation byte or a cut sequence.
std::optional<std::wstring> wide_from_utf8(std::string_view text);

}  // namespace zelkora::standin
