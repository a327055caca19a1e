#include "display/DisplayManager.h"
#include "display/DisplayStatus.h"

#include <gtest/gtest.h>

namespace {

DisplayStatus Status(int count, int first, int second, bool reported, bool lightOn, bool fahrenheit,
                     int shown) {
    DisplayStatus status;
    status.count = count;
    status.models[0] = first;
    status.models[1] = second;
    status.reported = reported;
    status.lightOn = lightOn;
    status.fahrenheit = fahrenheit;
    status.shown = shown;
    return status;
}

// Every status travels packed in a posted message: the line is checked after the round trip.
TEST(DisplayStatus, TheLineTellsWhatTheDisplaysShowAfterTravellingPacked) {
    const struct {
        DisplayStatus status;
        const wchar_t* line;
    } cases[] = {
        {Status(0, 0, 0, true, true, false, 45), L"No display connected"},
        {Status(1, kModelK1, 0, false, false, false, 0), L"K1 \u00B7 no reading yet"},
        {Status(1, kModelK1, 0, true, true, false, 45), L"K1 \u00B7 45 \u00B0C"},
        {Status(1, kModelK2, 0, true, true, true, 113), L"K2 \u00B7 113 \u00B0F"},
        {Status(1, kModelK1, 0, true, false, false, 0), L"K1 \u00B7 light off"},
        {Status(1, kModelK1, 0, true, true, false, 0), L"K1 \u00B7 0 \u00B0C"},
        {Status(2, kModelK1, kModelK2, true, true, false, 999), L"K1 + K2 \u00B7 999 \u00B0C"},
        {Status(2, kModelK2, 7, true, true, false, 1500), L"K2 + display \u00B7 999 \u00B0C"},
        {Status(3, kModelK1, kModelK1, true, true, true, 100), L"3 displays \u00B7 100 \u00B0F"},
        {Status(40, kModelK1, kModelK1, true, true, true, 100), L"15 displays \u00B7 100 \u00B0F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatDisplayStatus(UnpackDisplayStatus(PackDisplayStatus(c.status))), c.line);
    }
    // Different statuses pack differently, so a change is always posted.
    EXPECT_NE(PackDisplayStatus(cases[2].status), PackDisplayStatus(cases[3].status));
    EXPECT_NE(PackDisplayStatus(cases[4].status), PackDisplayStatus(cases[5].status));
}

}  // namespace
