// The renderer's resources for its objects: the image cache by object and path, contexts,
// uploaded frames and decode buffers, dropped when their object or recording leaves, and safe
// while another thread draws.

#include "model/SharedMediaManager.h"
#include "model/support/ModelFixture.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "render/VTLObjectsContainerRenderer.h"
#include "tracks/CompositionVistrelTrack.h"

#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

CIImage solidImageOfWidth(int width) {
    auto bitmap = std::make_shared<Bitmap>(width, 4);
    return CIImage::imageWithBitmap(bitmap);
}

struct CountedContext : RendererContext {
    explicit CountedContext(std::atomic<int>& alive)
        : alive_(alive) {
        ++alive_;
    }
    ~CountedContext() override { --alive_; }
    std::atomic<int>& alive_;
};

class RendererResources : public ModelFixture {
protected:
    RendererResources()
        : renderer(document.objectsContainer()) {}
    ~RendererResources() override { renderer.removeAllCachedImages(); }

    std::shared_ptr<CompositionRectangularObject> addObject() {
        auto object = makeObject(0, 10);
        container()->addObject(object);
        return object;
    }

    // Contexts alive; outlives the renderer.
    std::atomic<int> contexts{0};
    VTLObjectsContainerRenderer renderer;
};

TEST_F(RendererResources, EntriesAreKeptPerObjectAndPath) {
    auto a = addObject(), b = addObject();
    bool valid = true;
    EXPECT_EQ(renderer.timeForObject(*a, kCachePathShadowImage, &valid),
              ObjectRendererResources::invalidStamp);
    EXPECT_FALSE(valid);

    renderer.setCachedImage(solidImageOfWidth(1), *a, kCachePathShadowImage, 7);
    renderer.setCachedImage(solidImageOfWidth(2), *a, kCachePathFrameImage, 8);
    renderer.setCachedImage(solidImageOfWidth(3), *b, kCachePathShadowImage);
    EXPECT_EQ(renderer.timeForObject(*a, kCachePathShadowImage, &valid), 7u);
    EXPECT_TRUE(valid);
    EXPECT_EQ(renderer.timeForObject(*b, kCachePathShadowImage, &valid), 0u);
    EXPECT_TRUE(valid);

    renderer.setCachedImage(CIImage(), *a, kCachePathShadowImage, 9);
    EXPECT_TRUE(renderer.cachedImageForObject(*a, kCachePathShadowImage).isNull()) << "none removes the path";
    EXPECT_EQ(renderer.cachedImageForObject(*a, kCachePathFrameImage).extent().size.width, 2)
        << "the others stay";
    EXPECT_EQ(renderer.storeCount(kCachePathShadowImage), 2u);

    renderer.removeAllCachedImages();
    EXPECT_TRUE(renderer.cachedImageForObject(*b, kCachePathShadowImage).isNull());
    EXPECT_EQ(renderer.objectEntryCount(), 0u);
}

TEST_F(RendererResources, RemovingAnObjectDropsItsResourcesOnly) {
    auto a = addObject(), b = addObject();
    for (const auto& object : {a, b}) {
        renderer.setCachedImage(solidImageOfWidth(1), *object, kCachePathImage, 1);
        renderer.setRendererContext(std::make_shared<CountedContext>(contexts), *object);
        renderer.cachedAndUploadPixelBuffer(BitmapImage(4, 4), *object);
    }
    container()->removeObject(a.get());
    EXPECT_TRUE(renderer.cachedImageForObject(*a, kCachePathImage).isNull());
    EXPECT_FALSE(renderer.rendererContextForObject(*a));
    EXPECT_FALSE(renderer.cachedImageForObject(*b, kCachePathImage).isNull());
    EXPECT_TRUE(renderer.rendererContextForObject(*b));
    EXPECT_EQ(contexts, 1);
    EXPECT_EQ(renderer.uploadedFrameCount(), 1u);
}

TEST_F(RendererResources, EntriesNeitherHoldNorOutliveTheirObjects) {
    auto object = makeObject(0, 10);
    settle(); // the undo steps of making it hold it too
    std::weak_ptr<CompositionRectangularObject> watched = object;
    renderer.setRendererContext(std::make_shared<CountedContext>(contexts), *object);
    renderer.setCachedImage(solidImageOfWidth(1), *object, kCachePathImage, 1);
    object.reset();
    EXPECT_TRUE(watched.expired()) << "the renderer does not keep the object";
    // Whatever object comes next, possibly at the same address, finds nothing of the old one.
    auto next = makeObject(0, 10);
    EXPECT_FALSE(renderer.rendererContextForObject(*next));
    EXPECT_TRUE(renderer.cachedImageForObject(*next, kCachePathImage).isNull());
    renderer.releaseRetiredResources();
    EXPECT_EQ(renderer.objectEntryCount(), 0u);
    EXPECT_EQ(contexts, 0);
}

TEST_F(RendererResources, OneUploadedFramePerObject) {
    auto object = addObject();
    const BitmapImage first(8, 8), second(16, 8);
    renderer.cachedAndUploadPixelBuffer(first, *object);
    const CIImage uploaded = renderer.cachedAndUploadPixelBuffer(second, *object);
    EXPECT_EQ(uploaded.extent(), Rect(0, 0, 16, 8));
    EXPECT_EQ(renderer.uploadedFrameCount(), 1u);

    // A frame the decode thread readied is taken as it is.
    renderer.uploadHook()(3, first);
    EXPECT_EQ(renderer.cachedAndUploadPixelBuffer(first, *object).extent(), Rect(0, 0, 8, 8));
    EXPECT_TRUE(renderer.cachedAndUploadPixelBuffer(BitmapImage(), *object).isNull());
    EXPECT_EQ(renderer.uploadedFrameCount(), 0u);
}

