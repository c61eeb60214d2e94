#include "ObjectsFixture.h"

#include <cmath>

namespace vtl {
namespace {

using test::ObjectsFixture;
using test::SizedObject;

class Geometry : public ObjectsFixture {};

std::vector<float> positions(const std::vector<SnappingGuide>& guides) {
    std::vector<float> result;
    for (const SnappingGuide& guide : guides)
        result.push_back(guide.position);
    return result;
}

TEST_F(Geometry, GuidesAtTheEdgesAndCentreAndTheTurnedCorners) {
    auto object = add(0, 10);
    object->setRect(Rect(10, 20, 100, 50), 0);
    EXPECT_EQ(positions(object->horizontalSnappingGuidesAtTime(1)), (std::vector<float>{10, 60, 110}));
    EXPECT_EQ(positions(object->verticalSnappingGuidesAtTime(1)), (std::vector<float>{20, 45, 70}));
    EXPECT_EQ(object->horizontalSnappingGuidesAtTime(1).front().object, object.get());

    object->setRotation(90, 0);
    const auto horizontal = positions(object->horizontalSnappingGuidesAtTime(1));
    const auto vertical = positions(object->verticalSnappingGuidesAtTime(1));
    ASSERT_EQ(horizontal.size(), 7u);
    ASSERT_EQ(vertical.size(), 7u);
    // Turned a quarter clockwise about (60, 45): the corners lie at x 35 and 85, y −5 and 95.
    const float cornersX[] = {35, 35, 85, 85}, cornersY[] = {95, -5, 95, -5};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(horizontal[3 + i], cornersX[i], 1e-4) << i;
        EXPECT_NEAR(vertical[3 + i], cornersY[i], 1e-4) << i;
    }
    const Rect box = object->enclosingRectAtTime(1, RotationHandling::Respect);
    EXPECT_NEAR(box.minX(), 35, 1e-9);
    EXPECT_NEAR(box.maxY(), 95, 1e-9);
    EXPECT_EQ(object->enclosingRectAtTime(1), Rect(10, 20, 100, 50));
}

TEST_F(Geometry, AlignmentPutsTheEdgeOrCentreAtTheValue) {
    struct Case {
        const char* what;
        ArrangeCriterion criterion;
        float rotation;
        double value;
        std::function<double(const Rect& box, const Rect& rect)> placed;
    };
    const Case cases[] = {
        {"kind 1 centres an unturned 100-wide object", ArrangeCriterion::HorizontalCentres, 0, 150,
         [](const Rect&, const Rect& r) { return r.origin.x + 50; }},
        {"kind 2 at 45 degrees: the turned box's right edge", ArrangeCriterion::RightEdges, 45, 300,
         [](const Rect& box, const Rect&) { return box.maxX(); }},
        {"kind 0 at 45 degrees: the turned box's left edge", ArrangeCriterion::LeftEdges, 45, 20,
         [](const Rect& box, const Rect&) { return box.minX(); }},
        {"kind 3: the top", ArrangeCriterion::TopEdges, 30, 500,
         [](const Rect& box, const Rect&) { return box.maxY(); }},
        {"kind 5: the bottom", ArrangeCriterion::BottomEdges, 30, 5,
         [](const Rect& box, const Rect&) { return box.minY(); }},
        {"kind 4: the vertical centre, turning or not", ArrangeCriterion::VerticalCentres, 30, 200,
         [](const Rect&, const Rect& r) { return r.midY(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto object = add(0, 10);
        object->setRect(Rect(7, 9, 100, 60), 0);
        object->setRotation(c.rotation, 0);
        object->alignWithValueAtTime(c.criterion, c.value, 1);
        EXPECT_NEAR(
            c.placed(object->enclosingRectAtTime(1, RotationHandling::Respect), object->rectForTime(1)),
            c.value, 1e-6);
        EXPECT_EQ(object->rectForTime(1).size, (Size{100, 60})) << "the size stays";
    }
    auto object = add(0, 10);
    object->setRect(Rect(0, 0, 100, 60), 0);
    object->alignWithValueAtTime(ArrangeCriterion::HorizontalCentres, 150, 1);
    EXPECT_EQ(object->rectForTime(1).origin.x, 100);
}

TEST_F(Geometry, HandlesMoveOrResizeTheRectangle) {
    auto object = add<SizedObject>(0, 10); // natural 200 × 100
    const Rect rect(10, 20, 100, 50);
    struct Case {
        const char* what;
        int32_t handle;
        Size delta;
        ResizeProportion proportion;
        bool rectInsteadOfScaling;
        Rect expected;
    };
    const Case cases[] = {
        {"−1 moves", -1, {3, 4}, ResizeProportion::Free, false, Rect(13, 24, 100, 50)},
        {"2 grows to the upper right", 2, {10, 5}, ResizeProportion::Free, false, Rect(10, 20, 110, 55)},
        {"0 from the lower left", 0, {10, 5}, ResizeProportion::Free, false, Rect(20, 25, 90, 45)},
        {"1 from the lower right", 1, {10, 5}, ResizeProportion::Free, false, Rect(10, 25, 110, 45)},
        {"3 from the upper left", 3, {10, 5}, ResizeProportion::Free, false, Rect(20, 20, 90, 55)},
        {"an unknown handle changes nothing", 7, {10, 5}, ResizeProportion::Free, false, rect},
        {"proportional by the natural aspect",
         2,
         {10, 0},
         ResizeProportion::Proportional,
         true,
         Rect(10, 20, 110, 55)},
        {"proportional, negated for handle 1",
         1,
         {10, 0},
         ResizeProportion::Proportional,
         true,
         Rect(10, 15, 110, 55)},
        {"proportional scaling objects keep the height on handles 0 and 1",
         0,
         {10, 8},
         ResizeProportion::Proportional,
         false,
         Rect(20, 20, 90, 50)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        object->rectInsteadOfScaling = c.rectInsteadOfScaling;
        EXPECT_EQ(object->rectForResizeWithHandle(c.handle, c.delta, c.proportion, rect), c.expected);
    }
    object->natural = Size{0, 0};
    object->rectInsteadOfScaling = true;
    EXPECT_EQ(object->rectForResizeWithHandle(2, {10, 0}, ResizeProportion::Proportional, rect),
              Rect(10, 20, 110, 55))
        << "without a natural size the rectangle's own proportions";
}

TEST_F(Geometry, MaskRelationsAreSingleAndWeak) {
    auto mask = add(0, 10);
    auto masked = add(0, 10);
    EXPECT_TRUE(masked->maskFilter().empty());
    container()->establishMaskRelation(mask, masked);
    EXPECT_EQ(masked->maskObjects(), (std::vector<std::shared_ptr<CompositionBaseObject>>{mask}));
    EXPECT_EQ(mask->maskForObjects(), (std::vector<std::shared_ptr<CompositionBaseObject>>{masked}));
    EXPECT_EQ(masked->maskFilter(), "CIBlendWithAlphaMask");
    EXPECT_FALSE(mask->transitionsToOtherObjects()) << "a mask joins no transition";
    masked->setMaskObject(nullptr);
    EXPECT_TRUE(masked->maskObjects().empty());
    EXPECT_EQ(masked->maskFilter(), "CIBlendWithAlphaMask") << "the filter stays set up";

    std::weak_ptr<CompositionBaseObject> gone;
    {
        auto temporary = makeModelObject<CompositionRectangularObject>(nullptr);
        masked->setMaskObject(temporary);
        gone = temporary;
    }
    EXPECT_TRUE(gone.expired()) << "the relation does not own the mask";
    EXPECT_FALSE(masked->hasMask());
}

} // namespace
} // namespace vtl
