// Writing movies and sound files, read back by ffprobe, the ffmpeg tool and our own readers; a
// file that fails mid-way leaves nothing behind.

#include "platform/media/MovieWriter.h"

#include "MediaFixtures.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaImageGenerator.h"
#include "platform/media/PcmReader.h"
#include "platform/media/Tx3gSampleEntry.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

using namespace vtl;
using namespace vtl::test;

namespace {

constexpr int width = 320;
constexpr int height = 180;

// A picture that changes from frame to frame: a gradient with a bright block moving right.
BitmapImage testPicture(int frame) {
    BitmapImage image(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.mutableData() + y * image.bytesPerRow();
        for (int x = 0; x < width; ++x) {
            const bool block = x >= frame * 4 && x < frame * 4 + 40 && y >= 60 && y < 120;
            row[x * 4 + 0] = block ? 240 : static_cast<std::uint8_t>(x * 255 / width);
            row[x * 4 + 1] = block ? 240 : static_cast<std::uint8_t>(y * 255 / height);
            row[x * 4 + 2] = block ? 240 : 96;
            row[x * 4 + 3] = 255;
        }
    }
    return image;
}

double meanDifference(const BitmapImage& a, const BitmapImage& b) {
    double total = 0;
    for (std::size_t y = 0; y < a.height(); ++y)
        for (std::size_t x = 0; x < a.width() * 4; ++x)
            if (x % 4 != 3) total += std::abs(int(a.rowAt(y)[x]) - int(b.rowAt(y)[x]));
    return total / (a.width() * a.height() * 3);
}

std::string probe(const std::string& path, const std::string& what) {
    const auto bytes = commandOutput("ffprobe -v error " + what + " -of default=nw=1 '" + path + "'");
    return std::string(bytes.begin(), bytes.end());
}

std::size_t countOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// Planar float sine blocks of 256 frames, as the export's mixer hands them over.
void appendSine(MovieWriter& writer, std::size_t track, double frequency, double seconds) {
    std::vector<float> left(256), right(256);
    const int total = static_cast<int>(seconds * 44100);
    for (int done = 0; done < total; done += 256) {
        const int count = std::min(256, total - done);
        for (int i = 0; i < count; ++i)
            left[i] = right[i] =
                static_cast<float>(0.5 * std::sin(2 * M_PI * frequency * (done + i) / 44100.0));
        const void* buffers[] = {left.data(), right.data()};
        ASSERT_TRUE(writer.appendAudio(track, buffers, count).ok());
    }
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(MovieWriter, H264WithTwoLanguagesChaptersAndSubtitles) {
    for (const std::string extension : {"mov", "m4v"}) {
        SCOPED_TRACE(extension);
        const std::string path = scratchFolder() + "/export." + extension;
        auto writer = MovieWriter::create(path);
        ASSERT_TRUE(writer.ok()) << writer.error();
        MovieWriter& w = **writer;

        VideoTrackSettings video;
        video.widthPixels = width;
        video.heightPixels = height;
        const std::size_t videoTrack = *w.addVideoTrack(video);
        AudioTrackSettings german;
        german.languageCode = "ger";
        AudioTrackSettings french = german;
        french.languageCode = "fra";
        const std::size_t germanTrack = *w.addAudioTrack(german);
        const std::size_t frenchTrack = *w.addAudioTrack(french);
        Tx3gSampleEntry entry;
        entry.displayFlags = 0x40000000;
        TextTrackSettings subtitles;
        subtitles.sampleEntry = entry.bytes();
        subtitles.widthPixels = width;
        subtitles.heightPixels = 60;
        subtitles.languageCode = "ger";
        const std::size_t germanText = *w.addTextTrack(subtitles);
        subtitles.languageCode = "eng";
        const std::size_t englishText = *w.addTextTrack(subtitles);
        // Out of order on purpose: chapters are sorted by time.
        ASSERT_TRUE(w.addChapter("Anfang", MediaTime::zero()).ok());
        ASSERT_TRUE(w.addChapter("Ende", MediaTime{900, 600}, MediaTime{2, 1}).ok());
        ASSERT_TRUE(w.addChapter("Mitte", MediaTime::fromSeconds(1.23456, 100000)).ok());
        ASSERT_TRUE(w.start().ok());
        EXPECT_FALSE(w.addChapter("late", MediaTime::zero()).ok());

        ASSERT_TRUE(w.appendText(germanText, "Guten Tag.", MediaTime{120, 600}, MediaTime{600, 600}).ok());
        ASSERT_TRUE(w.appendText(germanText, "Wie geht's?", MediaTime{720, 600}, MediaTime{300, 600}).ok());
        ASSERT_TRUE(w.appendText(englishText, "Good day.", MediaTime{120, 600}, MediaTime{900, 600}).ok());
        for (int frame = 0; frame < 60; ++frame)
            ASSERT_TRUE(w.appendVideoFrame(videoTrack, testPicture(frame), MediaTime{frame * 20, 600}).ok());
        appendSine(w, germanTrack, 440, 2.0);
        appendSine(w, frenchTrack, 880, 2.0);
        const Status finished = w.finish();
        ASSERT_TRUE(finished.ok()) << finished.error();
        EXPECT_FALSE(w.finish().ok());

        // What ffprobe sees.
        const std::string streams = probe(
            path, "-show_entries stream=codec_name,width,height,r_frame_rate,nb_frames,duration,sample_rate,"
                  "channels,codec_tag_string:stream_tags=language");
        EXPECT_NE(streams.find("codec_name=h264"), std::string::npos) << streams;
        EXPECT_NE(streams.find("width=320"), std::string::npos);
        EXPECT_NE(streams.find("r_frame_rate=30/1"), std::string::npos);
        EXPECT_NE(streams.find("nb_frames=60"), std::string::npos);
        // Every picture lasts a frame, the last one too (its packet came without a duration).
        EXPECT_NE(streams.find("duration=2.000000"), std::string::npos) << streams;
        EXPECT_EQ(countOf(streams, "codec_name=aac"), 2u);
        EXPECT_EQ(countOf(streams, "sample_rate=44100"), 2u);
        EXPECT_EQ(countOf(streams, "codec_tag_string=tx3g"), 2u);
        const std::string chapters = probe(path, "-show_chapters");
        EXPECT_EQ(countOf(chapters, "TAG:title="), 3u) << chapters;
        // 1.23456 s is kept as 740/600 s; the last chapter lasts to the movie's end.
        EXPECT_NE(chapters.find("start=1233\n"), std::string::npos) << chapters;
        EXPECT_NE(chapters.find("end=2000\nend_time=2.000000\nTAG:title=Ende"), std::string::npos)
            << chapters;
        // Subtitle tracks are subtitle tracks ("sbtl"), not plain text tracks.
        const std::vector<std::uint8_t> bytes = readFileBytes(path);
        const std::string raw(bytes.begin(), bytes.end());
        EXPECT_GE(countOf(raw, "sbtl"), 2u);
        const auto srt = commandOutput("ffmpeg -nostdin -v error -i '" + path + "' -map 0:s:0 -f srt -");
        const std::string subtitleText(srt.begin(), srt.end());
        EXPECT_NE(subtitleText.find("00:00:00,200 --> 00:00:01,200\n"), std::string::npos) << subtitleText;
        EXPECT_NE(subtitleText.find("Guten Tag."), std::string::npos);
        EXPECT_NE(subtitleText.find("Wie geht's?"), std::string::npos);

        // What our readers see.
        auto asset = MediaAsset::open(path);
        ASSERT_TRUE(asset.ok()) << asset.error();
        std::vector<std::string> languages;
        for (std::size_t index : {germanTrack, frenchTrack, germanText, englishText})
            languages.push_back((*asset)->track(index)->languageCode);
        EXPECT_EQ(languages, (std::vector<std::string>{"ger", "fra", "ger", "eng"}));
        EXPECT_EQ((*asset)->track(germanText)->type, MediaType::Subtitle);
        ASSERT_EQ((*asset)->chapters().size(), 3u);
        EXPECT_EQ((*asset)->chapters()[1].title, "Mitte");
        EXPECT_EQ((*asset)->chapters()[2].title, "Ende");
        EXPECT_NEAR((*asset)->chapters()[1].start.seconds(), 740.0 / 600, 0.001);
        auto generator = MediaImageGenerator::create(*asset, 0);
        ASSERT_TRUE(generator.ok());
        for (int frame : {0, 31, 59}) {
            auto picture = (*generator)->imageAtTime(MediaTime{frame * 20 + 5, 600});
            ASSERT_TRUE(picture.ok()) << picture.error();
            EXPECT_LT(meanDifference(picture->image, testPicture(frame)), 3.0) << "frame " << frame;
        }
        auto sound = PcmReader::open(*asset, (*asset)->trackIndexes(MediaType::Audio)[1],
                                     PcmFormat{44100, 1, PcmSampleType::Float32, PcmLayout::Interleaved});
        ASSERT_TRUE(sound.ok());
        ASSERT_TRUE((*sound)->setTimeRange(MediaTime{1, 1}, MediaTime{1, 10}).ok());
        std::vector<float> samples(4410);
        ASSERT_EQ(*(*sound)->read(samples.data(), samples.size()), samples.size());
        double error = 0;
        for (std::size_t i = 0; i < samples.size(); ++i)
            error = std::max(error,
                             std::fabs(samples[i] - 0.5 * std::sin(2 * M_PI * 880 * (44100 + i) / 44100.0)));
        EXPECT_LT(error, 0.05); // the French track, in place to the sample
    }
}

TEST(MovieWriter, ProRes422TaggedBt709) {
    const std::string path = scratchFolder() + "/camera.mov";
    auto writer = MovieWriter::create(path);
    ASSERT_TRUE(writer.ok()) << writer.error();
    VideoTrackSettings video;
    video.codec = VideoCodec::ProRes422;
    video.widthPixels = width;
    video.heightPixels = height;
    video.frameRateNumerator = 25;
    const std::size_t track = *(*writer)->addVideoTrack(video);
    ASSERT_TRUE((*writer)->start().ok());
    for (int frame = 0; frame < 10; ++frame)
        ASSERT_TRUE((*writer)->appendVideoFrame(track, testPicture(frame), MediaTime{frame, 25}).ok());
    ASSERT_TRUE((*writer)->finish().ok());
    const std::string streams = probe(
        path, "-show_entries stream=codec_name,codec_tag_string,pix_fmt,color_space,nb_frames,r_frame_rate");
    EXPECT_NE(streams.find("codec_name=prores"), std::string::npos) << streams;
    EXPECT_NE(streams.find("codec_tag_string=apcn"), std::string::npos);
    EXPECT_NE(streams.find("pix_fmt=yuv422p10le"), std::string::npos);
    EXPECT_NE(streams.find("color_space=bt709"), std::string::npos);
    EXPECT_NE(streams.find("nb_frames=10"), std::string::npos);
    EXPECT_NE(streams.find("r_frame_rate=25/1"), std::string::npos);
    auto asset = MediaAsset::open(path);
    ASSERT_TRUE(asset.ok());
    auto generator = MediaImageGenerator::create(*asset, 0);
    auto picture = (*generator)->imageAtTime(MediaTime{7, 25});
    ASSERT_TRUE(picture.ok()) << picture.error();
    EXPECT_LT(meanDifference(picture->image, testPicture(7)), 1.5);
}

TEST(MovieWriter, AiffSpeechFileHoldsTheSamplesExactly) {
    const std::string path = scratchFolder() + "/speech.aiff";
    auto writer = MovieWriter::create(path);
    ASSERT_TRUE(writer.ok()) << writer.error();
    AudioTrackSettings pcm;
    pcm.codec = AudioCodec::PcmInt16BigEndian;
    pcm.sampleRate = 22050;
    pcm.channelCount = 1;
    pcm.inputSampleType = PcmSampleType::Int16;
    pcm.inputLayout = PcmLayout::Interleaved;
    const std::size_t track = *(*writer)->addAudioTrack(pcm);
    EXPECT_FALSE((*writer)->addVideoTrack(VideoTrackSettings{VideoCodec::H264, 64, 64}).ok());
    ASSERT_TRUE((*writer)->start().ok());
    std::vector<std::int16_t> samples(22050 + 77);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
    const void* buffers[] = {samples.data()};
    ASSERT_TRUE((*writer)->appendAudio(track, buffers, 1000).ok());
    const void* rest[] = {samples.data() + 1000};
    ASSERT_TRUE((*writer)->appendAudio(track, rest, samples.size() - 1000).ok());
    ASSERT_TRUE((*writer)->finish().ok());

    const std::string streams =
        probe(path, "-show_entries stream=codec_name,sample_rate,channels,duration_ts");
    EXPECT_NE(streams.find("codec_name=pcm_s16be"), std::string::npos) << streams;
    EXPECT_NE(streams.find("sample_rate=22050"), std::string::npos);
    EXPECT_NE(streams.find("channels=1"), std::string::npos);
    auto asset = MediaAsset::open(path);
    ASSERT_TRUE(asset.ok()) << asset.error();
    auto reader =
        PcmReader::open(*asset, 0, PcmFormat{22050, 1, PcmSampleType::Int16, PcmLayout::Interleaved});
    ASSERT_TRUE(reader.ok());
    std::vector<std::int16_t> back(samples.size() + 10);
    ASSERT_EQ(*(*reader)->read(back.data(), back.size()), samples.size());
    back.resize(samples.size());
    EXPECT_EQ(back, samples);
}

TEST(MovieWriter, AFileThatFailsMidwayLeavesNothingAndSaysWhy) {
    const std::string folder = scratchFolder() + "/failing";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/movie.mov";
    // An earlier movie at the target survives a failed export.
    writeFileBytes(path, {'o', 'l', 'd'});
    MovieWriterOptions options;
    options.beforeWrite = [](std::int64_t offset, std::size_t size) -> Status {
        if (offset + static_cast<std::int64_t>(size) > 40 * 1024) return fail("The test disk is full.");
        return {};
    };
    auto writer = MovieWriter::create(path, options);
    ASSERT_TRUE(writer.ok()) << writer.error();
    VideoTrackSettings video;
    video.widthPixels = width;
    video.heightPixels = height;
    video.constantRateFactor = 0; // large pictures, so the limit comes quickly
    const std::size_t track = *(*writer)->addVideoTrack(video);
    ASSERT_TRUE((*writer)->start().ok());
    Status status;
    int frame = 0;
    // The header fits; some picture later does not.
    for (; frame < 300 && status.ok(); ++frame)
        status = (*writer)->appendVideoFrame(track, testPicture(frame % 60), MediaTime{frame, 30});
    if (status.ok()) status = (*writer)->finish();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error(), "The test disk is full.");
    // Later calls give the same reason and nothing is written.
    EXPECT_EQ((*writer)->appendVideoFrame(track, testPicture(0), MediaTime{frame + 5, 30}).error(),
              "The test disk is full.");
    EXPECT_EQ((*writer)->finish().error(), "The test disk is full.");
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"movie.mov"});
    EXPECT_EQ(readFileBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

    // Cancelled or dropped unfinished: no file either.
    {
        auto dropped = MovieWriter::create(folder + "/dropped.mov");
        ASSERT_TRUE(dropped.ok());
        ASSERT_TRUE((*dropped)->addVideoTrack(video).ok());
        ASSERT_TRUE((*dropped)->start().ok());
        ASSERT_TRUE((*dropped)->appendVideoFrame(0, testPicture(0), MediaTime::zero()).ok());
        auto cancelled = MovieWriter::create(folder + "/cancelled.mov");
        ASSERT_TRUE(cancelled.ok());
        (*cancelled)->cancel();
        EXPECT_FALSE((*cancelled)->start().ok());
    }
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"movie.mov"});
}

