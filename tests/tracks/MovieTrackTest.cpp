// Imported movies on the timeline over clips made by the ffmpeg tool: the movie wrapper and the
// track selection, copies and archives, the picture's frame on the canvas, frames for renderers
// (scrubbing, playback, export) compared with the tool's own decode, and the thumbnails.

#include "MediaFixtures.h"
#include "document/CompositionDocument.h"
#include "model/CompositionRectangularState.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/media/MediaImageGenerator.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionMovieTrackObjectPlaybackContext.h"
#include "tracks/MovieFrameRenderer.h"
#include "tracks/VTL3AssetTrackSequentialBufferReader.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace vtl {
namespace {

using test::mediaFixture;

// A renderer as the movie track sees it: its contexts and one cached image per object and path,
// with counts of what the track asked for.
class MovieTestRenderer : public MovieFrameRenderer {
public:
    CompositionMovieTrackObjectPlaybackContext*
    movieContextForObject(const CompositionBaseObject& object) override {
        auto found = contexts_.find(&object);
        return found == contexts_.end() ? nullptr : found->second.get();
    }
    void setMovieContext(std::unique_ptr<CompositionMovieTrackObjectPlaybackContext> context,
                         const CompositionBaseObject& object) override {
        ++contextsMade;
        contexts_[&object] = std::move(context);
    }
    std::optional<CachedMovieImage> cachedMovieImage(const CompositionBaseObject& object,
                                                     const std::string& path) const override {
        auto found = cache_.find({&object, path});
        if (found == cache_.end()) return std::nullopt;
        return found->second;
    }
    void setCachedMovieImage(const BitmapImage& image, const CompositionBaseObject& object,
                             const std::string& path, std::int64_t key) override {
        ++imagesCached;
        cache_[{&object, path}] = CachedMovieImage{image, key};
    }

    int contextsMade = 0;
    int imagesCached = 0;

private:
    std::map<const CompositionBaseObject*, std::unique_ptr<CompositionMovieTrackObjectPlaybackContext>>
        contexts_;
    std::map<std::pair<const CompositionBaseObject*, std::string>, CachedMovieImage> cache_;
};

bool waitOnMainLoop(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        runMainLoopOnce(0.01);
    }
    return true;
}

