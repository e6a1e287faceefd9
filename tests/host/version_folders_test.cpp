#include <gtest/gtest.h>

#include <string>

#include "state/version_folders.h"

namespace {

using namespace zelkora::state;

TEST(VersionFolders, FolderNamesThatAreVersions) {
    EXPECT_EQ(version_of_folder_name(u"0.8.0"), "0.8.0");
    EXPECT_EQ(version_of_folder_name(u"01.2.3"), "01.2.3");
    for (const std::u16string bad : {u"0.8", u"0.8.0.1", u"v0.8.0", u"0.8.0 ", u"\uFF10.8.0", u"", u"0.8.0.zelkora"}) {
        EXPECT_FALSE(version_of_folder_name(bad)) << std::string(bad.begin(), bad.end());
    }
}

TEST(VersionFolders, LeftoverNames) {
    EXPECT_TRUE(is_leftover_folder_name(u"0.8.0.zelkora-old-0123456789ab"));
    for (const std::u16string bad :
         {u"0.8.0.zelkora-old-0123456789AB", u"0.8.0.zelkora-old-0123456789a", u"0.8.0.zelkora-old-0123456789abc",
          u"0.8.zelkora-old-0123456789ab", u"0.8.0.zelkora-old-0123456789ab.zelkora-old-0123456789ab",
          u"x.zelkora-old-0123456789ab", u"0.8.0.zelkora-new-0123456789ab", u"0.8.0"}) {
        EXPECT_FALSE(is_leftover_folder_name(bad)) << std::string(bad.begin(), bad.end());
    }
}

struct MetadataCase {
    const char* bytes;
    bool matches;
};

class Metadata : public testing::TestWithParam<MetadataCase> {};

TEST_P(Metadata, MatchesProductAndVersion) {
    EXPECT_EQ(metadata_matches(GetParam().bytes, "Zelkora", "0.8.0"), GetParam().matches) << GetParam().bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Metadata,
    testing::Values(MetadataCase{R"({"product":"Zelkora","version":"0.8.0"})", true},
                    MetadataCase{"{\"version\" \t:\r\n \"0.8.0\", \"product\": \"Zelkora\"}", true},
                    MetadataCase{"{\"product\"\v:\f\"Zelkora\",\"version\":\"0.8.0\"}", true},
                    MetadataCase{"{\"product\"\xA0:\"Zelkora\",\"version\":\"0.8.0\"}", false},
                    MetadataCase{R"({"product":"ZelkoraHost","version":"0.8.0"})", false},
                    MetadataCase{R"({"product":" Zelkora","version":"0.8.0"})", false},
                    MetadataCase{R"({"product":"Zelkora","version":"0.9.0"})", false},
                    MetadataCase{R"({"product":"Zelkora","version":"0x8x0"})", false},
                    MetadataCase{R"({"product":"Zelkora","version":0.8.0})", false},
                    MetadataCase{R"({"product":"Zelkora"})", false},
                    MetadataCase{R"({"product" - "Zelkora","version":"0.8.0"})", false},
                    // A later occurrence of the member may carry the match.
                    MetadataCase{R"({"note":"version","product":"Zelkora","version":"0.8.0"})", true},
                    MetadataCase{R"({"product":"Zelkora","version":"0.8.0.1"})", false}));

TEST(Metadata, TheRemovalsFormTakesOnlyJsonWhiteSpace) {
    for (const std::string space : {" ", "\t", "\r", "\n", " \t\r\n"}) {
        const std::string bytes = "{\"product\"" + space + ":" + space + "\"Zelkora\",\"version\":\"0.8.0\"}";
        EXPECT_TRUE(metadata_matches(bytes, "Zelkora", "0.8.0", MetadataSpace::json)) << bytes;
    }
    for (const std::string space : {"\v", "\f", " \v", "\xA0"}) {
        for (const std::string& bytes : {"{\"product\"" + space + ":\"Zelkora\",\"version\":\"0.8.0\"}",
                                         "{\"product\":\"Zelkora\",\"version\":" + space + "\"0.8.0\"}"}) {
            EXPECT_FALSE(metadata_matches(bytes, "Zelkora", "0.8.0", MetadataSpace::json)) << bytes;
            EXPECT_EQ(metadata_matches(bytes, "Zelkora", "0.8.0"), space != "\xA0") << bytes;
        }
    }
}

}  // namespace
