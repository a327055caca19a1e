// The folders only administrators can change, made in a temporary folder of the prefix: how they are held,
// what may be made and opened in them, what is moved aside instead of used, and what goes when.

#include "security/AdminFolder.h"

#include "HostLink.h"
#include "LooseRules.h"
#include "TempFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::LetEveryoneChange;
using testing_support::PlantHostLink;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::TestDir;
using testing_support::WriteFileBytes;

namespace {

constexpr wchar_t kPrefix[] = L"Update-";

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

class AdminFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(machine_.Open(Machine(), kUsersMayReadRules, &why_)) << Why(); }
    std::wstring Machine() const { return temp_.path() + L"machine"; }
    std::string Why() const { return std::string(why_.begin(), why_.end()); }

    TempFolder temp_{L"admin folder"};
    AdminFolder machine_;
    std::wstring why_;
};

TEST_F(AdminFolderTest, AFreshFolderIsHeldAgainstRenamingAndGoesWithEverythingInIt) {
    EXPECT_EQ(machine_.Path(), Machine() + L"\\");
    // A second program (another session's) holds the machine-wide folder too.
    AdminFolder again;
    EXPECT_TRUE(again.Open(Machine(), kUsersMayReadRules, &why_)) << Why();

    std::wstring path;
    {
        AdminFolder fresh;
        ASSERT_TRUE(fresh.MakeFresh(machine_, kPrefix, kAdministratorsOnlyRules, &why_)) << Why();
        path = fresh.Path();
        EXPECT_EQ(path.substr(0, machine_.Path().size() + 7), machine_.Path() + kPrefix);
        EXPECT_EQ(path.size(), machine_.Path().size() + 7 + 8 + 1);

        for (const std::wstring& folder : {path, machine_.Path()}) {
            const std::wstring held = folder.substr(0, folder.size() - 1);
            EXPECT_FALSE(::MoveFileW(held.c_str(), (temp_.path() + L"moved").c_str()));
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_FALSE(::RemoveDirectoryW(held.c_str()));
        }
        ASSERT_TRUE(::CreateDirectoryW((path + L"sub").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(path + L"sub\\deep.txt", "x"));
        const UniqueFileHandle file = fresh.NewFile(L"package.zip", &why_);
        ASSERT_TRUE(file) << Why();
        EXPECT_TRUE(WriteAll(file.get(), "package"));
    }
    EXPECT_FALSE(Exists(path)) << "a fresh folder goes with what it holds";
    EXPECT_TRUE(Exists(machine_.Path())) << "an opened one stays";
}

TEST_F(AdminFolderTest, OnlyNewPlainFilesAreMadeAndOnlyExistingOnesPinned) {
    AdminFolder fresh;
    ASSERT_TRUE(fresh.MakeFresh(machine_, kPrefix, kAdministratorsOnlyRules, &why_)) << Why();
    for (const wchar_t* name : {L"", L".", L"..", L"..\\escape.exe", L"sub\\a.exe", L"C:x.exe", L"a/b.exe"}) {
        EXPECT_FALSE(fresh.NewFile(name, &why_)) << name;
        EXPECT_FALSE(fresh.PinFile(name, &why_)) << name;
    }
    EXPECT_FALSE(Exists(machine_.Path() + L"escape.exe"));

    UniqueFileHandle made = fresh.NewFile(L"installer.exe", &why_);
    ASSERT_TRUE(made) << Why();
    ASSERT_TRUE(WriteAll(made.get(), "MZ"));
    const std::wstring installer = fresh.Path() + L"installer.exe";
    EXPECT_EQ(ReadFileBytes(installer), "") << "nobody else opens a file being made";
    EXPECT_FALSE(fresh.PinFile(L"installer.exe", &why_));
    made.reset();
    EXPECT_FALSE(fresh.NewFile(L"installer.exe", &why_)) << "never one that exists";

    const UniqueFileHandle pinned = fresh.PinFile(L"installer.exe", &why_);
    ASSERT_TRUE(pinned) << Why();
    EXPECT_FALSE(::DeleteFileW(installer.c_str()));
    EXPECT_FALSE(::MoveFileW(installer.c_str(), (fresh.Path() + L"other.exe").c_str()));
    EXPECT_FALSE(WriteFileBytes(installer, "swapped"));
    EXPECT_EQ(ReadFileBytes(installer), "MZ");
    ASSERT_TRUE(::CreateDirectoryW((fresh.Path() + L"folder.exe").c_str(), nullptr));
    EXPECT_FALSE(fresh.PinFile(L"folder.exe", &why_));
    EXPECT_FALSE(fresh.PinFile(L"missing.exe", &why_));
}

// A link where the folder goes (a host symbolic link, which wine shows as a reparse point) is refused and
// left as it is: neither followed nor moved, since renaming it could move what it leads to.
TEST_F(AdminFolderTest, ALinkInItsPlaceIsRefusedAndLeftAlone) {
    TempFolder elsewhere(L"admin folder target");
    ASSERT_TRUE(WriteFileBytes(elsewhere.path() + L"victim.txt", "precious"));
    const std::wstring linked = temp_.path() + L"linked";
    ASSERT_TRUE(PlantHostLink(linked, elsewhere.path().substr(0, elsewhere.path().size() - 1)));
    ASSERT_NE(::GetFileAttributesW(linked.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    AdminFolder folder;
    EXPECT_FALSE(folder.Open(linked, kUsersMayReadRules, &why_));
    EXPECT_NE(why_.find(L"it leads elsewhere"), std::wstring::npos) << Why();
    EXPECT_NE(::GetFileAttributesW(linked.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(ReadFileBytes(elsewhere.path() + L"victim.txt"), "precious");
    WIN32_FIND_DATAW found{};
    EXPECT_FALSE(UniqueFind(::FindFirstFileW((linked + L".untrusted-*").c_str(), &found)));
}

// A folder that others may change, found where the folder goes (someone made it first): moved aside, never
// used, and a checked folder made in its place.
TEST_F(AdminFolderTest, AFolderOthersMayChangeInItsPlaceIsMovedAside) {
    const std::wstring squatted = temp_.path() + L"squatted";
    ASSERT_TRUE(::CreateDirectoryW(squatted.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(squatted + L"\\version.dll", "planted"));
    ASSERT_TRUE(LetEveryoneChange(squatted));

    AdminFolder folder;
    ASSERT_TRUE(folder.Open(squatted, kUsersMayReadRules, &why_)) << Why();
    EXPECT_NE(why_.find(L"can be changed by Everyone; moved aside to " + squatted + L".untrusted-"),
              std::wstring::npos)
        << Why();
    EXPECT_FALSE(Exists(folder.Path() + L"version.dll"));
    AdminFolder fresh;
    EXPECT_TRUE(fresh.MakeFresh(folder, kPrefix, kAdministratorsOnlyRules, &why_)) << Why();
}

// With Windows' list of administrators, the folder wine makes (owned by its one account) fails the read-back
// check: it is refused, and not left behind.
TEST_F(AdminFolderTest, AFolderThatDoesNotReadBackProtectedIsNotUsed) {
    const Administrators windows = Administrators::AsOnWindows();
    AdminFolder fresh;
    EXPECT_FALSE(fresh.MakeFresh(machine_, kPrefix, kAdministratorsOnlyRules, &why_, windows));
    EXPECT_NE(why_.find(L"it can be changed by its owner"), std::wstring::npos) << Why();
    AdminFolder opened;
    EXPECT_FALSE(opened.Open(temp_.path() + L"strict", kUsersMayReadRules, &why_, windows));
    EXPECT_FALSE(Exists(temp_.path() + L"strict"));
    WIN32_FIND_DATAW found{};
    EXPECT_FALSE(UniqueFind(::FindFirstFileW((machine_.Path() + kPrefix + L"*").c_str(), &found)));
}

// Left-overs are what nobody holds: a folder kept for a running installer stays while it runs there.
TEST_F(AdminFolderTest, LeftoversAreRemovedUnlessInUse) {
    std::wstring kept;
    std::wstring running;
    {
        AdminFolder a;
        AdminFolder b;
        ASSERT_TRUE(a.MakeFresh(machine_, kPrefix, kAdministratorsOnlyRules, &why_)) << Why();
        ASSERT_TRUE(b.MakeFresh(machine_, kPrefix, kAdministratorsOnlyRules, &why_)) << Why();
        ASSERT_TRUE(WriteFileBytes(a.Path() + L"left.txt", "x"));
        a.Keep();
        b.Keep();
        kept = a.Path();
        running = b.Path();
    }
    AdminFolder live;
    ASSERT_TRUE(live.MakeFresh(machine_, kPrefix, kAdministratorsOnlyRules, &why_)) << Why();
    ASSERT_TRUE(::CreateDirectoryW((machine_.Path() + L"Other").c_str(), nullptr));

    // A program running with the kept folder as its current folder, as an installer does.
    const std::wstring probe = TestDir() + L"ServerProbe.exe";
    std::wstring command = L"\"" + probe + L"\" --wait 30000";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 running.c_str(), &startup, &process));
    const UniqueHandle thread(process.hThread);
    const UniqueHandle started(process.hProcess);

    EXPECT_EQ(AdminFolder::RemoveLeftovers(machine_, kPrefix), 1);
    EXPECT_FALSE(Exists(kept));
    EXPECT_TRUE(Exists(running));
    EXPECT_TRUE(Exists(live.Path()));
    EXPECT_TRUE(Exists(machine_.Path() + L"Other"));

    ::TerminateProcess(started.get(), 0);
    ASSERT_EQ(::WaitForSingleObject(started.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(AdminFolder::RemoveLeftovers(machine_, kPrefix), 1);
    EXPECT_FALSE(Exists(running));
    EXPECT_TRUE(Exists(live.Path()));
}

}  // namespace
