#include "text.h"

namespace zelkora::standin {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_code_point(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

template <typename Unit>
std::string encode(std::basic_string_view<Unit> text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = static_cast<char16_t>(text[i]);
        if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(static_cast<char16_t>(text[i + 1]))) {
            const char32_t low = static_cast<char16_t>(text[++i]);
            append_code_point(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            append_code_point(out, kReplacement);
        } else {
            append_code_point(out, unit);
        }
    }
    return out;
}

// The lead byte's sequence length and the range its second byte must lie
// in (the ranges exclude overlong forms, surrogates and values above
// U+10FFFF); length 0 for a byte that cannot lead.
struct Lead {
    int length;
    unsigned char second_low;
    unsigned char second_high;
};

Lead lead_of(unsigned char byte) {
    if (byte < 0x80) return {1, 0, 0};
    if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
    if (byte == 0xE0) return {3, 0xA0, 0xBF};
    if (byte == 0xED) return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
    if (byte == 0xF0) return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
    if (byte == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

}  // namespace

std::string utf8(std::u16string_view text) { return encode(text); }
std::string utf8(std::wstring_view text) { return encode(text); }

std::optional<std::wstring> wide_from_utf8(std::string_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const Lead lead = lead_of(byte);
        if (lead.length == 0 || i + lead.length > text.size()) return std::nullopt;
        if (lead.length == 1) {
            out.push_back(static_cast<wchar_t>(byte));
            ++i;
            continue;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < lead.second_low || second > lead.second_high) return std::nullopt;
        char32_t c = byte & (0xFF >> (lead.length + 1));
        for (int k = 1; k < lead.length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
        i += lead.length;
    }
    return out;
}

}  // namespace zelkora::standin
