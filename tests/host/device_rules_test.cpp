#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backends/pnp/device_rules.h"

namespace {

using namespace zelkora::pnp;

struct IdCase {
    const char* name;
    std::u16string id;
    bool well_formed;
};

class InstanceIdRule : public testing::TestWithParam<IdCase> {};

TEST_P(InstanceIdRule, AcceptsOnlyThePrefixAndFourToEightHexDigits) {
    EXPECT_EQ(is_well_formed_instance_id(GetParam().id), GetParam().well_formed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstanceIdRule,
    testing::Values(IdCase{"four_digits", u"ROOT\\DISPLAY\\0000", true},
                    IdCase{"lower_case_prefix", u"root\\display\\0000", true},
                    IdCase{"mixed_case_hex", u"Root\\Display\\aBcDeF01", true},
                    IdCase{"eight_digits", u"ROOT\\DISPLAY\\FFFFFFFF", true},
                    IdCase{"three_digits", u"ROOT\\DISPLAY\\000", false},
                    IdCase{"nine_digits", u"ROOT\\DISPLAY\\000000000", false},
                    IdCase{"letter_g", u"ROOT\\DISPLAY\\00G0", false},
                    IdCase{"empty", u"", false},
                    IdCase{"prefix_only", u"ROOT\\DISPLAY\\", false},
                    IdCase{"other_enumerator", u"PCI\\DISPLAY\\0000", false},
                    IdCase{"forward_slashes", u"ROOT/DISPLAY/0000", false},
                    IdCase{"trailing_space", u"ROOT\\DISPLAY\\0000 ", false},
                    IdCase{"embedded_null", std::u16string(u"ROOT\\DISPLAY\\00\0" u"0", 17), false},
                    // Dotless i upper-cases to I under some folding rules; never ours.
                    IdCase{"look_alike_letter", u"ROOT\\D\u0131SPLAY\\0000", false},
                    IdCase{"fullwidth_digit", u"ROOT\\DISPLAY\\000\uFF10", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A property answer over a real 4096-byte buffer holding text.
struct Answer {
    std::vector<std::byte> buffer = std::vector<std::byte>(kPropertyBufferBytes);
    PropertyAnswer with(std::u16string_view text, std::uint32_t type, std::uint32_t size) {
        std::memcpy(buffer.data(), text.data(), std::min(text.size() * 2, buffer.size()));
        return PropertyAnswer{type, size, buffer};
    }
};

struct BufferCase {
    const char* name;
    std::u16string text;
    std::uint32_t type;
    std::uint32_t size;
    std::optional<std::u16string> expected;
};

class PropertyBuffer : public testing::TestWithParam<BufferCase> {};

TEST_P(PropertyBuffer, KeepsOnlyAnEvenNullEndedStringOfTheExpectedType) {
    Answer answer;
    const auto& c = GetParam();
    EXPECT_EQ(property_string(answer.with(c.text, c.type, c.size), kRegSz), c.expected);
}

const std::u16string kName = u"Name";
const std::u16string kNameNull(u"Name\0", 5);

INSTANTIATE_TEST_SUITE_P(
    Cases, PropertyBuffer,
    testing::Values(BufferCase{"string_with_null", kNameNull, kRegSz, 10, kNameNull},
                    BufferCase{"only_a_null", std::u16string(1, u'\0'), kRegSz, 2, std::u16string(1, u'\0')},
                    BufferCase{"wrong_type", kNameNull, kRegMultiSz, 10, std::nullopt},
                    BufferCase{"odd_size", kNameNull, kRegSz, 9, std::nullopt},
                    BufferCase{"zero_size", kNameNull, kRegSz, 0, std::nullopt},
                    BufferCase{"no_null_at_end", kName, kRegSz, 8, std::nullopt},
                    BufferCase{"over_the_buffer", kNameNull, kRegSz, 4098, std::nullopt},
                    // The zeroed rest of the buffer ends in a null: the whole buffer is taken.
                    BufferCase{"whole_buffer", kNameNull, kRegSz, 4096,
                               kName + std::u16string(2048 - kName.size(), u'\0')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PropertyBufferSize, NeverReadsPastTheBufferItWasGiven) {
    std::vector<std::byte> small(8);
    EXPECT_FALSE(property_string(PropertyAnswer{kRegSz, 10, small}, kRegSz));
}

struct ListCase {
    const char* name;
    std::u16string list;
    bool ours;
};

class HardwareIdList : public testing::TestWithParam<ListCase> {};

TEST_P(HardwareIdList, IsOursOnlyWithExactlyOurOneId) {
    EXPECT_EQ(is_exactly_our_hardware_id(GetParam().list), GetParam().ours);
}

std::u16string multi(std::u16string_view text) { return std::u16string(text) + u'\0' + u'\0'; }

INSTANTIATE_TEST_SUITE_P(
    Cases, HardwareIdList,
    testing::Values(ListCase{"ours", multi(u"Root\\SunshineVirtualDisplay"), true},
                    ListCase{"ours_other_case", multi(u"ROOT\\SUNSHINEVIRTUALDISPLAY"), true},
                    ListCase{"ours_and_a_second_id",
                             std::u16string(u"Root\\SunshineVirtualDisplay\0Root\\Other\0\0", 40), false},
                    ListCase{"second_id_first", std::u16string(u"Root\\Other\0Root\\SunshineVirtualDisplay\0\0", 40),
                             false},
                    ListCase{"one_closing_null", std::u16string(u"Root\\SunshineVirtualDisplay\0", 28), false},
                    ListCase{"empty_list", std::u16string(2, u'\0'), false},
                    ListCase{"prefix_of_ours", multi(u"Root\\SunshineVirtualDispla"), false},
                    ListCase{"ours_with_suffix", multi(u"Root\\SunshineVirtualDisplay2"), false},
                    ListCase{"look_alike_letter", multi(u"Root\\Sunsh\u0131neVirtualDisplay"), false},
                    ListCase{"three_closing_nulls", multi(u"Root\\SunshineVirtualDisplay") + u'\0', false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WrittenValues, HaveTheRegistrySizesTheDriverExpects) {
    EXPECT_EQ(hardware_id_list().size() * 2, 58u);
    EXPECT_EQ(friendly_name_value().size() * 2, 64u);
    EXPECT_TRUE(is_exactly_our_hardware_id(hardware_id_list()));
}

TEST(LabelReadBack, MustMatchIncludingItsTerminatingNull) {
    EXPECT_TRUE(is_our_label(friendly_name_value()));
    EXPECT_FALSE(is_our_label(kFriendlyName));                        // no null
    EXPECT_FALSE(is_our_label(friendly_name_value() + u'\0'));        // one null too many
    EXPECT_FALSE(is_our_label(u"Zelkora Virtual Display Adaptor"));   // another name
}

}  // namespace
