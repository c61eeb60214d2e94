// The picture for a time is the frame whose display interval holds it, through the sequential
// reader, the image generator and (in PlaybackContextTest) the playback context, compared with
// what the ffmpeg tool decodes for the same frame number.

#include "MediaFixtures.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaFrameReader.h"
#include "platform/media/MediaImageGenerator.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <random>
#include <thread>

using namespace vtl;
using namespace vtl::test;

namespace {

constexpr int beforeFirst = -1;
constexpr int pastEnd = -2;

struct Clip {
    std::string fixture;
    int width, height;
    int framesPerSecond;
    int frameCount;
    MediaTime firstFrame; // media time of frame 0
    std::string matrix;   // what our conversion uses for this clip
};

const Clip clips[] = {
    {"h264-1080p", 1920, 1080, 30, 60, MediaTime::zero(), "bt709"},
    {"h264-360p", 640, 360, 30, 180, MediaTime::zero(), "bt601"},
    {"prores422", 640, 360, 25, 25, MediaTime::zero(), "bt601"},
    {"late-video", 320, 240, 30, 60, MediaTime{900, 600}, "bt601"},
    {"offset-start", 320, 240, 30, 60, MediaTime::zero(), "bt601"},
};

struct Probe {
    std::string label;
    MediaTime time;
    int expectedFrame;
};

// Times that name frames in every way the rule distinguishes: the start, frame starts, inside a
// frame, just before the next, the last frame, its end and beyond.
std::vector<Probe> probesFor(const Clip& clip) {
    const std::int64_t frame600 = 600 / clip.framesPerSecond; // 20 at 30 fps, 24 at 25 fps
    const std::int64_t first = clip.firstFrame.convertedToScale(600).value;
    const int last = clip.frameCount - 1;
    auto at = [&](std::int64_t value600) { return MediaTime{value600, 600}; };
    std::vector<Probe> probes = {
        {"first frame start", at(first), 0},
        {"inside the first frame", at(first + frame600 / 2), 0},
        {"one tick before frame 1", MediaTime{(first + frame600) * 25 - 1, 15000}, 0},
        {"frame 1 start", at(first + frame600), 1},
        {"frame 7 middle", at(first + 7 * frame600 + frame600 / 2), 7},
        {"frame 13 start", at(first + 13 * frame600), 13},
        {"last frame start", at(first + last * frame600), last},
        {"inside the last frame", at(first + last * frame600 + frame600 / 2), last},
        {"end of the last frame", at(first + clip.frameCount * frame600), pastEnd},
        {"a second past the end", at(first + clip.frameCount * frame600 + 600), pastEnd},
    };
    if (first > 0) {
        probes.push_back({"media time 0 before the first frame", MediaTime::zero(), beforeFirst});
        probes.push_back({"just before the first frame", at(first - 1), beforeFirst});
    }
    return probes;
}

// Reference pictures by frame number, made once per clip.
class References {
public:
    explicit References(const Clip& clip)
        : clip_(clip)
        , path_(mediaFixture(clip.fixture)) {
        std::vector<int> wanted;
        for (const Probe& probe : probesFor(clip))
            if (probe.expectedFrame >= 0) wanted.push_back(probe.expectedFrame);
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        auto frames = referenceFrames(path_, wanted, clip.width, clip.height, clip.matrix);
        EXPECT_EQ(frames.size(), wanted.size()) << clip.fixture;
        for (std::size_t i = 0; i < std::min(frames.size(), wanted.size()); ++i)
            byIndex_[wanted[i]] = frames[i];
    }
    const std::string& path() const { return path_; }

    void expectPicture(const VideoFrame& frame, int index) const {
        ASSERT_EQ(frame.image.width(), static_cast<std::size_t>(clip_.width));
        ASSERT_EQ(frame.image.height(), static_cast<std::size_t>(clip_.height));
        const auto found = byIndex_.find(index);
        ASSERT_NE(found, byIndex_.end());
        ASSERT_EQ(frame.image.bytesPerRow(), static_cast<std::size_t>(clip_.width) * 4);
        EXPECT_LE(largestChannelDifference(frame.image.data(), found->second.data(),
                                           static_cast<std::size_t>(clip_.width) * clip_.height),
                  2)
            << "frame " << index;
    }