class MovieTrackTest : public ::testing::Test {
protected:
    MovieTrackTest()
        : media_(std::filesystem::path(test::scratchFolder()) / "movie-track-media") {
        CompositionMovieTrackObject::registerClasses();
    }
    ~MovieTrackTest() override {
        for (const auto& made : tracks_)
            made->cancelTrackExtraction();
        waitOnMainLoop([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 10);
    }

    std::shared_ptr<CompositionMediaEntry> entry(const std::string& path) {
        return media_.entryForResourceWithFileSystemPath(path, &document_,
                                                         SharedMediaManager::ResourceCopy::None);
    }
    std::shared_ptr<CompositionMovieTrackObject> movieTrack(const std::string& fixture,
                                                            std::uint32_t index = 0) {
        auto made = makeModelObject<CompositionMovieTrackObject>(container());
        made->setMediaEntry(entry(mediaFixture(fixture)));
        made->setTrackIndex(index);
        tracks_.push_back(made);
        return made;
    }
    CompositionObjectsContainer* container() { return document_.objectsContainer().get(); }

    CompositionDocument document_;
    SharedMediaManager media_;
    std::vector<std::shared_ptr<CompositionMovieTrackObject>> tracks_;
};

TEST_F(MovieTrackTest, TheMovieDescribesTheFile) {
    auto twoSizes = movieTrack("two-sizes");
    const auto& movie = *twoSizes->qtMovieWrapper();
    EXPECT_EQ(movie.numberOfTracks(), 3u);
    EXPECT_EQ(movie.movieSize(), (Size{640, 720})) << "largest width and height, each on its own";
    const double whole = movie.assetMovie()->duration().seconds();
    for (const MediaTrack& track : movie.assetMovie()->tracks())
        EXPECT_EQ(movie.msDurationForAssetTrack(&track), whole) << track.index;
    EXPECT_EQ(movie.longestTrackDuration(), whole);
    EXPECT_EQ(twoSizes->size(), (Size{640, 480}));
    EXPECT_EQ(twoSizes->endTime(), whole);
    EXPECT_TRUE(twoSizes->isVideoTrack());

    auto named = movieTrack("two-sizes", 1);
    EXPECT_EQ(named->underlyingTrackName(), std::optional<std::string>("Camera"));
    EXPECT_EQ(named->size(), (Size{320, 720}));
    EXPECT_EQ(twoSizes->underlyingTrackName(), std::nullopt);

    // Sound only: the movie has no picture, so only the track selection gives the end times.
    auto sound = makeModelObject<CompositionMovieTrackObject>(container());
    tracks_.push_back(sound);
    auto movieOfSound = std::make_shared<CompositionQTMovie>(entry(mediaFixture("aac-only")));
    sound->setMovie(movieOfSound);
    EXPECT_EQ(sound->movieEndTime(), 0.0);
    sound->setTrackIndex(0);
    EXPECT_NEAR(sound->movieEndTime(), 2.0, 0.05);
    EXPECT_FALSE(sound->isVideoTrack());
    EXPECT_EQ(movieOfSound->supportsPreciseTiming(), movieOfSound->supportsPreciseTiming());
}

TEST_F(MovieTrackTest, ATrackTheFileLacksIsRefused) {
    auto track = movieTrack("two-sizes", 2);
    const double end = track->endTime();
    track->setTrackIndex(3);
    EXPECT_EQ(track->trackIndex(), 2u);
    EXPECT_EQ(track->assetTrack()->type, MediaType::Audio);
    EXPECT_EQ(track->endTime(), end);

    // A replaced file without the stored track loads nothing instead of showing another track.
    const std::string path = test::scratchFolder() + "/replaced.mov";
    std::filesystem::copy_file(mediaFixture("two-sizes"), path,
                               std::filesystem::copy_options::overwrite_existing);
    auto stored = makeModelObject<CompositionMovieTrackObject>(container());
    stored->setMediaEntry(entry(path));
    stored->setTrackIndex(2);
    auto bytes = KeyedArchiver::archivedData(stored);
    ASSERT_TRUE(bytes) << bytes.error();
    stored->prepareForDeletion();
    std::filesystem::copy_file(mediaFixture("h264-360p"), path,
                               std::filesystem::copy_options::overwrite_existing);
    auto decoded = KeyedUnarchiver::unarchive<CompositionMovieTrackObject>(bytes.value());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ((*decoded)->trackIndex(), 2u);
    EXPECT_FALSE((*decoded)->loadResources());
    EXPECT_EQ((*decoded)->assetTrack(), nullptr);
}

TEST_F(MovieTrackTest, AMissingFileLoadsNothingAndKeepsTheDecodedTimes) {
    const std::string path = test::scratchFolder() + "/gone.mov";
    std::filesystem::copy_file(mediaFixture("h264-360p"), path,
                               std::filesystem::copy_options::overwrite_existing);
    auto track = makeModelObject<CompositionMovieTrackObject>(container());
    track->setMediaEntry(entry(path));
    track->setTrackIndex(0);
    track->setStartTime(2.0);
    auto bytes = KeyedArchiver::archivedData(track);
    ASSERT_TRUE(bytes) << bytes.error();
    track->prepareForDeletion();
    std::filesystem::remove(path);
    auto decoded = KeyedUnarchiver::unarchive<CompositionMovieTrackObject>(bytes.value());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_FALSE((*decoded)->loadResources());
    EXPECT_EQ((*decoded)->startTime(), 2.0);
    EXPECT_EQ((*decoded)->assetTrack(), nullptr);
}

TEST_F(MovieTrackTest, ACopyHasItsOwnMovieAndCountsOneUse) {
    auto track = movieTrack("h264-360p");
    const auto mediaEntry = track->mediaEntry();
    EXPECT_EQ(mediaEntry->usageCounter(), 1u);
    track->setMovieStartTimeMovieEndTime(0.5, 4.0);
    auto copy = std::dynamic_pointer_cast<CompositionMovieTrackObject>(track->copy());
    ASSERT_TRUE(copy);
    tracks_.push_back(copy);
    EXPECT_NE(copy->qtMovieWrapper(), track->qtMovieWrapper());
    EXPECT_EQ(copy->mediaEntry(), mediaEntry);
    EXPECT_EQ(mediaEntry->usageCounter(), 2u);
    EXPECT_EQ(copy->movieStartTime(), 0.5);
    EXPECT_EQ(copy->movieEndTime(), 4.0);
    copy->prepareForDeletion();
    EXPECT_EQ(mediaEntry->usageCounter(), 1u);
    copy->awakeAfterUndelete();
    EXPECT_EQ(mediaEntry->usageCounter(), 2u);
}

TEST_F(MovieTrackTest, ThePictureIsFittedIntoTheCanvasCentred) {
    container()->setCanvasSize(Size{1280, 720});
    auto wide = movieTrack("h264-1080p");
    wide->setNoneAnimationStateFromTrackMatrix();
    auto rectOf = [](const CompositionMovieTrackObject& track) {
        return std::static_pointer_cast<CompositionRectangularState>(track.noneAnimationState())->rect();
    };
    EXPECT_EQ(rectOf(*wide), Rect(0, 0, 1280, 720));

    auto narrow = movieTrack("h264-360p");
    narrow->setMovieStartTimeMovieEndTime(1.0, 3.0);
    narrow->setOverrideSize(Size{640, 480});
    EXPECT_EQ(rectOf(*narrow), Rect(160, 0, 960, 720));
    EXPECT_EQ(narrow->originalSize(), (Size{640, 480}));
    EXPECT_EQ(narrow->movieStartTime(), 1.0) << "the override keeps the times";
    EXPECT_EQ(narrow->movieEndTime(), 3.0);
    EXPECT_EQ(narrow->imageAtTime(1.0).width(), 640u) << "still images come at the override size";
    EXPECT_EQ(narrow->imageAtTime(1.0).height(), 480u);
}

TEST_F(MovieTrackTest, ThePreparationStampChangesOnEveryCall) {
    auto track = movieTrack("h264-360p");
    track->prepareForPlayBackAtTime(3.0);
    EXPECT_EQ(track->timePlayersNeedToBePreparedFor(), 3.0);
    track->prepareForPlayBackAtTime(3.0);
    EXPECT_EQ(track->timePlayersNeedToBePreparedFor(), -3.0);
    track->prepareForPlayBackAtTime(3.0);
    EXPECT_EQ(track->timePlayersNeedToBePreparedFor(), 3.0);
}

VideoFrame syntheticMovieFrame(std::int64_t value600) {
    return VideoFrame{BitmapImage(1, 1), MediaTime{value600, 600}, MediaTime{6, 600}};
}

TEST(MovieExportReader, AnswersWithTheNearerOfTheTwoPictures) {
    struct Case {
        std::vector<std::int64_t> frames600; // picture times
        std::vector<double> asked;           // increasing
        std::vector<std::int64_t> expected600;
    };
    const Case cases[] = {
        {{300, 318}, {0.51}, {300}},  // 0.50 and 0.53 s: the nearer earlier one
        {{600, 1200}, {1.5}, {1200}}, // a tie goes to the later picture
        {{0, 20, 40}, {0.0, 0.02, 0.05}, {0, 20, 40}},
        {{0, 20, 40}, {0.2, 5.0}, {40, 40}}, // past the last picture: the last one
        {{300, 318}, {0.1}, {300}},          // before the first picture: the first
    };
    for (const Case& c : cases) {
        std::size_t next = 0;
        VTL3AssetTrackSequentialBufferReader reader([&]() -> Result<std::optional<VideoFrame>> {
            if (next >= c.frames600.size()) return std::optional<VideoFrame>();
            return std::optional<VideoFrame>(syntheticMovieFrame(c.frames600[next++]));
        });
        reader.beginReading();
        for (std::size_t i = 0; i < c.asked.size(); ++i) {
            const VideoFrame* frame = reader.copyPixelBufferAtTime(c.asked[i]);
            ASSERT_TRUE(frame) << c.asked[i];
            EXPECT_EQ(frame->time.value, c.expected600[i]) << c.asked[i];
        }
    }
    VTL3AssetTrackSequentialBufferReader empty(
        []() -> Result<std::optional<VideoFrame>> { return std::optional<VideoFrame>(); });
    empty.beginReading();
    EXPECT_EQ(empty.copyPixelBufferAtTime(1.0), nullptr);
}

// Frames number `indexes` of the 360p clip (30 fps from 0) as the ffmpeg tool decodes them.
std::map<int, std::vector<std::uint8_t>> movieReferenceFrames(const std::vector<int>& indexes) {
    auto frames = test::referenceFrames(mediaFixture("h264-360p"), indexes, 640, 360, "bt601");
    std::map<int, std::vector<std::uint8_t>> byIndex;
    for (std::size_t i = 0; i < indexes.size() && i < frames.size(); ++i)
        byIndex[indexes[i]] = frames[i];
    return byIndex;
}

void expectMovieFrame(const BitmapImage& image, const std::vector<std::uint8_t>& reference,
                      const std::string& what) {
    ASSERT_EQ(image.width(), 640u) << what;
    ASSERT_EQ(image.height(), 360u) << what;
    ASSERT_EQ(reference.size(), 640u * 360u * 4u) << what;
    EXPECT_LE(test::largestChannelDifference(image.data(), reference.data(), 640u * 360u), 2) << what;
}

TEST_F(MovieTrackTest, ScrubbingGivesTheExactFrameAndThenTheCache) {
    auto track = movieTrack("h264-360p");
    track->setStartTime(10.0);
    // Media times: 0, a frame start, mid-frame, the last frame, past the end (the last frame).
    struct Case {
        double mediaSeconds;
        int frame;
    };
    const Case cases[] = {{0.0, 0}, {1.0, 30}, {2.0 + 0.5 / 30, 60}, {179.5 / 30, 179}, {0.5 / 30, 0}};
    const auto reference = movieReferenceFrames({0, 30, 60, 179});
    MovieTestRenderer renderer;
    for (const Case& c : cases) {
        const std::string what = "scrub at " + std::to_string(c.mediaSeconds);
        // The first request seeks the renderer's player (showing the last picture meanwhile).
        MovieTrackFrame frame =
            track->createImageAtTime(10.0 + c.mediaSeconds, MovieFrameUse::Scrubbing, renderer);
        ASSERT_FALSE(frame.image.isEmpty()) << what;
        auto* context = renderer.movieContextForObject(*track);
        ASSERT_TRUE(context && context->player());
        ASSERT_TRUE(waitOnMainLoop([&] { return context->player()->isReady(); }, 10)) << what;
        frame = track->createImageAtTime(10.0 + c.mediaSeconds, MovieFrameUse::Scrubbing, renderer);
        expectMovieFrame(frame.image, reference.at(c.frame), what);
        if (std::fmod(c.mediaSeconds * 30, 1.0) != 0.0) continue;
        // At a frame's start the key of the request is the frame's: the cache answers.
        const int cachedBefore = renderer.imagesCached;
        MovieTrackFrame again =
            track->createImageAtTime(10.0 + c.mediaSeconds, MovieFrameUse::Scrubbing, renderer);
        EXPECT_EQ(again.image.data(), frame.image.data()) << what;
        EXPECT_EQ(renderer.imagesCached, cachedBefore) << what;
    }
    EXPECT_EQ(renderer.contextsMade, 1) << "one context per renderer and track";

    // The seek's end asks for the track to be drawn again on the main queue; the player's
    // picture is then the one handed out.
    bool invalidated = false;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "objectChanged", nullptr, [&](const Notification&) { invalidated = true; });
    track->createImageAtTime(10.0 + 1.5, MovieFrameUse::Scrubbing, renderer);
    EXPECT_TRUE(waitOnMainLoop([&] { return invalidated; }, 10));
    NotificationCenter::defaultCenter().removeObserver(token);
    const auto atHalf = movieReferenceFrames({45});
    expectMovieFrame(track->createImageAtTime(10.0 + 1.5, MovieFrameUse::Scrubbing, renderer).image,
                     atHalf.at(45), "after the seek");

