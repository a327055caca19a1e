// The signature check of update packages with the key built into this build, against packages and
// signatures that the release's own tool made (make_signed_packages.py), served by a real HTTPS server.

#include "update/PackageSignature.h"

#include "update/PackageStatement.h"

#include "common/Product.h"

#include "LocalUpdateServer.h"
#include "TempFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::LocalUpdateServer;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::TestDir;
using testing_support::WriteFileBytes;

namespace {

constexpr wchar_t kSoftware[] = L"display-K/K1K2/software/";
constexpr wchar_t kFirmwareK1[] = L"display-K/K1K2/firmware-K1/";
constexpr wchar_t kFirmwareK2[] = L"display-K/K1K2/firmware-K2/";

std::wstring Fixture(const std::wstring& relative) {
    std::wstring path = TestDir() + L"signed_packages\\" + relative;
    for (wchar_t& c : path) {
        c = c == L'/' ? L'\\' : c;
    }
    return path;
}

std::string Flipped(std::string bytes, size_t at) {
    bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x01);
    return bytes;
}

UniqueFileHandle OpenForReading(const std::wstring& path) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

class PackageSignature : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ok()) << "the local HTTPS server did not start";
        package_ = ReadFileBytes(Fixture(L"good/display-K/K1K2/software/Software-1.0.0.6.zip"));
        signature_ = ReadFileBytes(Fixture(L"good/display-K/K1K2/software/Software-1.0.0.6.zip.sig"));
        ASSERT_GT(package_.size(), 1000u);
        ASSERT_EQ(signature_.size(), kPackageSignatureSize);
    }

    // Checks `package` (written locally, read through a handle) with the signature the server has for
    // folder + name (null: none, 404).
    SignatureCheck Check(const std::string& package, const std::string* served, const std::wstring& folder,
                         const std::wstring& name, const std::wstring& version) {
        const std::wstring path = local_.path() + name;
        EXPECT_TRUE(WriteFileBytes(path, package));
        if (served) {
            EXPECT_TRUE(server_.Put(folder + name + kSignatureSuffix, *served));
        }
        const UniqueFileHandle file = OpenForReading(path);
        EXPECT_TRUE(file.valid());
        HttpTransfer transfer;
        const SignatureCheck check = CheckPackageSignature(
            transfer, server_.BaseUrl() + folder + L"//" + name, file.get(), {folder, name, version});
        std::wstring served = server_.Root() + folder + name + kSignatureSuffix;
        for (wchar_t& c : served) {
            c = c == L'/' ? L'\\' : c;
        }
        ::DeleteFileW(served.c_str());
        return check;
    }

    LocalUpdateServer server_;
    TempFolder local_{L"package signature"};
    std::string package_;
    std::string signature_;
};

TEST_F(PackageSignature, OnlyTheReleasersSignatureOfThisPackageUnderThisNameAndFolderPasses) {
    const std::string otherKey = ReadFileBytes(Fixture(L"Software-1.0.0.6.zip.other-key.sig"));
    const std::string oldPackage =
        ReadFileBytes(Fixture(L"old/display-K/K1K2/software/Software-1.0.0.4.zip"));
    const std::string oldSignature =
        ReadFileBytes(Fixture(L"old/display-K/K1K2/software/Software-1.0.0.4.zip.sig"));
    const std::string firmware =
        ReadFileBytes(Fixture(L"good/display-K/K1K2/firmware-K1/FirmwareUpdateTool-103.zip"));
    const std::string firmwareSignature =
        ReadFileBytes(Fixture(L"good/display-K/K1K2/firmware-K1/FirmwareUpdateTool-103.zip.sig"));
    ASSERT_EQ(otherKey.size(), kPackageSignatureSize);
    ASSERT_EQ(oldSignature.size(), kPackageSignatureSize);
    const std::string tooLong = signature_ + "x";
    const std::string truncated = signature_.substr(0, kPackageSignatureSize - 1);
    const std::string overLimit(kVersionFileLimits.maxBytes + 1, 's');
    struct Case {
        const char* what;
        const std::string& package;
        const std::string* served;
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* version;
        SignatureCheck expected;
    };
    const std::string flippedPackage = Flipped(package_, package_.size() / 2);
    const std::string flippedSignature = Flipped(signature_, 40);
    const Case cases[] = {
        {"good", package_, &signature_, kSoftware, L"Software-1.0.0.6.zip", L"1.0.0.6",
         SignatureCheck::kValid},
        {"a byte of the package flipped", flippedPackage, &signature_, kSoftware, L"Software-1.0.0.6.zip",
         L"1.0.0.6", SignatureCheck::kMismatch},
        {"a byte of the signature flipped", package_, &flippedSignature, kSoftware, L"Software-1.0.0.6.zip",
         L"1.0.0.6", SignatureCheck::kMismatch},
        {"signed with another key", package_, &otherKey, kSoftware, L"Software-1.0.0.6.zip", L"1.0.0.6",
         SignatureCheck::kMismatch},
        {"no signature (404)", package_, nullptr, kSoftware, L"Software-1.0.0.6.zip", L"1.0.0.6",
         SignatureCheck::kMissing},
        {"one byte too many", package_, &tooLong, kSoftware, L"Software-1.0.0.6.zip", L"1.0.0.6",
         SignatureCheck::kMalformed},
        {"beyond a version file's limit", package_, &overLimit, kSoftware, L"Software-1.0.0.6.zip",
         L"1.0.0.6", SignatureCheck::kMissing},
        {"truncated", package_, &truncated, kSoftware, L"Software-1.0.0.6.zip", L"1.0.0.6",
         SignatureCheck::kMalformed},
        {"1.0.0.4 with its valid signature offered as 1.0.0.6", oldPackage, &oldSignature, kSoftware,
         L"Software-1.0.0.6.zip", L"1.0.0.6", SignatureCheck::kMismatch},
        {"the 1.0.0.6 package's signature for version 1.0.0.7", package_, &signature_, kSoftware,
         L"Software-1.0.0.6.zip", L"1.0.0.7", SignatureCheck::kMismatch},
        {"the 1.0.0.6 package's signature under another name", package_, &signature_, kSoftware,
         L"Setup-1.0.0.6.zip", L"1.0.0.6", SignatureCheck::kMismatch},
        {"1.0.0.4 as itself", oldPackage, &oldSignature, kSoftware, L"Software-1.0.0.4.zip", L"1.0.0.4",
         SignatureCheck::kValid},
        {"the K1 firmware tool", firmware, &firmwareSignature, kFirmwareK1, L"FirmwareUpdateTool-103.zip",
         L"103", SignatureCheck::kValid},
        {"the K1 firmware tool from the K2 folder", firmware, &firmwareSignature, kFirmwareK2,
         L"FirmwareUpdateTool-103.zip", L"103", SignatureCheck::kMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Check(c.package, c.served, c.folder, c.name, c.version), c.expected);
    }
}

