// Movie tracks drawn through the renderer's image pipeline: the pictures match the media layer's
// decode of the same frames at every use, the factors scale them, a track without a renderer or
// without decodable pictures draws nothing, and each track's player goes with the track.

#include "MediaFixtures.h"
#include "imaging/ImagingTestSupport.h"
#include "model/SharedMediaManager.h"
#include "model/support/ModelFixture.h"
#include "platform/media/MediaImageGenerator.h"
#include "render/VTLObjectsContainerRenderer.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionMovieTrackObjectPlaybackContext.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

constexpr int movieWidth = 640, movieHeight = 360;

bool runMainLoopUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        runMainLoopOnce(0.01);
    }
    return true;
}

class MovieTrackDrawing : public ModelFixture {
protected:
    MovieTrackDrawing()
        : media_(fs::path(scratchFolder()) / "movie-drawing-media")
        , renderer(document.objectsContainer()) {
        CompositionMovieTrackObject::registerClasses();
    }
    ~MovieTrackDrawing() override {
        for (const auto& track : tracks_)
            track->cancelTrackExtraction();
        runMainLoopUntil([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 10);
    }

    std::shared_ptr<CompositionMovieTrackObject> movieTrack(const std::string& path) {
        auto track = makeModelObject<CompositionMovieTrackObject>(container());
        track->setMediaEntry(media_.entryForResourceWithFileSystemPath(
            path, &document, SharedMediaManager::ResourceCopy::None));
        track->setTrackIndex(0);
        tracks_.push_back(track);
        return track;
    }

    ObjectImageRequest request(double time, ImagePurpose purpose, double factor = 1.0) {
        ObjectImageRequest r;
        r.compositionTime = time;
        r.renderer = &renderer;
        r.xFactor = factor;
        r.yFactor = float(factor);
        r.purpose = purpose;
        return r;
    }

    // The pipeline's one picture of the track (opaque, no effects), or none.
    static CIImage drawn(CompositionMovieTrackObject& track, const ObjectImageRequest& r) {
        std::vector<CIImage> images = track.createScaledImagesForTime(r, BackAndFrontImages::Include);
        EXPECT_LE(images.size(), 1u);
        return images.empty() ? CIImage() : images.front();
    }

    // The first request seeks the renderer's player; once it stands there, the frame is exact.
    CIImage scrubbed(CompositionMovieTrackObject& track, double time) {
        drawn(track, request(time, ImagePurpose::Preview));
        CompositionMovieTrackObjectPlaybackContext* context = renderer.movieContextForObject(track);
        EXPECT_TRUE(context && context->player());
        if (context && context->player()) {
            EXPECT_TRUE(runMainLoopUntil([&] { return context->player()->isReady(); }, 10)) << time;
        }
        return drawn(track, request(time, ImagePurpose::Preview));
    }

    SharedMediaManager media_;
    std::vector<std::shared_ptr<CompositionMovieTrackObject>> tracks_;
    VTLObjectsContainerRenderer renderer;
};

// The media layer's own decode of the clip at a media time, at the clip's size.
BitmapImage decodedByTheMediaLayer(const CompositionMovieTrackObject& track, double mediaSeconds) {
    auto generator = MediaImageGenerator::create(track.assetMovie(), track.trackIndex());
    if (!generator) {
        ADD_FAILURE() << generator.error();
        return {};
    }
    auto frame = (*generator)->imageAtTime(MediaTime::fromSeconds(mediaSeconds, MediaTime::defaultTimeScale));
    if (!frame) {
        ADD_FAILURE() << frame.error();
        return {};
    }
    return frame->image;
}

// The largest channel difference between a drawn picture and a decoded one of the clip's size;
// -1 when either is missing or of another size.
int largestDifference(const CIImage& image, const BitmapImage& expected) {
    if (image.isNull() || image.extent() != Rect(0, 0, movieWidth, movieHeight)) return -1;
    if (expected.width() != std::size_t(movieWidth) || expected.height() != std::size_t(movieHeight))
        return -1;
    const Rendered rendered = render(image, {0, 0, movieWidth, movieHeight});
    if (rendered.bytes.empty()) return -1;
    int largest = 0;
    for (int row = 0; row < movieHeight; ++row) {
        // Rendered rows come bottom first, the decoded ones top first.
        const std::uint8_t* a = rendered.bytes.data() + std::size_t(row) * movieWidth * 4;
        const std::uint8_t* b = expected.rowAt(std::size_t(movieHeight - 1 - row));
        largest = std::max(largest, largestChannelDifference(a, b, movieWidth));
    }
    return largest;
}

void expectSamePicture(const CIImage& image, const BitmapImage& expected, const std::string& what) {
    const int difference = largestDifference(image, expected);
    EXPECT_GE(difference, 0) << what << ": missing, or not the clip's size";
    EXPECT_LE(difference, 2) << what;
}

TEST_F(MovieTrackDrawing, PicturesAreTheMediaLayersFramesForEveryUse) {
    auto track = movieTrack(mediaFixture("h264-360p"));
    track->setStartTime(10.0);
    container()->addObject(track);
    // Media times: the start, a frame start, mid-frame, the last frame.
    const double times[] = {0.0, 1.0, 2.0 + 0.5 / 30, 179.5 / 30};
    for (double mediaSeconds : times)
        expectSamePicture(scrubbed(*track, 10.0 + mediaSeconds), decodedByTheMediaLayer(*track, mediaSeconds),
                          "scrubbing at " + std::to_string(mediaSeconds));

    track->beginExport();
    for (double mediaSeconds : times)
        expectSamePicture(drawn(*track, request(10.0 + mediaSeconds, ImagePurpose::Export)),
                          decodedByTheMediaLayer(*track, mediaSeconds),
                          "export at " + std::to_string(mediaSeconds));
    track->endExport();

    // Playing never waits: the picture is the player's frame for its own time.
    drawn(*track, request(12.0, ImagePurpose::Playback));
    CompositionMovieTrackObjectPlaybackContext* context = renderer.movieContextForObject(*track);
    ASSERT_TRUE(context && context->player());
    ASSERT_TRUE(runMainLoopUntil([&] { return context->player()->isReady(); }, 10));
    const double now = context->player()->currentTime().seconds();
    const CIImage playing = drawn(*track, request(10.0 + now, ImagePurpose::Playback));
    // The player moves on while the picture is drawn: one of the next few frames, exactly.
    int best = -1;
    for (int k = 0; k < 6 && best != 0; ++k) {
        const int difference = largestDifference(
            playing, decodedByTheMediaLayer(*track, (std::floor(now * 30 + 1e-9) + k) / 30));
        if (difference >= 0 && (best < 0 || difference < best)) best = difference;
    }
    EXPECT_GE(best, 0) << "playing: missing, or not the clip's size";
    EXPECT_LE(best, 2) << "playing at " << now;
    EXPECT_EQ(renderer.movieContextCount(), 1u) << "one player per renderer and track";
}

TEST_F(MovieTrackDrawing, TheFactorsScaleThePicture) {
    auto track = movieTrack(mediaFixture("h264-360p"));
    container()->addObject(track);
    struct Case {
        double factor;
        Rect extent;
    };
    const Case cases[] = {
        {0.5, Rect(0, 0, 320, 180)}, {2.0, Rect(0, 0, 1280, 720)}, {1.0, Rect(0, 0, 640, 360)}};
    for (const Case& c : cases) {
        const CIImage image = drawn(*track, request(1.0, ImagePurpose::Preview, c.factor));
        ASSERT_FALSE(image.isNull()) << c.factor;
        EXPECT_EQ(image.extent(), c.extent) << c.factor;
    }
}

TEST_F(MovieTrackDrawing, NoRendererOrNoPicturesDrawNothing) {
    // A copy cut short keeps its header's promise of pictures it cannot deliver.
    const std::string cut = scratchFolder() + "/movie-drawing-cut.mov";
    std::vector<std::uint8_t> bytes = readFileBytes(mediaFixture("h264-360p"));
    bytes.resize(std::min<std::size_t>(bytes.size(), 6000));
    writeFileBytes(cut, bytes);
    const std::string gone = scratchFolder() + "/movie-drawing-gone.mov";
    fs::remove(gone);
    struct Case {
        std::string what;
        std::string path;
        bool withRenderer;
    };
    const Case cases[] = {
        {"no renderer", mediaFixture("h264-360p"), false},
        {"sound only", mediaFixture("aac-only"), true},
        {"cut short", cut, true},
        {"missing file", gone, true},
    };
    for (const Case& c : cases) {
        auto track = movieTrack(c.path);
        container()->addObject(track);
        for (ImagePurpose purpose : {ImagePurpose::Preview, ImagePurpose::Playback, ImagePurpose::Export}) {
            ObjectImageRequest r = request(0.5, purpose);
            if (!c.withRenderer) r.renderer = nullptr;
            if (purpose == ImagePurpose::Export) track->beginExport();
            EXPECT_TRUE(track->createScaledImagesForTime(r, BackAndFrontImages::Include).empty()) << c.what;
            if (purpose == ImagePurpose::Export) track->endExport();
        }
    }
}

TEST_F(MovieTrackDrawing, ThePlayerGoesWithTheTrack) {
    auto track = movieTrack(mediaFixture("h264-360p"));
    container()->addObject(track);
    ASSERT_FALSE(scrubbed(*track, 1.0).isNull());
    ASSERT_TRUE(renderer.movieContextForObject(*track));
    container()->removeObject(track.get());
    EXPECT_FALSE(renderer.movieContextForObject(*track));
    EXPECT_EQ(renderer.movieContextCount(), 1u) << "kept until the drawing thread's next frame";
    renderer.releaseRetiredResources();
    EXPECT_EQ(renderer.movieContextCount(), 0u);

    // The renderer does not keep a track alive; its player goes when the track does.
    auto loose = makeModelObject<CompositionMovieTrackObject>(container());
    loose->setMediaEntry(media_.entryForResourceWithFileSystemPath(mediaFixture("h264-360p"), &document,
                                                                   SharedMediaManager::ResourceCopy::None));
    loose->setTrackIndex(0);
    ASSERT_FALSE(drawn(*loose, request(0.5, ImagePurpose::Preview)).isNull());
    EXPECT_EQ(renderer.movieContextCount(), 1u);
    settle();
    std::weak_ptr<CompositionMovieTrackObject> watched = loose;
    loose.reset();
    EXPECT_TRUE(watched.expired());
    renderer.releaseRetiredResources();
    EXPECT_EQ(renderer.movieContextCount(), 0u);
    EXPECT_EQ(renderer.objectEntryCount(), 0u);
}

// The main thread removes the track while another thread plays it through the renderer.
TEST_F(MovieTrackDrawing, RemovingATrackWhileItPlaysIsSafe) {
    auto track = movieTrack(mediaFixture("h264-360p"));
    container()->addObject(track);
    std::atomic<int> frames{0};
    std::atomic<bool> stop{false};
    std::thread drawing([&, drawnTrack = track] {
        while (!stop.load()) {
            renderer.releaseRetiredResources();
            drawn(*drawnTrack, request(0.02 * frames.load(), ImagePurpose::Playback));
            ++frames;
        }
    });
    runMainLoopUntil([&] { return frames.load() >= 3; }, 20);
    container()->removeObject(track.get());
    const int atRemoval = frames.load();
    runMainLoopUntil([&] { return frames.load() >= atRemoval + 3; }, 20);
    stop = true;
    drawing.join();
    EXPECT_GE(frames.load(), atRemoval + 3);
}

} // namespace
} // namespace vtl::test
