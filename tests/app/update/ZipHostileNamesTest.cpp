// Hostile entry names: hostile.zip holds each escape attempt of make_zip_fixtures.py's table beside a good
// entry, and hostile.tsv says what each entry must come to. Unpacked three levels deep in a sandbox folder,
// nothing may appear anywhere but where the table says.

#include "TempFolder.h"
#include "ZipFixtures.h"
#include "update/ExtractZip.h"
#include "update/ZipTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using namespace zip_fixtures;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;

struct Expectation {
    int index = 0;
    uint32_t result = kZipEntryDone;
    std::wstring heldAt;  // below the target, for written entries
    std::string label;
};

std::vector<Expectation> ReadTable() {
    std::vector<Expectation> table;
    std::istringstream lines(ReadFileBytes(Folder() + L"hostile.tsv"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string index, expect, label;
        std::getline(fields, index, '\t');
        std::getline(fields, expect, '\t');
        std::getline(fields, label);
        Expectation row;
        row.index = std::stoi(index);
        row.label = label;
        if (expect.rfind("held:", 0) == 0) {
            row.heldAt = testing_support::Widen(expect.substr(5));
        } else {
            row.result = expect == "too_long" ? kZipEntryNameTooLong : kZipEntryUnsafeName;
        }
        table.push_back(row);
    }
    return table;
}

// Files whose names mention "evil" in folder (which ends in a backslash).
std::vector<std::wstring> EvilFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data{};
    UniqueFind find(::FindFirstFileW((folder + L"*evil*").c_str(), &data));
    if (find) {
        do {
            found.push_back(folder + data.cFileName);
        } while (::FindNextFileW(find.get(), &data));
    }
    return found;
}

TEST(ZipHostileNames, EveryEscapeIsHeldInsideOrSkippedAndTheGoodEntriesAreIntact) {
    const std::vector<Expectation> table = ReadTable();
    ASSERT_GE(table.size(), 60u);

    TempFolder sandbox(L"zip hostile");
    const std::wstring target = sandbox.path() + L"deep\\er\\target\\";
    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(Folder() + L"hostile.zip", target, &outcomes));
    ASSERT_EQ(outcomes.size(), table.size());

    std::vector<std::wstring> expected = {sandbox.path() + L"deep\\", sandbox.path() + L"deep\\er\\", target};
    for (const Expectation& row : table) {
        const ZipEntryOutcome& outcome = outcomes[static_cast<size_t>(row.index)];
        EXPECT_EQ(outcome.result, row.result) << "entry " << row.index << " " << row.label;
        if (row.heldAt.empty()) {
            continue;
        }
        EXPECT_EQ(ReadFileBytes(target + row.heldAt), "entry " + std::to_string(row.index))
            << "entry " << row.index << " " << row.label;
        // The file and every folder on the way to it.
        for (size_t at = row.heldAt.find(L'\\'); at != std::wstring::npos;
             at = row.heldAt.find(L'\\', at + 1)) {
            expected.push_back(target + row.heldAt.substr(0, at + 1));
        }
        expected.push_back(target + row.heldAt);
    }

    // Nothing else in the sandbox: no escapes, no names the table does not list, no temporary files.
    std::vector<std::wstring> found;
    ListTree(sandbox.path(), &found);
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(found, expected);

    // Nor above it, at the drive's root or in the system folders.
    std::vector<std::wstring> places = {L"C:\\", L"C:\\windows\\", L"C:\\windows\\system32\\"};
    for (size_t at = sandbox.path().find(L'\\', 3); at != std::wstring::npos;
         at = sandbox.path().find(L'\\', at + 1)) {
        places.push_back(sandbox.path().substr(0, at + 1));
    }
    for (const std::wstring& place : places) {
        EXPECT_EQ(EvilFilesIn(place), std::vector<std::wstring>{}) << place;
    }
}

// The containment layer on its own, given what the name rules never let through: beside the target, a prefix
// of it as text, the target itself, other letter cases and separators, short (8.3) names. Only what lies
// below the target by its canonical path, as text, is accepted.
TEST(ZipContainment, OnlyPathsBelowTheTargetAreAccepted) {
    TempFolder sandbox(L"zip containment");
    const std::wstring base = FullFolderPath(sandbox.path() + L"target folder\\");
    ASSERT_TRUE(EnsureFolder(base));
    ASSERT_TRUE(EnsureFolder(sandbox.path() + L"target folder 2\\"));
    const auto shortName = [&](const wchar_t* folder) {
        wchar_t buffer[MAX_PATH] = {};
        ::GetShortPathNameW((sandbox.path() + folder).c_str(), buffer, MAX_PATH);
        const std::wstring path = buffer;
        return path.substr(path.rfind(L'\\') + 1);
    };
    const std::wstring shortBase = shortName(L"target folder");
    const std::wstring shortSibling = shortName(L"target folder 2");
    ASSERT_NE(shortBase, L"target folder");
    ASSERT_NE(shortSibling, L"target folder 2");
    struct Case {
        std::wstring name;
        bool folder;
        std::wstring target;  // below the sandbox; empty: refused as unsafe
    };
    const Case cases[] = {
        {L"a\\b.exe", false, L"target folder\\a\\b.exe"},
        {L"a/b/", true, L"target folder\\a\\b"},
        {L"..\\target folder 2\\x.exe", false, L""},
        {L"a/../../target folder 2/x.exe", false, L""},
        {L"..\\target folderx.exe", false, L""},
        {L"", false, L""},
        {L".", false, L""},
        {L"", true, L"target folder"},
        {L"..", true, L""},
        {L"..\\TARGET FOLDER\\x.exe", false, L"TARGET FOLDER\\x.exe"},
        {L"..\\TARGET FOLDER 2\\x.exe", false, L""},
        {L"..\\" + shortSibling + L"\\x.exe", false, L""},
        {L"..\\" + shortBase + L"\\x.exe", false, L""},  // may be the target, cannot be told from text
    };
    for (const Case& c : cases) {
        std::wstring target = L"unchanged";
        const uint32_t result = ResolveTarget(base, c.name, c.folder, &target);
        EXPECT_EQ(result, c.target.empty() ? kZipEntryUnsafeName : kZipEntryDone) << c.name;
        EXPECT_EQ(target, c.target.empty() ? L"unchanged" : sandbox.path() + c.target) << c.name;
    }
}

}  // namespace