    MediaTime startOf(int index) const {
        return MediaTime{clip_.firstFrame.convertedToScale(600).value + index * (600 / clip_.framesPerSecond),
                         600};
    }

private:
    const Clip& clip_;
    std::string path_;
    std::map<int, std::vector<std::uint8_t>> byIndex_;
};

class FrameExactness : public ::testing::TestWithParam<Clip> {};

} // namespace

TEST_P(FrameExactness, GeneratorGivesTheFrameWhoseIntervalHoldsTheTime) {
    const Clip& clip = GetParam();
    References references(clip);
    auto asset = MediaAsset::open(references.path());
    ASSERT_TRUE(asset.ok()) << asset.error();
    const std::size_t track = (*asset)->trackIndexes(MediaType::Video).at(0);
    auto generator = MediaImageGenerator::create(*asset, track);
    ASSERT_TRUE(generator.ok()) << generator.error();

    // In increasing order, then shuffled (seeks back and forth give the same answers).
    std::vector<Probe> probes = probesFor(clip);
    std::vector<Probe> shuffled = probes;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    probes.insert(probes.end(), shuffled.begin(), shuffled.end());
    for (const Probe& probe : probes) {
        SCOPED_TRACE(probe.label);
        auto frame = (*generator)->imageAtTime(probe.time);
        if (probe.expectedFrame < 0) {
            ASSERT_FALSE(frame.ok());
            EXPECT_NE(frame.error().find(probe.expectedFrame == pastEnd ? "past the end" : "before"),
                      std::string::npos)
                << frame.error();
            continue;
        }
        ASSERT_TRUE(frame.ok()) << frame.error();
        EXPECT_EQ(frame->time, references.startOf(probe.expectedFrame));
        EXPECT_EQ(frame->duration, (MediaTime{600 / clip.framesPerSecond, 600}));
        references.expectPicture(*frame, probe.expectedFrame);
    }
}

