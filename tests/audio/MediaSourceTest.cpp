// Sound files through the media layer, as the players' feeders read them: the same samples as
// the file holds, channel counts, seeks, refusals, and the two media-file questions.
#include "audio/MediaFileFunctions.h"
#include "audio/MediaPcmSource.h"
#include "audio/PcmFileOpener.h"
#include "platform/media/MediaAsset.h"
#include "support/WaveFileSource.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vtl;

namespace {

namespace fs = std::filesystem;

class MediaSource : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder() = fs::temp_directory_path() / ("vistrel-media-source-" + std::to_string(::getpid()));
        fs::create_directories(folder());
    }
    static void TearDownTestSuite() { fs::remove_all(folder()); }
    static fs::path& folder() {
        static fs::path path;
        return path;
    }
    // A file made by the ffmpeg tool from its arguments (inputs and codecs).
    static std::string make(const std::string& name, const std::string& arguments) {
        const fs::path path = folder() / name;
        if (!fs::exists(path)) {
            const std::string command =
                "ffmpeg -nostdin -loglevel error -y " + arguments + " \"" + path.string() + "\"";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
        return path.string();
    }
    static std::vector<std::vector<float>> readAll(PcmSource& source, std::size_t block = 1000) {
        std::vector<std::vector<float>> planar(source.channelCount());
        std::vector<std::vector<float>> buffers(source.channelCount(), std::vector<float>(block));
        std::vector<float*> pointers;
        for (auto& b : buffers)
            pointers.push_back(b.data());
        for (;;) {
            auto got = source.read(pointers.data(), block);
            EXPECT_TRUE(got) << got.error();
            if (!got || *got == 0) break;
            for (std::size_t c = 0; c < planar.size(); ++c)
                planar[c].insert(planar[c].end(), buffers[c].begin(), buffers[c].begin() + *got);
        }
        return planar;
    }
};

// A float WAV at 44.1 kHz is read sample for sample, from the start and after a seek.
TEST_F(MediaSource, ReadsTheSamplesTheFileHolds) {
    const std::string path =
        make("stereo.wav", "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)|0.25*sin(2*PI*97*t):s=44100:d=1.5' "
                           "-c:a pcm_f32le");
    auto reference = test::openWaveFile(path);
    ASSERT_TRUE(reference) << reference.error();
    const auto expected = readAll(**reference);
    auto source = MediaPcmSource::open(path);
    ASSERT_TRUE(source) << source.error();
    EXPECT_EQ((*source)->channelCount(), 2u);
    EXPECT_EQ((*source)->durationFrames(), 66150);
    const auto got = readAll(**source, 512);
    ASSERT_EQ(got.size(), 2u);
    ASSERT_EQ(got[0].size(), expected[0].size());
    EXPECT_TRUE(got == expected);

    for (std::int64_t frame : {std::int64_t{0}, std::int64_t{1}, std::int64_t{44100}, std::int64_t{66149}}) {
        ASSERT_TRUE((*source)->seek(frame)) << frame;
        float left = -2, right = -2;
        float* channels[] = {&left, &right};
        auto one = (*source)->read(channels, 1);
        ASSERT_TRUE(one && *one == 1) << frame;
        EXPECT_EQ(left, expected[0][static_cast<std::size_t>(frame)]) << frame;
        EXPECT_EQ(right, expected[1][static_cast<std::size_t>(frame)]) << frame;
    }
}

TEST_F(MediaSource, ChannelCountsAndRates) {
    struct Case {
        const char* name;
        const char* arguments;
        std::uint32_t channels;
        std::int64_t frames; // at 44.1 kHz
        double slack;        // AAC ends on whole packets of 1024, as the ffmpeg tool decodes it too
    };
    const Case cases[] = {
        {"mono.wav", "-f lavfi -i 'sine=f=300:r=44100:d=1' -c:a pcm_s16le", 1, 44100, 0},
        {"six.wav",
         "-f lavfi -i 'sine=f=300:r=44100:d=1' -af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' "
         "-c:a pcm_s16le",
         2, 44100, 0},
        {"rate48k.wav", "-f lavfi -i 'sine=f=300:r=48000:d=2' -c:a pcm_s16le", 1, 88200, 0},
        {"sound.m4a", "-f lavfi -i 'sine=f=1000:r=44100:d=1' -c:a aac", 1, 44100, 1024},
    };
    for (const Case& c : cases) {
        auto source = MediaPcmSource::open(make(c.name, c.arguments));
        ASSERT_TRUE(source) << c.name << ": " << source.error();
        EXPECT_EQ((*source)->channelCount(), c.channels) << c.name;
        const auto samples = readAll(**source);
        EXPECT_NEAR(static_cast<double>(samples[0].size()), static_cast<double>(c.frames), c.slack) << c.name;
        float peak = 0;
        for (float v : samples[0])
            peak = std::max(peak, std::abs(v));
        EXPECT_GT(peak, 0.05f) << c.name << ": sound, not silence";
    }
}

TEST_F(MediaSource, FilesWithoutSoundAreRefusedAndTheOpenerDefaultsToTheMediaLayer) {
    const std::string pictures =
        make("pictures.mov", "-f lavfi -i testsrc2=s=64x48:r=10:d=0.5 -c:v rawvideo");
    const std::string nonsense = (folder() / "nonsense.wav").string();
    std::ofstream(nonsense) << "not a sound";
    for (const std::string& path : {pictures, nonsense, (folder() / "missing.wav").string()}) {
        auto source = MediaPcmSource::open(path);
        EXPECT_FALSE(source) << path;
        if (!source) {
            EXPECT_FALSE(source.error().empty()) << path;
        }
    }
    setPcmFileOpener({});
    auto opened = openPcmFile(make("mono.wav", "-f lavfi -i 'sine=f=300:r=44100:d=1' -c:a pcm_s16le"));
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_EQ((*opened)->channelCount(), 1u);
}

TEST_F(MediaSource, TrackNamesAndPreciseTiming) {
    const std::string named =
        make("named.mov", "-f lavfi -i testsrc2=s=64x48:r=10:d=0.5 -f lavfi -i 'sine=f=300:d=0.5' -map 0:v "
                          "-map 1:a -c:v rawvideo -c:a pcm_s16le -metadata:s:v:0 title=Camera");
    auto asset = MediaAsset::open(named);
    ASSERT_TRUE(asset) << asset.error();
    ASSERT_EQ((*asset)->trackCount(), 2u);
    EXPECT_EQ(assetTrackName(*(*asset)->track(0)), "Camera");
    EXPECT_EQ(assetTrackName(*(*asset)->track(1)), std::nullopt);

    const std::string nonsense = (folder() / "nonsense.m4a").string();
    std::ofstream(nonsense) << "not a movie";
    struct Case {
        std::string path;
        bool precise;
    };
    const Case cases[] = {
        {named, true}, // first track pictures
        {make("mono.wav", "-f lavfi -i 'sine=f=300:r=44100:d=1' -c:a pcm_s16le"), true},
        {make("sound.m4a", "-f lavfi -i 'sine=f=1000:r=44100:d=1' -c:a aac"), true},
        {nonsense, false},
        {(folder() / "missing.m4a").string(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(assetAtPathSupportsPreciseTiming(c.path), c.precise) << c.path;
}

} // namespace
