// The hostile entry names of the extraction test (make_zip_fixtures.py) through the name rules and the
// containment check alone: each must come to what the Windows test expects of the whole extraction.

#include "CanonicalPath.h"
#include "Text.h"
#include "update/ZipEntry.h"
#include "update/ZipEntryName.h"
#include "update/ZipTargetPath.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct HostileName {
    std::string stored;
    bool utf8 = false;
    std::string expect;  // "held:<path below the target>", "unsafe" or "too_long"
};

std::vector<HostileName> ReadNames() {
    std::vector<HostileName> names;
    std::ifstream file(HOSTILE_NAMES);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string hex, utf8;
        HostileName name;
        std::getline(fields, hex, '\t');
        std::getline(fields, utf8, '\t');
        std::getline(fields, name.expect);
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            name.stored.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        name.utf8 = utf8 == "1";
        names.push_back(name);
    }
    return names;
}

TEST(HostileNames, AreHeldInsideOrRefusedAsInTheExtraction) {
    // As deep as the Windows test's target, so the same names exceed MAX_PATH.
    const std::wstring base = L"C:\\users\\someone\\Temp\\calidra zip hostile 12345\\deep\\er\\target\\";
    const std::vector<HostileName> names = ReadNames();
    ASSERT_GE(names.size(), 30u);
    for (const HostileName& n : names) {
        std::wstring name;
        uint32_t result = ConvertEntryName(n.stored, n.utf8, &name);
        std::wstring target;
        if (result == kZipEntryDone) {
            result = PlaceInside(base, host::CanonicalPath(base, name), false, &target);
        }
        if (n.expect.starts_with("held:")) {
            EXPECT_EQ(result, kZipEntryDone) << n.expect;
            EXPECT_EQ(target, base + WideFromUtf8(n.expect.substr(5))) << n.expect;
        } else {
            EXPECT_EQ(result, n.expect == "too_long" ? kZipEntryNameTooLong : kZipEntryUnsafeName)
                << n.stored;
        }
    }
}

}  // namespace