    // A scale enters the key and is handed to the renderer to apply.
    MovieTrackFrame scaled =
        track->createImageAtTime(10.0 + 1.5, MovieFrameUse::Scrubbing, renderer, 2.0, 1.0);
    EXPECT_EQ(scaled.xScale, 2.0);
    EXPECT_EQ(scaled.yScale, 1.0);
    EXPECT_FALSE(scaled.image.isEmpty());
}

TEST_F(MovieTrackTest, PlaybackNeverWaitsAndGivesThePlayersFrame) {
    auto track = movieTrack("h264-360p");
    MovieTestRenderer renderer;
    track->createImageAtTime(2.0, MovieFrameUse::Playback, renderer);
    auto* context = renderer.movieContextForObject(*track);
    ASSERT_TRUE(context && context->player());
    EXPECT_TRUE(context->playerPlaying());
    ASSERT_TRUE(waitOnMainLoop([&] { return context->player()->isReady(); }, 10));
    const MediaTime now = context->player()->currentTime();
    MovieTrackFrame frame = track->createImageAtTime(now.seconds(), MovieFrameUse::Playback, renderer);
    const int index = static_cast<int>(std::floor(now.seconds() * 30 + 1e-9));
    expectMovieFrame(frame.image, movieReferenceFrames({index}).at(index), "playing");

    // A new preparation stamp stops the playing context; the next frame starts it again.
    track->prepareForPlayBackAtTime(4.0);
    track->createImageAtTime(4.0, MovieFrameUse::Scrubbing, renderer);
    EXPECT_FALSE(context->playerPlaying());
    EXPECT_EQ(context->preparedForTime(), 4.0);
}

