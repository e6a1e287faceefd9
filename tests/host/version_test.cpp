#include <gtest/gtest.h>

#include <string_view>

#include "state/version.h"

namespace {

TEST(VersionString, WellFormedMeansThreeShortDecimalComponents) {
    using zelkora::state::is_well_formed_version;
    for (const char* good : {"1.2.3", "0.0.0", "01.2.3", "123456.123456.123456"}) {
        EXPECT_TRUE(is_well_formed_version(good)) << good;
    }
    for (const char* bad : {"", "1.2", "1.2.3.4", "v1.2.3", "1.2.3 ", " 1.2.3", "1234567.0.0", "1..2", ".1.2",
                            "1.2.", "1.2.-3", "+1.2.3", "1.2.3\n", "1,2,3"}) {
        EXPECT_FALSE(is_well_formed_version(bad)) << bad;
    }
    EXPECT_FALSE(is_well_formed_version(std::string_view("1.2.3\0", 6)));
}

TEST(VersionString, IsOlderComparesNumbers) {
    using zelkora::state::is_older;
    struct Case {
        const char* a;
        const char* b;
        bool older;
    };
    const Case cases[] = {
        {"1.9.9", "1.10.0", true},   {"1.10.0", "1.9.9", false},   {"1.2.3", "1.2.3", false},
        {"01.2.3", "1.2.3", false},  {"1.2.3", "1.2.4", true},     {"2.0.0", "1.999999.999999", false},
        {"x", "1.2.3", true},        {"1.2.3", "x", true},         {"1.2", "1.2.3", true},
        {"-1.0.0", "1.0.0", true},   {"4294967296.0.0", "1.0.0", true}, {"4294967295.0.0", "1.0.0", false},
        {"1.2.3.9", "1.2.3", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_older(c.a, c.b), c.older) << c.a << " vs " << c.b;
}

}  // namespace