TEST(MovieWriter, RefusesWhatItCannotWrite) {
    const std::string folder = scratchFolder();
    EXPECT_FALSE(MovieWriter::create(folder + "/no-such-folder/movie.mov").ok());
    EXPECT_FALSE(MovieWriter::create(folder + "/movie.avi").ok());

    auto writer = MovieWriter::create(folder + "/refusals.m4v");
    ASSERT_TRUE(writer.ok());
    MovieWriter& w = **writer;
    EXPECT_FALSE(w.addVideoTrack(VideoTrackSettings{VideoCodec::ProRes422, 64, 64}).ok()); // not in .m4v
    EXPECT_FALSE(w.addVideoTrack(VideoTrackSettings{VideoCodec::H264, 63, 64}).ok());      // odd width
    EXPECT_FALSE(w.addVideoTrack(VideoTrackSettings{VideoCodec::H264, 0, 64}).ok());
    EXPECT_FALSE(w.addVideoTrack(VideoTrackSettings{VideoCodec::H264, 20000, 64}).ok());
    AudioTrackSettings pcm;
    pcm.codec = AudioCodec::PcmInt16BigEndian;
    EXPECT_FALSE(w.addAudioTrack(pcm).ok());                                     // no PCM in .m4v
    EXPECT_FALSE(w.appendVideoFrame(0, testPicture(0), MediaTime::zero()).ok()); // not started
    EXPECT_FALSE(w.addTextTrack(TextTrackSettings{}).ok());                      // no description
    EXPECT_FALSE(w.addChapter("Backwards", MediaTime{10, 600}, MediaTime{5, 600}).ok());
    EXPECT_FALSE(w.addChapter("Before the start", MediaTime{-1, 600}).ok());

    VideoTrackSettings video;
    video.widthPixels = width;
    video.heightPixels = height;
    const std::size_t track = *w.addVideoTrack(video);
    ASSERT_TRUE(w.start().ok());
    EXPECT_FALSE(w.addVideoTrack(video).ok()); // after start
    EXPECT_FALSE(w.appendVideoFrame(track + 1, testPicture(0), MediaTime::zero()).ok());
    EXPECT_FALSE(w.appendVideoFrame(track, BitmapImage(64, 64), MediaTime::zero()).ok()); // wrong size
    ASSERT_TRUE(w.appendVideoFrame(track, testPicture(0), MediaTime{1, 30}).ok());
    // Refusing a frame out of order keeps the movie going.
    EXPECT_FALSE(w.appendVideoFrame(track, testPicture(1), MediaTime{1, 30}).ok());
    EXPECT_FALSE(w.appendAudio(track, nullptr, 10).ok()); // a video track takes no sound
    ASSERT_TRUE(w.appendVideoFrame(track, testPicture(1), MediaTime{2, 30}).ok());
    EXPECT_TRUE(w.finish().ok());
}

