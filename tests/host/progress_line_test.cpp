#include <gtest/gtest.h>

#include <optional>

#include "core/line_splitter.h"
#include "core/progress_line.h"

namespace {

using zelkora::core::ProgressLine;

struct ParseCase {
    const char* name;
    std::string line;
    std::optional<ProgressLine> expected;
};

class ParseProgressLine : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseProgressLine, ParsesOrRejects) {
    EXPECT_EQ(zelkora::core::parse_progress_line(GetParam().line), GetParam().expected);
}

ProgressLine line(int code, std::u16string text) { return ProgressLine{code, std::move(text)}; }

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseProgressLine,
    testing::Values(
        ParseCase{"step_with_hangul", "6|\xec\x99\x84\xeb\xa3\x8c", line(6, u"완료")},
        ParseCase{"one_trailing_cr_removed", "-4|driver_install_required\r", line(-4, u"driver_install_required")},
        ParseCase{"only_one_cr_removed", "2|x\r\r", line(2, u"x\r")},
        ParseCase{"inner_cr_kept", "2|a\rb", line(2, u"a\rb")},
        ParseCase{"further_bars_belong_to_text", "1|a|b|", line(1, u"a|b|")},
        ParseCase{"preflight", "-5|preflight-complete-v1", line(-5, u"preflight-complete-v1")},
        ParseCase{"lowest_kind", "-5|x", line(-5, u"x")},
        ParseCase{"leading_space_and_plus", " \t+3|x", line(3, u"x")},
        ParseCase{"leading_zeros", "006|x", line(6, u"x")},
        ParseCase{"minus_zero", "-0|x", line(0, u"x")},
        ParseCase{"payload_request", "-6|x", std::nullopt},
        ParseCase{"above_six", "7|x", std::nullopt},
        ParseCase{"below_minus_five", "-6|", std::nullopt},
        ParseCase{"junk_after_number", "3x|x", std::nullopt},
        ParseCase{"space_before_bar", "3 |x", std::nullopt},
        ParseCase{"nul_inside_number", std::string("3\0|x", 4), std::nullopt},
        ParseCase{"no_bar", "nothing", std::nullopt},
        ParseCase{"no_number", "|x", std::nullopt},
        ParseCase{"sign_only", "-|x", std::nullopt},
        ParseCase{"two_signs", "+-3|x", std::nullopt},
        ParseCase{"empty_line", "", std::nullopt},
        ParseCase{"empty_text", "2|", std::nullopt},
        ParseCase{"text_only_cr", "2|\r", std::nullopt},
        ParseCase{"invalid_utf8", "2|\xff\xfe", std::nullopt},
        ParseCase{"overlong_utf8", "2|\xc0\xaf", std::nullopt},
        ParseCase{"surrogate_utf8", "2|\xed\xa0\x80", std::nullopt},
        ParseCase{"above_unicode_utf8", "2|\xf4\x90\x80\x80", std::nullopt},
        ParseCase{"beyond_32_bits", "4294967302|x", std::nullopt},
        ParseCase{"beyond_64_bits", "99999999999999999999999|x", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PayloadRequest, IsRecognisedByItsFirstThreeBytes) {
    EXPECT_TRUE(zelkora::core::is_payload_request("-6|"));
    EXPECT_TRUE(zelkora::core::is_payload_request("-6|place-v1|x"));
    EXPECT_FALSE(zelkora::core::is_payload_request("-6"));
    EXPECT_FALSE(zelkora::core::is_payload_request(" -6|x"));
    EXPECT_FALSE(zelkora::core::is_payload_request("-60|x"));
}

struct RunFixture : testing::Test {
    zelkora::core::RunProgress progress;
    zelkora::core::LineEffects apply(int code, std::u16string text, bool seamless = false) {
        return zelkora::core::apply_progress_line(progress, line(code, std::move(text)), seamless);
    }
};

TEST_F(RunFixture, StepsRaiseTheHighestStepAndSetTheStatus) {
    apply(3, u"three");
    apply(1, u"one");
    EXPECT_EQ(progress.highest_step, 3);
    EXPECT_EQ(progress.status_text, u"one");
    EXPECT_EQ(progress.line_count, 2);
}

TEST_F(RunFixture, EveryKindIsCountedButOnlySomeChangeTheStatus) {
    apply(2, u"step");
    apply(-5, u"preflight-complete-v1");
    apply(-4, u"driver_install_required");
    apply(-3, u"reboot-required-v1");
    EXPECT_EQ(progress.line_count, 4);
    EXPECT_EQ(progress.status_text, u"step");
    EXPECT_EQ(progress.reported_code, u"driver_install_required");
    EXPECT_FALSE(progress.preflight_signalled);  // not a seamless update
}

TEST_F(RunFixture, FailureMarksTheRunFailedAtOnce) {
    const auto effects = apply(-1, u"broken");
    EXPECT_TRUE(effects.run_failed);
    EXPECT_TRUE(progress.failure_seen);
    EXPECT_EQ(progress.status_text, u"broken");
    EXPECT_FALSE(apply(6, u"done").run_failed);
}

TEST_F(RunFixture, AttentionIsRememberedAndLaterStatusDoesNotEraseIt) {
    apply(-2, u"look");
    apply(6, u"done");
    EXPECT_TRUE(progress.attention_seen);
    EXPECT_EQ(progress.attention_text, u"look");
    EXPECT_EQ(progress.status_text, u"done");
}

TEST_F(RunFixture, OnlyAllowListedCodesAreReportedAndTheLastWins) {
    apply(-4, u"certificate_trust_required");
    apply(-4, u"C:\\Users\\someone\\secret.txt");
    apply(-4, u"install_failed");
    EXPECT_EQ(progress.reported_code, u"certificate_trust_required");
    apply(-4, u"existing_install_required");
    EXPECT_EQ(progress.reported_code, u"existing_install_required");
}

TEST_F(RunFixture, PreflightIsSignalledOnceInASeamlessUpdate) {
    apply(2, u"two");
    EXPECT_FALSE(apply(-5, u"preflight-complete-v1x", true).preflight_now);
    EXPECT_TRUE(apply(-5, u"preflight-complete-v1", true).preflight_now);
    apply(4, u"four");
    EXPECT_FALSE(apply(-5, u"preflight-complete-v1", true).preflight_now);
    EXPECT_TRUE(progress.preflight_signalled);
    EXPECT_EQ(progress.step_at_preflight, 2);
}

// The reader's outcome must not depend on how the pipe split the bytes.
class LineSplitting : public testing::TestWithParam<std::size_t> {};

struct SplitResult {
    std::vector<std::string> lines;
    bool open = true;
};

SplitResult split_in_chunks(const std::string& stream, std::size_t chunk) {
    zelkora::core::LineSplitter splitter;
    SplitResult result;
    for (std::size_t at = 0; at < stream.size() && result.open; at += chunk) {
        result.open = splitter.append(std::string_view(stream).substr(at, chunk),
                                      [&](std::string_view l) { result.lines.emplace_back(l); });
    }
    return result;
}

TEST_P(LineSplitting, CutsAtLineFeedsAndDropsTheUnfinishedTail) {
    const auto result = split_in_chunks("0|a\r\n\n3|b\nunfinished", GetParam());
    EXPECT_TRUE(result.open);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"0|a\r", "", "3|b"}));
}

TEST_P(LineSplitting, LongestAllowedLinePasses) {
    const std::string longest(zelkora::core::kMaxLineBytes - 1, 'x');
    const auto result = split_in_chunks("1|a\n" + longest + "\n2|b\n", GetParam());
    EXPECT_TRUE(result.open);
    ASSERT_EQ(result.lines.size(), 3u);
    EXPECT_EQ(result.lines[1].size(), longest.size());
}

TEST_P(LineSplitting, OverlongLineEndsTheChannelAfterTheLinesBeforeIt) {
    const std::string too_long(zelkora::core::kMaxLineBytes, 'x');
    for (const std::string tail : {"\n2|b\n", "", "yyyy"}) {
        const auto result = split_in_chunks("1|a\n" + too_long + tail, GetParam());
        EXPECT_FALSE(result.open);
        EXPECT_EQ(result.lines, std::vector<std::string>{"1|a"});
    }
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, LineSplitting, testing::Values(1, 3, 4096, 100000));

}  // namespace
