// Waveforms: the peak and height arithmetic, the band drawn for a span, the archived arrays, and
// the background extraction over sound files made by the ffmpeg tool (with playback interrupting
// it, cancelling and deleting tracks).

#include "tracks/AudioWaveform.h"

#include "AudioTrackSupport.h"
#include "model/CompositionExtractionQueues.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GraphicsContext.h"

#include <cmath>

namespace vtl {
namespace {

using namespace waveform;

TEST(AudioWaveform, PeaksAreTheSignedSamplesOfLargestMagnitudePerBlock) {
    struct Case {
        const char* name;
        std::vector<float> samples;
        std::vector<float> peaks;
    };
    std::vector<float> twoBlocks(445, 0.1f);
    twoBlocks[3] = -0.7f;
    twoBlocks[442] = 0.3f;
    std::vector<float> withNaN(440, 0.2f);
    withNaN[5] = std::nanf("");
    const Case cases[] = {
        {"negative wins by magnitude", {0.2f, -0.6f, 0.4f}, {-0.6f}},
        {"445 frames: the second block has 5", twoBlocks, {-0.7f, 0.3f}},
        {"silence", std::vector<float>(880, 0.0f), {0.0f, 0.0f}},
        {"NaN counts as silence", withNaN, {0.2f}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(peaksOfSamples(c.samples), c.peaks);
        // Fed in pieces that straddle the blocks, as a decode delivers them.
        PeakAccumulator pieces;
        for (std::size_t at = 0; at < c.samples.size(); at += 173)
            pieces.add(std::span<const float>(c.samples).subspan(
                at, std::min<std::size_t>(173, c.samples.size() - at)));
        EXPECT_EQ(pieces.finish(), c.peaks);
    }
}

TEST(AudioWaveform, RescalingGivesHeightsFromTheLoudestPeak) {
    const Scaled scaled = rescale(std::vector<float>{0.2f, -0.6f, 0.4f}, 0.95f);
    EXPECT_NEAR(scaled.maxExtent, 0.57f, 1e-6);
    EXPECT_NEAR(scaled.minExtent, -0.57f, 1e-6);
    ASSERT_EQ(scaled.extents.size(), 3u);
    EXPECT_NEAR(scaled.extents[0], 0.263, 1e-3);
    EXPECT_NEAR(scaled.extents[1], 0.789, 1e-3);
    EXPECT_NEAR(scaled.extents[2], 0.526, 1e-3);

    // Silence has no finite factor: heights of 0, no NaN, and so no band.
    const Scaled silent = rescale(std::vector<float>(300, 0.0f), 0.95f);
    EXPECT_EQ(silent.maxExtent, 0.0f);
    for (float height : silent.extents)
        EXPECT_EQ(height, 0.0f);
    const auto band = waveform::band(silent.extents, {500, 40}, 0, 3, 25, {0, 0});
    ASSERT_TRUE(band);
    EXPECT_TRUE(band->outline.empty());
}

TEST(AudioWaveform, BandStrideAlignmentAndPoints) {
    std::vector<float> extents(500);
    for (std::size_t i = 0; i < extents.size(); ++i)
        extents[i] = static_cast<float>(i % 10) / 10.0f;
    const Size size{200, 40};
    // At 25 pixels per second 8 peaks make one point; from 1.03 s the first is 96, 7 steps left.
    const auto band = waveform::band(extents, size, 1.03, 2.0, 25, {10, 5});
    ASSERT_TRUE(band);
    const double xStep = static_cast<float>(200.0 / 200.0);
    ASSERT_FALSE(band->points.empty());
    EXPECT_DOUBLE_EQ(band->points[0].x, 10 - 7 * xStep);
    EXPECT_DOUBLE_EQ(band->points[1].x - band->points[0].x, 8 * xStep);
    EXPECT_EQ(band->points.size(), (303 - 96) / 8 + 1);
    // Point k takes the largest height of peaks [96 + 8k, 104 + 8k): 0.9 whenever a 9 falls in.
    EXPECT_NEAR(band->points[0].height, std::min(0.9 * 40 + 0.5, 40.0), 1e-5);
    EXPECT_DOUBLE_EQ(band->points[0].bottom, 5 + (40 - band->points[0].height) * 0.5);
    // Bottoms backwards, the first top, then the other tops forwards.
    ASSERT_EQ(band->outline.size(), 2 * band->points.size());
    EXPECT_EQ(band->outline.front().x, band->points.back().x);
    EXPECT_EQ(band->outline[band->points.size()].y, band->points[0].bottom + band->points[0].height);

    struct Refusal {
        const char* name;
        std::vector<float> extents;
        double from;
        double pixelsPerSecond;
    };
    const Refusal refusals[] = {
        {"one peak", {0.5f}, 0, 25},
        {"span past the end", extents, 6.0, 25},
        {"no zoom", extents, 0, 0},
        {"NaN start", extents, std::nan(""), 25},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(waveform::band(r.extents, size, r.from, 1.0, r.pixelsPerSecond, {0, 0}));
    }
    // Zoomed in past 100 pixels per second the stride stays 2.
    const auto close = waveform::band(extents, size, 0, 1.0, 400, {0, 0});
    ASSERT_TRUE(close);
    EXPECT_EQ(close->points.size(), 51u);
}

TEST(AudioWaveform, DrawingFillsTheBandInLightGrey) {
    const Scaled scaled = rescale(std::vector<float>(300, 0.5f), 0.95f);
    auto context = GraphicsContext::createBitmapContext(100, 40);
    ASSERT_TRUE(context);
    EXPECT_TRUE(drawBand(*context, scaled.extents, {100, 40}, 0, 3.0, 50, {0, 0}));
    const auto bitmap = context->makeImage();
    ASSERT_TRUE(bitmap);
    const Bitmap::Pixel centre = bitmap->pixelAt(50, 20);
    EXPECT_NEAR(centre.r, 191, 2);
    EXPECT_GT(centre.a, 250);
    EXPECT_EQ(bitmap->pixelAt(50, 0).a, 0) << "the band is 0.789 of the lane, centred";
}

TEST(AudioWaveform, ArchivedArraysOfOddLengthOrUnequalCountsReadTheShorterWholeCount) {
    const std::vector<float> five = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
    PlistBytes full = encodeFloats(five);
    PlistBytes odd = full;
    odd.resize(full.size() - 3); // four whole floats and a stray byte
    PlistBytes three = encodeFloats(std::vector<float>{0.7f, 0.8f, 0.9f});
    struct Case {
        const char* name;
        std::optional<PlistBytes> extents;
        std::optional<PlistBytes> originals;
        std::size_t count;
    };
    const Case cases[] = {
        {"equal", full, full, 5},
        {"odd length", odd, full, 4},
        {"unequal counts", full, three, 3},
        {"heights missing: made from the peaks", std::nullopt, three, 3},
        {"peaks missing: none", full, std::nullopt, 0},
        {"empty", PlistBytes(), PlistBytes{1, 2, 3}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Arrays arrays = decodeArrays(c.extents, c.originals);
        EXPECT_EQ(arrays.extents.size(), c.count);
        EXPECT_EQ(arrays.originalExtents.size(), c.count);
    }
    EXPECT_EQ(decodeArrays(full, full).originalExtents, five);
}

class WaveformExtractionTest : public test::AudioTrackFixture {
protected:
    WaveformExtractionTest() { AudioHardware::setShared(std::make_shared<NullAudioHardware>()); }
    ~WaveformExtractionTest() override { AudioHardware::setShared(nullptr); }

    std::vector<float> extract(const std::shared_ptr<CompositionAudioTrackObject>& track) {
        track->extractWaveFormAndNotify();
        EXPECT_TRUE(test::waitOnMainLoopFor([&] { return track->waveformExtractionDone(); }, 30));
        return std::vector<float>(track->originalWaveformExtents().begin(),
                                  track->originalWaveformExtents().end());
    }
};

TEST_F(WaveformExtractionTest, ToneSilenceShortAndStereoFiles) {
    const std::string sine = test::soundFile("sine-2.5", "0.5*sin(2*PI*440*t)", 2.5);
    const auto peaks = extract(audioTrack(sine));
    ASSERT_EQ(peaks.size(), 250u);
    for (float peak : peaks)
        ASSERT_NEAR(std::fabs(peak), 0.5, 0.001);

    const std::string short445 = test::soundFile("short-445", "0.25", 1.0, 44000, "-af atrim=end_sample=445");
    EXPECT_EQ(extract(audioTrack(short445)).size(), 2u);

    const std::string silence = test::soundFile("silence-1", "0", 1.0);
    auto quiet = audioTrack(silence);
    const auto none = extract(quiet);
    EXPECT_EQ(none.size(), 100u);
    for (float height : quiet->waveformExtents())
        ASSERT_EQ(height, 0.0f);
    EXPECT_FALSE(std::isnan(quiet->maxWaveExtent()));

    // Left 0.4 and right 0.2 of one tone mix down to 0.3.
    const std::string stereo = test::soundFile("stereo-1", "0.4*sin(2*PI*440*t)|0.2*sin(2*PI*440*t)", 1.0);
    for (float peak : extract(audioTrack(stereo)))
        ASSERT_NEAR(std::fabs(peak), 0.3, 0.002);
}

TEST_F(WaveformExtractionTest, InterruptedByPlaybackAndResumedGivesTheSamePeaks) {
    const std::string file =
        test::soundFile("sine-long", "0.5*sin(2*PI*440*t)*(1+0.5*sin(2*PI*t))/1.5", 30.0);
    const auto whole = extract(audioTrack(file));
    ASSERT_EQ(whole.size(), 3000u);

    auto track = audioTrack(file);
    track->extractWaveFormAndNotify();
    container()->interruptExtraction();
    runMainLoopUntil([] { return false; }, 0.2);
    EXPECT_FALSE(track->waveformExtractionDone()) << "playback holds the extraction";
    container()->resumeExtraction();
    ASSERT_TRUE(test::waitOnMainLoopFor([&] { return track->waveformExtractionDone(); }, 30));
    EXPECT_EQ(
        std::vector<float>(track->originalWaveformExtents().begin(), track->originalWaveformExtents().end()),
        whole);
}

TEST_F(WaveformExtractionTest, CancellingSetsNoneAndTheQueueMovesOn) {
    const std::string file =
        test::soundFile("sine-long", "0.5*sin(2*PI*440*t)*(1+0.5*sin(2*PI*t))/1.5", 30.0);
    auto first = audioTrack(file);
    auto second = audioTrack(test::soundFile("sine-2.5", "0.5*sin(2*PI*440*t)", 2.5));
    CompositionExtractionQueues::shared().addAudioTrack(first);
    CompositionExtractionQueues::shared().addAudioTrack(second);
    container()->waveformExtractionDone(nullptr);
    ASSERT_EQ(CompositionTrackObject::currentlyExtractingTrack(), first);
    // Playback holds the lock while the track is cancelled: the cancel must still get through.
    container()->interruptExtraction();
    first->cancelTrackExtraction();
    container()->resumeExtraction();
    EXPECT_EQ(first->numberSamples(), 0u);
    ASSERT_TRUE(test::waitOnMainLoopFor([&] { return second->waveformExtractionDone(); }, 30));
    EXPECT_EQ(second->numberSamples(), 250u);
}

TEST_F(WaveformExtractionTest, DeletingATrackMidExtractionIsSafe) {
    const std::string file =
        test::soundFile("sine-long", "0.5*sin(2*PI*440*t)*(1+0.5*sin(2*PI*t))/1.5", 30.0);
    auto track = audioTrack(file);
    const long owners = track.use_count();
    track->extractWaveFormAndNotify();
    EXPECT_GT(track.use_count(), owners) << "the run shares ownership of the track";
    container()->removeObject(track.get());
    track->prepareForDeletion();
    EXPECT_FALSE(CompositionTrackObject::currentlyExtractingTrack());
    EXPECT_EQ(track->numberSamples(), 0u);
    ASSERT_TRUE(test::waitOnMainLoopFor([&] { return track.use_count() <= owners; }, 10))
        << "the run let go of the track on the main thread";
}

TEST_F(WaveformExtractionTest, ACopyOfAnExtractingTrackGetsTheWaveformWhenItIsDone) {
    auto track = audioTrack(test::soundFile("sine-2.5", "0.5*sin(2*PI*440*t)", 2.5));
    track->extractWaveFormAndNotify();
    auto copy = std::dynamic_pointer_cast<CompositionAudioTrackObject>(track->copy());
    ASSERT_TRUE(copy);
    tracks_.push_back(copy);
    ASSERT_TRUE(test::waitOnMainLoopFor([&] { return track->waveformExtractionDone(); }, 30));
    runMainLoopOnce(0);
    EXPECT_TRUE(copy->waveformExtractionDone());
    EXPECT_EQ(copy->numberSamples(), 250u);
}

} // namespace
} // namespace vtl