class RendererDecodeBuffers : public RendererResources {
protected:
    RendererDecodeBuffers()
        : media_(fs::path(::testing::TempDir()) / ("renderer-media-" + std::to_string(::getpid()))) {
        CompositionVistrelTrack::registerClasses();
        package_ =
            fs::path(::testing::TempDir()) / ("renderer-" + std::to_string(::getpid()) + ".vistrelRecord");
        fs::remove_all(package_);
        SyntheticRecordingSettings settings;
        settings.screen.width = 160;
        settings.screen.height = 120;
        settings.framesPerSecond = 5;
        settings.seconds = 2;
        auto written = writeSyntheticRecording(package_.string(), settings);
        EXPECT_TRUE(written) << written.error();
    }
    ~RendererDecodeBuffers() override { fs::remove_all(package_); }

    std::shared_ptr<CompositionVistrelTrack> addTrack() {
        auto entry = media_.entryForResourceWithFileSystemPath(package_.string(), &document,
                                                               SharedMediaManager::ResourceCopy::None);
        auto track = makeModelObject<CompositionVistrelTrack>(container());
        track->setMediaEntry(entry);
        container()->addObject(track);
        return track;
    }

    SharedMediaManager media_;
    fs::path package_;
};

TEST_F(RendererDecodeBuffers, TheLastTrackOfARecordingTakesItsBufferAlong) {
    auto first = addTrack(), second = addTrack();
    const auto recording = first->underlyingRecording();
    ASSERT_TRUE(recording);
    VistrelDecoderCachedBuffer* buffer = renderer.decoderCachedBufferForRecording(recording);
    ASSERT_TRUE(buffer);
    buffer->setColorspaceAndStartDecoding(renderer.colorSpace(), renderer.uploadHook());
    EXPECT_FALSE(buffer->createImageAtTime(0.5).isEmpty());
    EXPECT_EQ(renderer.decoderCachedBufferForRecording(recording), buffer);
    EXPECT_EQ(renderer.decodeBufferCount(), 1u);

    if (second->underlyingRecording() == recording) {
        container()->removeObject(second.get());
        EXPECT_EQ(renderer.decodeBufferCount(), 1u) << "another track still shows the recording";
    }
    container()->removeObject(first.get());
    EXPECT_EQ(renderer.decodeBufferCount(), 0u);
    EXPECT_FALSE(buffer->isRunning()) << "stopped, and kept until the drawing thread lets go";
    EXPECT_TRUE(buffer->createImageAtTime(0.5).isEmpty());
    renderer.releaseRetiredResources();
}

// A picture of its own, so the drawing thread builds corner masks, shadows and frames.
class DrawnObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return {64, 48}; }
    CIImage createImageAtTime(const ObjectImageRequest&) override {
        auto bitmap = std::make_shared<Bitmap>(64, 48);
        bitmap->setPixel(3, 3, {10, 20, 30, 255});
        return CIImage::imageWithBitmap(bitmap);
    }
    std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest&) const override { return 1; }
};

// Removals arrive on the main thread while another thread draws the same objects.
TEST_F(RendererResources, RemovalsWhileAnotherThreadDrawsAreSafe) {
    std::vector<std::shared_ptr<CompositionRectangularObject>> objects;
    for (int i = 0; i < 6; ++i) {
        auto object = makeModelObject<DrawnObject>(container());
        object->setStartTimeEndTime(0, 10);
        object->setRect(Rect(0, 0, 64, 48), 0);
        object->setDrawsShadow(true, 0);
        object->setDrawsFrame(true, 0);
        object->setFrameThickness(2, 0);
        object->setCornerRadius(4, 0);
        container()->addObject(object);
        objects.push_back(object);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::thread drawing([&, drawn = objects] {
        while (!stop.load()) {
            renderer.releaseRetiredResources();
            for (const auto& object : drawn) {
                ObjectImageRequest request;
                request.compositionTime = 1 + frames.load() % 3;
                request.renderer = &renderer;
                object->createScaledImagesForTime(request, BackAndFrontImages::Include);
                renderer.setCachedImage(solidImageOfWidth(2), *object, kCachePathImage,
                                        std::uint64_t(frames.load()));
                bool valid = false;
                renderer.timeForObject(*object, kCachePathImage, &valid);
                renderer.cachedImageForObject(*object, kCachePathImage);
                renderer.cachedAndUploadPixelBuffer(BitmapImage(4, 4), *object);
                if (!renderer.rendererContextForObject(*object))
                    renderer.setRendererContext(std::make_shared<CountedContext>(contexts), *object);
            }
            ++frames;
        }
    });
    while (frames.load() < 5)
        std::this_thread::yield();
    for (const auto& object : objects) {
        container()->removeObject(object.get());
        renderer.removeAllCachedImages();
    }
    stop = true;
    drawing.join();
    EXPECT_GT(frames.load(), 5);
}

} // namespace
} // namespace vtl::test
