// The per-object image pipeline: what the list holds, the shadow's place, the frame and corner
// mask at scale factors, and which changes rebuild the cached images.

#include "objects/PictureObjectFixture.h"

#include <functional>

namespace vtl::test {
namespace {

class ImagePipeline : public PictureObjectFixture {};

Rect extentMovedBy(Rect r, double dx, double dy) {
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

TEST_F(ImagePipeline, TheListHoldsShadowPictureAndFrameOrOneCombinedImage) {
    struct Case {
        const char* what;
        std::function<void()> setUp;
        BackAndFrontImages backAndFront;
        std::size_t count;
    };
    const std::vector<Case> cases{
        {"shadow and frame at opacity 1", [] {}, BackAndFrontImages::Include, 3},
        {"without back and front images", [] {}, BackAndFrontImages::Exclude, 1},
        {"opacity 0.5", [&] { object->setOpacity(0.5f, 1); }, BackAndFrontImages::Include, 1},
        {"an effect",
         [&] {
             object->addEffectAtTime({{"name", PropertyList("CIColorInvert")}}, 1);
         },
         BackAndFrontImages::Include, 1},
        {"no picture", [&] { object->drawsPicture = false; }, BackAndFrontImages::Include, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        object = add<PictureObject>(0, 10);
        object->setRect(Rect(0, 0, 200, 100), 0);
        object->setDrawsShadow(true, 0);
        object->setShadowDistance(5, 0);
        object->setDrawsFrame(true, 0);
        object->setFrameThickness(4, 0);
        c.setUp();
        const std::vector<CIImage> list = object->createScaledImagesForTime(request(), c.backAndFront);
        ASSERT_EQ(list.size(), c.count);
        if (c.count == 3) {
            EXPECT_NE(list[0].extent(), list[1].extent()) << "the shadow lies under the picture, moved";
            EXPECT_EQ(list[1].extent(), Rect(0, 0, 200, 100));
            EXPECT_TRUE(list[2].isSameImage(renderer->cachedImageForObject(*object, kCachePathFrameImage)));
        }
    }
}

TEST_F(ImagePipeline, ShadowsFallAlongTheirAngle) {
    struct Case {
        float angle, distance;
        double dx, dy;
    };
    for (const Case& c : {Case{90, 5, 5, 0}, Case{180, 5, 0, -5}, Case{0, 3, 0, 3}, Case{270, 2, -2, 0}}) {
        SCOPED_TRACE(c.angle);
        object->setDrawsShadow(true, 0);
        object->setShadowRadius(0, 0);
        object->setShadowOpacity(1, 0);
        object->setShadowAngle(c.angle, 0);
        object->setShadowDistance(c.distance, 0);
        const CIImage picture = object->createImageAtTime(request());
        const CIImage shadow = object->shadowImageForTime(1, picture);
        EXPECT_EQ(shadow.extent(), extentMovedBy(picture.extent(), c.dx, c.dy));
        const Rendered pixels = pixelsOf(shadow, {-10, -10, 220, 120});
        EXPECT_EQ(pixels.alpha(int(100 + c.dx), int(50 + c.dy)), 255);
        if (c.dx > 0) {
            EXPECT_EQ(pixels.alpha(int(c.dx) - 1, 50), 0) << "nothing left of the moved shadow";
        }
    }
}

TEST_F(ImagePipeline, ShadowsAreSilhouettesInTheShadowColourAtTheShadowOpacity) {
    object->setDrawsShadow(true, 0);
    object->setShadowRadius(0, 0);
    object->setShadowDistance(0, 0);
    object->setShadowColor(RGBAColor::device(1, 0, 0, 1), 0);
    object->setShadowOpacity(0.5f, 0);
    const Rendered pixels = pixelsOf(object->shadowImageForTime(1, object->createImageAtTime(request())));
    const auto p = pixels.at(100, 50);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);
    EXPECT_NEAR(p[2], 128, 1);
    EXPECT_NEAR(p[3], 128, 1);
}

// The key of each cache follows every input of its image and nothing else.
TEST_F(ImagePipeline, UnchangedObjectsReuseTheirImagesAndChangesRebuildOnlyWhatTheyAffect) {
    object->setDrawsShadow(true, 0);
    object->setShadowRadius(2, 0);
    object->setDrawsFrame(true, 0);
    object->setFrameThickness(3, 0);
    object->setCornerRadius(8, 0);
    for (int frame = 0; frame < 100; ++frame)
        ASSERT_EQ(
            object->createScaledImagesForTime(request(1 + frame / 30.0), BackAndFrontImages::Include).size(),
            3u);
    EXPECT_EQ(renderer->storeCount(kCachePathCornerMask), 1u);
    EXPECT_EQ(renderer->storeCount(kCachePathShadowImage), 1u);
    EXPECT_EQ(renderer->storeCount(kCachePathFrameImage), 1u);

    struct Change {
        const char* what;
        std::function<void()> apply;
        std::function<ObjectImageRequest()> ask;
        bool rebuildsShadow;
    };
    const std::vector<Change> changes{
        {"moving the object", [&] { object->setRect(Rect(40, 30, 200, 100), 0); }, [&] { return request(); },
         false},
        {"a new picture", [&] { ++object->pictureVersion; }, [&] { return request(); }, true},
        {"the shadow colour", [&] { object->setShadowColor(RGBAColor::device(0.5, 0, 0, 1), 0); },
         [&] { return request(); }, true},
        {"a factor", [] {}, [&] { return request(1, 2, 2); }, true},
        {"a negative shadow angle", [&] { object->setShadowAngle(-30, 0); }, [&] { return request(1, 2, 2); },
         true},
        {"nothing", [] {}, [&] { return request(1, 2, 2); }, false},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const std::uint64_t before = renderer->storeCount(kCachePathShadowImage);
        change.apply();
        object->createScaledImagesForTime(change.ask(), BackAndFrontImages::Include);
        object->createScaledImagesForTime(change.ask(), BackAndFrontImages::Include);
        EXPECT_EQ(renderer->storeCount(kCachePathShadowImage), before + (change.rebuildsShadow ? 1 : 0));
    }
}

TEST_F(ImagePipeline, PicturesWithoutAStampGetTheirShadowBuiltEveryTime) {
    class Unstamped : public PictureObject {
    public:
        using PictureObject::PictureObject;
        std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest&) const override {
            return {};
        }
    };
    auto unstamped = add<Unstamped>(0, 10);
    unstamped->setRect(Rect(0, 0, 200, 100), 0);
    unstamped->setDrawsShadow(true, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(unstamped->createScaledImagesForTime(request(), BackAndFrontImages::Include).size(), 2u);
    EXPECT_EQ(renderer->storeCount(kCachePathShadowImage), 0u);
}

TEST_F(ImagePipeline, CornersFramesAndFactors) {
    const CIImage plain = object->createScaledImagesForTime(request(), BackAndFrontImages::Include).front();
    bool valid = true;
    renderer->timeForObject(*object, kCachePathCornerMask, &valid);
    EXPECT_FALSE(valid) << "no corner radius, no mask";
    EXPECT_EQ(pixelsOf(plain).bytes, pixelsOf(object->createImageAtTime(request())).bytes);

    object->setCornerRadius(20, 0);
    const Rendered rounded =
        pixelsOf(object->createScaledImagesForTime(request(), BackAndFrontImages::Include).front());
    EXPECT_EQ(rounded.alpha(0, 0), 0) << "the corner is cut";
    EXPECT_EQ(rounded.alpha(100, 50), 255);

    object->setDrawsFrame(true, 0);
    object->setFrameThickness(4, 0);
    std::vector<CIImage> list =
        object->createScaledImagesForTime(request(1, 2, 2), BackAndFrontImages::Include);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].extent(), Rect(0, 0, 400, 200)) << "the frame, made at natural size, scaled by 2";
    EXPECT_EQ(renderer->cachedImageForObject(*object, kCachePathFrameImage).extent(), Rect(0, 0, 200, 100));
    EXPECT_EQ(renderer->cachedImageForObject(*object, kCachePathCornerMask).extent(), Rect(0, 0, 400, 200))
        << "the corner mask is made at the scaled size";

    object->setFrameThickness(0, 0);
    list = object->createScaledImagesForTime(request(1, 2, 2), BackAndFrontImages::Include);
    EXPECT_EQ(list.size(), 1u) << "a frame of thickness 0 adds no image";
    renderer->timeForObject(*object, kCachePathFrameImage, &valid);
    EXPECT_FALSE(valid) << "and its entry is removed";
}

TEST_F(ImagePipeline, NeedsToRenderAdditionalImageOnlyWhenTheRendererHasMoreToDo) {
    EXPECT_FALSE(object->needsToRenderAdditionalImageIntoImageAtTime(1));
    object->setRotation(10, 0);
    EXPECT_TRUE(object->needsToRenderAdditionalImageIntoImageAtTime(1));
    object->setRotation(0, 0);
    object->setRect(Rect(5, 0, 200, 100), 0);
    EXPECT_TRUE(object->needsToRenderAdditionalImageIntoImageAtTime(1));
}

} // namespace
} // namespace vtl::test
