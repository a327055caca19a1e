// Archive extraction against archives written by Python's zipfile (make_zip_fixtures.py, run first by CTest),
// unpacked into real folders of the wine prefix. Times are checked with TZ=Asia/Kolkata (UTC+5:30), so a DOS
// time that skipped the local-time conversion would be five and a half hours off. Wine cannot set a file's
// creation time (it reports the modification time), so creation times are checked on the entry's record.

#include "TempFolder.h"
#include "ZipFixtures.h"
#include "update/ExtractZip.h"
#include "update/ZipArchive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace {

using namespace zip_fixtures;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint32_t ResultOf(const std::vector<ZipEntryOutcome>& outcomes, const wchar_t* name) {
    const ZipEntryOutcome* outcome = Outcome(outcomes, name);
    return outcome ? outcome->result : 0xFFFFFFFFu;
}

TEST(ExtractZip, LaysOutFoldersAndFilesBelowTheTarget) {
    TempFolder temp(L"zip layout");
    // The target does not exist yet, and is given without a trailing separator.
    const std::wstring target = temp.path() + L"T";
    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(Folder() + L"layout.zip", target, &outcomes));

    ASSERT_EQ(outcomes.size(), 3u);
    for (const ZipEntryOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.result, kZipEntryDone) << outcome.index;
    }
    EXPECT_TRUE(IsFolder(target + L"\\setup"));
    EXPECT_EQ(ReadFileBytes(target + L"\\setup\\a.exe"), "a.exe contents");
    EXPECT_EQ(ReadFileBytes(target + L"\\b.dll"), "b.dll contents");
}

// Given the open archive, it unpacks that file's bytes, whatever its path names by then.
TEST(ExtractZip, UnpacksTheBytesOfTheHandleItIsGivenNotWhatThePathNamesByThen) {
    TempFolder temp(L"zip handle");
    const std::wstring package = temp.path() + L"package.zip";
    ASSERT_TRUE(::CopyFileW((Folder() + L"layout.zip").c_str(), package.c_str(), FALSE));
    const UniqueFileHandle held(::CreateFileW(package.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    ASSERT_TRUE(::MoveFileExW(package.c_str(), (temp.path() + L"moved.zip").c_str(), 0));
    ASSERT_TRUE(::CopyFileW((Folder() + L"readonly.zip").c_str(), package.c_str(), FALSE));

    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(held.get(), temp.path() + L"T", &outcomes));
    EXPECT_EQ(ReadFileBytes(temp.path() + L"T\\b.dll"), "b.dll contents");
    EXPECT_FALSE(Exists(temp.path() + L"T\\first.txt"));
}

TEST(ExtractZip, ReadOnlyFileAtATargetIsKeptAndTheOtherEntriesUnpacked) {
    TempFolder target(L"zip readonly");
    const std::wstring locked = target.path() + L"locked.txt";
    ASSERT_TRUE(WriteFileBytes(locked, "old locked"));
    ASSERT_TRUE(::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));

    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(Folder() + L"readonly.zip", target.path(), &outcomes));

    EXPECT_EQ(ResultOf(outcomes, L"first.txt"), kZipEntryDone);
    EXPECT_EQ(ResultOf(outcomes, L"locked.txt"), kZipEntryNotCreated);
    EXPECT_EQ(ResultOf(outcomes, L"last.txt"), kZipEntryDone);
    EXPECT_EQ(ReadFileBytes(locked), "old locked");
    EXPECT_EQ(ReadFileBytes(target.path() + L"first.txt"), "first");
    EXPECT_EQ(ReadFileBytes(target.path() + L"last.txt"), "last");
}