TEST_F(MovieTrackTest, ExportReadsEachFrameOnceInOrder) {
    auto track = movieTrack("h264-360p");
    MovieTestRenderer renderer;
    track->beginExport();
    const std::vector<int> indexes = {0, 1, 2, 45, 46, 179};
    const auto reference = movieReferenceFrames(indexes);
    for (int index : indexes) {
        MovieTrackFrame frame = track->createImageAtTime(index / 30.0, MovieFrameUse::Export, renderer);
        expectMovieFrame(frame.image, reference.at(index), "export " + std::to_string(index));
    }
    EXPECT_EQ(renderer.imagesCached, 0) << "export frames are not cached";
    track->endExport();
}

TEST(MovieThumbnails, TheScheduleKeepsIndexEqualToThreeTimesTheTime) {
    struct Case {
        double seconds;
        double spacing;
        std::size_t copies, total, requested;
    };
    const Case cases[] = {
        {10.0, 1.0 / 3, 1, 30, 30},
        {10.1, 1.0 / 3, 1, 31, 31},
        {1800.0, 1.0 / 3, 1, 5400, 5400},
        {1800.5, 2.0 / 3, 2, 2701, 2701},
        {3600.0, 2.0 / 3, 2, 5400, 5400},
        {7200.0, 4.0 / 3, 4, 5400, 5400},
        {0.0, 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        const ThumbnailSchedule schedule = thumbnailSchedule(c.seconds);
        EXPECT_NEAR(schedule.spacingSeconds, c.spacing, 1e-12) << c.seconds;
        EXPECT_EQ(schedule.copiesPerImage, c.copies) << c.seconds;
        EXPECT_EQ(schedule.total, c.total) << c.seconds;
        ASSERT_EQ(schedule.times.size(), c.requested) << c.seconds;
        for (std::size_t i = 0; i < schedule.times.size(); i += 97) {
            EXPECT_EQ(schedule.times[i].timeScale, kThumbnailTimeScale);
            // The picture for slot i × copies is at (never before) that slot's time.
            EXPECT_GE(schedule.times[i].seconds() * 3, static_cast<double>(i * c.copies)) << c.seconds;
            EXPECT_EQ(thumbnailIndexAtTime(schedule.times[i].seconds() + 1.0 / 6), i * c.copies) << c.seconds;
        }
    }
    EXPECT_TRUE(thumbnailSchedule(std::nan("")).times.empty());

    struct SizeCase {
        double width, height;
        int thumbWidth, thumbHeight;
    };
    const SizeCase sizes[] = {{1920, 1080, 235, 132}, {640, 480, 176, 132}, {320, 720, 59, 132},
                              {0, 480, 0, 0},         {640, 0, 0, 0},       {100000, 1, 0, 0}};
    for (const SizeCase& s : sizes) {
        const ThumbnailSize size = thumbnailSizeForPicture(s.width, s.height);
        EXPECT_EQ(size.width, s.thumbWidth) << s.width << "x" << s.height;
        EXPECT_EQ(size.height, s.thumbHeight) << s.width << "x" << s.height;
    }
}

TEST(MovieThumbnails, TheStripStartsAtAWholeThumbnailAndShowsTheScrubbedFrameInItsSlot) {
    const Size thumb{176, 132};
    // A clip 66 high draws thumbnails of 88 × 66; at 88 pixels a second each covers one second.
    auto placements = thumbnailPlacements(Size{400, 66}, 0.0, 88.0, Point{0, 5}, 0.0, thumb, 30);
    ASSERT_GE(placements.size(), 5u);
    EXPECT_EQ(placements[0].rect, Rect(0, 5, 88, 66));
    EXPECT_EQ(placements[1].index, 3u);
    EXPECT_EQ(placements[1].rect, Rect(88, 5, 88, 66));
    EXPECT_LE(placements.back().rect.origin.x, 400 + 88) << "stops one thumbnail past the right edge";

    auto scrubbed = thumbnailPlacements(Size{400, 66}, 0.0, 88.0, Point{0, 5}, 2.5, thumb, 30);
    ASSERT_EQ(scrubbed.size(), placements.size());
    for (std::size_t k = 0; k < scrubbed.size(); ++k)
        EXPECT_EQ(scrubbed[k].index, k == 2 ? 7u : placements[k].index) << k;

    // An origin inside a thumbnail snaps back to its start; past the thumbnails nothing is drawn.
    auto shifted = thumbnailPlacements(Size{400, 66}, 0.0, 88.0, Point{200, 0}, 0.0, thumb, 30);
    EXPECT_EQ(shifted[0].rect.origin.x, 176.0);
    EXPECT_TRUE(thumbnailPlacements(Size{400, 66}, 20.0, 88.0, Point{0, 0}, 0.0, thumb, 30).empty());
    EXPECT_TRUE(thumbnailPlacements(Size{400, 66}, 0.0, 88.0, Point{0, 0}, 0.0, thumb, 0).empty());
}

TEST_F(MovieTrackTest, AThumbnailRunMakesEveryThumbnailAndHandsThemToCopies) {
    auto track = movieTrack("h264-360p");
    container()->addObject(track);
    auto early = std::dynamic_pointer_cast<CompositionMovieTrackObject>(track->copy());
    ASSERT_TRUE(early);
    tracks_.push_back(early);

    int partials = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        kThumbnailsPartiallyGeneratedNotification, container(), [&](const Notification&) { ++partials; });
    track->generateThumbnails();
    EXPECT_EQ(CompositionTrackObject::currentlyExtractingTrack(), track);
    auto other = movieTrack("h264-1080p");
    other->generateThumbnails();
    EXPECT_FALSE(other->previewThumbnailsGenerated()) << "one track extracts at a time";

    ASSERT_TRUE(
        waitOnMainLoop([&] { return CompositionTrackObject::currentlyExtractingTrack() != track; }, 60));
    NotificationCenter::defaultCenter().removeObserver(token);
    ASSERT_TRUE(track->previewThumbnailsGenerated());
    auto thumbnails = track->previewThumbnails();
    ASSERT_TRUE(thumbnails);
    ASSERT_EQ(thumbnails->size(), 18u);
    EXPECT_GE(partials, 2) << "a partial list with the first picture, then the whole";
    EXPECT_EQ(track->currentBitmapImageSize(), (Size{235, 132}));

    VideoDecodeOptions options;
    options.outputWidthPixels = 235;
    options.outputHeightPixels = 132;
    auto generator = MediaImageGenerator::create(track->assetMovie(), 0, options);
    ASSERT_TRUE(generator) << generator.error();
    for (std::size_t i : {0u, 1u, 9u, 17u}) {
        auto expected = (*generator)->imageAtTime(MediaTime{static_cast<std::int64_t>(i), 3});
        ASSERT_TRUE(expected);
        const BitmapImage& thumb = (*thumbnails)[i];
        ASSERT_EQ(thumb.byteCount(), expected->image.byteCount()) << i;
        EXPECT_TRUE(std::equal(thumb.data(), thumb.data() + thumb.byteCount(), expected->image.data())) << i;
    }
    std::size_t index = 0;
    EXPECT_TRUE(track->thumbAtTime(100.0, &index).isEmpty());
    EXPECT_EQ(index, 300u) << "the index is written even past the end";
    EXPECT_EQ(track->thumbAtTime(1.4).data(), (*thumbnails)[4].data());

    auto copied = early->previewThumbnails();
    ASSERT_TRUE(copied) << "a copy made before the run gets its thumbnails";
    ASSERT_EQ(copied->size(), thumbnails->size());
    EXPECT_EQ((*copied)[5].data(), (*thumbnails)[5].data());

    // Thumbnails travel in the archive.
    track->setOverrideSize(Size{320, 180});
    auto bytes = KeyedArchiver::archivedData(track);
    ASSERT_TRUE(bytes) << bytes.error();
    auto decoded = KeyedUnarchiver::unarchive<CompositionMovieTrackObject>(bytes.value());
    ASSERT_TRUE(decoded) << decoded.error();
    ASSERT_TRUE((*decoded)->previewThumbnailsGenerated());
    auto decodedThumbnails = (*decoded)->previewThumbnails();
    ASSERT_TRUE(decodedThumbnails);
    ASSERT_EQ(decodedThumbnails->size(), 18u);
    for (std::size_t i = 0; i < 18; ++i) {
        const BitmapImage& a = (*thumbnails)[i];
        const BitmapImage& b = (*decodedThumbnails)[i];
        ASSERT_EQ(a.byteCount(), b.byteCount());
        EXPECT_EQ(test::largestChannelDifference(a.data(), b.data(), a.width() * a.height()), 0) << i;
    }
}

