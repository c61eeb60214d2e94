#include "drawing/BezierPathAdditions.h"
#include "drawing/GeometryFunctions.h"
#include "drawing/MRDrawing_ColorsHelper.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

// Rules that round an intermediate value to single precision give these exact doubles in every
// build; an optimiser that drops the rounding gives the unrounded neighbours instead.
TEST(SinglePrecisionRules, HoldInOptimisedBuilds) {
    const AffineTransform toUnit = transformFromRectToRect({0, 0, 3, 3}, {0, 0, 1, 1});
    const Rect centred = centeredRectForImageInRect({1, 1}, {0, 0, 1.1, 1.1});
    const std::optional<Color> css =
        MRDrawing_ColorsHelper::plattformColorFromCSSRGBAString("rgba(255,128,0,0.5)");
    ASSERT_TRUE(css);
    const BezierPath bubble = BezierPathAdditions::bezierPathWithBubbleInRect({0, 0, 100, 50.2}, 6, 0, 0);
    ASSERT_GT(bubble.elementCount(), 0u);

    struct Case {
        const char* name;
        double value;
        double expected;
    };
    const Case cases[] = {
        {"rect-to-rect scale x", toUnit.a, 0.3333333432674408},
        {"rect-to-rect scale y", toUnit.d, 0.3333333432674408},
        {"centred image width", centred.size.width, 0.999999998509884},
        {"centred image height", centred.size.height, 0.999999998509884},
        {"CSS green", css->green, 0.501960813999176},
        {"bubble start", bubble.element(0).points[0].y, 50.20000076293945},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, c.expected) << c.name;
}

} // namespace
} // namespace vtl
