// The update commands against a real HTTPS server on localhost: what the checks offer, which folder they ask,
// and that an accepted update starts exactly the installer its package brought, or says it could not.

#include "update/Updater.h"

#include "shell/WindowMessages.h"

#include "LocalUpdateServer.h"
#include "MessageSink.h"
#include "TempFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using testing_support::LocalUpdateServer;
using testing_support::MessageSink;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::TestDir;

namespace {

using Results = std::vector<std::pair<WPARAM, LPARAM>>;

Results OfferOf(WPARAM kind, bool offered) {
    return offered ? Results{{kind, 1}} : Results{};
}

// What the first display answers to the firmware query.
bool gDisplayAnswers = false;
int gDisplayVersion = 0;
bool QueryTestDisplay(int* version) noexcept {
    *version = gDisplayVersion;
    return gDisplayAnswers;
}

class UpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ok()) << "the local HTTPS server did not start";
        gDisplayAnswers = false;
        // The installer in the test packages is the probe, which records its command line here.
        ASSERT_TRUE(::SetEnvironmentVariableW(L"CALIDRA_PROBE_LOG", ProbeLog().c_str()));
        probe_ = ReadFileBytes(TestDir() + L"ServerProbe.exe");
        ASSERT_FALSE(probe_.empty());
    }

    // An updater asking the server's folder prefix, writing below user_.
    void Configure(Updater& updater, const std::wstring& prefix = L"") {
        updater.Configure(sink_.hwnd(), server_.BaseUrl() + prefix, user_.path());
    }
    std::wstring Temp() const { return user_.path() + L"\\temp\\"; }
    std::wstring ProbeLog() const { return user_.path() + L"probe.log"; }
    // The probe's command lines so far, after waiting up to ms for the first.
    std::wstring ProbeRuns(DWORD ms) const {
        std::string log;
        testing_support::WaitUntil([&] { return !(log = ReadFileBytes(ProbeLog())).empty(); }, ms);
        return std::wstring(reinterpret_cast<const wchar_t*>(log.data()), log.size() / sizeof(wchar_t));
    }
    bool Exists(const std::wstring& path) const {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    LocalUpdateServer server_;
    MessageSink sink_;
    TempFolder user_{L"updater user"};
    std::string probe_;
};

TEST_F(UpdaterTest, SoftwareCheckOffersOnlyANewerVersion) {
    struct Case {
        const char* body;  // null: no version file (404)
        bool offered;
        const wchar_t* latest;
    };
    const Case cases[] = {
        {"1.0.0.6", true, L"1.0.0.6"},
        {"1.0.0.5", false, L"1.0.0.5"},
        {"1.0.0.4", false, L"1.0.0.4"},
        {"1.0.1", true, L"1.0.1"},
        {"1.0.0.6\n", true, L"1.0.0.6\n"},
        {"1.0.0.60000", false, L""},
        {"", false, L""},
        {nullptr, false, L""},
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::wstring prefix = L"case" + std::to_wstring(++i) + L"/";
        if (c.body) {
            ASSERT_TRUE(server_.Put(prefix + L"display-K/K1K2/software/version", c.body));
        }
        Updater updater(&QueryTestDisplay);
        Configure(updater, prefix);
        updater.RunCommand(kCommandSoftwareCheck, 0);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage), OfferOf(kUpdateSoftware, c.offered))
            << (c.body ? c.body : "404");
        EXPECT_EQ(updater.LatestVersion(kUpdateSoftware), c.latest) << (c.body ? c.body : "404");
    }
}

TEST_F(UpdaterTest, FirmwareCheckReadsTheDisplaysHexAsDecimalAndAsksTheModelsFolder) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K1/version", "103"));
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K2/version", "2"));
    struct Case {
        int model;
        bool answers;
        int display;
        bool offered;
    };
    const Case cases[] = {
        {1, true, 0x0102, true},    // 103 > 102
        {1, true, 0x0103, false},   // 103 = 103
        {2, true, 0x001A, true},    // "1a" reads 1, and 2 > 1
        {0, true, 0x0002, false},   // no display model: the K2 folder
        {1, false, 0x0001, false},  // no display answers
    };
    for (const Case& c : cases) {
        gDisplayAnswers = c.answers;
        gDisplayVersion = c.display;
        Updater updater(&QueryTestDisplay);
        Configure(updater);
        updater.RunCommand(kCommandFirmwareCheck, c.model);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage), OfferOf(kUpdateFirmware, c.offered))
            << c.model << " " << c.display;
        EXPECT_EQ(updater.LatestVersion(kUpdateFirmware), c.model == 1 ? L"103" : L"2");
    }
    EXPECT_EQ(server_.Requests(),
              (std::vector<std::string>{
                  "/display-K/K1K2/firmware-K1/version", "/display-K/K1K2/firmware-K1/version",
                  "/display-K/K1K2/firmware-K2/version", "/display-K/K1K2/firmware-K2/version",
                  "/display-K/K1K2/firmware-K1/version"}));
}

