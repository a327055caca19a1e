// The start-time check of the program folder, on folders laid out like an installation in the prefix. Wine
// makes rules it is given into mode bits and reports them back, so "Everyone may change" is real here.

#include "security/ProgramFolderCheck.h"

#include "HostLink.h"
#include "LooseRules.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::LetEveryoneChange;
using testing_support::PlantHostLink;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

namespace {

// An installation: the program, its libraries, both servers with their settings, a skin image.
class Installation {
  public:
    Installation() {
        for (const wchar_t* file : {L"Calidra.exe", L"Tessel.dll", L"hidapi.dll",
                                    L"Termivox\\OpenTermivoxServer.exe", L"Termivox\\OpenTermivoxServer.ini",
                                    L"TermivoxWin7\\OpenTermivoxServer.exe", L"skins\\theme1\\img_bkg.png"}) {
            ok_ = WriteFileBytes(Folder() + file, "x") && ok_;
        }
    }
    [[nodiscard]] bool ok() const { return ok_; }
    // The folder that holds the installation, with a trailing backslash.
    [[nodiscard]] const std::wstring& Root() const { return root_.path(); }
    [[nodiscard]] std::wstring Folder() const { return root_.path() + L"Calidra\\"; }

  private:
    TempFolder root_{L"program folder"};
    bool ok_ = true;
};

TEST(ProgramFolderCheck, AProtectedInstallationPasses) {
    Installation install;
    ASSERT_TRUE(install.ok());
    EXPECT_EQ(UnprotectedProgramPart(install.Folder()), L"");
    EXPECT_EQ(UnprotectedProgramPart(install.Folder().substr(0, install.Folder().size() - 1)), L"");
}

// Any file or folder of it that others may change, wherever it lies below the program folder, and a folder
// above it that others may rename or empty.
TEST(ProgramFolderCheck, AnythingOthersMayChangeIsNamed) {
    const struct {
        const wchar_t* part;  // relative to the folder that holds the installation
        const wchar_t* how;
    } cases[] = {
        {L"Calidra", L" can be changed by Everyone"},
        {L"Calidra\\Tessel.dll", L" can be changed by Everyone"},
        {L"Calidra\\Termivox\\OpenTermivoxServer.ini", L" can be changed by Everyone"},
        {L"Calidra\\skins\\theme1", L" can be changed by Everyone"},
        {L"Calidra\\skins\\theme1\\img_bkg.png", L" can be changed by Everyone"},
        {L"", L" can be renamed or emptied by Everyone"},
    };
    for (const auto& c : cases) {
        Installation install;
        ASSERT_TRUE(install.ok());
        const std::wstring path = install.Root() + c.part;
        const std::wstring named = path.substr(0, path.find_last_not_of(L'\\') + 1);
        ASSERT_TRUE(LetEveryoneChange(named)) << std::string(named.begin(), named.end());
        const std::wstring found = UnprotectedProgramPart(install.Folder());
        EXPECT_EQ(found, named + c.how) << std::string(found.begin(), found.end());
    }
}

TEST(ProgramFolderCheck, ALinkInsideAndAFolderTooFullToCheckCountAsUnprotected) {
    Installation install;
    ASSERT_TRUE(install.ok());
    TempFolder elsewhere(L"program folder target");
    ASSERT_TRUE(WriteFileBytes(elsewhere.path() + L"OpenTermivoxServer.exe", "x"));
    ASSERT_TRUE(
        PlantHostLink(install.Folder() + L"Extra", elsewhere.path().substr(0, elsewhere.path().size() - 1)));
    const std::wstring found = UnprotectedProgramPart(install.Folder());
    EXPECT_EQ(found.find(install.Folder() + L"Extra: it leads elsewhere"), 0u)
        << std::string(found.begin(), found.end());

    // The installation has 12 files and folders, the program folder among them.
    Installation full;
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(UnprotectedProgramPart(full.Folder(), Administrators::OfThisSystem(), 12), L"");
    ASSERT_TRUE(WriteFileBytes(full.Folder() + L"skins\\one more.png", ""));
    EXPECT_NE(UnprotectedProgramPart(full.Folder(), Administrators::OfThisSystem(), 12)
                  .find(L"more than 12 entries"),
              std::wstring::npos);
}

}  // namespace
