// The shipped executable carries its manifest, icon, fonts, licence and
// version: read back from the built file as Windows loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "file_tree.h"
#include "test_support.h"

namespace {

using namespace zelkora::test;

std::string resource_bytes(HMODULE module, const wchar_t* type, int id) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    const void* bytes = ::LockResource(::LoadResource(module, found));
    return bytes ? std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found)) : std::string();
}

class EmbeddedResources : public testing::Test {
protected:
    void SetUp() override {
        module_.reset(::LoadLibraryExW(setup_exe_path().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module_) << "cannot load " << ::GetLastError();
    }
    zelkora::UniqueLibrary module_;
};

TEST_F(EmbeddedResources, ManifestAsksForAdministratorAndModernBehaviour) {
    const std::string manifest = resource_bytes(module_.get(), RT_MANIFEST, 1);
    ASSERT_FALSE(manifest.empty());
    for (const char* needle : {"level=\"requireAdministrator\"", "Microsoft.Windows.Common-Controls",
                               "version=\"6.0.0.0\"", "PerMonitorV2",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
    }
}

TEST_F(EmbeddedResources, IconOneHasEveryUsualSize) {
    const std::string group = resource_bytes(module_.get(), RT_GROUP_ICON, IDI_APP_ICON);
    ASSERT_GE(group.size(), 6u);
    const auto count = static_cast<unsigned char>(group[4]);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (unsigned i = 0; i < count; ++i) {
        const auto width = static_cast<unsigned char>(group[6 + 14 * i]);
        sizes.push_back(width == 0 ? 256 : width);
    }
    for (int wanted : {16, 24, 32, 48, 256}) {
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), wanted), sizes.end()) << wanted;
    }
    EXPECT_NE(::LoadImageW(module_.get(), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 16, 16, 0), nullptr);
}

TEST_F(EmbeddedResources, FontsAndLicenceAreTheCommittedFiles) {
    const struct {
        int id;
        const wchar_t* file;
    } expected[] = {
        {IDR_FONT_REGULAR, L"resources/fonts/Pretendard-Regular.otf"},
        {IDR_FONT_SEMIBOLD, L"resources/fonts/Pretendard-SemiBold.otf"},
        {IDR_FONT_BOLD, L"resources/fonts/Pretendard-Bold.otf"},
        {IDR_FONT_LICENSE, L"resources/fonts/LICENSE.txt"},
    };
    for (const auto& e : expected) {
        const std::string embedded = resource_bytes(module_.get(), RT_RCDATA, e.id);
        const std::string committed = read_file(source_file(e.file)).value_or(std::string());
        ASSERT_FALSE(committed.empty()) << "cannot read the committed file for " << e.id;
        EXPECT_TRUE(embedded == committed) << "RCDATA " << e.id << " differs";
    }
    EXPECT_EQ(resource_bytes(module_.get(), RT_RCDATA, IDR_FONT_REGULAR).substr(0, 4), "OTTO");
}

TEST(VersionResource, SaysOnePointZeroPointZero) {
    const std::wstring exe = setup_exe_path();
    DWORD ignored = 0;
    std::vector<char> info(::GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    wchar_t* product_version = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                                 reinterpret_cast<void**>(&product_version), &length));
    EXPECT_EQ(std::wstring(product_version), L"1.0.0");
}

}  // namespace
