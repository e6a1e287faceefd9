#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "backends/winfsp/package_rules.h"

namespace {

using namespace zelkora::winfsp;

struct VersionCase {
    const char* name;
    std::string text;
    std::optional<std::array<std::uint32_t, 3>> parsed;
};

class VersionStringParse : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionStringParse, TakesThreeOrFourDecimalComponentsWithAZeroFourth) {
    const auto record = parse_version_string(GetParam().text);
    ASSERT_EQ(record.has_value(), GetParam().parsed.has_value());
    if (!record) return;
    EXPECT_TRUE(record->valid);
    EXPECT_EQ((std::array{record->major, record->minor, record->build}), *GetParam().parsed);
}

using V = std::array<std::uint32_t, 3>;
INSTANTIATE_TEST_SUITE_P(
    Cases, VersionStringParse,
    testing::Values(VersionCase{"three", "2.0.23075", V{2, 0, 23075}},
                    VersionCase{"zero_fourth", "2.0.23075.0", V{2, 0, 23075}},
                    VersionCase{"largest_component", "4294967295.0.1", V{4294967295u, 0, 1}},
                    VersionCase{"leading_zeros", "02.00.0010", V{2, 0, 10}},
                    VersionCase{"non_zero_fourth", "2.0.23075.5", std::nullopt},
                    VersionCase{"two", "2.0", std::nullopt},
                    VersionCase{"five", "2.0.1.0.0", std::nullopt},
                    VersionCase{"trailing_dot", "2.0.23075.", std::nullopt},
                    VersionCase{"double_dot", "2..0.1", std::nullopt},
                    VersionCase{"leading_dot", ".2.0.1", std::nullopt},
                    VersionCase{"over_32_bits", "4294967296.0.1", std::nullopt},
                    VersionCase{"many_digits", "2.0.000000000000000000001", V{2, 0, 1}},
                    VersionCase{"sign", "+2.0.1", std::nullopt},
                    VersionCase{"space", "2.0.1 ", std::nullopt},
                    VersionCase{"letter", "2.0.1a", std::nullopt},
                    VersionCase{"empty", "", std::nullopt},
                    VersionCase{"embedded_null", std::string("2.0.1\0", 6), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HighestVersion, ComparesMajorMinorBuildInThatOrder) {
    const VersionRecord none;
    const VersionRecord low{2, 0, 23075, true};
    const VersionRecord high{2, 1, 24255, true};
    EXPECT_TRUE(replaces(low, none));
    EXPECT_TRUE(replaces(high, low));
    EXPECT_FALSE(replaces(low, high));
    EXPECT_FALSE(replaces(high, high));
    EXPECT_TRUE(replaces(VersionRecord{3, 0, 0, true}, VersionRecord{2, 99, 99999, true}));
    EXPECT_FALSE(replaces(VersionRecord{2, 0, 99999, true}, VersionRecord{2, 1, 0, true}));
}

TEST(PinnedDigest, DecodesToItsThirtyTwoBytes) {
    const auto digest = decode_digest(kPackageDigest);
    ASSERT_TRUE(digest);
    EXPECT_EQ((*digest)[0], 0x07);
    EXPECT_EQ((*digest)[1], 0x3a);
    EXPECT_EQ((*digest)[31], 0x7a);
}

TEST(PinnedDigest, RefusesAnyOtherForm) {
    const std::string good(kPackageDigest);
    for (const std::string& bad : {good.substr(0, 63), good + "0", std::string("073A") + good.substr(4),
                                   std::string("g") + good.substr(1), std::string(" ") + good.substr(1),
                                   std::string()}) {
        EXPECT_FALSE(decode_digest(bad)) << bad;
    }
}

TEST(MsiexecCommandLine, QuotesEachPathAndAsksForASilentLoggedInstall) {
    EXPECT_EQ(*msiexec_command_line(u"C:\\windows\\system32\\msiexec.exe", u"D:\\kit\\winfsp 2.1.msi",
                                   u"C:\\users\\me\\Temp\\Zelkora-winfsp-install.log"),
              u"\"C:\\windows\\system32\\msiexec.exe\" /i \"D:\\kit\\winfsp 2.1.msi\" /qn /norestart "
              u"REBOOT=ReallySuppress /l*v \"C:\\users\\me\\Temp\\Zelkora-winfsp-install.log\"");
}

// A double quote or a control character in any path would end its quoting
// (the log path comes from TMP, which the user sets): no command line at all.
TEST(MsiexecCommandLine, RefusesPathsThatWouldEndTheirQuoting) {
    const std::u16string msiexec = u"C:\\windows\\system32\\msiexec.exe";
    const std::u16string package = u"D:\\kit\\winfsp.msi";
    const std::u16string log = u"C:\\Temp\\Zelkora-winfsp-install.log";
    const std::u16string with_null(u"C:\\Temp\\a\0b", 11);
    for (const std::u16string_view bad : {std::u16string_view(u"C:\\Temp\" /quiet TRANSFORMS=\"x"),
                                          std::u16string_view(u"C:\\Temp\\a\""), std::u16string_view(u"C:\\Temp\\a\nb"),
                                          std::u16string_view(u"C:\\Temp\\a\tb"), std::u16string_view(u"C:\\Temp\\a\x7F"),
                                          std::u16string_view(u"C:\\Temp\\a\x85"), std::u16string_view(with_null)}) {
        EXPECT_FALSE(msiexec_command_line(msiexec, package, bad));
        EXPECT_FALSE(msiexec_command_line(msiexec, bad, log));
        EXPECT_FALSE(msiexec_command_line(bad, package, log));
    }
    // Spaces and non-ASCII letters are ordinary path characters.
    EXPECT_TRUE(msiexec_command_line(msiexec, u"D:\\설치 파일\\winfsp 2.1.msi", log));
}

TEST(LibraryPath, HasExactlyOneBackslashBeforeBin) {
    EXPECT_EQ(library_path(u"C:\\Program Files (x86)\\WinFsp"), u"C:\\Program Files (x86)\\WinFsp\\bin\\winfsp-x64.dll");
    EXPECT_EQ(library_path(u"C:\\Program Files (x86)\\WinFsp\\"), u"C:\\Program Files (x86)\\WinFsp\\bin\\winfsp-x64.dll");
    EXPECT_EQ(library_path(u"d:\\WinFsp"), u"d:\\WinFsp\\bin\\winfsp-x64.dll");
    // A value that is not an absolute path on a drive names no library: it
    // would be looked up relative to the current drive or folder, or on
    // another machine.
    for (const std::u16string bad : {u"", u"WinFsp", u"..\\WinFsp", u"\\WinFsp", u"C:WinFsp", u"C:/WinFsp",
                                     u"\\\\server\\share\\WinFsp", u"1:\\WinFsp"}) {
        EXPECT_EQ(library_path(bad), u"") << std::string(bad.begin(), bad.end());
    }
}

}  // namespace