TEST_F(PackageSignature, ReadsThePackageThroughItsHandleWithinTheBoundAndLeavesItAtTheStart) {
    const std::wstring path = local_.path() + L"Software-1.0.0.6.zip";
    ASSERT_TRUE(WriteFileBytes(path, package_));
    const PackageIdentity identity{kSoftware, L"Software-1.0.0.6.zip", L"1.0.0.6"};
    {
        const UniqueFileHandle file = OpenForReading(path);
        ASSERT_TRUE(file.valid());
        // Where an earlier reader left the handle does not matter.
        char skipped[100];
        DWORD got = 0;
        ASSERT_TRUE(::ReadFile(file.get(), skipped, sizeof(skipped), &got, nullptr));

        EXPECT_EQ(VerifyPackage(file.get(), identity, signature_, BuiltInUpdateKey(), package_.size() - 1),
                  SignatureCheck::kUnreadable);
        EXPECT_EQ(VerifyPackage(file.get(), identity, signature_, BuiltInUpdateKey(), package_.size()),
                  SignatureCheck::kValid);
        char start[2] = {};
        ASSERT_TRUE(::ReadFile(file.get(), start, sizeof(start), &got, nullptr));
        EXPECT_EQ(std::string(start, got), "PK");
    }
    // A handle without read access gives nothing to check.
    const UniqueFileHandle writeOnly(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writeOnly.valid());
    EXPECT_EQ(VerifyPackage(writeOnly.get(), identity, signature_), SignatureCheck::kUnreadable);
}

TEST_F(PackageSignature, TheBuildsOwnUpdateServerTreeVerifiesWithTheBuiltInKey) {
    // packaging/ lays it out for this version, as scripts/release.sh does for a release.
    const std::wstring folder = TestDir() + L"..\\release\\update-server\\display-K\\K1K2\\software\\";
    const std::wstring version = kProductVersion;
    ASSERT_EQ(ReadFileBytes(folder + L"version"), "1.0.0.5");
    const std::wstring name = L"Software-" + version + L".zip";
    const UniqueFileHandle file = OpenForReading(folder + name);
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(VerifyPackage(file.get(), {kSoftware, name, version},
                            ReadFileBytes(folder + name + kSignatureSuffix)),
              SignatureCheck::kValid);
}

TEST(PackageStatementText, NamesFolderPackageVersionAndDigestAndRefusesWhatALineCannotHold) {
    Sha256Digest digest{};
    digest[0] = 0xAB;
    digest[31] = 0x01;
    EXPECT_EQ(PackageStatement(L"display-K/K1K2/software/", L"Software-1.0.0.6.zip", L"1.0.0.6", digest),
              "Kelvaro-DIG update package\n"
              "folder display-K/K1K2/software/\n"
              "name Software-1.0.0.6.zip\n"
              "version 1.0.0.6\n"
              "sha256 ab000000000000000000000000000000000000000000000000000000000000"
              "01\n");
    for (const wchar_t* version : {L"", L"1.0 6", L"1.0\n6", L"1.0.\u00E9"}) {
        EXPECT_EQ(PackageStatement(L"f/", L"n.zip", version, digest), "") << version;
    }
}

}  // namespace
