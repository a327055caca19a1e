// The update commands against a real HTTPS server on localhost: what the checks offer, which folder they ask,
// and that an accepted update starts exactly the installer its package brought, from a folder of its own that
// only administrators can change, or says it could not.

#include "update/Updater.h"

#include "update/PackageSignature.h"

#include "common/MachineFolder.h"
#include "common/WindowMessages.h"

#include "LocalUpdateServer.h"
#include "MessageSink.h"
#include "TempFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

using testing_support::LocalUpdateServer;
using testing_support::MessageSink;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::TestDir;
using testing_support::WriteFileBytes;

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

// The folder where the program kept update files in the user's profile before they got a folder of their own.
std::wstring OldUserTemp() {
    wchar_t local[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local);
    return std::wstring(local) + L"\\Kelvaro-DIG Files\\temp\\";
}

// A per-user "open" command for programs (HKCU\Software\Classes\exefile), which the shell would consult
// before starting an installer: it points at a program that records that it ran. Removed again at the end.
class PerUserOpenCommand {
  public:
    explicit PerUserOpenCommand(const std::wstring& command) {
        ok_ = ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, nullptr, REG_SZ, command.c_str(),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~PerUserOpenCommand() { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\exefile"); }
    PerUserOpenCommand(const PerUserOpenCommand&) = delete;
    PerUserOpenCommand& operator=(const PerUserOpenCommand&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }

  private:
    static constexpr wchar_t kKey[] = L"Software\\Classes\\exefile\\shell\\open\\command";
    bool ok_ = false;
};

class UpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ok()) << "the local HTTPS server did not start";
        gDisplayAnswers = false;
        // The installer in the test packages is the probe, which records how it was started here.
        ASSERT_TRUE(::SetEnvironmentVariableW(L"CALIDRA_PROBE_LOG", ProbeLog().c_str()));
        probe_ = ReadFileBytes(TestDir() + L"InstallerProbe.exe");
        ASSERT_FALSE(probe_.empty());
    }

    // An updater asking the server's folder prefix, with its machine-wide folder in machine_.
    void Configure(Updater& updater, const std::wstring& prefix = L"") {
        updater.Configure(PostTo(sink_.hwnd()), server_.BaseUrl() + prefix, Machine());
    }
    std::wstring Machine() const { return machine_.path() + L"Kelvaro-DIG\\"; }
    std::wstring ProbeLog() const { return machine_.path() + L"probe.log"; }
    // The probe's records so far ("key" to value, one map per start), after waiting up to ms for the first.
    std::vector<std::map<std::wstring, std::wstring>> ProbeRuns(DWORD ms) const {
        std::string log;
        testing_support::WaitUntil([&] { return !(log = ReadFileBytes(ProbeLog())).empty(); }, ms);
        const std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / sizeof(wchar_t));
        std::vector<std::map<std::wstring, std::wstring>> runs(1);
        for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            const std::wstring line = text.substr(start, end - start);
            const size_t colon = line.find(L": ");
            if (colon == std::wstring::npos) {
                runs.emplace_back();
            } else {
                runs.back()[line.substr(0, colon)] = line.substr(colon + 2);
            }
        }
        runs.pop_back();
        return runs;
    }
    // The update folders in the machine-wide folder now.
    std::vector<std::wstring> UpdateFolders() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found{};
        UniqueFind find(::FindFirstFileW((Machine() + kUpdateFolderPrefix + L"*").c_str(), &found));
        for (bool more = find.valid(); more; more = ::FindNextFileW(find.get(), &found)) {
            names.push_back(found.cFileName);
        }
        return names;
    }
    bool Exists(const std::wstring& path) const {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // Packages the server has come with the signature the program accepts, unless a test serves another.
    LocalUpdateServer server_{LocalUpdateServer::Signing::kSignsPackages};
    MessageSink sink_;
    TempFolder machine_{L"updater machine"};
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
        updater.RunCommand(WorkerCommand::kSoftwareCheck, 0);
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
        updater.RunCommand(WorkerCommand::kFirmwareCheck, c.model);
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

// The installer starts from a fresh folder below the machine-wide one, directly (the command line is its
// quoted path, no shell looks up an "open" command), with that folder as its current and temporary folder;
// nothing planted in the folder the user's processes can write is beside it. After it started, nothing
// queued runs, and the folder it runs from is a left-over for the next start to remove.
TEST_F(UpdaterTest, AnAcceptedUpdateStartsTheInstallerItsPackageBroughtFromAFolderOfItsOwn) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/version", "1.0.0.6"));
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/Software-1.0.0.6.zip/Software-1.0.0.6.exe", probe_));
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/software/Software-1.0.0.6.zip/readme.txt", "new"));
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K1/version", "103"));
    gDisplayAnswers = true;
    gDisplayVersion = 0x0102;
    ASSERT_TRUE(WriteFileBytes(OldUserTemp() + L"version.dll", "planted"));
    PerUserOpenCommand openCommand(L"\"" + TestDir() + L"InstallerProbe.exe\" \"%1\"");
    ASSERT_TRUE(openCommand.ok());
    Updater updater(&QueryTestDisplay);
    Configure(updater);
    updater.RunCommand(WorkerCommand::kSoftwareCheck, 0);
    updater.RunCommand(WorkerCommand::kFirmwareCheck, 1);
    ASSERT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateSoftware, 1}, {kUpdateFirmware, 1}}));

    updater.RunCommand(WorkerCommand::kSoftwareDownload, 0);
    EXPECT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateInstallerStarted, 0}}));
    const std::vector<std::string> requests = server_.Requests();
    EXPECT_EQ(std::vector<std::string>(requests.end() - 2, requests.end()),
              (std::vector<std::string>{"/display-K/K1K2/software///Software-1.0.0.6.zip",
                                        "/display-K/K1K2/software///Software-1.0.0.6.zip.sig"}));
    const auto runs = ProbeRuns(10000);
    ASSERT_EQ(runs.size(), 1u) << "started once, and never through the per-user open command";
    const std::vector<std::wstring> folders = UpdateFolders();
    ASSERT_EQ(folders.size(), 1u);
    const std::wstring folder = Machine() + folders[0];
    std::map<std::wstring, std::wstring> run = runs[0];
    EXPECT_EQ(run[L"command"], L"\"" + folder + L"\\Software-1.0.0.6.exe\"");
    EXPECT_EQ(run[L"folder"].substr(0, folder.size()), folder);
    EXPECT_EQ(run[L"temp"], folder);
    EXPECT_EQ(run[L"beside"].find(L"version.dll"), std::wstring::npos) << run[L"beside"];
    EXPECT_NE(run[L"beside"].find(L"readme.txt|"), std::wstring::npos) << run[L"beside"];
    EXPECT_FALSE(Exists(folder + L"\\Software-1.0.0.6.zip")) << "an unpacked package is deleted";

    // Both offers were accepted: the firmware download queued behind the software asks for nothing.
    for (WorkerCommand command : {WorkerCommand::kFirmwareDownload, WorkerCommand::kFirmwareCheck,
                                  WorkerCommand::kSoftwareDownload}) {
        updater.RunCommand(command, 1);
    }
    EXPECT_EQ(server_.Requests().size(), requests.size())
        << "nothing queued runs after the installer started";
    EXPECT_TRUE(sink_.Take(kUpdateResultMessage).empty());

    // Once the installer has ended, its folder is a left-over that the next start removes.
    EXPECT_TRUE(testing_support::WaitUntil([&] {
        updater.RemoveLeftovers();
        return !Exists(folder);
    }));
}

