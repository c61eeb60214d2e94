// What an opened file says about itself, and how damaged or unsupported files are refused.

#include "platform/media/MediaAsset.h"

#include "MediaFixtures.h"
#include "platform/media/MediaFrameReader.h"
#include "platform/media/MediaImageGenerator.h"
#include "platform/media/PcmReader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vtl;
using namespace vtl::test;

namespace {

std::shared_ptr<const MediaAsset> openFixture(const std::string& name) {
    auto asset = MediaAsset::open(mediaFixture(name));
    EXPECT_TRUE(asset.ok()) << name << ": " << asset.error();
    return asset.ok() ? *asset : nullptr;
}

// The byte offset of a four-character code in a file, or npos.
std::size_t find(const std::vector<std::uint8_t>& bytes, const char* code) {
    const auto at = std::search(bytes.begin(), bytes.end(), code, code + 4);
    return at == bytes.end() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
}

void put16(std::vector<std::uint8_t>& bytes, std::size_t offset, int value) {
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

void put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::string damagedCopy(const std::string& name, const std::string& label,
                        const std::function<void(std::vector<std::uint8_t>&)>& damage) {
    std::vector<std::uint8_t> bytes = readFileBytes(mediaFixture(name));
    damage(bytes);
    const std::string path = scratchFolder() + "/" + label + ".mov";
    writeFileBytes(path, bytes);
    return path;
}

} // namespace

TEST(MediaAsset, DescribesTracksOfTheTestClips) {
    struct Case {
        std::string fixture;
        MediaType type;
        int width, height, rateNumerator, rateDenominator, sampleRate, channels;
        double durationSeconds;
    };
    const Case cases[] = {
        {"h264-1080p", MediaType::Video, 1920, 1080, 30, 1, 0, 0, 2.0},
        {"prores422", MediaType::Video, 640, 360, 25, 1, 0, 0, 1.0},
        {"aac-only", MediaType::Audio, 0, 0, 0, 0, 44100, 2, 2.0},
        {"pcm-48k", MediaType::Audio, 0, 0, 0, 0, 48000, 2, 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        auto asset = openFixture(c.fixture);
        ASSERT_TRUE(asset);
        ASSERT_EQ(asset->trackCount(), 1u);
        const MediaTrack& track = asset->tracks()[0];
        EXPECT_EQ(track.type, c.type);
        EXPECT_TRUE(track.hasDecoder);
        EXPECT_EQ(track.widthPixels, c.width);
        EXPECT_EQ(track.heightPixels, c.height);
        EXPECT_EQ(track.frameRateNumerator, c.rateNumerator);
        EXPECT_EQ(track.frameRateDenominator, c.rateDenominator);
        EXPECT_EQ(track.sampleRate, c.sampleRate);
        EXPECT_EQ(track.channelCount, c.channels);
        EXPECT_GT(track.timeScale, 0);
        // AAC priming may make the sound a little longer than its samples.
        EXPECT_NEAR(asset->duration().seconds(), c.durationSeconds, 0.05);
        EXPECT_EQ(asset->duration().convertedToScale(600).timeScale, 600);
    }
}

TEST(MediaAsset, TwoVideoTracksOfDifferentSizesWithNameAndLanguage) {
    auto asset = openFixture("two-sizes");
    ASSERT_TRUE(asset);
    ASSERT_EQ(asset->trackCount(), 3u);
    EXPECT_EQ(asset->trackIndexes(MediaType::Video), (std::vector<std::size_t>{0, 1}));
    const MediaTrack& first = *asset->track(0);
    const MediaTrack& second = *asset->track(1);
    EXPECT_EQ(first.widthPixels, 640);
    EXPECT_EQ(first.heightPixels, 480);
    EXPECT_EQ(first.frameRateNumerator, 25);
    EXPECT_EQ(second.widthPixels, 320);
    EXPECT_EQ(second.heightPixels, 720);
    EXPECT_EQ(second.frameRateNumerator, 30);
    EXPECT_EQ(first.title, "");
    EXPECT_EQ(second.title, "Camera");
    EXPECT_EQ(asset->track(2)->type, MediaType::Audio);
    EXPECT_EQ(asset->track(2)->languageCode, "ger");
    // The longest track decides the duration.
    EXPECT_NEAR(asset->duration().seconds(), 1.5, 0.02);
    EXPECT_EQ(asset->track(3), nullptr);
}

TEST(MediaAsset, MediaTimeZeroIsTheFileStartForEveryTrack) {
    auto late = openFixture("late-video");
    ASSERT_TRUE(late);
    const MediaTrack& video = *late->track(late->trackIndexes(MediaType::Video).at(0));
    const MediaTrack& audio = *late->track(late->trackIndexes(MediaType::Audio).at(0));
    EXPECT_NEAR(video.startTime.seconds(), 1.5, 1e-6);
    EXPECT_NEAR(audio.startTime.seconds(), 0.0, 0.03);
    EXPECT_NEAR(late->duration().seconds(), 3.5, 0.05);

    // A file whose only stream starts at 1.5 s starts there: its media time 0 is that picture.
    auto offset = openFixture("offset-start");
    ASSERT_TRUE(offset);
    EXPECT_NEAR(offset->tracks()[0].startTime.seconds(), 0.0, 1e-6);
    EXPECT_NEAR(offset->duration().seconds(), 2.0, 0.02);
}

TEST(MediaAsset, PreciseTimingTest) {
    EXPECT_TRUE(openFixture("h264-360p")->supportsPreciseTiming());
    EXPECT_TRUE(openFixture("aac-only")->supportsPreciseTiming());
    EXPECT_TRUE(openFixture("pcm-48k")->supportsPreciseTiming());
}

TEST(MediaAsset, RefusesDamagedAndUnsupportedFiles) {
    const std::string truncated = damagedCopy(
        "h264-360p", "truncated", [](std::vector<std::uint8_t>& bytes) { bytes.resize(bytes.size() / 2); });
    const std::string text = scratchFolder() + "/notes.mov";
    writeFileBytes(text, std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string empty = scratchFolder() + "/empty.mov";
    writeFileBytes(empty, {});
    const std::string zeroWidth =
        damagedCopy("raw-small", "zero-width", [](std::vector<std::uint8_t>& bytes) {
            const std::size_t entry = find(bytes, "raw ");
            ASSERT_NE(entry, std::string::npos);
            put16(bytes, entry + 28, 0); // sample entry width
            const std::size_t header = find(bytes, "tkhd");
            put32(bytes, header + 80, 0); // track header width (16.16)
        });

    // Opening these must not wait for a writer.
    const std::string fifo = scratchFolder() + "/waiting.mov";
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = scratchFolder() + "/folder.mov";
    std::filesystem::create_directories(folder);

    struct Case {
        std::string label, path, expectedWords;
    };
    const Case cases[] = {
        {"missing", scratchFolder() + "/nothing-here.mov", "does not exist"},
        {"fifo", fifo, "not a plain file"},
        {"folder", folder, "folder"},
        {"truncated before the movie header", truncated, "not a movie"},
        {"text", text, "not a movie"},
        {"empty", empty, "not a movie"},
        {"wider than 16384", mediaFixture("too-wide"), "16400"},
        {"zero width", zeroWidth, "picture size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto asset = MediaAsset::open(c.path);
        ASSERT_FALSE(asset.ok());
        EXPECT_NE(asset.error().find(c.expectedWords), std::string::npos) << asset.error();
    }
}

TEST(MediaAsset, CommonContainersOpenAndDecode) {
    struct Case {
        const char* file;
        const char* command; // ffmpeg arguments between the inputs and the output
        bool video, audio;
    };
    const Case cases[] = {
        {"clip.webm", "-c:v libvpx -b:v 200k -c:a libopus", true, true},
        {"clip.mkv", "-c:v mpeg4 -c:a flac", true, true},
        {"clip.avi", "-c:v mpeg4 -c:a pcm_s16le", true, true},
        {"voice.opus", "-vn -c:a libopus", false, true},
        {"voice.ogg", "-vn -c:a flac", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = scratchFolder() + "/" + c.file;
        ASSERT_TRUE(runCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=96x64:r=10:d=1 -f lavfi -i "
                               "'sine=f=440:d=1:sample_rate=48000' " +
                               std::string(c.command) + " -shortest '" + path + "'"));
        auto opened = MediaAsset::open(path);
        ASSERT_TRUE(opened.ok()) << opened.error();
        const MediaAsset& asset = **opened;
        std::optional<std::size_t> video, audio;
        for (const MediaTrack& track : asset.tracks()) {
            if (track.type == MediaType::Video && !video) video = track.index;
            if (track.type == MediaType::Audio && !audio) audio = track.index;
        }
        EXPECT_EQ(video.has_value(), c.video);
        ASSERT_EQ(audio.has_value(), c.audio);
        if (video) {
            auto reader = MediaFrameReader::open(*opened, *video, {});
            ASSERT_TRUE(reader.ok()) << reader.error();
            auto frame = (*reader)->nextFrame();
            ASSERT_TRUE(frame.ok()) << frame.error();
            ASSERT_TRUE(frame->has_value());
            EXPECT_EQ((*frame)->image.width(), 96u);
        }
    }
}

TEST(MediaAsset, ZeroTimeScalesInTheFileGiveAClearAnswer) {
    const std::string path = damagedCopy("h264-360p", "zero-scales", [](std::vector<std::uint8_t>& bytes) {
        for (const char* box : {"mvhd", "mdhd"}) {
            const std::size_t at = find(bytes, box);
            ASSERT_NE(at, std::string::npos);
            put32(bytes, at + 16, 0); // version 0: after flags, creation and modification times
        }
    });
    auto asset = MediaAsset::open(path);
    if (!asset.ok()) {
        EXPECT_FALSE(asset.error().empty());
        return;
    }
    // The demuxer substitutes a scale; every time it reports is then finite.
    for (const MediaTrack& track : (*asset)->tracks())
        EXPECT_GT(track.timeScale, 0);
    auto generator = MediaImageGenerator::create(*asset, 0);
    if (generator.ok()) {
        auto frame = (*generator)->imageAtTime(MediaTime::zero());
        if (!frame.ok()) {
            EXPECT_FALSE(frame.error().empty());
        }
    }
}

TEST(MediaAsset, ATrackWithoutDecoderIsListedButNotDecoded) {
    const std::string path = damagedCopy("h264-360p", "unknown-codec", [](std::vector<std::uint8_t>& bytes) {
        const std::size_t entry = find(bytes, "avc1");
        ASSERT_NE(entry, std::string::npos);
        std::memcpy(bytes.data() + entry, "zzzz", 4);
    });
    auto asset = MediaAsset::open(path);
    ASSERT_TRUE(asset.ok()) << asset.error();
    ASSERT_EQ((*asset)->trackCount(), 1u);
    EXPECT_FALSE((*asset)->tracks()[0].hasDecoder);
    auto generator = MediaImageGenerator::create(*asset, 0);
    ASSERT_FALSE(generator.ok());
    EXPECT_NE(generator.error().find("no decoder"), std::string::npos) << generator.error();
    EXPECT_FALSE(MediaFrameReader::open(*asset, 0).ok());
}

TEST(MediaAsset, ReadersRefuseTracksOfTheWrongKind) {
    auto asset = openFixture("late-video");
    const std::size_t video = asset->trackIndexes(MediaType::Video).at(0);
    const std::size_t audio = asset->trackIndexes(MediaType::Audio).at(0);
    EXPECT_FALSE(MediaImageGenerator::create(asset, audio).ok());
    EXPECT_FALSE(MediaFrameReader::open(asset, 7).ok());
    EXPECT_FALSE(PcmReader::open(asset, video, PcmFormat{}).ok());
    PcmFormat unusable;
    unusable.channelCount = 0;
    EXPECT_FALSE(PcmReader::open(asset, audio, unusable).ok());
}

TEST(MediaAsset, AFileCutAfterItsHeaderDecodesWhatIsThere) {
    // Header first, then cut in the middle of the pictures.
    const std::string whole = scratchFolder() + "/faststart.mov";
    ASSERT_TRUE(runCommand("ffmpeg -nostdin -v error -y -i '" + mediaFixture("h264-360p") +
                           "' -c copy -movflags +faststart '" + whole + "'"));
    std::vector<std::uint8_t> bytes = readFileBytes(whole);
    bytes.resize(bytes.size() / 2);
    const std::string cut = scratchFolder() + "/cut.mov";
    writeFileBytes(cut, bytes);

    auto asset = MediaAsset::open(cut);
    ASSERT_TRUE(asset.ok()) << asset.error();
    auto reader = MediaFrameReader::open(*asset, 0);
    ASSERT_TRUE(reader.ok()) << reader.error();
    int frames = 0;
    for (;;) {
        auto frame = (*reader)->nextFrame();
        if (!frame.ok()) {
            EXPECT_FALSE(frame.error().empty());
            break;
        }
        if (!*frame) break;
        ++frames;
    }
    EXPECT_GT(frames, 30);
    EXPECT_LT(frames, 180);
    // Asking for a picture the file no longer holds answers plainly.
    auto generator = MediaImageGenerator::create(*asset, 0);
    ASSERT_TRUE(generator.ok());
    auto late = (*generator)->imageAtTime(MediaTime{5, 1});
    ASSERT_FALSE(late.ok());
    EXPECT_FALSE(late.error().empty());
    EXPECT_TRUE((*generator)->imageAtTime(MediaTime{1, 10}).ok());
}
