// The server's configuration and scripted-readings parsers.

#include "ScriptedReadings.h"
#include "ServerConfig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Contains(const std::vector<std::string>& messages, const std::string& part) {
    for (const std::string& m : messages) {
        if (m.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct ParsedConfig {
    ServerConfig config;
    std::vector<std::string> messages;
};

ParsedConfig Parse(std::string_view text, const wchar_t* folder = L"C:\\app\\") {
    ParsedConfig parsed;
    parsed.config = ParseServerConfig(text, folder, &parsed.messages);
    return parsed;
}

TEST(ServerConfig, ReadsEveryKeyAndResolvesPathsFromTheServersFolder) {
    const ParsedConfig p = Parse(
        "\xEF\xBB\xBF# demo\r\n; another comment\r\n\r\n  Source = CSV \r\ncsv = feed/demo.csv\r\n"
        "period_ms=250\r\nsysfs=C:\\fake sys\r\n",
        L"C:\\app\\Termivox\\");
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.config.source, ReadingSource::Scripted);
    EXPECT_EQ(p.config.csvPath, L"C:\\app\\Termivox\\feed\\demo.csv");
    EXPECT_EQ(p.config.periodMs, 250u);
    EXPECT_EQ(p.config.sysfsRoot, L"C:\\fake sys");
}

TEST(ServerConfig, AbsentOrEmptyFileGivesTheSystemSourceOnceASecond) {
    const ParsedConfig p = Parse("");
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.config.source, ReadingSource::System);
    EXPECT_EQ(p.config.periodMs, 1000u);
    EXPECT_EQ(p.config.sysfsRoot, L"Z:\\sys");
}

TEST(ServerConfig, EveryOddLineIsReportedAndKeepsTheDefault) {
    const ParsedConfig p = Parse(
        "garbage\nsource = sometimes\nperiod_ms = 10\nperiod_ms = 99999999999999999999\nperiod_ms = 5x\n"
        "colour = blue\ncsv =\nsource = csv\n\x01\xff=\x02\n");
    EXPECT_EQ(p.config.source, ReadingSource::System);  // csv chosen without a file
    EXPECT_EQ(p.config.periodMs, 1000u);
    const std::vector<std::string>& messages = p.messages;
    EXPECT_TRUE(Contains(messages, "config line 1: expected key = value"));
    EXPECT_TRUE(Contains(messages, "config line 2: source must be system or csv"));
    EXPECT_TRUE(Contains(messages, "config line 3: period_ms must be"));
    EXPECT_TRUE(Contains(messages, "config line 4: period_ms must be"));
    EXPECT_TRUE(Contains(messages, "config line 5: period_ms must be"));
    EXPECT_TRUE(Contains(messages, "config line 6: unknown key, ignored: colour"));
    EXPECT_TRUE(Contains(messages, "config line 7: csv names no file"));
    EXPECT_TRUE(Contains(messages, "config line 9: unknown key, ignored: ??"));
    EXPECT_TRUE(Contains(messages, "no csv file is named"));
}

TEST(ScriptedReadings, KeepsWellFormedRowsInOrder) {
    std::vector<std::string> messages;
    const auto rows = ParseScriptedReadings(
        "\xEF\xBB\xBF# temperature, load\r\n45.5, 12\r\n\r\n  -3 ,+0.25\r\n1e3,100", &messages);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].temperature, 45.5f);
    EXPECT_EQ(rows[0].second, 12.0f);
    EXPECT_EQ(rows[1].temperature, -3.0f);
    EXPECT_EQ(rows[1].second, 0.25f);
    EXPECT_EQ(rows[2].temperature, 1000.0f);
    EXPECT_EQ(rows[2].second, 100.0f);
}

TEST(ScriptedReadings, SkipsMalformedLinesWithTheirNumber) {
    std::vector<std::string> messages;
    const auto rows = ParseScriptedReadings(
        "40,1\ntemperature,load\n41\n42,x\nnan,2\n43,inf\n1e39,1\n44,5,6\n,\n45;5\n46,7\n", &messages);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].temperature, 40.0f);
    EXPECT_EQ(rows[1].temperature, 46.0f);
    EXPECT_EQ(messages.size(), 9u);
    EXPECT_TRUE(Contains(messages,
                         "csv line 2: expected two numbers (temperature, second reading), skipped: "
                         "temperature,load"));
    for (int line = 3; line <= 10; ++line) {
        EXPECT_TRUE(Contains(messages, "csv line " + std::to_string(line) + ":")) << line;
    }
}

TEST(ScriptedReadings, BoundsItsRowsAndMessages) {
    std::string bad;
    for (int i = 0; i < 500; ++i) {
        bad += "x\n";
    }
    std::string many;
    for (size_t i = 0; i < kMaxScriptRows + 5; ++i) {
        many += "1,2\n";
    }
    // Single lines take all places but two: the row limit's and the count of the other malformed lines.
    std::vector<std::string> messages;
    EXPECT_EQ(ParseScriptedReadings(bad + many, &messages).size(), kMaxScriptRows);
    ASSERT_EQ(messages.size(), kMaxScriptMessages);
    EXPECT_NE(messages[kMaxScriptMessages - 2].find("more than 100000 rows"), std::string::npos);
    EXPECT_EQ(messages.back(),
              "csv: " + std::to_string(500 - (kMaxScriptMessages - 2)) + " more malformed lines skipped");

    messages.clear();
    EXPECT_EQ(ParseScriptedReadings(many, &messages).size(), kMaxScriptRows);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("more than 100000 rows"), std::string::npos);
}

}  // namespace
