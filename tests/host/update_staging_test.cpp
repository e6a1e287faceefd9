#include <gtest/gtest.h>

#include <string>

#include "state/update_staging.h"

namespace {

using namespace zelkora::state;

TEST(UpdateStaging, BracedGuidNames) {
    for (const std::u16string good : {u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}", u"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}",
                                      u"{0f1E2d3C-4b5A-6978-8796-a5B4c3D2e1F0}"}) {
        EXPECT_TRUE(is_braced_guid(good));
    }
    for (const std::u16string bad :
         {u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0",
          u"{0f1e2d3c4b5a-6978-8796-a5b4c3d2e1f00}", u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1fg}",
          u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}x", u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f}", u"{}", u"",
          u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1\uFF10}"}) {
        EXPECT_FALSE(is_braced_guid(bad)) << std::string(bad.begin(), bad.end());
    }
}

TEST(UpdateStaging, StagedFileDirectlyInABracedGuidFolder) {
    constexpr std::u16string_view kRelease = u"Zelkora-1.0.0-windows-x64.exe";
    struct Case {
        std::u16string image;
        std::u16string guid_folder;  // empty: not a staged file
        std::u16string updates_folder;
    };
    const std::u16string updates = u"C:\\ProgramData\\Zelkora-Updates";
    const std::u16string guid = u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}";
    const Case cases[] = {
        {updates + u"\\" + guid + u"\\Zelkora-1.0.0-windows-x64.exe", updates + u"\\" + guid, updates},
        {updates + u"\\" + guid + u"\\ZELKORA-1.0.0-WINDOWS-X64.EXE", updates + u"\\" + guid, updates},
        {u"C:/ProgramData/Zelkora-Updates/" + guid + u"/Zelkora-1.0.0-windows-x64.exe",
         u"C:/ProgramData/Zelkora-Updates/" + guid, u"C:/ProgramData/Zelkora-Updates"},
        {updates + u"\\Zelkora-1.0.0-windows-x64.exe", u"", u""},
        {updates + u"\\0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0\\Zelkora-1.0.0-windows-x64.exe", u"", u""},
        {updates + u"\\" + guid + u"\\Zelkora-1.0.1-windows-x64.exe", u"", u""},
        {updates + u"\\" + guid + u"\\Zelkora-1.0.0-windows-x64.exe.exe", u"", u""},
        {updates + u"\\" + guid + u"\\sub\\Zelkora-1.0.0-windows-x64.exe", u"", u""},
        {updates + u"\\" + guid + u"\\", u"", u""},
        {guid + u"\\Zelkora-1.0.0-windows-x64.exe", u"", u""},
        {u"Zelkora-1.0.0-windows-x64.exe", u"", u""},
    };
    for (const auto& c : cases) {
        const auto folders = staging_folders_of(c.image, kRelease);
        const std::string image(c.image.begin(), c.image.end());
        ASSERT_EQ(folders.has_value(), !c.guid_folder.empty()) << image;
        if (!folders) continue;
        EXPECT_EQ(folders->guid_folder, c.guid_folder) << image;
        EXPECT_EQ(folders->updates_folder, c.updates_folder) << image;
    }
}

}  // namespace