TEST(Tx3g, SamplesKeepWholeCharactersWithinTheLengthField) {
    struct Case {
        std::string label;
        std::string text;
        std::size_t expectedLength;
    };
    const std::string euro = "\xE2\x82\xAC"; // three bytes
    std::string euros;
    while (euros.size() < 65536)
        euros += euro;
    const Case cases[] = {
        {"empty", "", 0},
        {"plain", "Hello", 5},
        {"exactly the limit", std::string(65535, 'a'), 65535},
        {"one byte over", std::string(65536, 'a'), 65535},
        {"a character across the limit", euros, 65535 / 3 * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::vector<std::uint8_t> sample = tx3gSample(c.text);
        ASSERT_EQ(sample.size(), c.expectedLength + 2);
        EXPECT_EQ((std::size_t(sample[0]) << 8) | sample[1], c.expectedLength);
        EXPECT_EQ(std::string(sample.begin() + 2, sample.end()), c.text.substr(0, c.expectedLength));
    }
}

TEST(Tx3g, SampleEntryLayout) {
    Tx3gSampleEntry entry;
    entry.displayFlags = 0xC0000000;
    const std::vector<std::uint8_t> bytes = entry.bytes();
    // Flags, justification, background, box, style, then the font table with "Sans-Serif".
    ASSERT_EQ(bytes.size(), 4u + 2 + 4 + 8 + 12 + (8 + 2 + 3 + 10));
    EXPECT_EQ(bytes[0], 0xC0);
    EXPECT_EQ(bytes[9], 255);  // background alpha
    EXPECT_EQ(bytes[22], 0);   // style font id high byte
    EXPECT_EQ(bytes[23], 1);   // style font id
    EXPECT_EQ(bytes[25], 255); // font size
    EXPECT_EQ(std::string(bytes.begin() + 34, bytes.begin() + 38), "ftab");
    EXPECT_EQ(std::string(bytes.end() - 10, bytes.end()), "Sans-Serif");
}

TEST(MovieWriter, H264PacketsAreCopiedAsTheyAre) {
    // The packets, their times and the decoder configuration of a clip with B-frames, as the
    // ffmpeg tool reads them.
    const std::string source = mediaFixture("h264-360p");
    const std::string payloadPath = scratchFolder() + "/packets.bin";
    ASSERT_TRUE(runCommand("ffmpeg -nostdin -v error -y -i '" + source + "' -map 0:v -c copy -f data '" +
                           payloadPath + "'"));
    const std::vector<std::uint8_t> payload = readFileBytes(payloadPath);
    const auto table = commandOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pts,dts,size,flags -of csv=p=0 '" + source +
        "'");
    const auto dump = commandOutput(
        "ffprobe -v error -select_streams v -show_streams -show_data -of default=nw=1 '" + source + "'");
    // "00000000: 0164 000d ffe1 …  text" lines after "extradata=".
    std::vector<std::uint8_t> configuration;
    {
        const std::string text(dump.begin(), dump.end());
        std::size_t at = text.find("extradata=\n");
        ASSERT_NE(at, std::string::npos);
        at += 11;
        while (at < text.size() && text[at] != '\n') {
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            const std::string hex = line.substr(10, 40);
            for (std::size_t i = 0; i + 1 < hex.size(); ++i) {
                if (hex[i] == ' ') continue;
                configuration.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
                ++i;
            }
            at = end + 1;
        }
    }
    ASSERT_GT(configuration.size(), 8u);
    EXPECT_EQ(configuration[0], 1); // avcC version

    const std::string path = scratchFolder() + "/copied.mov";
    auto writer = MovieWriter::create(path);
    ASSERT_TRUE(writer.ok()) << writer.error();
    VideoTrackSettings video;
    video.codec = VideoCodec::H264Passthrough;
    video.widthPixels = 640;
    video.heightPixels = 360;
    video.codecConfiguration = configuration;
    const std::size_t track = *(*writer)->addVideoTrack(video);
    ASSERT_TRUE((*writer)->start().ok());
    const std::string rows(table.begin(), table.end());
    std::size_t offset = 0;
    int packets = 0;
    for (std::size_t at = 0; at < rows.size();) {
        const std::size_t end = rows.find('\n', at);
        long long pts = 0, dts = 0;
        std::size_t size = 0;
        char flags[8] = {};
        ASSERT_EQ(std::sscanf(rows.c_str() + at, "%lld,%lld,%zu,%7s", &pts, &dts, &size, flags), 4);
        ASSERT_LE(offset + size, payload.size());
        const Status appended =
            (*writer)->appendVideoPacket(track, payload.data() + offset, size, MediaTime{pts, 15360},
                                         MediaTime{dts, 15360}, flags[0] == 'K');
        ASSERT_TRUE(appended.ok()) << appended.error();
        offset += size;
        ++packets;
        at = end == std::string::npos ? rows.size() : end + 1;
    }
    EXPECT_EQ(packets, 180);
    ASSERT_TRUE((*writer)->finish().ok());

    // The copy decodes to the very same pictures at the same times.
    auto original = MediaImageGenerator::create(*MediaAsset::open(source), 0);
    auto copied = MediaImageGenerator::create(*MediaAsset::open(path), 0);
    ASSERT_TRUE(original.ok() && copied.ok());
    for (int frame : {0, 1, 45, 179}) {
        auto a = (*original)->imageAtTime(MediaTime{frame * 20, 600});
        auto b = (*copied)->imageAtTime(MediaTime{frame * 20, 600});
        ASSERT_TRUE(a.ok() && b.ok()) << frame;
        EXPECT_EQ(a->time, b->time);
        EXPECT_EQ(meanDifference(a->image, b->image), 0.0) << "frame " << frame;
    }
}
