// Feeds arbitrary bytes through the backends' parsers: instance ids, property
// buffers and hardware-id lists as UTF-16, VersionStrings and digests as bytes.
// Checks that what they accept keeps the form the rules promise.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "backends/pnp/device_rules.h"
#include "backends/winfsp/package_rules.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void fuzz_device_rules(std::span<const std::byte> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    if (zelkora::pnp::is_well_formed_instance_id(text)) {
        check(text.size() >= 17 && text.size() <= 21);
    }
    // The answer claims every size the first units can spell, over a buffer of the real size.
    std::vector<std::byte> buffer(zelkora::pnp::kPropertyBufferBytes);
    std::memcpy(buffer.data(), bytes.data(), std::min(bytes.size(), buffer.size()));
    const auto size = static_cast<std::uint32_t>(bytes.size());
    for (const std::uint32_t claimed : {size, size + 1, size * 2, 4096u, 4098u}) {
        const auto value = zelkora::pnp::property_string({zelkora::pnp::kRegMultiSz, claimed, buffer},
                                                         zelkora::pnp::kRegMultiSz);
        if (!value) continue;
        check(value->size() * 2 == claimed && value->back() == u'\0');
        if (zelkora::pnp::is_exactly_our_hardware_id(*value)) check(value->size() == 29);
    }
}

void fuzz_package_rules(std::string_view text) {
    if (const auto version = zelkora::winfsp::parse_version_string(text)) {
        check(version->valid);
        // An accepted string is only digits and two or three dots.
        std::size_t dots = 0;
        for (const char c : text) {
            check(c == '.' || (c >= '0' && c <= '9'));
            dots += c == '.';
        }
        check(dots == 2 || dots == 3);
        check(!zelkora::winfsp::replaces(*version, *version));
    }
    if (const auto digest = zelkora::winfsp::decode_digest(text)) {
        static const char* const kHex = "0123456789abcdef";
        for (std::size_t i = 0; i < digest->size(); ++i) {
            check(text[2 * i] == kHex[(*digest)[i] >> 4] && text[2 * i + 1] == kHex[(*digest)[i] & 15]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_device_rules(std::as_bytes(std::span(data, size)));
    fuzz_package_rules(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
