// The rings of a recorded click: size and placement of the image, ring radii and widths, alpha
// by progress, and style values from damaged packages that must stay bounded.

#include "objects/MouseClickImage.h"

#include "objects/ObjectPictures.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vtl::test {
namespace {

// Pixels along the row through the centre, right of it, with any alpha.
std::vector<int> clickRingRowAlphas(const Rendered& picture, Point centre, int length) {
    std::vector<int> alphas;
    for (int dx = 0; dx < length; ++dx)
        alphas.push_back(picture.alpha(int(centre.x) + dx, int(centre.y)));
    return alphas;
}

TEST(MouseClickImage, TheImageIsCentredOnTheClickAndSizedBySizeAndScale) {
    struct Case {
        float size, scale;
        Point point;
        Rect extent;
    };
    const Case cases[] = {
        {10, 1, {100, 100}, Rect(60, 60, 80, 80)},
        {10, 2, {100, 100}, Rect(20, 20, 160, 160)},
        {0, 1, {5, 5}, Rect()}, // nothing to draw into
        {1.0e9f, 1, {0, 0}, Rect(-1024, -1024, 2048, 2048)},
        {NAN, 1, {0, 0}, Rect()},
    };
    for (const Case& c : cases) {
        const CIImage image =
            mouseClickImage(2, Color::deviceRGB(0, 0, 1, 1), false, 0.5f, c.point, c.size, c.scale);
        if (c.extent.isEmpty()) {
            EXPECT_TRUE(image.isNull()) << c.size;
            continue;
        }
        ASSERT_FALSE(image.isNull()) << c.size;
        EXPECT_EQ(image.extent(), c.extent) << c.size;
    }
}

TEST(MouseClickImage, RingsGrowWithProgressAndTheInnermostIsThickest) {
    const Point centre{100, 100};
    const Rendered two =
        renderPicture(mouseClickImage(2, Color::deviceRGB(0, 0, 1, 1), false, 0.5f, centre, 10, 1));
    // unit = 10 × 0.5: rings of radius 5 (2 wide) and 10 (1 wide), at alpha 0.5.
    const std::vector<int> row = clickRingRowAlphas(two, centre, 16);
    EXPECT_EQ(row[0], 0) << "stroked rings leave the centre clear";
    EXPECT_EQ(row[8], 0) << "between the rings";
    EXPECT_EQ(row[14], 0) << "outside";
    int inner = 0, outer = 0, peak = 0;
    for (int dx = 1; dx < 8; ++dx)
        inner += row[std::size_t(dx)] > 0;
    for (int dx = 8; dx < 16; ++dx)
        outer += row[std::size_t(dx)] > 0;
    for (int a : row)
        peak = std::max(peak, a);
    EXPECT_GT(inner, outer) << "the inner ring's line is wider";
    EXPECT_NEAR(peak, 128, 3);

    // Filled: a disc of the outer radius at alpha 1 − progress.
    const Rendered filled =
        renderPicture(mouseClickImage(1, Color::deviceRGB(0, 0, 1, 1), true, 0.25f, centre, 20, 1));
    EXPECT_NEAR(filled.alpha(100, 100), 191, 2);
    EXPECT_NEAR(filled.at(100, 100)[0], 191, 2) << "blue, premultiplied";
    EXPECT_EQ(filled.alpha(100 + 3, 100), filled.alpha(100, 100));
    EXPECT_EQ(filled.alpha(100 + 7, 100), 0);
    EXPECT_EQ(filled.alpha(100 + 3, 100), filled.alpha(100 - 3, 100));
}

TEST(MouseClickImage, NoRingsWithoutStrengthOrWithABadProgress) {
    for (std::int32_t strength : {0, -3}) {
        const CIImage image =
            mouseClickImage(strength, Color::deviceRGB(1, 0, 0, 1), true, 0.5f, Point{50, 50}, 10, 1);
        ASSERT_FALSE(image.isNull()) << strength;
        EXPECT_EQ(image.extent(), Rect(10, 10, 80, 80));
        const Rendered picture = renderPicture(image);
        EXPECT_EQ(picture.alpha(50, 50), 0);
    }
    for (float fraction : {-0.5f, 1.5f, NAN}) {
        const Rendered picture = renderPicture(
            mouseClickImage(1, Color::deviceRGB(1, 0, 0, 1), true, fraction, Point{50, 50}, 10, 1));
        EXPECT_EQ(picture.alpha(50, 50), 0) << fraction;
    }
    // A damaged ring count draws a bounded number of rings.
    const CIImage many =
        mouseClickImage(1 << 30, Color::deviceRGB(1, 0, 0, 1), false, 0.5f, Point{50, 50}, 10, 1);
    ASSERT_FALSE(many.isNull());
    EXPECT_GT(renderPicture(many).alpha(50 + 5, 50), 0);
}

} // namespace
} // namespace vtl::test
