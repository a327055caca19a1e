#include "display/DisplayManager.h"
#include "display/DisplayStatus.h"
#include "display/StatusPost.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>

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

// The worker posts to a shown panel only; a panel shown again takes the latest status at once.
TEST(StatusPost, AHiddenPanelIsNotWokenAndCatchesUpWhenShown) {
    constexpr uint32_t kA = 0x11;
    constexpr uint32_t kB = 0x22;
    constexpr auto kNothing = std::nullopt;
    enum class Step { kWorker, kWorkerRefused, kShow, kHide };
    const struct {
        Step step;
        uint32_t status;  // the worker's status (kWorker, kWorkerRefused)
        std::optional<uint32_t> expected;
    } cases[] = {
        {Step::kShow, 0, kNothing},  // before the worker's first step there is nothing to show
        {Step::kWorker, kA, kA},    {Step::kWorker, kA, kNothing}, {Step::kWorkerRefused, kB, kB},
        {Step::kWorker, kB, kB},  // offered again after the queue refused it
        {Step::kHide, 0, kNothing}, {Step::kWorker, kA, kNothing}, {Step::kWorker, kB, kNothing},
        {Step::kShow, 0, kB},       {Step::kHide, 0, kNothing},    {Step::kWorker, kA, kNothing},
        {Step::kShow, 0, kA},       {Step::kWorker, kB, kB},
    };
    StatusPost post;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        std::optional<uint32_t> got;
        if (c.step == Step::kWorker || c.step == Step::kWorkerRefused) {
            got = post.ToPost(c.status);
            if (got && c.step == Step::kWorker) {
                post.Posted(*got);
            }
        } else {
            got = post.SetShown(c.step == Step::kShow);
        }
        EXPECT_EQ(got, c.expected) << "step " << i;
    }
}