TEST_F(MovieTrackTest, DeletingAnExtractingTrackStopsItsRun) {
    auto track = movieTrack("h264-1080p");
    container()->addObject(track);
    track->generateThumbnails();
    ASSERT_EQ(CompositionTrackObject::currentlyExtractingTrack(), track);
    track->prepareForDeletion();
    EXPECT_FALSE(CompositionTrackObject::currentlyExtractingTrack());
    track->generateThumbnails();
    EXPECT_FALSE(CompositionTrackObject::currentlyExtractingTrack()) << "a deleted track starts no run";
    // Brought back by undo, it makes its thumbnails again.
    track->awakeAfterUndelete();
    track->generateThumbnails();
    EXPECT_EQ(CompositionTrackObject::currentlyExtractingTrack(), track);
}

TEST_F(MovieTrackTest, TheOverrideSizeAndStyleTravelInTheArchive) {
    auto track = movieTrack("h264-360p");
    track->setOverrideSize(Size{320, 180});
    // A slot whose picture could not be made stays a slot.
    BitmapImage small(4, 3);
    for (std::size_t i = 3; i < small.byteCount(); i += 4)
        small.mutableData()[i] = 255; // opaque, as decoded
    small.mutableData()[0] = 200;
    track->setPreviewThumbnails({small, BitmapImage(), small});
    auto bytes = KeyedArchiver::archivedData(track);
    ASSERT_TRUE(bytes) << bytes.error();
    if (const char* seed = std::getenv("MOVIE_TRACK_ARCHIVE_SEED")) test::writeFileBytes(seed, bytes.value());
    auto decoded = KeyedUnarchiver::unarchive<CompositionMovieTrackObject>(bytes.value());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_FALSE((*decoded)->assetTrack()) << "nothing is opened before loadResources";
    ASSERT_TRUE((*decoded)->loadResources());
    EXPECT_TRUE((*decoded)->hasOverrideSize());
    EXPECT_EQ((*decoded)->originalSize(), (Size{320, 180}));
    EXPECT_EQ((*decoded)->endTime(), track->endTime());
    EXPECT_TRUE((*decoded)->previewThumbnailsGenerated());
    auto thumbnails = (*decoded)->previewThumbnails();
    ASSERT_TRUE(thumbnails);
    ASSERT_EQ(thumbnails->size(), 3u);
    EXPECT_TRUE((*thumbnails)[1].isEmpty());
    EXPECT_EQ((*thumbnails)[2].pixelAt(0, 0) & 0xFF, 200u);
    EXPECT_EQ((*decoded)->currentBitmapImageSize(), (Size{4, 3}));
}

} // namespace
} // namespace vtl

