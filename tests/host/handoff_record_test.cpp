#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "state/handoff_record.h"

namespace {

using namespace zelkora::state;

HandoffRecord sample_record() {
    HandoffRecord record;
    record.from_version = "0.9.0";
    record.to_version = "1.0.0";
    record.token = u"0123456789abcdef0123456789abcdef";
    record.placement[0] = 44;
    record.placement[8] = 1;
    record.has_placement = true;
    record.bounds = {0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x30, 0x03, 0, 0, 0x40, 0x02, 0, 0};
    record.has_bounds = true;
    record.dark = true;
    record.process_id = 4321;
    record.created = 0x01DB'0000'1234'5678;
    record.stage = 2;
    return record;
}

std::optional<RawValue>& slot(RawHandoffValues& values, HandoffValue which) {
    return values[static_cast<std::size_t>(which)];
}

RawValue text(std::u16string_view value) {
    RawValue raw{kRegistryString, std::vector<std::uint8_t>(2 * (value.size() + 1))};
    for (std::size_t i = 0; i < value.size(); ++i) {
        raw.data[2 * i] = static_cast<std::uint8_t>(value[i]);
        raw.data[2 * i + 1] = static_cast<std::uint8_t>(value[i] >> 8);
    }
    return raw;
}

RawValue dword(std::uint32_t value) {
    return RawValue{kRegistryDword, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                     static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

RawValue binary(std::size_t size, std::uint8_t length_field) {
    RawValue raw{kRegistryBinary, std::vector<std::uint8_t>(size)};
    raw.data[0] = length_field;
    return raw;
}

TEST(HandoffRecordValues, EncodedRecordReadsBackUnchanged) {
    const HandoffRecord record = sample_record();
    EXPECT_EQ(validate_raw_record(encode_record(record)), record);

    HandoffRecord bare = record;
    bare.has_placement = false;
    bare.placement = {};
    bare.has_bounds = false;
    bare.bounds = {};
    bare.outcome = "failed";
    bare.code = "install_failed";
    bare.attention = true;
    bare.restart_required = true;
    const RawHandoffValues values = encode_record(bare);
    EXPECT_FALSE(values[static_cast<std::size_t>(HandoffValue::placement)]);
    EXPECT_FALSE(values[static_cast<std::size_t>(HandoffValue::bounds)]);
    EXPECT_EQ(validate_raw_record(values), bare);
}

TEST(HandoffRecordValues, StringsAreWrittenWithTheirTerminator) {
    const RawHandoffValues values = encode_record(sample_record());
    EXPECT_EQ(values[static_cast<std::size_t>(HandoffValue::token)], text(u"0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(values[static_cast<std::size_t>(HandoffValue::token)]->data.size(), 66u);
    EXPECT_EQ(values[static_cast<std::size_t>(HandoffValue::stage)], dword(2));
}

struct RawCase {
    const char* name;
    std::function<void(RawHandoffValues&)> change;
    bool valid;
    bool has_placement = true;
    bool has_bounds = true;
};

class HandoffRecordValidation : public testing::TestWithParam<RawCase> {};

TEST_P(HandoffRecordValidation, WholeRecordOrNothing) {
    RawHandoffValues values = encode_record(sample_record());
    GetParam().change(values);
    const auto record = validate_raw_record(values);
    ASSERT_EQ(record.has_value(), GetParam().valid);
    if (!record) return;
    EXPECT_TRUE(is_valid_record(*record));
    EXPECT_EQ(record->has_placement, GetParam().has_placement);
    EXPECT_EQ(record->has_bounds, GetParam().has_bounds);
}

void set(RawHandoffValues& values, HandoffValue which, RawValue value) { slot(values, which) = std::move(value); }

INSTANTIATE_TEST_SUITE_P(
    Cases, HandoffRecordValidation,
    testing::Values(
        RawCase{"as written", [](RawHandoffValues&) {}, true},
        RawCase{"schema 2", [](auto& v) { set(v, HandoffValue::schema, dword(2)); }, false},
        RawCase{"schema as string", [](auto& v) { set(v, HandoffValue::schema, text(u"1")); }, false},
        RawCase{"schema missing", [](auto& v) { slot(v, HandoffValue::schema).reset(); }, false},
        RawCase{"upper-case token",
                [](auto& v) { set(v, HandoffValue::token, text(u"0123456789ABCDEF0123456789ABCDEF")); }, false},
        RawCase{"31-character token",
                [](auto& v) { set(v, HandoffValue::token, text(u"0123456789abcdef0123456789abcde")); }, false},
        RawCase{"capital Ready", [](auto& v) { set(v, HandoffValue::outcome, text(u"Ready")); }, false},
        RawCase{"outcome ready", [](auto& v) { set(v, HandoffValue::outcome, text(u"ready")); }, true},
        RawCase{"stage 7", [](auto& v) { set(v, HandoffValue::stage, dword(7)); }, false},
        RawCase{"stage 6", [](auto& v) { set(v, HandoffValue::stage, dword(6)); }, true},
        RawCase{"dark 2", [](auto& v) { set(v, HandoffValue::dark, dword(2)); }, false},
        RawCase{"attention 2", [](auto& v) { set(v, HandoffValue::attention, dword(2)); }, false},
        RawCase{"code -", [](auto& v) { set(v, HandoffValue::code, text(u"-")); }, false},
        RawCase{"code of the table", [](auto& v) { set(v, HandoffValue::code, text(u"update_not_newer")); }, true},
        RawCase{"code in capitals", [](auto& v) { set(v, HandoffValue::code, text(u"Install_failed")); }, false},
        RawCase{"version of two parts", [](auto& v) { set(v, HandoffValue::from_version, text(u"0.9")); }, false},
        RawCase{"version beyond ASCII", [](auto& v) { set(v, HandoffValue::to_version, text(u"1.0.\uFF10")); },
                false},
        RawCase{"created as a DWORD", [](auto& v) { set(v, HandoffValue::created, dword(1)); }, false},
        RawCase{"process id missing", [](auto& v) { slot(v, HandoffValue::process_id).reset(); }, false},
        RawCase{"DWORD of 8 bytes",
                [](auto& v) {
                    RawValue wide = dword(1);
                    wide.data.resize(8);
                    set(v, HandoffValue::dark, wide);
                },
                false},
        // RegGetValueW's 130-byte buffer: 65 units with no terminator do not fit.
        RawCase{"string filling the buffer",
                [](auto& v) {
                    RawValue value = text(u"1.0.0");
                    value.data.resize(130);
                    set(v, HandoffValue::to_version, value);
                },
                true},
        RawCase{"string one unit too long for the buffer",
                [](auto& v) {
                    RawValue value{kRegistryString, std::vector<std::uint8_t>(130, '1')};
                    set(v, HandoffValue::outcome, value);
                },
                false},
        RawCase{"placement length field 0", [](auto& v) { set(v, HandoffValue::placement, binary(44, 0)); }, true,
                false},
        RawCase{"placement of 40 bytes", [](auto& v) { set(v, HandoffValue::placement, binary(40, 44)); }, true,
                false},
        RawCase{"placement as a string", [](auto& v) { set(v, HandoffValue::placement, text(u",")); }, true, false},
        RawCase{"bounds of 17 bytes", [](auto& v) { set(v, HandoffValue::bounds, binary(17, 0)); }, true, true,
                false},
        RawCase{"no placement, no bounds",
                [](auto& v) {
                    slot(v, HandoffValue::placement).reset();
                    slot(v, HandoffValue::bounds).reset();
                },
                true, false, false}),
    [](const testing::TestParamInfo<RawCase>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(HandoffRecordRules, WritableRecordsNeedWellFormedParts) {
    EXPECT_TRUE(is_writable_record(sample_record()));
    const std::function<void(HandoffRecord&)> breaks[] = {
        [](HandoffRecord& r) { r.from_version = "0.9"; },
        [](HandoffRecord& r) { r.to_version = ""; },
        [](HandoffRecord& r) { r.token = u"0123456789abcdef0123456789abcdeg"; },
        [](HandoffRecord& r) { r.outcome = "done"; },
        [](HandoffRecord& r) { r.code = "-"; },
    };
    for (const auto& change : breaks) {
        HandoffRecord record = sample_record();
        change(record);
        EXPECT_FALSE(is_writable_record(record));
        EXPECT_FALSE(is_valid_record(record));
    }
    HandoffRecord negative_stage = sample_record();
    negative_stage.stage = -1;
    EXPECT_FALSE(is_valid_record(negative_stage));
}

TEST(HandoffRecordRules, StageIsClampedToTheSteps) {
    const std::pair<std::int64_t, std::int32_t> cases[] = {
        {9, 6}, {-1, 0}, {0, 0}, {6, 6}, {3, 3},
        {std::numeric_limits<std::int64_t>::min(), 0}, {std::int64_t{1} << 40, 6},
    };
    for (const auto& [stage, clamped] : cases) EXPECT_EQ(clamp_stage(stage), clamped) << stage;

    const RawHandoffValues values = encode_outcome({"completed", "", 9, false, false});
    EXPECT_EQ(values[static_cast<std::size_t>(HandoffValue::stage)], dword(6));
    EXPECT_FALSE(values[static_cast<std::size_t>(HandoffValue::token)]);
}

TEST(HandoffRecordRules, NamesDerivedFromTheRecord) {
    const std::u16string token = u"0123456789abcdef0123456789abcdef";
    EXPECT_EQ(update_event_name(token), u"Local\\Zelkora.Update.0123456789abcdef0123456789abcdef");
    EXPECT_EQ(update_event_name(token).size(), 53u);
    EXPECT_EQ(isolated_handoff_base_path(4242), u"Software\\Zelkora\\QA\\UpdateHandoff.4242");
    EXPECT_EQ(isolated_handoff_base_path(4294967295u), u"Software\\Zelkora\\QA\\UpdateHandoff.4294967295");
    EXPECT_EQ(caller_subkey(HandoffCaller::client), u"Client");
    EXPECT_EQ(caller_subkey(HandoffCaller::host_settings), u"HostSettings");
}

}  // namespace