TEST_F(UpdaterTest, AnUpdateThatCannotBeInstalledSaysSoStartsNothingAndLeavesNoFolder) {
    const std::wstring folder = L"display-K/K1K2/software/";
    struct Case {
        const char* version;
        // null: 404; "zip": a folder zipped without the installer; "broken": an installer that is no
        // program; "forged": a good package with a signature by no one; "old": release 1.0.0.4 with its
        // valid signature; "unsigned": a good package without a signature (404)
        const char* package;
    };
    const Case cases[] = {
        {"1.0.0.6", nullptr}, {"1.0.0.7", "this is no zip archive"},
        {"1.0.0.8", "zip"},   {"1.0.0.9", "broken"},
        {"..\\x", nullptr},   {"1.0.0.10", "forged"},
        {"1.0.0.11", "old"},  {"1.0.0.12", "unsigned"},
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::wstring prefix = L"case" + std::to_wstring(++i) + L"/";
        const std::wstring version(c.version, c.version + std::strlen(c.version));
        const std::wstring package = prefix + folder + L"Software-" + version + L".zip";
        ASSERT_TRUE(server_.Put(prefix + folder + L"version", c.version));
        const std::string kind = c.package ? c.package : "";
        if (kind == "zip") {
            ASSERT_TRUE(server_.Put(package + L"/readme.txt", "no installer here"));
        } else if (kind == "broken") {
            ASSERT_TRUE(server_.Put(package + L"/Software-" + version + L".exe", "MZ but no program"));
        } else if (kind == "forged" || kind == "unsigned") {
            ASSERT_TRUE(server_.Put(package + L"/Software-" + version + L".exe", probe_));
            ASSERT_TRUE(kind == "forged" ? server_.Put(package + kSignatureSuffix,
                                                       std::string(kPackageSignatureSize, '\x5A'))
                                         : server_.Put(package + kSignatureSuffix + L"/none", ""));
        } else if (kind == "old") {
            const std::wstring old =
                TestDir() + L"signed_packages\\old\\display-K\\K1K2\\software\\Software-1.0.0.4.zip";
            ASSERT_TRUE(server_.Put(package, ReadFileBytes(old)));
            ASSERT_TRUE(server_.Put(package + kSignatureSuffix, ReadFileBytes(old + kSignatureSuffix)));
        } else if (c.package) {
            ASSERT_TRUE(server_.Put(package, c.package));
        }
        const bool safe = version.find(L'\\') == std::wstring::npos;
        if (safe) {
            // An installer that another program left where update files once were is never started.
            ASSERT_TRUE(WriteFileBytes(OldUserTemp() + L"Software-" + version + L".exe", probe_));
        }

        Updater updater(&QueryTestDisplay);
        Configure(updater, prefix);
        updater.RunCommand(WorkerCommand::kSoftwareCheck, 0);
        ASSERT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateSoftware, 1}})) << c.version;
        const size_t requests = server_.Requests().size();
        updater.RunCommand(WorkerCommand::kSoftwareDownload, 0);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage), (Results{{kUpdateNotInstalled, kUpdateSoftware}}))
            << c.version;
        EXPECT_EQ(UpdateFolders(), std::vector<std::wstring>{}) << c.version;
        if (!safe) {
            EXPECT_EQ(server_.Requests().size(), requests) << "an unsafe version names no package";
        }
    }
    EXPECT_TRUE(ProbeRuns(1000).empty());
}

