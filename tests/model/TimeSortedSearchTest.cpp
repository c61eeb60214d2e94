#include "model/TimeSortedSearch.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace vtl {
namespace {

TEST(TimeSortedSearch, ElementInEffectAtTime) {
    struct Case {
        std::vector<double> times;
        double time;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {{}, 1.0, std::nullopt},    {{5.0}, -10.0, 0u},         {{5.0}, 10.0, 0u},
        {{0, 2, 4, 6}, -1.0, 0u},  // before the first
        {{0, 2, 4, 6}, 0.0, 0u},   // at the first
        {{0, 2, 4, 6}, 3.0, 1u},   // between: the earlier one
        {{0, 2, 4, 6}, 4.0, 2u},   // exactly on one
        {{0, 2, 4, 6}, 5.999, 2u}, //
        {{0, 2, 4, 6}, 6.0, 3u},   // at the last
        {{0, 2, 4, 6}, 60.0, 3u},  // after the last
        {{0, 2, 4, 6, 8}, 7.0, 3u}, {{0, 2, 4, 6, 8}, 1.0, 0u}, {{1, 2}, 1.5, 0u},
    };
    for (const Case& c : cases) {
        auto found = indexInEffectAtTime(c.times.size(), c.time, [&](std::size_t i) { return c.times[i]; });
        EXPECT_EQ(found, c.expected) << c.times.size() << " elements, time " << c.time;
    }
}

TEST(TimeSortedSearch, InsertionGoesBeforeEqualTimes) {
    const std::vector<double> times{0, 1, 1, 3};
    auto at = [&](std::size_t i) { return times[i]; };
    EXPECT_EQ(insertionIndexForTime(times.size(), -1.0, at), 0u);
    EXPECT_EQ(insertionIndexForTime(times.size(), 1.0, at), 1u);
    EXPECT_EQ(insertionIndexForTime(times.size(), 2.0, at), 3u);
    EXPECT_EQ(insertionIndexForTime(times.size(), 9.0, at), 4u);
    EXPECT_EQ(insertionIndexForTime(0, 9.0, at), 0u);
}

} // namespace
} // namespace vtl
