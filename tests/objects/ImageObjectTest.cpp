#include "ObjectPictures.h"
#include "ObjectsFixture.h"
#include "StillPipelineChecks.h"
#include "model/CompositionMediaEntry.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionImageObject.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <QColor>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using test::archiveOf;
using test::MemoryImageCache;

class ImageObjectTest : public test::ObjectsFixture {
protected:
    ImageObjectTest()
        : folder_(fs::path(::testing::TempDir()) / ("image-object-" + std::to_string(::getpid())))
        , media_(folder_ / "TemporaryResources") {
        fs::create_directories(folder_);
    }
    ~ImageObjectTest() override { fs::remove_all(folder_); }

    // A picture file of the size, red over blue halves, as a registered entry of the document.
    std::shared_ptr<CompositionMediaEntry> picture(int width, int height,
                                                   const std::string& name = "picture.png") {
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(QColor(0, 0, 255));
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixelColor(x, y, QColor(255, 0, 0));
        const fs::path path = folder_ / name;
        EXPECT_TRUE(image.save(QString::fromStdString(path.string())));
        return media_.entryForResourceWithFileSystemPath(path.string(), &document,
                                                         SharedMediaManager::ResourceCopy::None);
    }
    std::shared_ptr<CompositionImageObject> imageObject(const std::shared_ptr<CompositionMediaEntry>& entry) {
        auto object = makeModelObject<CompositionImageObject>(container());
        object->setStartTimeEndTime(0, 10);
        object->setMediaEntry(entry);
        container()->addObject(object);
        return object;
    }

    fs::path folder_;
    SharedMediaManager media_;
};

TEST_F(ImageObjectTest, LoadsMeasuresAndDrawsThePicture) {
    auto entry = picture(40, 20);
    auto object = imageObject(entry);
    EXPECT_EQ(object->originalImageSize(), Size(40, 20));
    EXPECT_EQ(object->originalSize(), Size(40, 20));
    EXPECT_EQ(object->name(), "Image");
    EXPECT_EQ(object->propertyNames().front(), "TranslationPropertiesView.nib");
    EXPECT_TRUE(object->loadResources());
    EXPECT_EQ(object->mediaPathForSerialization(), entry->dataPath());

    ObjectImageRequest request;
    const test::Rendered pixels = test::renderPicture(object->createImageAtTime(request));
    EXPECT_EQ(pixels.region, (PixelRegion{0, 0, 40, 20}));
    EXPECT_EQ(pixels.at(5, 15), (std::array<int, 4>{0, 0, 255, 255})) << "the picture's top stays on top";
    EXPECT_EQ(pixels.at(5, 5), (std::array<int, 4>{255, 0, 0, 255}));

    request.xFactor = 2;
    request.yFactor = 0.5f;
    EXPECT_EQ(object->createImageAtTime(request).extent(), Rect(0, 0, 80, 10));
    request.yFactor = std::nanf("");
    EXPECT_TRUE(object->createImageAtTime(request).isNull());
}

TEST_F(ImageObjectTest, UnreadablePicturesGiveNoImage) {
    const fs::path bad = folder_ / "broken.png";
    std::ofstream(bad) << "not a picture";
    for (const fs::path& path : {bad, folder_ / "missing.jpg"}) {
        auto entry = media_.entryForResourceWithFileSystemPath(path.string(), &document,
                                                               SharedMediaManager::ResourceCopy::None);
        auto object = imageObject(entry);
        EXPECT_EQ(object->image(), nullptr) << path;
        EXPECT_FALSE(object->loadResources()) << path;
        EXPECT_TRUE(object->createImageAtTime(ObjectImageRequest{}).isNull()) << path;
        EXPECT_EQ(object->originalImageSize(), Size()) << path;
    }
}