TEST_F(UpdaterTest, FirmwareForAK2OrNoDisplayComesFromTheK2Folder) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K2/version", "103"));
    gDisplayAnswers = true;
    gDisplayVersion = 0x0102;
    for (int model : {2, 0}) {
        Updater updater(&QueryTestDisplay);
        Configure(updater);
        updater.RunCommand(WorkerCommand::kFirmwareCheck, model);
        updater.RunCommand(WorkerCommand::kFirmwareDownload, model);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage),
                  (Results{{kUpdateFirmware, 1}, {kUpdateNotInstalled, kUpdateFirmware}}));
    }
    const std::vector<std::string> expected{
        "/display-K/K1K2/firmware-K2/version", "/display-K/K1K2/firmware-K2///FirmwareUpdateTool-103.zip",
        "/display-K/K1K2/firmware-K2/version", "/display-K/K1K2/firmware-K2///FirmwareUpdateTool-103.zip"};
    EXPECT_EQ(server_.Requests(), expected);
}

// The signature names the folder: the K1 firmware tool, validly signed, is installed for a K1 display and
// refused when the K2 folder offers it.
TEST_F(UpdaterTest, TheK1FirmwareToolIsInstalledOnlyFromTheK1Folder) {
    const std::wstring signedTool =
        TestDir() + L"signed_packages\\good\\display-K\\K1K2\\firmware-K1\\FirmwareUpdateTool-103.zip";
    gDisplayAnswers = true;
    gDisplayVersion = 0x0102;
    for (const int model : {2, 1}) {
        const std::wstring folder =
            model == 1 ? L"display-K/K1K2/firmware-K1/" : L"display-K/K1K2/firmware-K2/";
        ASSERT_TRUE(server_.Put(folder + L"version", "103"));
        ASSERT_TRUE(server_.Put(folder + L"FirmwareUpdateTool-103.zip", ReadFileBytes(signedTool)));
        ASSERT_TRUE(server_.Put(folder + L"FirmwareUpdateTool-103.zip.sig",
                                ReadFileBytes(signedTool + kSignatureSuffix)));
        Updater updater(&QueryTestDisplay);
        Configure(updater);
        updater.RunCommand(WorkerCommand::kFirmwareCheck, model);
        updater.RunCommand(WorkerCommand::kFirmwareDownload, model);
        EXPECT_EQ(sink_.Take(kUpdateResultMessage),
                  (Results{{kUpdateFirmware, 1},
                           {model == 1 ? kUpdateInstallerStarted : kUpdateNotInstalled,
                            model == 1 ? 0 : kUpdateFirmware}}))
            << model;
        EXPECT_EQ(ProbeRuns(model == 1 ? 10000 : 1000).size(), model == 1 ? 1u : 0u) << model;
    }
}

// A firmware check that finds no version forgets the one the check before found: accepting the earlier offer
// afterwards fetches nothing.
TEST_F(UpdaterTest, AFirmwareCheckWithoutAnswerForgetsTheLastVersion) {
    ASSERT_TRUE(server_.Put(L"display-K/K1K2/firmware-K1/version", "103"));
    gDisplayAnswers = true;
    gDisplayVersion = 0x0102;
    Updater updater(&QueryTestDisplay);
    Configure(updater);
    updater.RunCommand(WorkerCommand::kFirmwareCheck, 1);
    updater.RunCommand(WorkerCommand::kFirmwareCheck, 2);  // the K2 folder has no version file
    EXPECT_EQ(updater.LatestVersion(kUpdateFirmware), L"");
    updater.RunCommand(WorkerCommand::kFirmwareDownload, 1);
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
    for (WorkerCommand command :
         {WorkerCommand::kSoftwareCheck, WorkerCommand::kFirmwareCheck, WorkerCommand::kSoftwareDownload}) {
        updater.RunCommand(command, 1);
    }
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_TRUE(sink_.Take(kUpdateResultMessage).empty());
}

}  // namespace
