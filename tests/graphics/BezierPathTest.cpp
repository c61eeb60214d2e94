#include "platform/graphics/BezierPath.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vtl {
namespace {

TEST(BezierPath, ArcSweepsAreFoldedIntoOneTurn) {
    struct Case {
        const char* name;
        double start, end;
        bool clockwise;
        size_t curves;   // quarter turns or less each
        double endAngle; // degrees, where the arc stops
    };
    const Case cases[] = {
        {"quarter", 0, 90, false, 1, 90},
        {"more than a turn stops at one", 0, 450, false, 4, 0},
        {"clockwise the long way", 0, 10, true, 4, 10},
        {"counter-clockwise the long way", 10, 0, false, 4, 0},
        {"several turns back", 0, -7200 - 90, false, 3, -90},
        // Stored angles can be absurd: the sweep must still be found at once.
        // (1e20 is 280 more than a whole number of turns, and too large to step down from by 360.)
        {"huge clockwise", 0, 1e20, true, 1, 280},
        {"huge counter-clockwise", 0, -1e20, false, 1, -280},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BezierPath arc;
        arc.appendArc({0, 0}, 10, c.start, c.end, c.clockwise);
        ASSERT_GE(arc.elementCount(), 2u);
        EXPECT_LE(arc.elementCount() - 1, c.curves);
        Point last = arc.elements().back().points[2]; // a curve ends at its third point
        EXPECT_NEAR(last.x, 10 * std::cos(c.endAngle * M_PI / 180), 1e-6);
        EXPECT_NEAR(last.y, 10 * std::sin(c.endAngle * M_PI / 180), 1e-6);
    }

    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        BezierPath arc;
        arc.appendArc({0, 0}, 10, 0, bad, true);
        arc.appendArc({0, 0}, 10, bad, 90, false);
        EXPECT_EQ(arc.elementCount(), 0u) << "no arc without real angles: " << bad;
    }
}

} // namespace
} // namespace vtl