TEST_F(UpdaterTest, AnAcceptedUpdateStartsTheInstallerItsPackageBrought) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/version", "1.0.0.6"));
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/Software-1.0.0.6.zip/Software-1.0.0.6.exe", probe_));
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/Software-1.0.0.6.zip/readme.txt", "new"));
    Updater updater(&QueryTestDisplay);
    Configure(updater);
    updater.RunCommand(kCommandSoftwareCheck, 0);
    ASSERT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateSoftware, 1}}));

    updater.RunCommand(kCommandSoftwareDownload, 0);
    EXPECT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateInstallerStarted, 0}}));
    EXPECT_EQ(server_.Requests().back(), "/display-K/K1K2/software///Software-1.0.0.6.zip");
    const std::wstring runs = ProbeRuns(10000);
    EXPECT_NE(runs.find(L"\\temp\\Software-1.0.0.6.exe"), std::wstring::npos) << runs;
    EXPECT_TRUE(Exists(Temp() + L"readme.txt"));
    EXPECT_FALSE(Exists(Temp() + L"Software-1.0.0.6.zip")) << "an unpacked package is deleted";
}

TEST_F(UpdaterTest, AnUpdateThatCannotBeInstalledSaysSoAndStartsNothing) {
    const std::wstring folder = L"display-K/K1K2/software/";
    struct Case {
        const char* version;
        const char* package;  // null: 404; "zip": a folder zipped without the installer
    };
    const Case cases[] = {
        {"1.0.0.6", nullptr},
        {"1.0.0.7", "this is no zip archive"},
        {"1.0.0.8", "zip"},
        {"..\\x", nullptr},
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::wstring prefix = L"case" + std::to_wstring(++i) + L"/";
        const std::wstring version(c.version, c.version + std::strlen(c.version));
        const std::wstring package = prefix + folder + L"Software-" + version + L".zip";
        ASSERT_TRUE(server_.Put(prefix + folder + L"version", c.version));
        const bool zipped = c.package && std::string(c.package) == "zip";
        if (zipped) {
            ASSERT_TRUE(server_.Put(package + L"/readme.txt", "no installer here"));
        } else if (c.package) {
            ASSERT_TRUE(server_.Put(package, c.package));
        }
        const bool safe = version.find(L'\\') == std::wstring::npos;
        if (safe) {
            // An installer left from an earlier attempt, or by another program, must not pass for this one's.
            ASSERT_TRUE(testing_support::WriteFileBytes(Temp() + L"Software-" + version + L".exe", probe_));
        }

        Updater updater(&QueryTestDisplay);
        Configure(updater, prefix);
        updater.RunCommand(kCommandSoftwareCheck, 0);
        ASSERT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateSoftware, 1}})) << c.version;
        const size_t requests = server_.Requests().size();
        updater.RunCommand(kCommandSoftwareDownload, 0);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateNotInstalled, kUpdateSoftware}}))
            << c.version;
        if (!c.package) {
            EXPECT_FALSE(Exists(Temp() + L"Software-" + version + L".zip"))
                << "a failed download leaves nothing";
        }
        if (zipped) {
            EXPECT_FALSE(Exists(Temp() + L"Software-" + version + L".exe")) << "the stale installer is gone";
        }
        if (!safe) {
            EXPECT_EQ(server_.Requests().size(), requests) << "an unsafe version names no package";
        }
    }
    EXPECT_EQ(ProbeRuns(1000), L"");
}

TEST_F(UpdaterTest, FirmwareForAK2OrNoDisplayComesFromTheK2Folder) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K2/version", "103"));
    gDisplayAnswers = true;
    gDisplayVersion = 0x0102;
    for (int model : {2, 0}) {
        Updater updater(&QueryTestDisplay);
        Configure(updater);
        updater.RunCommand(kCommandFirmwareCheck, model);
        updater.RunCommand(kCommandFirmwareDownload, model);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage),
                  (Results{{kUpdateFirmware, 1}, {kUpdateNotInstalled, kUpdateFirmware}}));
    }
    const std::vector<std::string> expected{
        "/display-K/K1K2/firmware-K2/version", "/display-K/K1K2/firmware-K2///FirmwareUpdateTool-103.zip",
        "/display-K/K1K2/firmware-K2/version", "/display-K/K1K2/firmware-K2///FirmwareUpdateTool-103.zip"};
    EXPECT_EQ(server_.Requests(), expected);
}

// A firmware check that finds no version forgets the one the check before found: accepting the earlier offer
// afterwards fetches nothing.
TEST_F(UpdaterTest, AFirmwareCheckWithoutAnswerForgetsTheLastVersion) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K1/version", "103"));
    gDisplayAnswers = true;
    gDisplayVersion = 0x0102;
    Updater updater(&QueryTestDisplay);
    Configure(updater);
    updater.RunCommand(kCommandFirmwareCheck, 1);
    updater.RunCommand(kCommandFirmwareCheck, 2);  // the K2 folder has no version file
    EXPECT_EQ(updater.LatestVersion(kUpdateFirmware), L"");
    updater.RunCommand(kCommandFirmwareDownload, 1);
    EXPECT_EQ(sink_.Take(kUpdateResultMessage),
              (Results{{kUpdateFirmware, 1}, {kUpdateNotInstalled, kUpdateFirmware}}));
    EXPECT_EQ(server_.Requests(), (std::vector<std::string>{"/display-K/K1K2/firmware-K1/version",
                                                            "/display-K/K1K2/firmware-K2/version"}));
}

TEST_F(UpdaterTest, AfterCancelNothingRuns) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/version", "1.0.0.6"));
    Updater updater(&QueryTestDisplay);
    Configure(updater);
    updater.Cancel();
    for (int command : {kCommandSoftwareCheck, kCommandFirmwareCheck, kCommandSoftwareDownload}) {
        updater.RunCommand(command, 1);
    }
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_TRUE(sink_.Take(kUpdateResultMessage).empty());
}

}  // namespace
