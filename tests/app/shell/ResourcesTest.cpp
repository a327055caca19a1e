// What Windows reads from Calidra.exe itself: the manifest, the icon and the version information.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::OutDir;

namespace {

class ProgramResources : public ::testing::Test {
  protected:
    void SetUp() override {
        module_.reset(
            ::LoadLibraryExW((OutDir() + L"Calidra.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_);
    }
    std::string Resource(LPCWSTR type, LPCWSTR name) {
        HRSRC info = ::FindResourceW(module_.get(), name, type);
        if (!info)
            return {};
        HGLOBAL data = ::LoadResource(module_.get(), info);
        return std::string(static_cast<const char*>(::LockResource(data)),
                           ::SizeofResource(module_.get(), info));
    }
    UniqueModule module_;
};

TEST_F(ProgramResources, ManifestAsksForAdministratorAndCommonControls6) {
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

TEST_F(ProgramResources, Icon107LoadsInSmallAndLargeSizes) {
    for (int size : {16, 32, 48}) {
        const UniqueIcon icon(static_cast<HICON>(
            ::LoadImageW(module_.get(), MAKEINTRESOURCEW(107), IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
        const UniqueBitmap color(info.hbmColor);
        const UniqueBitmap mask(info.hbmMask);
        BITMAP bm{};
        ::GetObjectW(color.get(), sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, size);
    }
}

TEST(ProgramVersion, Is1_0_0_5) {
    const std::wstring path = OutDir() + L"Calidra.exe";
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000005u);
}

}  // namespace