TEST_P(FrameExactness, SequentialReaderGivesEveryFrameOnceInOrder) {
    const Clip& clip = GetParam();
    References references(clip);
    auto asset = MediaAsset::open(references.path());
    ASSERT_TRUE(asset.ok()) << asset.error();
    auto reader = MediaFrameReader::open(*asset, (*asset)->trackIndexes(MediaType::Video).at(0));
    ASSERT_TRUE(reader.ok()) << reader.error();
    std::vector<int> checked;
    for (const Probe& probe : probesFor(clip))
        if (probe.expectedFrame >= 0) checked.push_back(probe.expectedFrame);
    int index = 0;
    for (;; ++index) {
        auto frame = (*reader)->nextFrame();
        ASSERT_TRUE(frame.ok()) << frame.error();
        if (!*frame) break;
        ASSERT_EQ((*frame)->time, references.startOf(index)) << "frame " << index;
        if (std::find(checked.begin(), checked.end(), index) != checked.end())
            references.expectPicture(**frame, index);
    }
    EXPECT_EQ(index, clip.frameCount);

    // Positioned by time, the reader continues from the frame the rule names.
    for (const Probe& probe : probesFor(clip)) {
        SCOPED_TRACE(probe.label);
        ASSERT_TRUE((*reader)->seek(probe.time).ok());
        auto frame = (*reader)->nextFrame();
        ASSERT_TRUE(frame.ok()) << frame.error();
        if (probe.expectedFrame == pastEnd) {
            EXPECT_FALSE(*frame);
            continue;
        }
        ASSERT_TRUE(*frame);
        const int expected = probe.expectedFrame == beforeFirst ? 0 : probe.expectedFrame;
        EXPECT_EQ((*frame)->time, references.startOf(expected));
        references.expectPicture(**frame, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, FrameExactness, ::testing::ValuesIn(clips),
                         [](const ::testing::TestParamInfo<Clip>& info) {
                             std::string name = info.param.fixture;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ImageGenerator, ForwardTargetsInsideTheGopDecodeForwardAndFarOnesSeek) {
    // 30 fps, a key frame every second.
    auto asset = MediaAsset::open(mediaFixture("h264-360p"));
    ASSERT_TRUE(asset.ok()) << asset.error();
    VideoDecodeOptions options;
    options.threadCount = 1; // the decoder then holds no pictures in flight, so counts are exact
    auto generator = MediaImageGenerator::create(*asset, 0, options);
    ASSERT_TRUE(generator.ok()) << generator.error();
    MediaImageGenerator& g = **generator;

    struct Step {
        std::string label;
        double seconds;
        bool seeks;
        int maximumDecodes;
    };
    const Step steps[] = {
        {"first request", 0.5, true, 17},
        {"one frame forward", 0.5 + 1.0 / 30, false, 3},
        {"the same frame again", 0.5 + 1.0 / 30, false, 0},
        {"later in the same GOP", 0.9, false, 13},
        {"past the next key frame", 2.5, true, 17},
        {"backwards", 1.2, true, 8},
        {"one frame forward again", 1.2 + 1.0 / 30, false, 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        const int seeksBefore = g.seekCount();
        const int decodesBefore = g.decodeCount();
        auto frame = g.imageAtTime(MediaTime::fromSeconds(step.seconds, 30000));
        ASSERT_TRUE(frame.ok()) << frame.error();
        EXPECT_EQ(g.seekCount() > seeksBefore, step.seeks);
        EXPECT_LE(g.decodeCount() - decodesBefore, step.maximumDecodes);
    }
}

TEST(ImageGenerator, SortedTimesCostAboutOneSequentialDecode) {
    auto asset = MediaAsset::open(mediaFixture("h264-360p"));
    ASSERT_TRUE(asset.ok()) << asset.error();
    VideoDecodeOptions options;
    options.threadCount = 1;
    options.outputWidthPixels = 235;
    options.outputHeightPixels = 132;
    auto generator = MediaImageGenerator::create(*asset, 0, options);
    ASSERT_TRUE(generator.ok()) << generator.error();

    // Thumbnails every third of a second along 6 s.
    std::vector<MediaTime> times;
    for (int i = 0; i * 200 < 3600; ++i)
        times.push_back(MediaTime{i * 200, 600});
    std::mutex mutex;
    std::vector<GeneratedImage> images;
    std::atomic<bool> done{false};
    (*generator)->generateImagesAsynchronously(times, [&](GeneratedImage image) {
        std::lock_guard lock(mutex);
        images.push_back(std::move(image));
        if (images.size() == 18) done = true;
    });
    for (int i = 0; i < 2000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(done);
    std::lock_guard lock(mutex);
    for (std::size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(images[i].status, ImageGenerationStatus::Succeeded) << images[i].error;
        EXPECT_EQ(images[i].requestedTime, times[i]);
        EXPECT_EQ(images[i].frame.time, times[i]);
        EXPECT_EQ(images[i].frame.image.width(), 235u);
        EXPECT_EQ(images[i].frame.image.height(), 132u);
    }
    // 180 frames in 6 GOPs: at most one seek per GOP, and hardly a picture decoded twice.
    EXPECT_LE((*generator)->seekCount(), 6);
    EXPECT_LE((*generator)->decodeCount(), 180 + 2 * (*generator)->seekCount());
}

TEST(ImageGenerator, CancellingReportsTheRestAsCancelled) {
    auto asset = MediaAsset::open(mediaFixture("h264-360p"));
    ASSERT_TRUE(asset.ok()) << asset.error();
    auto generator = MediaImageGenerator::create(*asset, 0);
    ASSERT_TRUE(generator.ok()) << generator.error();
    std::vector<MediaTime> times;
    for (int i = 0; i < 18; ++i)
        times.push_back(MediaTime{i * 200, 600});
    std::mutex mutex;
    std::vector<ImageGenerationStatus> statuses;
    std::atomic<int> handled{0};
    (*generator)->generateImagesAsynchronously(times, [&](GeneratedImage image) {
        {
            std::lock_guard lock(mutex);
            statuses.push_back(image.status);
        }
        if (++handled == 2) (*generator)->cancelAllImageGeneration();
    });
    for (int i = 0; i < 2000 && handled < 18; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(handled.load(), 18);
    std::lock_guard lock(mutex);
    EXPECT_EQ(statuses[0], ImageGenerationStatus::Succeeded);
    EXPECT_EQ(statuses[1], ImageGenerationStatus::Succeeded);
    for (std::size_t i = 2; i < statuses.size(); ++i)
        EXPECT_EQ(statuses[i], ImageGenerationStatus::Cancelled);
}