TEST_F(ImageObjectTest, RasterisedOncePerVersionAndPath) {
    auto object = imageObject(picture(30, 30));
    MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    const CIImage first = object->createImageAtTime(request);
    for (int i = 0; i < 100; ++i) {
        request.compositionTime = i * 0.05;
        EXPECT_TRUE(object->createImageAtTime(request).isSameImage(first));
    }
    request.compositionTime = 0;
    EXPECT_EQ(object->rasterisationCount(), 1u);
    object->setRect(Rect(10, 10, 60, 60), 0);
    object->setRotation(30, 0);
    object->createImageAtTime(request);
    EXPECT_EQ(object->rasterisationCount(), 1u) << "rect and rotation apply later in the pipeline";

    request.purpose = ImagePurpose::Export;
    object->createImageAtTime(request);
    EXPECT_TRUE(cache.has(object.get(), "exportImage"));
    EXPECT_EQ(object->rasterisationCount(), 2u);
    request.purpose = ImagePurpose::Preview;

    const uint64_t version = object->currentCacheHash();
    object->setRect(Rect(0, 0, 90, 45), 0);
    object->setImageFromMediaEntry(picture(16, 8, "other.png"));
    EXPECT_EQ(object->currentCacheHash(), version + 1);
    EXPECT_EQ(object->pictureStampAtTime({}), version + 1);
    EXPECT_EQ(object->rectForTime(0), Rect(0, 0, 30, 30)) << "the earlier natural size at (0, 0)";
    EXPECT_EQ(object->originalImageSize(), Size(16, 8));
    EXPECT_EQ(object->createImageAtTime(request).extent(), Rect(0, 0, 16, 8));
    EXPECT_EQ(object->rasterisationCount(), 3u);
}

TEST_F(ImageObjectTest, PictureComesThroughThePipelineAndItsShadowIsReused) {
    auto object = imageObject(picture(30, 20));
    test::expectPictureThroughPipelineAndShadowReused(
        *object, {[&] { return object->rasterisationCount(); },
                  [&] { object->setImageFromMediaEntry(picture(12, 6, "replaced.png")); }});
}

TEST_F(ImageObjectTest, UseCountsFollowSetDeleteAndUndo) {
    auto first = picture(10, 10, "first.png");
    auto second = picture(10, 10, "second.png");
    auto object = imageObject(first);
    EXPECT_EQ(first->usageCounter(), 1u);
    object->setMediaEntry(second);
    EXPECT_EQ(second->usageCounter(), 1u);
    EXPECT_FALSE(media_.isRegistered(first.get())) << "an entry no longer used leaves the manager";
    auto copy = object->copy();
    EXPECT_EQ(second->usageCounter(), 2u) << "a copy counts its own use";
    copy.reset();

    settle();
    container()->removeObject(object.get());
    endPass();
    EXPECT_EQ(second->usageCounter(), 1u);
    undoManager().undo();
    EXPECT_EQ(second->usageCounter(), 2u);
    EXPECT_TRUE(container()->containsObject(object.get()));
}

TEST_F(ImageObjectTest, ArchiveMeasuresAgainAndKeepsBytes) {
    auto entry = picture(24, 12);
    auto object = imageObject(entry);
    object->setRect(Rect(3, 4, 48, 24), 0);
    const PlistBytes bytes = archiveOf(document.objectsContainer());
    auto decoded = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(archiveOf(*decoded), bytes);
    auto read = std::dynamic_pointer_cast<CompositionImageObject>((*decoded)->objects().at(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->originalImageSize(), Size(24, 12));
    EXPECT_NE(read->image(), nullptr);
    EXPECT_EQ(read->currentCacheHash(), 0u);
    EXPECT_DOUBLE_EQ(read->xScalingFactorForTime(0), 2.0);

    // With the picture gone the stored size stands in, so the scaling survives another save.
    fs::remove(entry->dataPath());
    auto again = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes);
    ASSERT_TRUE(again.ok());
    auto missing = std::dynamic_pointer_cast<CompositionImageObject>((*again)->objects().at(0));
    EXPECT_EQ(missing->image(), nullptr);
    EXPECT_EQ(missing->originalImageSize(), Size(24, 12));
}

} // namespace
} // namespace vtl
