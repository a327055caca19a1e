// What Windows reads from Calidra.exe itself: the manifest, the icon and the version information.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::OutDir;

namespace {

class ProgramResources : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = ::LoadLibraryExW((OutDir() + L"Calidra.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_)
            ::FreeLibrary(module_);
    }
    std::string Resource(LPCWSTR type, LPCWSTR name) {
        HRSRC info = ::FindResourceW(module_, name, type);
        if (!info)
            return {};
        HGLOBAL data = ::LoadResource(module_, info);
        return std::string(static_cast<const char*>(::LockResource(data)), ::SizeofResource(module_, info));
    }
    HMODULE module_ = nullptr;
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
        HICON icon =
            static_cast<HICON>(::LoadImageW(module_, MAKEINTRESOURCEW(107), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bm{};
        ::GetObjectW(info.hbmColor, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, size);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
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
