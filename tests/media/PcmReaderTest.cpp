// Sound as PCM: sample-exact ranges in every sample type and layout, any rate and channel count,
// compared with what the ffmpeg tool decodes.

#include "platform/media/PcmReader.h"

#include "MediaFixtures.h"
#include "platform/media/MediaAsset.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace vtl;
using namespace vtl::test;

namespace {

std::unique_ptr<PcmReader> openReader(const std::string& fixture, PcmFormat format, std::size_t track = 0) {
    auto asset = MediaAsset::open(mediaFixture(fixture));
    EXPECT_TRUE(asset.ok()) << asset.error();
    if (!asset.ok()) return nullptr;
    if ((*asset)->track(track) && (*asset)->track(track)->type != MediaType::Audio)
        track = (*asset)->trackIndexes(MediaType::Audio).at(0);
    auto reader = PcmReader::open(*asset, track, format);
    EXPECT_TRUE(reader.ok()) << reader.error();
    return reader.ok() ? std::move(*reader) : nullptr;
}

PcmFormat floatInterleaved(int rate, int channels) {
    return PcmFormat{rate, channels, PcmSampleType::Float32, PcmLayout::Interleaved};
}

// Reads everything left in chunks of an awkward size.
std::vector<float> readAll(PcmReader& reader, std::size_t chunk = 333) {
    const int channels = reader.format().channelCount;
    std::vector<float> all;
    std::vector<float> buffer(chunk * channels);
    for (;;) {
        auto count = reader.read(buffer.data(), chunk);
        EXPECT_TRUE(count.ok()) << count.error();
        if (!count.ok() || *count == 0) break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + *count * channels);
    }
    return all;
}

float largestDifference(const float* a, const float* b, std::size_t count) {
    float largest = 0;
    for (std::size_t i = 0; i < count; ++i)
        largest = std::max(largest, std::fabs(a[i] - b[i]));
    return largest;
}

} // namespace