TEST(ExtractZip, ZeroLengthEntryGivesAnEmptyFileWithItsTimes) {
    TempFolder target(L"zip empty");
    ASSERT_TRUE(ExtractZip(Folder() + L"empty_file.zip", target.path()));

    const std::wstring path = target.path() + L"empty.txt";
    // Before anything reads the file (and moves its access time): 2019-01-02 03:04:06 in Kolkata.
    const uint64_t expected = UtcTicks(2019, 1, 1, 21, 34, 6);
    const FileTimes times = TimesOf(path);
    EXPECT_EQ(times.modification, expected);
    EXPECT_EQ(times.access, expected);
    ASSERT_TRUE(Exists(path));
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(ExtractZip, FalseOnlyWhenTheArchiveCannotBeOpened) {
    TempFolder temp(L"zip unopenable");
    ASSERT_TRUE(WriteFileBytes(temp.path() + L"empty.zip", ""));
    for (const std::wstring& archive :
         {temp.path() + L"missing.zip", Folder() + L"not_a_zip.zip", temp.path() + L"empty.zip"}) {
        std::vector<ZipEntryOutcome> outcomes;
        EXPECT_FALSE(ExtractZip(archive, temp.path() + L"T", &outcomes)) << archive;
        EXPECT_TRUE(outcomes.empty());
        EXPECT_FALSE(Exists(temp.path() + L"T")) << "nothing is created for an archive that does not open";
    }
}

TEST(ExtractZip, DosTimesGoThroughLocalTimeAndUnixTimesOverrideThem) {
    TempFolder target(L"zip times");
    ZipArchive zip;
    ASSERT_TRUE(zip.Open(Folder() + L"times.zip"));
    zip.SetBaseFolder(target.path());

    const uint64_t dos = UtcTicks(2020, 6, 15, 7, 4, 56);  // 12:34:56 in Kolkata
    const uint64_t modified = UnixTicks(1'600'000'000);
    struct Case {
        const wchar_t* name;
        uint64_t modification, access, creation;
    };
    const Case cases[] = {
        {L"dos.txt", dos, dos, dos},
        {L"ut_modified.txt", modified, dos, dos},
        {L"ut_all.txt", modified, UnixTicks(1'600'000'100), UnixTicks(1'500'000'000)},
        {L"ut_after_other.txt", modified, dos, dos},
        // Flags for three times, room for one: the others stay as the DOS time.
        {L"ut_short.txt", modified, dos, dos},
        // The central directory's copy of the record says 1970: the local header's counts.
        {L"ut_local.txt", modified, dos, dos},
    };
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        const Case& c = cases[i];
        ZipEntry entry;
        ASSERT_EQ(zip.Describe(i, &entry), kZipEntryDone);
        ASSERT_EQ(entry.name, c.name);
        EXPECT_EQ(Ticks(entry.creationTime), c.creation) << c.name;
        ASSERT_EQ(zip.Unpack(i), kZipEntryDone) << c.name;
        const FileTimes times = TimesOf(target.path() + c.name);
        EXPECT_EQ(times.modification, c.modification) << c.name;
        EXPECT_EQ(times.access, c.access) << c.name;
    }
}

TEST(ExtractZip, AttributesFollowTheHostSystem) {
    TempFolder target(L"zip attributes");
    ZipArchive zip;
    ASSERT_TRUE(zip.Open(Folder() + L"attributes.zip"));
    zip.SetBaseFolder(target.path());

    constexpr DWORD R = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM,
                    D = FILE_ATTRIBUTE_DIRECTORY, A = FILE_ATTRIBUTE_ARCHIVE;
    struct Case {
        const wchar_t* name;
        DWORD record;
    };
    const Case cases[] = {
        {L"dos_readonly.txt", R | A}, {L"dos_hidden.txt", H | A},    {L"dos_system.txt", S},
        {L"dos_plain.txt", 0},        {L"dos_folder/", D},           {L"ntfs_hidden.txt", H | A},
        {L"unix_writable.txt", A},    {L"unix_readonly.txt", R | A}, {L"unix_folder/", D | A},
        {L"unix_folder_bit", D | A},
    };
    ZipEntry entry;
    ASSERT_EQ(zip.Describe(-1, &entry), kZipEntryDone);
    ASSERT_EQ(entry.index, static_cast<int>(std::size(cases)));
    for (int i = 0; i < entry.index; ++i) {
        const Case& c = cases[i];
        ZipEntry described;
        ASSERT_EQ(zip.Describe(i, &described), kZipEntryDone);
        EXPECT_EQ(described.name, c.name);
        EXPECT_EQ(described.attributes, c.record) << c.name;
        ASSERT_EQ(zip.Unpack(i), kZipEntryDone) << c.name;

        // On disk: the bits the record asks for (the file system may add the archive bit on its own; folders
        // are only created, not given attributes).
        const DWORD kept = R | H | S | D;
        const DWORD found = ::GetFileAttributesW((target.path() + c.name).c_str());
        ASSERT_NE(found, INVALID_FILE_ATTRIBUTES) << c.name;
        EXPECT_EQ(found & kept, c.record & kept) << c.name;
        if ((c.record & A) && !(c.record & D)) {
            EXPECT_TRUE(found & A) << c.name;
        }
    }
}

TEST(ExtractZip, DamagedAndEncryptedEntriesLeaveNothingAndDoNotStopTheOthers) {
    TempFolder target(L"zip damaged");
    // A good file already in place is not replaced by a damaged entry of the same name.
    ASSERT_TRUE(WriteFileBytes(target.path() + L"bad_crc.bin", "previous"));
    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(Folder() + L"damaged.zip", target.path(), &outcomes));

    EXPECT_EQ(ResultOf(outcomes, L"before.txt"), kZipEntryDone);
    EXPECT_EQ(ResultOf(outcomes, L"encrypted.txt"), kZipEntryNeedsPassword);
    EXPECT_EQ(ResultOf(outcomes, L"bad_stream.bin"), kZipEntryDecompressFailed);
    EXPECT_EQ(ResultOf(outcomes, L"bad_crc.bin"), kZipEntryDecompressFailed);
    EXPECT_EQ(ResultOf(outcomes, L"short_stream.bin"), kZipEntryDecompressFailed);
    EXPECT_EQ(ResultOf(outcomes, L"bzip2.bin"), kZipEntryDecompressFailed);
    EXPECT_EQ(ResultOf(outcomes, L"after.txt"), kZipEntryDone);

    // Exactly these files, no temporary leftovers.
    std::vector<std::wstring> found;
    ListTree(target.path(), &found);
    std::sort(found.begin(), found.end());
    const std::vector<std::wstring> expected = {target.path() + L"after.txt", target.path() + L"bad_crc.bin",
                                                target.path() + L"before.txt"};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(ReadFileBytes(target.path() + L"bad_crc.bin"), "previous");
    EXPECT_EQ(ReadFileBytes(target.path() + L"after.txt"), "after");
}