namespace vtl {
namespace {

// Damaged files give a track without pictures or with the pictures that can be read, never a crash.
TEST_F(MovieTrackTest, DamagedFilesGiveNoPicturesAndNoCrash) {
    const std::vector<std::uint8_t> whole = test::readFileBytes(mediaFixture("h264-360p"));
    struct Case {
        const char* name;
        std::size_t keepBytes;
    };
    const Case cases[] = {{"half", whole.size() / 2}, {"header-only", 64}, {"empty", 0}};
    for (const Case& c : cases) {
        const std::string path = test::scratchFolder() + "/damaged-" + c.name + ".mov";
        test::writeFileBytes(path, std::vector<std::uint8_t>(whole.begin(), whole.begin() + c.keepBytes));
        auto track = makeModelObject<CompositionMovieTrackObject>(container());
        tracks_.push_back(track);
        track->setMediaEntry(entry(path));
        track->setTrackIndex(0);
        MovieTestRenderer renderer;
        for (MovieFrameUse use : {MovieFrameUse::Scrubbing, MovieFrameUse::Playback, MovieFrameUse::Export}) {
            if (use == MovieFrameUse::Export) track->beginExport();
            for (double t : {0.0, 1.0, 5.9, 100.0}) {
                MovieTrackFrame frame = track->createImageAtTime(t, use, renderer);
                if (!frame.image.isEmpty()) {
                    EXPECT_EQ(frame.image.width(), 640u) << c.name;
                }
            }
            if (use == MovieFrameUse::Export) track->endExport();
        }
        (void)track->imageAtTime(2.0);
        track->generateThumbnails();
        EXPECT_TRUE(waitOnMainLoop([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 30))
            << c.name;
        EXPECT_TRUE(track->previewThumbnailsGenerated()) << c.name << ": the queue moves on";
    }
}

} // namespace
} // namespace vtl

namespace vtl {
namespace {

// Pictures start at 1.5 s while the file (its sound) starts at 0: the thumbnails before 1.5 s
// cannot be made, and their slots stay empty so that every later thumbnail keeps its time.
TEST_F(MovieTrackTest, ThumbnailsThatCannotBeMadeKeepTheirSlots) {
    auto track = movieTrack("late-video");
    ASSERT_TRUE(track->isVideoTrack());
    track->generateThumbnails();
    ASSERT_TRUE(waitOnMainLoop([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 60));
    auto thumbnails = track->previewThumbnails();
    ASSERT_TRUE(thumbnails);
    ASSERT_EQ(thumbnails->size(), 11u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_TRUE((*thumbnails)[i].isEmpty()) << i;
    VideoDecodeOptions options;
    options.outputWidthPixels = 176;
    options.outputHeightPixels = 132;
    auto generator = MediaImageGenerator::create(track->assetMovie(), 0, options);
    ASSERT_TRUE(generator) << generator.error();
    for (std::size_t i = 5; i < 11; ++i) {
        const BitmapImage& thumb = (*thumbnails)[i];
        auto expected = (*generator)->imageAtTime(MediaTime{static_cast<std::int64_t>(i), 3});
        ASSERT_TRUE(expected) << i;
        ASSERT_EQ(thumb.byteCount(), expected->image.byteCount()) << i;
        EXPECT_TRUE(std::equal(thumb.data(), thumb.data() + thumb.byteCount(), expected->image.data())) << i;
    }
    EXPECT_EQ(track->currentBitmapImageSize(), (Size{176, 132}));
}

} // namespace
} // namespace vtl
