#include "ObjectPictures.h"
#include "ObjectsFixture.h"
#include "StillPipelineChecks.h"
#include "model/support/ArchiveWriter.h"
#include "objects/CompositionShapeObject.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <cmath>
#include <functional>
#include <limits>

namespace vtl {
namespace {

using test::archiveOf;
using test::MemoryImageCache;
using test::renderPicture;

class ShapeObjectTest : public test::ObjectsFixture {
protected:
    std::shared_ptr<CompositionShapeObject> shape(int32_t kind, Rect rect = Rect(0, 0, 200, 200)) {
        auto object = makeModelObject<CompositionShapeObject>(container(), kind);
        object->setStartTimeEndTime(0, 10);
        container()->addObject(object);
        object->setRect(rect, 0);
        return object;
    }
    static std::vector<Point> vertices(const BezierPath& path) {
        std::vector<Point> points;
        for (const auto& e : path.elements())
            if (e.type != BezierPath::ElementType::ClosePath) points.push_back(e.points[0]);
        return points;
    }
};

void expectNear(Point found, Point expected, const std::string& what) {
    EXPECT_NEAR(found.x, expected.x, 0.01) << what;
    EXPECT_NEAR(found.y, expected.y, 0.01) << what;
}

TEST_F(ShapeObjectTest, PolygonAndStarVertices) {
    auto hexagon = shape(2);
    const std::vector<Point> six = vertices(hexagon->pathInRect(Rect(0, 0, 200, 200), 0));
    ASSERT_EQ(six.size(), 6u);
    expectNear(six[0], {170.71, 170.71}, "first corner at 45 degrees");
    for (size_t i = 0; i < six.size(); ++i) {
        const double angle = std::atan2(six[i].x - 100, six[i].y - 100) * 180 / M_PI;
        EXPECT_NEAR(std::remainder(angle - (45 + 60.0 * i), 360), 0, 1e-3) << i;
        EXPECT_NEAR(std::hypot(six[i].x - 100, six[i].y - 100), 100, 1e-3) << i;
    }

    auto star = shape(2, Rect(0, 0, 300, 150));
    star->setNumberOfCorners(5, 0);
    star->setIsStar(true, 0);
    star->setRayInset(0.5, 0);
    const std::vector<Point> ten = vertices(star->pathInRect(Rect(0, 0, 300, 150), 0));
    ASSERT_EQ(ten.size(), 10u);
    for (size_t i = 0; i < ten.size(); ++i) {
        const bool outer = i % 2 == 1;
        const double a = i == 0 ? M_PI / 4 : i * (2 * M_PI / 10) + M_PI / 4;
        const double rx = outer ? 150 : 125, ry = outer ? 75 : 50;
        expectNear(ten[i], {150 + rx * std::sin(a), 75 + ry * std::cos(a)},
                   "star vertex " + std::to_string(i));
    }

    star->setRayInset(9, 0);
    EXPECT_EQ(vertices(star->pathInRect(Rect(0, 0, 300, 150), 0))[0], Point(150, 75))
        << "inner radius clamped at 0";
}

TEST_F(ShapeObjectTest, OutlinesOfTheKinds) {
    const Rect r(10, 20, 90, 60);
    const std::vector<Point> arrow = vertices(shape(0)->pathInRect(r, 0));
    const std::vector<Point> expected{{55, 20}, {100, 50}, {55, 80}, {55, 60}, {10, 60}, {10, 40}, {55, 40}};
    ASSERT_EQ(arrow.size(), expected.size());
    for (size_t i = 0; i < arrow.size(); ++i)
        expectNear(arrow[i], expected[i], "arrow " + std::to_string(i));

    EXPECT_EQ(shape(4)->pathInRect(r, 0).bounds(), shape(1)->pathInRect(r, 0).bounds())
        << "kind 4 is an oval";
    EXPECT_EQ(shape(4)->shapeKind(), 4);
    EXPECT_EQ(shape(5)->pathInRect(r, 0).bounds(), r);
    EXPECT_TRUE(shape(9)->pathInRect(r, 0).isEmpty());

    // Counts from a damaged document: nothing below two corners, and drawing is bounded.
    auto polygon = shape(2);
    polygon->setNumberOfCorners(1, 0);
    EXPECT_TRUE(polygon->pathInRect(r, 0).isEmpty());
    EXPECT_TRUE(polygon->ciImageAtTime(0, nullptr).isNull());
    polygon->setNumberOfCorners(4000000000u, 0);
    EXPECT_EQ(vertices(polygon->pathInRect(r, 0)).size(), CompositionShapeObject::maximumDrawnCorners);
    polygon->setIsBubble(true, 0);
    EXPECT_FALSE(polygon->pathInRect(r, 0).isEmpty());
}

TEST_F(ShapeObjectTest, DefaultsAndPanelsFollowTheKind) {
    const struct {
        int32_t kind;
        const char* name;
        bool polygonPane;
        bool joinPane;
    } cases[] = {{0, "Arrow", false, true},     {1, "Circle", false, false}, {2, "Polygon", true, true},
                 {3, "Rectangle", false, true}, {4, "Circle", false, false}, {7, "", false, true}};
    for (const auto& c : cases) {
        auto object = shape(c.kind);
        const auto& panes = object->propertyNames();
        auto index = [&](const char* pane) {
            return std::find(panes.begin(), panes.end(), pane) - panes.begin();
        };
        EXPECT_EQ(object->name(), c.name) << c.kind;
        EXPECT_EQ(index("PolygonShapePropertiesView.nib") == 4, c.polygonPane) << c.kind;
        EXPECT_EQ(index("ShapeLineJoinStyle.nib") < static_cast<long>(panes.size()), c.joinPane) << c.kind;
        EXPECT_EQ(panes.back(), "DependentObjectPropertiesView.nib");
        EXPECT_EQ(object->numberOfCornersAtTime(0), 6);
        EXPECT_TRUE(object->isFilledForTime(0));
        EXPECT_TRUE(object->drawsShadowAtTime(0));
        EXPECT_FLOAT_EQ(object->shadowOpacityForTime(0), 0.5f);
        EXPECT_EQ(object->shadowColorForTime(0), RGBAColor::device(0, 0, 0, 0.75));
        EXPECT_EQ(object->lineJoinStyle(), 0u);
        EXPECT_FALSE(object->isDashed());
    }
}

TEST_F(ShapeObjectTest, SettersWithAnimation) {
    auto object = shape(2);
    object->enableAnimations();
    object->setRayInset(0.8, 4);
    object->setColor(RGBAColor::device(1, 0, 0), 4);
    auto none = std::dynamic_pointer_cast<CompositionShapeState>(object->noneAnimationState());
    EXPECT_DOUBLE_EQ(none->rayInset(), 0.8) << "the ray inset also lands in the none state";
    EXPECT_NE(none->color(), RGBAColor::device(1, 0, 0)) << "the colour does not";
    EXPECT_EQ(object->colorForTime(4), RGBAColor::device(1, 0, 0));
    for (double t : {0.0, 3.0, 9.0})
        EXPECT_EQ(object->dashPhaseFactorForTime(t), 0.0) << "fewer than two keyframes";
}

TEST_F(ShapeObjectTest, ArchiveRoundTripsByteEqual) {
    auto object = shape(2, Rect(5, 6, 70, 80));
    object->setFillsAround(true);
    object->setIsDashed(true);
    object->setDashSize(12);
    object->setLineJoinStyle(2);
    object->setUsesSpecialAlphaGradient(true);
    const PlistBytes bytes = archiveOf(document.objectsContainer());
    auto decoded = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(archiveOf(*decoded), bytes) << "re-archived byte for byte";
    ASSERT_EQ((*decoded)->objects().size(), 1u);
    auto copy = std::dynamic_pointer_cast<CompositionShapeObject>((*decoded)->objects()[0]);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->shapeKind(), 2);
    EXPECT_TRUE(copy->fillsAround() && copy->isDashed() && copy->usesSpecialAlphaGradient());
    EXPECT_EQ(copy->dashSize(), 12);
    EXPECT_EQ(copy->lineJoinStyle(), 2u);
    EXPECT_EQ(copy->rectForTime(0), Rect(5, 6, 70, 80));
}

TEST_F(ShapeObjectTest, OldDocumentsGetTheLineJoinPanelAndRoundJoins) {
    const struct {
        int32_t kind;
        std::vector<std::string> panes;
        long expectedIndex; // -1: no panel
    } cases[] = {
        {2, {"A", "B", "C", "D", "PolygonShapePropertiesView.nib", "E", "F"}, 5},
        {0, {"A", "B", "C", "D", "E", "F"}, 4},
        {3, {"A", "B"}, 2},
        {1, {"A", "B", "C", "D", "E"}, -1},
        {4, {"A", "B", "C", "D", "E"}, -1},
    };
    for (const auto& c : cases) {
        auto writer =
            std::make_shared<test::ArchiveWriter>("CompositionShapeObject", [&](KeyedArchiver& coder) {
                coder.encodeDouble("startTime", 0);
                coder.encodeDouble("endTime", 5);
                ArchivedArray names;
                for (const auto& pane : c.panes)
                    names.push_back(ArchivedValue(pane));
                coder.encodeObject("propertyNames", ArchivedValue(names));
                coder.encodeInt32("key_shapeKind", c.kind);
            });
        auto decoded = KeyedUnarchiver::unarchive<CompositionShapeObject>(archiveOf(writer));
        ASSERT_TRUE(decoded.ok()) << decoded.error();
        const auto& panes = (*decoded)->propertyNames();
        const long at = std::find(panes.begin(), panes.end(), "ShapeLineJoinStyle.nib") - panes.begin();
        EXPECT_EQ(at == static_cast<long>(panes.size()) ? -1 : at, c.expectedIndex) << c.kind;
        EXPECT_EQ((*decoded)->lineJoinStyle(), 1u) << "a missing join reads as round";
    }
}

TEST_F(ShapeObjectTest, UndoableKeys) {
    auto object = shape(2);
    settle();
    auto check = roundTrip();
    check.check("fillsAround", [&] { object->setFillsAround(true); });
    check.check("isDashed", [&] { object->setIsDashed(true); });
    check.check("dashSize", [&] { object->setDashSize(7.5f); });
    check.check("lineJoinStyle", [&] { object->setLineJoinStyle(1); });
    check.check("colour", [&] { object->setColor(RGBAColor::device(0, 1, 0), 0); });
    check.check("corners", [&] { object->setNumberOfCorners(8, 0); });
    check.check("star", [&] { object->setIsStar(true, 0); });
    check.check("ray inset", [&] { object->setRayInset(0.25, 0); });
}

TEST_F(ShapeObjectTest, CopiesKeepTheDash) {
    auto object = shape(3);
    object->setIsDashed(true);
    object->setDashSize(9);
    object->setLineJoinStyle(2);
    object->setFillsAround(true);
    auto copy = std::dynamic_pointer_cast<CompositionShapeObject>(object->copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->isDashed());
    EXPECT_EQ(copy->dashSize(), 9);
    EXPECT_EQ(copy->lineJoinStyle(), 2u);
    EXPECT_TRUE(copy->fillsAround());
    EXPECT_EQ(copy->shapeImageCacheHashForTime(0), object->shapeImageCacheHashForTime(0));
}

TEST_F(ShapeObjectTest, OneRasterisationPerKey) {
    auto object = shape(2, Rect(100, 100, 200, 150));
    MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    CIImage first = object->createImageAtTime(request);
    ASSERT_FALSE(first.isNull());
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(object->createImageAtTime(request).isSameImage(first));
    EXPECT_EQ(object->rasterisationCount(), 1u);

    request.purpose = ImagePurpose::Export;
    object->createImageAtTime(request);
    EXPECT_TRUE(cache.has(object.get(), "exportImage"));
    EXPECT_EQ(object->rasterisationCount(), 2u) << "export keeps its own picture";
    request.purpose = ImagePurpose::Preview;

    object->invalidateCachedImage();
    object->createImageAtTime(request);
    object->createImageAtTime(request);
    EXPECT_EQ(object->rasterisationCount(), 3u) << "the one-shot flag bypasses the cache once";
}

TEST_F(ShapeObjectTest, PictureComesThroughThePipelineAndItsShadowIsReused) {
    auto object = shape(2, Rect(20, 10, 120, 80));
    // The outline is stroked into the picture: the list holds no frame image besides.
    object->setDrawsFrame(true, 0);
    object->setFrameThickness(3, 0);
    test::expectPictureThroughPipelineAndShadowReused(
        *object, {[&] { return object->rasterisationCount(); },
                  [&] { object->setColor(RGBAColor::device(0.9, 0.1, 0.1), 0); }, 2});
}

TEST_F(ShapeObjectTest, EveryInputChangesTheKey) {
    const std::vector<std::pair<const char*, std::function<void(CompositionShapeObject&)>>> changes{
        {"kind", [](auto& s) { s.setShapeKind(3); }},
        {"fills around", [](auto& s) { s.setFillsAround(true); }},
        {"filled", [](auto& s) { s.setFilled(false, 0); }},
        {"star", [](auto& s) { s.setIsStar(true, 0); }},
        {"bubble", [](auto& s) { s.setIsBubble(true, 0); }},
        {"ray inset", [](auto& s) { s.setRayInset(0.6, 0); }},
        {"draws frame", [](auto& s) { s.setDrawsFrame(true, 0); }},
        {"corners", [](auto& s) { s.setNumberOfCorners(7, 0); }},
        {"width", [](auto& s) { s.setRect(Rect(0, 0, 201, 200), 0); }},
        {"x", [](auto& s) { s.setRect(Rect(1, 0, 200, 200), 0); }},
        {"join", [](auto& s) { s.setLineJoinStyle(2); }},
        {"rotation", [](auto& s) { s.setRotation(10, 0); }},
        {"colour", [](auto& s) { s.setColor(RGBAColor::device(0.1, 0.2, 0.3), 0); }},
        {"frame colour", [](auto& s) { s.setFrameColor(RGBAColor::device(0, 0, 1), 0); }},
        {"frame thickness", [](auto& s) { s.setFrameThickness(2, 0); }},
        {"dashed", [](auto& s) { s.setIsDashed(true); }},
        {"dash size", [](auto& s) { s.setDashSize(4); }},
    };
    for (const auto& [what, change] : changes) {
        auto object = shape(2);
        const uint64_t before = object->shapeImageCacheHashForTime(0);
        change(*object);
        EXPECT_NE(object->shapeImageCacheHashForTime(0), before) << what;
        EXPECT_EQ(object->pictureStampAtTime({}), object->shapeImageCacheHashForTime(0));
    }
    // A shadow change leaves the picture's key alone.
    auto object = shape(2);
    const uint64_t before = object->shapeImageCacheHashForTime(0);
    object->setShadowRadius(20, 0);
    EXPECT_EQ(object->shapeImageCacheHashForTime(0), before);
}

TEST_F(ShapeObjectTest, FillAroundWithDashes) {
    container()->setCanvasSize(Size(200, 100));
    auto object = shape(3, Rect(50, 25, 100, 50));
    object->setFillsAround(true);
    object->setColor(RGBAColor::device(0, 0, 1), 0);
    object->setDrawsFrame(true, 0);
    object->setFrameThickness(3, 0);
    object->setFrameColor(RGBAColor::device(1, 0, 0), 0);
    object->setIsDashed(true);
    object->setDashSize(10);
    const test::Rendered pixels = renderPicture(object->ciImageAtTime(0, nullptr));
    ASSERT_FALSE(pixels.bytes.empty());
    EXPECT_EQ(pixels.at(10, 10), (std::array<int, 4>{255, 0, 0, 255})) << "outside the shape: filled";
    EXPECT_EQ(pixels.alpha(100, 50), 0) << "inside the shape: clear";
    // Along the bottom edge of the outline: red dashes with gaps between.
    int red = 0, gaps = 0;
    for (int x = 60; x < 140; ++x) {
        const auto p = pixels.at(x, 24);
        if (p[2] > 200 && p[0] < 60)
            ++red;
        else if (p[0] > 200)
            ++gaps;
    }
    EXPECT_GT(red, 20);
    EXPECT_GT(gaps, 10);

    // Dashes too short to draw stroke solid; values that are not finite draw nothing.
    object->setDashSize(0.001f);
    const test::Rendered solid = renderPicture(object->ciImageAtTime(0, nullptr));
    for (int x = 60; x < 140; ++x)
        EXPECT_GT(solid.at(x, 24)[2], 200) << x;
    object->setRect(Rect(50, 25, std::numeric_limits<double>::quiet_NaN(), 50), 0);
    container()->setCanvasSize(Size(std::numeric_limits<double>::infinity(), 100));
    EXPECT_TRUE(object->ciImageAtTime(0, nullptr).isNull());
}

TEST_F(ShapeObjectTest, PictureIsInObjectSpace) {
    container()->setCanvasSize(Size(300, 200));
    auto object = shape(3, Rect(40, 30, 20, 10));
    ObjectImageRequest request;
    CIImage picture = object->createImageAtTime(request);
    const test::Rendered pixels = renderPicture(picture);
    EXPECT_EQ(pixels.alpha(5, 5), 255) << "the rect's origin moved to (0, 0)";
    EXPECT_EQ(pixels.alpha(25, 5), 0);
    EXPECT_TRUE(shape(3)->ciImageAtTime(0, nullptr).extent() == Rect(0, 0, 300, 200));
    for (double factor : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        request.xFactor = factor;
        EXPECT_TRUE(object->createImageAtTime(request).isNull()) << factor;
    }
}

} // namespace
} // namespace vtl