TEST(PcmReader, RangesAreSampleExact) {
    const std::vector<float> reference = referenceSamples(mediaFixture("pcm-48k"), 48000, 2);
    ASSERT_EQ(reference.size(), 3u * 48000 * 2);
    auto reader = openReader("pcm-48k", floatInterleaved(48000, 2));
    ASSERT_TRUE(reader);

    struct Case {
        std::string label;
        MediaTime start, duration;
        std::int64_t firstFrame, frameCount;
    };
    const Case cases[] = {
        {"the start", MediaTime{0, 48000}, MediaTime{4800, 48000}, 0, 4800},
        {"far ahead", MediaTime{1, 1}, MediaTime{1, 2}, 48000, 24000},
        {"an odd sample, backwards", MediaTime{24001, 48000}, MediaTime{1000, 48000}, 24001, 1000},
        {"a 600-scale time", MediaTime{1234, 600}, MediaTime{60, 600}, 98720, 4800},
        {"to the end", MediaTime{2990, 1000}, MediaTime::invalid(), 143520, 480},
        {"across the end", MediaTime{2995, 1000}, MediaTime{1, 1}, 143760, 240},
        {"past the end", MediaTime{7, 2}, MediaTime{1, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(reader->setTimeRange(c.start, c.duration).ok());
        const std::vector<float> samples = readAll(*reader);
        ASSERT_EQ(static_cast<std::int64_t>(samples.size()), c.frameCount * 2);
        if (c.frameCount == 0) continue;
        EXPECT_EQ(largestDifference(samples.data(), reference.data() + c.firstFrame * 2, samples.size()),
                  0.0f);
    }
}

TEST(PcmReader, SampleTypesAndLayoutsCarryTheSameSound) {
    const std::vector<float> reference = referenceSamples(mediaFixture("pcm-48k"), 48000, 2);
    const MediaTime start{1, 2};
    const std::size_t frames = 2000;

    auto s16 = openReader("pcm-48k", PcmFormat{48000, 2, PcmSampleType::Int16, PcmLayout::Interleaved});
    ASSERT_TRUE(s16 && s16->setTimeRange(start).ok());
    std::vector<std::int16_t> integers(frames * 2);
    ASSERT_EQ(*s16->read(integers.data(), frames), frames);

    auto planar = openReader("pcm-48k", PcmFormat{48000, 2, PcmSampleType::Float32, PcmLayout::Planar});
    ASSERT_TRUE(planar && planar->setTimeRange(start).ok());
    std::vector<float> left(frames), right(frames);
    void* channels[] = {left.data(), right.data()};
    ASSERT_EQ(*planar->readPlanar(channels, frames), frames);
    // A reader of one layout refuses the other.
    EXPECT_FALSE(planar->read(left.data(), 1).ok());
    EXPECT_FALSE(s16->readPlanar(channels, 1).ok());

    const float* expected = reference.data() + 24000 * 2;
    for (std::size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(integers[i * 2] / 32768.0f, expected[i * 2]) << i;
        ASSERT_EQ(integers[i * 2 + 1] / 32768.0f, expected[i * 2 + 1]) << i;
        ASSERT_EQ(left[i], expected[i * 2]) << i;
        ASSERT_EQ(right[i], expected[i * 2 + 1]) << i;
    }
}

TEST(PcmReader, OtherRatesMatchTheToolAndStaySampleExact) {
    const std::vector<float> reference = referenceSamples(mediaFixture("pcm-48k"), 44100, 2);
    auto reader = openReader("pcm-48k", floatInterleaved(44100, 2));
    ASSERT_TRUE(reader);
    const std::vector<float> all = readAll(*reader);
    ASSERT_NEAR(static_cast<double>(all.size()), static_cast<double>(reference.size()), 2 * 2);
    const std::size_t common = std::min(all.size(), reference.size());
    EXPECT_LT(largestDifference(all.data(), reference.data(), common), 2e-3f);

    // A range read after a seek lines up with the whole read, sample for sample.
    ASSERT_TRUE(reader->setTimeRange(MediaTime{1, 1}, MediaTime{1, 10}).ok());
    const std::vector<float> range = readAll(*reader);
    ASSERT_EQ(range.size(), 4410u * 2);
    EXPECT_LT(largestDifference(range.data(), all.data() + 44100 * 2, range.size()), 1e-4f);
}

TEST(PcmReader, ChannelCountsConvert) {
    // Mono fills both channels at full level.
    const std::vector<float> mono = referenceSamples(mediaFixture("mono-22k"), 22050, 1);
    auto toStereo = openReader("mono-22k", floatInterleaved(22050, 2));
    ASSERT_TRUE(toStereo);
    const std::vector<float> stereo = readAll(*toStereo);
    ASSERT_EQ(stereo.size(), mono.size() * 2);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(stereo[i * 2], mono[i]) << i;
        ASSERT_EQ(stereo[i * 2 + 1], mono[i]) << i;
    }

    // A mono output is the mean of the source channels.
    const std::vector<float> source = referenceSamples(mediaFixture("pcm-48k"), 48000, 2);
    auto toMono = openReader("pcm-48k", floatInterleaved(48000, 1));
    ASSERT_TRUE(toMono);
    const std::vector<float> mixed = readAll(*toMono);
    ASSERT_EQ(mixed.size() * 2, source.size());
    for (std::size_t i = 0; i < mixed.size(); ++i)
        ASSERT_NEAR(mixed[i], 0.5f * (source[i * 2] + source[i * 2 + 1]), 1e-6f) << i;

    // Six channels out of stereo: no failure, sound in the front pair.
    auto toSix = openReader("pcm-48k", floatInterleaved(48000, 6));
    ASSERT_TRUE(toSix);
    std::vector<float> six(480 * 6);
    ASSERT_EQ(*toSix->read(six.data(), 480), 480u);
}

TEST(PcmReader, AacWithoutItsPrimingSamples) {
    const std::vector<float> reference = referenceSamples(mediaFixture("aac-only"), 44100, 2);
    auto reader = openReader("aac-only", floatInterleaved(44100, 2));
    ASSERT_TRUE(reader);
    const std::vector<float> all = readAll(*reader);
    ASSERT_EQ(all.size(), reference.size());
    EXPECT_LT(largestDifference(all.data(), reference.data(), all.size()), 1e-5f);
    // The sine starts at its first sample: no priming silence, no shift.
    for (int i = 100; i < 110; ++i)
        EXPECT_NEAR(all[i * 2], 0.5 * std::sin(2 * M_PI * 1000 * i / 44100.0), 0.02) << i;

    ASSERT_TRUE(reader->setTimeRange(MediaTime{6, 5}, MediaTime{1, 10}).ok());
    const std::vector<float> range = readAll(*reader);
    ASSERT_EQ(range.size(), 4410u * 2);
    EXPECT_LT(largestDifference(range.data(), all.data() + 52920 * 2, range.size()), 1e-5f);
}

TEST(PcmReader, SoundStartingLateReadsAsSilenceBeforeIt) {
    // Media time 0 is the file's start (the pictures); the sound starts 1.5 s later.
    auto reader = openReader("late-audio", floatInterleaved(48000, 1), 1);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->durationFrames(), 144000);
    const std::vector<float> all = readAll(*reader);
    ASSERT_EQ(all.size(), 144000u);
    for (std::size_t i = 0; i < 72000; ++i)
        ASSERT_EQ(all[i], 0.0f) << i;
    for (std::size_t i = 72000; i < 72100; ++i)
        ASSERT_NEAR(all[i], 0.5 * std::sin(2 * M_PI * 1000 * (i - 72000.0) / 48000), 1e-4) << i;
    // A range across the start: silence, then the sound, at the same samples.
    ASSERT_TRUE(reader->setTimeRange(MediaTime{71990, 48000}, MediaTime{20, 48000}).ok());
    std::vector<float> range(20);
    ASSERT_EQ(*reader->read(range.data(), 20), 20u);
    EXPECT_EQ(largestDifference(range.data(), all.data() + 71990, 20), 0.0f);
}

TEST(PcmReader, RefusesNonsenseRanges) {
    auto reader = openReader("pcm-48k", floatInterleaved(48000, 2));
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->setTimeRange(MediaTime::invalid()).ok());
    EXPECT_FALSE(reader->setTimeRange(MediaTime{0, 600}, MediaTime{-1, 600}).ok());
    // A range before the file's start reads silence up to the first sample, then the sound.
    const std::vector<float> reference = referenceSamples(mediaFixture("pcm-48k"), 48000, 2);
    ASSERT_TRUE(reader->setTimeRange(MediaTime{-10, 48000}, MediaTime{20, 48000}).ok());
    std::vector<float> samples(40, 1.0f);
    ASSERT_EQ(*reader->read(samples.data(), 20), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(samples[i], 0.0f) << i;
    EXPECT_EQ(largestDifference(samples.data() + 20, reference.data(), 20), 0.0f);
    EXPECT_NE(samples[22], 0.0f);
}
