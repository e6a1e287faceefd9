// Feeds arbitrary UTF-16 text through the path rules and checks that a
// normalized path is always safe and stable.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "payload/path_rules.h"

namespace {

using namespace zelkora::payload;

void check(bool condition) {
    if (!condition) std::abort();
}

void check_normalized(std::u16string_view input, const std::u16string& normalized) {
    check(normalize_relative_path(normalized) == normalized);
    check(normalized.find(u'/') == std::u16string::npos);
    // Every component is a real name: never empty, "." or "..".
    std::size_t start = 0;
    for (;;) {
        const auto end = normalized.find(u'\\', start);
        const auto component = std::u16string_view(normalized).substr(start, end - start);
        check(!component.empty() && component != u"." && component != u"..");
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
    // Normalizing only ever changes separators.
    check(normalized.size() == input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        check(normalized[i] == (input[i] == u'/' ? u'\\' : input[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);

    if (const auto normalized = normalize_relative_path(text)) check_normalized(text, *normalized);

    const auto identity = [](std::u16string_view path) { return std::optional<std::u16string>(path); };
    check(passes_absolute_path_rule(text, identity) == passes_absolute_path_syntax(text));
    if (passes_absolute_path_syntax(text)) {
        check(text.size() >= 3 && text[1] == u':' && text[2] == u'\\');
        check(text.find(u'/') == std::u16string::npos);
    }

    const std::u16string folded = fold_case(text);
    check(fold_case(folded) == folded);
    check(paths_equal_ignoring_case(text, folded));
    return 0;
}
