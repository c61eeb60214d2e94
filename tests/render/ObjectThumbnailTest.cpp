// Timeline thumbnails of still objects drawn through a renderer of their own: size and content
// from the visible part at the middle of the object's time, coalesced rebuilds with one
// notification, none for an object off the canvas, deleted meanwhile or in an offscreen container.

#include "objects/ObjectThumbnail.h"

#include "model/support/ModelFixture.h"
#include "objects/CompositionShapeObject.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "render/ObjectThumbnailPainter.h"

#include <gtest/gtest.h>

namespace vtl::test {
namespace {

class ObjectThumbnails : public ModelFixture {
protected:
    ObjectThumbnails() {
        installObjectThumbnailPainter();
        container()->setCanvasSize({1000, 500});
        settle();
    }
    ~ObjectThumbnails() override { ObjectThumbnail::setPainter(nullptr); }

    // A filled square of the shape kind at the rectangle, shown from 0 to 4 s.
    std::shared_ptr<CompositionShapeObject> addShape(const Rect& rect) {
        auto shape = makeModelObject<CompositionShapeObject>(container(), int32_t(ShapeKind::Rectangle));
        shape->setStartTimeEndTime(0, 4);
        shape->setRect(rect, 0);
        shape->setColor(RGBAColor::device(0, 1, 0, 1), 0);
        shape->setFilled(true, 0);
        container()->addObject(shape);
        return shape;
    }

    // Counts the notifications for the object while the main loop runs past the delay.
    int waitForRebuilds(CompositionShapeObject& shape) {
        int posted = 0;
        NotificationCenter& center = NotificationCenter::defaultCenter();
        ScopedNotificationObserver observer(
            center, center.addObserver(kObjectRegeneratedThumbnailsNotification, &shape,
                                       [&](const Notification&) { ++posted; }));
        runMainLoopUntil([&] { return posted > 0 && !shape.thumbnail().isPending(); }, 5);
        runMainLoopOnce(ObjectThumbnail::delaySeconds * 2);
        return posted;
    }
};

TEST_F(ObjectThumbnails, AChangeRebuildsTheThumbnailOnceAfterTheDelay) {
    auto shape = addShape(Rect(0, 0, 1000, 500));
    settle();
    shape->invalidate();
    shape->setColor(RGBAColor::device(0, 1, 0, 1), 0);
    shape->invalidate();
    EXPECT_TRUE(shape->thumbnail().isPending());
    EXPECT_TRUE(shape->thumbnail().previewThumb().isEmpty()) << "not before the delay";
    EXPECT_EQ(waitForRebuilds(*shape), 1) << "coalesced";
    const BitmapImage& thumbnail = shape->thumbnail().previewThumb();
    ASSERT_FALSE(thumbnail.isEmpty());
    EXPECT_EQ(thumbnail.height(), std::size_t(ObjectThumbnail::heightPixels));
    EXPECT_EQ(thumbnail.width(), 264u) << "1000 × 500 at 132 high";
    const std::uint32_t middle = thumbnail.pixelAt(132, 66);
    EXPECT_EQ(middle >> 24, 255u);
    EXPECT_GE((middle >> 8) & 255, 250u) << "the shape's green";
}

TEST_F(ObjectThumbnails, OnlyTheVisiblePartIsShown) {
    // Half the shape hangs off the canvas's left edge: the thumbnail shows the 100 × 100 inside.
    auto shape = addShape(Rect(-100, 0, 200, 100));
    shape->thumbnail().delayedRegenerateThumbs();
    const BitmapImage& thumbnail = shape->thumbnail().previewThumb();
    ASSERT_FALSE(thumbnail.isEmpty());
    EXPECT_EQ(thumbnail.width(), 132u);
    EXPECT_EQ(thumbnail.pixelAt(5, 66) >> 24, 255u) << "filled to the cut edge";
}

TEST_F(ObjectThumbnails, NoneOffTheCanvasButStillAnnounced) {
    auto shape = addShape(Rect(2000, 0, 100, 100));
    settle();
    shape->invalidate();
    EXPECT_EQ(waitForRebuilds(*shape), 1);
    EXPECT_TRUE(shape->thumbnail().previewThumb().isEmpty());
}

TEST_F(ObjectThumbnails, NothingIsScheduledOffTheTracksOrOffscreen) {
    auto loose = makeModelObject<CompositionShapeObject>(container(), int32_t(ShapeKind::Rectangle));
    loose->invalidate();
    EXPECT_FALSE(loose->thumbnail().isPending()) << "not on a track";

    auto shape = addShape(Rect(0, 0, 100, 100));
    shape->thumbnail().cancel();
    container()->setIsOffscreen(true);
    shape->invalidate();
    EXPECT_FALSE(shape->thumbnail().isPending());
    container()->setIsOffscreen(false);
}

TEST_F(ObjectThumbnails, AnObjectGoneBeforeTheTimerGetsNone) {
    auto shape = addShape(Rect(0, 0, 100, 100));
    settle();
    shape->invalidate();
    ASSERT_TRUE(shape->thumbnail().isPending());
    container()->removeObject(shape.get());
    shape->tearDown();
    shape.reset();
    runMainLoopOnce(ObjectThumbnail::delaySeconds * 3);
    runMainLoopOnce(0);
}

} // namespace
} // namespace vtl::test
