#include "platform/capture/FrameTicker.h"

#include <gtest/gtest.h>
#include <vector>

namespace vtl {
namespace {

constexpr std::uint64_t ms = 1000000;

// A change is always waiting; each grab comes at the given time. The grabs are stamped with the
// ticks they reached, and the next one is due at the following tick, however late the last one was.
struct PacingCase {
    const char* name;
    double intervalNanoseconds;
    std::vector<std::uint64_t> grabTimes;      // nanoseconds after the start
    std::vector<std::uint64_t> expectedStamps; // nanoseconds after the start
    std::vector<std::uint64_t> expectedDue;    // due time of the next change after each grab
    std::uint64_t expectedMissed;
};

TEST(FrameTickerTest, LateTicksDoNotShiftLaterOnes) {
    const std::uint64_t start = 5000 * ms;
    const PacingCase cases[] = {
        {"on time", 20 * ms, {0, 20 * ms, 40 * ms}, {0, 20 * ms, 40 * ms}, {20 * ms, 40 * ms, 60 * ms}, 0},
        {"late by less than a tick",
         20 * ms,
         {0, 27 * ms, 40 * ms + 100, 61 * ms},
         {0, 20 * ms, 40 * ms, 60 * ms},
         {20 * ms, 40 * ms, 60 * ms, 80 * ms},
         0},
        {"late by more than a tick: the passed ticks are missed, not made up",
         20 * ms,
         {0, 65 * ms, 80 * ms},
         {0, 60 * ms, 80 * ms},
         {20 * ms, 80 * ms, 100 * ms},
         2},
        {"fractional interval of 60 per second stays on its grid",
         1e9 / 60,
         {0, 17 * ms, 34 * ms, 50 * ms + 100, 1000 * ms},
         {0, 16666667, 33333333, 50 * ms, 1000 * ms},
         {16666667, 33333333, 50 * ms, 66666667, 1016666667},
         56},
    };
    for (const PacingCase& c : cases) {
        SCOPED_TRACE(c.name);
        FrameTicker ticker(c.intervalNanoseconds);
        ticker.start(start);
        ASSERT_EQ(c.grabTimes.size(), c.expectedStamps.size());
        for (std::size_t i = 0; i < c.grabTimes.size(); ++i) {
            const std::uint64_t now = start + c.grabTimes[i];
            EXPECT_LE(ticker.dueTime(start), now) << "grab " << i << " would come before its tick";
            EXPECT_EQ(ticker.take(now, start) - start, c.expectedStamps[i]) << "grab " << i;
            EXPECT_EQ(ticker.dueTime(start) - start, c.expectedDue[i]) << "after grab " << i;
        }
        EXPECT_EQ(ticker.missedTicks(), c.expectedMissed);
        EXPECT_EQ(ticker.takenTicks(), c.grabTimes.size());
    }
}

TEST(FrameTickerTest, AChangeAfterAQuietSpellWaitsForTheNextTickAndMissesNothing) {
    FrameTicker ticker(10 * ms);
    ticker.start(0);
    EXPECT_EQ(ticker.take(0, 0), 0u);
    // Nothing changed for a while; a change at 93 ms is due at the tick of 100 ms.
    EXPECT_EQ(ticker.dueTime(93 * ms), 100 * ms);
    EXPECT_EQ(ticker.take(100 * ms + 300, 93 * ms), 100 * ms);
    // A change exactly on a tick is due at once.
    EXPECT_EQ(ticker.dueTime(110 * ms), 110 * ms);
    // A change that waited past two ticks because the grab came late counts them as missed.
    EXPECT_EQ(ticker.take(134 * ms, 110 * ms), 130 * ms);
    EXPECT_EQ(ticker.missedTicks(), 2u);
    // Restarting starts a new grid and new counts.
    ticker.start(1000 * ms + 7);
    EXPECT_EQ(ticker.missedTicks(), 0u);
    EXPECT_EQ(ticker.dueTime(1000 * ms), 1000 * ms + 7);
}

} // namespace
} // namespace vtl
