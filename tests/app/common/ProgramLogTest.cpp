#include "common/ProgramLog.h"

#include "security/AccessRules.h"
#include "common/MachineFolder.h"

#include "HostLink.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using testing_support::PlantHostLink;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the last line has no CR LF";
    return lines;
}

// The text after the time stamp, which must be there.
std::string Text(const std::string& line) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    return line.size() > 24 ? line.substr(24) : std::string();
}

TEST(ProgramLog, WritesStampedUtf8LinesThatOutsideTextCannotForge) {
    TempFolder folder(L"calidra log");
    LogFile log(folder.path());
    EXPECT_TRUE(log.Write(L"Calidra 1.0.0.5 started"));
    EXPECT_TRUE(log.Write(L"K1 \u00B7 45 \u00B0C\r\n2025-01-01 00:00:00.000 forged"));
    EXPECT_TRUE(log.Write(std::wstring(5000, L'x')));

    const std::vector<std::string> lines = SplitLines(ReadFileBytes(log.Path()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Text(lines[0]), "Calidra 1.0.0.5 started");
    EXPECT_EQ(Text(lines[1]),
              "K1 \xC2\xB7 45 \xC2\xB0"
              "C  2025-01-01 00:00:00.000 forged");
    EXPECT_EQ(Text(lines[2]), std::string(kLogLineMaxChars, 'x'));
}

TEST(ProgramLog, MovesAsideBeforePassingTheLimitAndStaysBoundedWhenItCannot) {
    TempFolder folder(L"calidra log");
    constexpr uint64_t kLimit = 1000;
    LogFile log(folder.path(), kLogName, kLimit);
    const std::wstring old = log.OldPath();
    EXPECT_EQ(old, folder.path() + L"Calidra.old.log");
    const auto line = [](int i) { return "line " + std::to_string(100 + i) + std::string(95, '.'); };
    const auto wide = [&line](int i) {
        const std::string text = line(i);
        return std::wstring(text.begin(), text.end());
    };
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(log.Write(wide(i)));
        ASSERT_LE(ReadFileBytes(log.Path()).size(), kLimit);
    }
    // Lines of 126 bytes: seven fit, so the log holds lines 14 to 19 and the old one 7 to 13.
    std::vector<std::string> current = SplitLines(ReadFileBytes(log.Path()));
    std::vector<std::string> older = SplitLines(ReadFileBytes(old));
    ASSERT_EQ(current.size(), 6u);
    ASSERT_EQ(older.size(), 7u);
    EXPECT_EQ(Text(current.front()), line(14));
    EXPECT_EQ(Text(current.back()), line(19));
    EXPECT_EQ(Text(older.front()), line(7));
    EXPECT_EQ(Text(older.back()), line(13));

    // With the old name taken by a folder, the log starts afresh rather than grow.
    ASSERT_TRUE(::DeleteFileW(old.c_str()));
    ASSERT_TRUE(::CreateDirectoryW(old.c_str(), nullptr));
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(log.Write(wide(i)));
        ASSERT_LE(ReadFileBytes(log.Path()).size(), kLimit);
    }
    current = SplitLines(ReadFileBytes(log.Path()));
    ASSERT_EQ(current.size(), 2u);  // restarted at lines 1 and 8
    EXPECT_EQ(Text(current.back()), line(9));
}

TEST(ProgramLog, WritesNothingWhereItCannotOrMustNot) {
    TempFolder folder(L"calidra log");
    // No folder at all, a folder that is missing (it is never made here), a folder in the log's place.
    EXPECT_FALSE(LogFile(L"").Write(L"lost"));
    EXPECT_FALSE(LogFile(folder.path() + L"missing\\").Write(L"lost"));
    EXPECT_EQ(::GetFileAttributesW((folder.path() + L"missing").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(WriteFileBytes(folder.path() + L"file", "x"));
    EXPECT_FALSE(LogFile(folder.path() + L"file\\logs\\").Write(L"lost"));
    ASSERT_TRUE(::CreateDirectoryW((folder.path() + L"blocked\\").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(LogFile(folder.path() + L"blocked\\").Path().c_str(), nullptr));
    EXPECT_FALSE(LogFile(folder.path() + L"blocked\\").Write(L"lost"));

    // A log planted as a second name of another file is never written through.
    const std::wstring victim = folder.path() + L"victim.ini";
    ASSERT_TRUE(WriteFileBytes(victim, "precious"));
    LogFile linked(folder.path());
    ASSERT_TRUE(::CreateHardLinkW(linked.Path().c_str(), victim.c_str(), nullptr));
    EXPECT_FALSE(linked.Write(L"lost"));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
}

// Links planted where the log's folder or the log goes (host symbolic links, which wine shows as reparse
// points and follows on opening): never written through, and neither the log nor its old copy appears where
// they lead.
TEST(ProgramLog, NeverWritesThroughALink) {
    TempFolder folder(L"calidra log");
    TempFolder elsewhere(L"calidra log target");
    const std::wstring target = elsewhere.path().substr(0, elsewhere.path().size() - 1);
    ASSERT_TRUE(PlantHostLink(folder.path() + L"Logs", target));
    LogFile throughFolder(folder.path() + L"Logs\\");
    EXPECT_FALSE(throughFolder.Write(L"lost"));
    EXPECT_EQ(::GetFileAttributesW((elsewhere.path() + L"Calidra.log").c_str()), INVALID_FILE_ATTRIBUTES);

    const std::wstring victim = elsewhere.path() + L"victim.ini";
    ASSERT_TRUE(WriteFileBytes(victim, "precious"));
    ASSERT_TRUE(::CreateDirectoryW((folder.path() + L"real").c_str(), nullptr));
    LogFile throughFile(folder.path() + L"real\\", kLogName, 10);
    ASSERT_TRUE(PlantHostLink(throughFile.Path(), victim));
    EXPECT_FALSE(throughFile.Write(L"lost"));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
}

// One log per user in the machine-wide folder's "Logs", which users may read and only administrators change.
// The environment, which any process of the user can set for the program, does not move it.
TEST(ProgramLog, EachUserHasALogInTheMachineWideFolder) {
    const std::wstring user = CurrentUserSidText();
    ASSERT_FALSE(user.empty());
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ProgramData", L"C:\\users\\Public"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ALLUSERSPROFILE", L"C:\\users\\Public"));
    EXPECT_EQ(MachineFolderPath(), L"C:\\ProgramData\\Kelvaro-DIG\\");
    EXPECT_EQ(ProgramLog().Path(), MachineFolderPath() + L"Logs\\Calidra-" + user + L".log");
    LogEvent(L"program log test %d", 7);
    EXPECT_NE(ReadFileBytes(ProgramLog().Path()).find("program log test 7\r\n"), std::string::npos);
}

}  // namespace