TEST(ExtractZip, LargeEntryArrivesWholeThroughTheSmallBuffer) {
    unsigned long long size = 0;
    unsigned long crc = 0;
    ASSERT_EQ(std::sscanf(ReadFileBytes(Folder() + L"large.txt").c_str(), "%llu %lu", &size, &crc), 2);
    ASSERT_GE(size, 50ull * 1024 * 1024);

    TempFolder target(L"zip large");
    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(Folder() + L"large.zip", target.path(), &outcomes));
    EXPECT_EQ(ResultOf(outcomes, L"large.bin"), kZipEntryDone);
    EXPECT_EQ(ResultOf(outcomes, L"after.txt"), kZipEntryDone);

    const UniqueFileHandle file(::CreateFileW((target.path() + L"large.bin").c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    ASSERT_TRUE(file);
    std::vector<unsigned char> chunk(1 << 20);
    uLong written = crc32(0, nullptr, 0);
    unsigned long long total = 0;
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0) {
        written = crc32(written, chunk.data(), got);
        total += got;
    }
    EXPECT_EQ(total, size);
    EXPECT_EQ(written, crc);
}

TEST(ExtractZip, ReparsePointsOnTheWayAreNeverFollowed) {
    // reparse/target holds a link to reparse/outside (a folder) and one to reparse/outside/victim.txt, made
    // by the fixture on the Linux side; wine shows the folder link as a reparse point.
    const std::wstring folder = Folder() + L"reparse\\";
    const std::wstring target = folder + L"target\\";
    ASSERT_TRUE(::GetFileAttributesW((target + L"linked_folder").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    std::vector<ZipEntryOutcome> outcomes;
    ASSERT_TRUE(ExtractZip(folder + L"reparse.zip", target, &outcomes));

    EXPECT_EQ(ResultOf(outcomes, L"linked_folder/evil1.txt"), kZipEntryReparsePoint);
    EXPECT_EQ(ResultOf(outcomes, L"linked_folder/"), kZipEntryReparsePoint);
    EXPECT_EQ(ResultOf(outcomes, L"linked_folder/sub/evil2.txt"), kZipEntryReparsePoint);
    EXPECT_EQ(ResultOf(outcomes, L"good.txt"), kZipEntryDone);
    // Wine shows a file link as a plain file; the entry then replaces the link itself, never its target.
    const uint32_t file = ResultOf(outcomes, L"linked_file.txt");
    EXPECT_TRUE(file == kZipEntryDone || file == kZipEntryReparsePoint) << file;

    std::vector<std::wstring> outside;
    ListTree(folder + L"outside\\", &outside);
    EXPECT_EQ(outside, std::vector<std::wstring>{folder + L"outside\\victim.txt"});
    EXPECT_EQ(ReadFileBytes(folder + L"outside\\victim.txt"), "victim");
    ::DeleteFileW((target + L"good.txt").c_str());
}

TEST(ZipArchive, InnerOperationsReportCountRangeAndTheirLastResult) {
    ZipArchive zip;
    ASSERT_TRUE(zip.Open(Folder() + L"layout.zip"));
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(zip.BaseFolder(),
              std::wstring(current) + (std::wstring(current).back() == L'\\' ? L"" : L"\\"));

    ZipEntry entry;
    ASSERT_EQ(zip.Describe(-1, &entry), kZipEntryDone);
    EXPECT_EQ(entry.index, 3);
    EXPECT_EQ(zip.Describe(3, &entry), kZipEntryIndexOutOfRange);
    EXPECT_EQ(zip.LastResult(), kZipEntryIndexOutOfRange);
    EXPECT_EQ(zip.Unpack(-2), kZipEntryIndexOutOfRange);
    // Entries can be described in any order.
    ASSERT_EQ(zip.Describe(2, &entry), kZipEntryDone);
    EXPECT_EQ(entry.name, L"b.dll");
    EXPECT_EQ(entry.uncompressedSize, 14u);
    ASSERT_EQ(zip.Describe(1, &entry), kZipEntryDone);
    EXPECT_EQ(entry.name, L"setup/a.exe");
    EXPECT_EQ(zip.LastResult(), kZipEntryDone);
    zip.Close();
    EXPECT_EQ(zip.Describe(0, &entry), kZipEntryIndexOutOfRange);
}

}  // namespace
