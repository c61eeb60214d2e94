// A whole composition exported as H.264 and ProRes movies and read back only with the ffmpeg
// tools: its pictures, an AAC track per language that has sound (each hearing its own tone, its
// silences, its volume and its speech and clicks), a subtitle track per language with subtitles
// whose SubRip text is ours, and the chapters at their times.

#include "ExportLanguageMixSupport.h"
#include "MediaFixtures.h"
#include "MovieExporterTestSupport.h"
#include "export/ExportLanguageCodes.h"
#include "export/ExportTextTracks.h"
#include "export/VTLMovieExporter.h"
#include "model/CompositionChapterMark.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <sstream>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

constexpr double acceptanceRate = 44100;
constexpr int acceptanceFrameRate = 15;

// One channel of a decoded track.
struct AcceptanceSound {
    std::vector<float> left;

    std::size_t frameAt(double seconds) const {
        return std::min(left.size(), static_cast<std::size_t>(std::llround(seconds * acceptanceRate)));
    }
    double peak(double from, double to) const {
        double most = 0;
        for (std::size_t i = frameAt(from); i < frameAt(to); ++i)
            most = std::max(most, double(std::fabs(left[i])));
        return most;
    }
    double rms(double from, double to) const {
        double sum = 0;
        const std::size_t a = frameAt(from), b = frameAt(to);
        for (std::size_t i = a; i < b; ++i)
            sum += double(left[i]) * left[i];
        return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
    }
    // Power at one frequency (a Goertzel filter over the span).
    double powerAt(double frequency, double from, double to) const {
        const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / acceptanceRate);
        double s1 = 0, s2 = 0;
        for (std::size_t i = frameAt(from); i < frameAt(to); ++i) {
            const double s0 = left[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    }
};

double acceptanceDecibels(double level) {
    return 20 * std::log10(std::max(level, 1e-12));
}

AcceptanceSound acceptanceDecode(const std::string& path, int audioIndex) {
    const std::vector<float> interleaved = referenceSamples(path, int(acceptanceRate), 2, audioIndex);
    AcceptanceSound sound;
    for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2)
        sound.left.push_back(interleaved[i]);
    return sound;
}

struct AcceptanceChapter {
    double start;
    std::string title;
};

std::vector<AcceptanceChapter> acceptanceChapters(const std::string& path) {
    const std::vector<std::uint8_t> out = commandOutput(
        "ffprobe -v error -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 '" + path + "'");
    std::istringstream lines(std::string(out.begin(), out.end()));
    std::vector<AcceptanceChapter> chapters;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        chapters.push_back({std::stod(line.substr(0, comma)), line.substr(comma + 1)});
    }
    return chapters;
}

// A SubRip entry as the ffmpeg tool writes it from a text track, without the markup it adds for
// the track's style ("<font …>{\\an7}Text</font>").
struct AcceptanceSubRipEntry {
    std::int64_t milliseconds[2];
    std::string text;
};

std::vector<AcceptanceSubRipEntry> acceptanceSubRipEntries(const std::string& text) {
    std::vector<AcceptanceSubRipEntry> entries;
    std::istringstream lines(text);
    std::string number, times, body, blank;
    while (std::getline(lines, number) && std::getline(lines, times) && std::getline(lines, body)) {
        std::getline(lines, blank);
        AcceptanceSubRipEntry entry{};
        int h[2], m[2], s[2], ms[2];
        if (std::sscanf(times.c_str(), "%d:%d:%d,%d --> %d:%d:%d,%d", &h[0], &m[0], &s[0], &ms[0], &h[1],
                        &m[1], &s[1], &ms[1]) != 8)
            return {};
        for (int i = 0; i < 2; ++i)
            entry.milliseconds[i] = ((std::int64_t(h[i]) * 60 + m[i]) * 60 + s[i]) * 1000 + ms[i];
        for (std::size_t tag; (tag = body.find('<')) != std::string::npos;) {
            const std::size_t close = body.find('>', tag);
            if (close == std::string::npos) break;
            body.erase(tag, close - tag + 1);
        }
        for (std::size_t brace; (brace = body.find("{\\")) != std::string::npos;) {
            const std::size_t close = body.find('}', brace);
            if (close == std::string::npos) break;
            body.erase(brace, close - brace + 1);
        }
        entry.text = body;
        entries.push_back(entry);
    }
    return entries;
}

// How many handler boxes of a movie name the handler type.
int acceptanceHandlerCount(const std::string& path, const std::string& type) {
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    const std::string file(bytes.begin(), bytes.end());
    int count = 0;
    // "hdlr", version and flags, the component type, then the handler type.
    for (std::size_t at = file.find("hdlr"); at != std::string::npos; at = file.find("hdlr", at + 4))
        if (at + 16 <= file.size() && file.compare(at + 12, 4, type) == 0) ++count;
    return count;
}

// Index among the streams of a type, by language tag; -1 when none carries it.
int acceptanceStreamOf(const ProbedMovie& probed, const std::string& type, const std::string& language) {
    int index = 0;
    for (const auto& stream : probed.streams) {
        if (stream.at("codec_type") != type) continue;
        const auto tag = stream.find("TAG:language");
        if (tag != stream.end() && tag->second == language) return index;
        ++index;
    }
    return -1;
}

int acceptanceStreamCount(const ProbedMovie& probed, const std::string& type) {
    return int(std::count_if(probed.streams.begin(), probed.streams.end(),
                             [&](const auto& stream) { return stream.at("codec_type") == type; }));
}

constexpr std::int32_t acceptanceEnglish = 0;
constexpr std::int32_t acceptanceFrench = 1;
constexpr std::int32_t acceptanceGerman = 2;

// A 4 s composition on a 640 × 360 canvas: the testsrc2 movie (French, its only sound a click at
// 3.75 s); English 440 Hz from 0 to 2 s; German 880 Hz from 2 to 4 s, muted from 3 to 3.5 s, at
// volume delta 0.5; English and German speech shown only as subtitles from 0 s; English speech
// heard from 2 s; three chapters.
class MovieExportAcceptance : public ExportMixFixture {
protected:
    MovieExportAcceptance()
        : folder_(fs::path(scratchFolder()) / "movie-export-acceptance") {
        CompositionMovieTrackObject::registerClasses();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        container()->setCanvasSize(Size(640, 360));
        movie_ = clickTrack({3.75}, 0.0, acceptanceFrench);
        movie_->setMovieStartTimeMovieEndTime(0, 4);
        movie_->setStartTimeEndTime(0, 4);
        movie_->setNoneAnimationStateFromTrackMatrix();
        audioTrack(toneFile(440, 2.0), acceptanceEnglish, 0.0);
        german_ = audioTrack(toneFile(880, 2.0), acceptanceGerman, 2.0);
        EXPECT_TRUE(german_->addNewTriggeredStateAtGlobalTimes(3.0, 3.5));
        german_->setVolumeDelta(0.5f);
        speechObject({{"English", "Welcome. This is shown."}, {"German", "Willkommen. Das wird gezeigt."}},
                     SpeechRole::SubtitleOnly, 0.0);
        heard_ = speechObject({{"English", "Hello there."}}, SpeechRole::Spoken, 2.0);
        for (const auto& [time, title] : chapterMarks_)
            container()->createChapterMarkAtTime(time)->setName(title);
    }
    ~MovieExportAcceptance() override {
        movie_->cancelTrackExtraction();
        fs::remove_all(folder_);
    }

    std::string exportTo(const std::string& name, ExportVideoCodec codec) {
        const std::string path = (folder_ / name).string();
        VTLMovieExporter exporter(document_.objectsContainer());
        exporter.setExportPath(path);
        exporter.setFrameRate(acceptanceFrameRate);
        exporter.setExportScalingFactor(0.5f);
        exporter.setVideoCodec(codec);
        const Status started = exporter.startExport();
        EXPECT_TRUE(started) << started.error();
        const Status done = exporter.waitUntilFinished();
        EXPECT_TRUE(done) << done.error();
        return path;
    }

    const std::vector<std::pair<double, std::string>> chapterMarks_ = {
        {0.0, "Opening"}, {1.2345, "Tones"}, {2.71828, "Speech"}};
    fs::path folder_;
    std::shared_ptr<ClickTrack> movie_;
    std::shared_ptr<CompositionAudioTrackObject> german_;
    std::shared_ptr<CompositionGeneratedSpeechTrackObject> heard_;
};

TEST_F(MovieExportAcceptance, MoviesCarryEachLanguagesSoundSubtitlesAndTheChapters) {
    const double heardEnd = 2.0 + heard_->durationForLanguage("English");
    ASSERT_GT(heardEnd, 2.3) << "the heard speech was synthesized";
    ASSERT_LT(heardEnd, 3.6) << "the heard speech ends before the click";
    const std::int64_t frames = exportFrameCount(container()->maximumVisibleTime(), acceptanceFrameRate);

    // The same composition without the volume delta, as the reference of the German level.
    german_->setVolumeDelta(0.0f);
    const std::string plain = exportTo("plain.m4v", ExportVideoCodec::H264);
    german_->setVolumeDelta(0.5f);
    const ProbedMovie plainProbed = probeExportedMovie(plain);
    const int plainGerman = acceptanceStreamOf(
        plainProbed, "audio", movieLanguageCode(acceptanceGerman, ExportLanguageContainer::Mpeg4));
    ASSERT_GE(plainGerman, 0);
    const AcceptanceSound germanWithoutDelta = acceptanceDecode(plain, plainGerman);

    struct Case {
        const char* name;
        ExportVideoCodec codec;
        ExportLanguageContainer codes;
        const char* codecName;
    };
    const Case cases[] = {
        {"accepted.m4v", ExportVideoCodec::H264, ExportLanguageContainer::Mpeg4, "h264"},
        {"accepted.mov", ExportVideoCodec::ProRes422, ExportLanguageContainer::QuickTime, "prores"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = exportTo(c.name, c.codec);
        const ProbedMovie probed = probeExportedMovie(path);

        ASSERT_EQ(acceptanceStreamCount(probed, "video"), 1);
        const auto& video = probed.streams[0];
        EXPECT_EQ(video.at("codec_type"), "video");
        EXPECT_EQ(video.at("codec_name"), c.codecName);
        EXPECT_EQ(video.at("width"), "320");
        EXPECT_EQ(video.at("height"), "180");
        EXPECT_EQ(video.at("r_frame_rate"), "15/1");
        EXPECT_EQ(video.at("nb_read_frames"), std::to_string(frames));
        // The sound runs to the composition's end, one frame past the last picture.
        EXPECT_NEAR(std::stod(probed.format.at("duration")), container()->maximumTime(), 0.05);

        // Sound: English and German, each AAC 44.1 kHz stereo; the clicks alone keep no French track.
        const std::string english = movieLanguageCode(acceptanceEnglish, c.codes);
        const std::string german = movieLanguageCode(acceptanceGerman, c.codes);
        EXPECT_EQ(acceptanceStreamCount(probed, "audio"), 2);
        for (const auto& stream : probed.streams) {
            if (stream.at("codec_type") != "audio") continue;
            EXPECT_EQ(stream.at("codec_name"), "aac");
            EXPECT_EQ(stream.at("sample_rate"), "44100");
            EXPECT_EQ(stream.at("channels"), "2");
        }
        const int englishAudio = acceptanceStreamOf(probed, "audio", english);
        const int germanAudio = acceptanceStreamOf(probed, "audio", german);
        ASSERT_GE(englishAudio, 0);
        ASSERT_GE(germanAudio, 0);
        EXPECT_EQ(acceptanceStreamOf(probed, "audio", movieLanguageCode(acceptanceFrench, c.codes)), -1);

        // Subtitles: one text track for each of English and German, ours as SubRip.
        EXPECT_EQ(acceptanceStreamCount(probed, "subtitle"), 2);
        for (const std::int32_t code : {acceptanceEnglish, acceptanceGerman}) {
            SCOPED_TRACE(code);
            const int index = acceptanceStreamOf(probed, "subtitle", movieLanguageCode(code, c.codes));
            ASSERT_GE(index, 0);
            int seen = -1;
            for (const auto& stream : probed.streams) {
                if (stream.at("codec_type") != "subtitle" || ++seen != index) continue;
                EXPECT_EQ(stream.at("codec_name"), "mov_text");
                EXPECT_EQ(stream.at("codec_tag_string"), "tx3g");
            }
            const std::vector<std::uint8_t> srt = commandOutput(
                "ffmpeg -nostdin -v error -i '" + path + "' -map 0:s:" + std::to_string(index) + " -f srt -");
            const std::string expected = captionsString(*container(), *language(code));
            ASSERT_FALSE(expected.empty());
            const auto read = acceptanceSubRipEntries(std::string(srt.begin(), srt.end()));
            const auto ours = acceptanceSubRipEntries(expected);
            ASSERT_EQ(read.size(), ours.size()) << std::string(srt.begin(), srt.end());
            for (std::size_t i = 0; i < ours.size(); ++i) {
                EXPECT_EQ(read[i].text, ours[i].text) << i;
                // Ours truncates the exact time to milliseconds, the ffmpeg tool rounds it.
                for (int end = 0; end < 2; ++end) {
                    const std::int64_t late = read[i].milliseconds[end] - ours[i].milliseconds[end];
                    EXPECT_TRUE(late == 0 || late == 1)
                        << i << " " << read[i].milliseconds[end] << " " << ours[i].milliseconds[end];
                }
            }
        }
        EXPECT_EQ(acceptanceHandlerCount(path, "sbtl"), 2) << "the subtitle tracks' handler";

        // Chapters at their times truncated to 1/600 s.
        const auto chapters = acceptanceChapters(path);
        ASSERT_EQ(chapters.size(), chapterMarks_.size());
        for (std::size_t i = 0; i < chapters.size(); ++i) {
            EXPECT_EQ(chapters[i].title, chapterMarks_[i].second);
            // The muxer keeps chapter times in milliseconds.
            EXPECT_NEAR(chapters[i].start, std::trunc(chapterMarks_[i].first * 600) / 600, 0.0006) << i;
        }

        // English: its 440 Hz tone to 2 s, then the heard speech, silence, and the click.
        const AcceptanceSound englishSound = acceptanceDecode(path, englishAudio);
        ASSERT_GT(englishSound.left.size(), englishSound.frameAt(3.9));
        EXPECT_GT(englishSound.powerAt(440, 0.1, 1.9), 1000 * englishSound.powerAt(880, 0.1, 1.9));
        EXPECT_NEAR(acceptanceDecibels(englishSound.rms(0.1, 1.9)), acceptanceDecibels(0.5 / std::sqrt(2.0)),
                    0.5);
        EXPECT_GT(englishSound.peak(2.05, heardEnd), 0.05) << "the heard speech";
        EXPECT_LT(acceptanceDecibels(englishSound.peak(heardEnd + 0.05, 3.7)), -60) << "after the speech";
        EXPECT_GT(englishSound.peak(3.74, 3.85), 0.01) << "the click";

        // German: silent before 2 s and while muted; 880 Hz at 1.75 times the level without the delta.
        const AcceptanceSound germanSound = acceptanceDecode(path, germanAudio);
        ASSERT_GT(germanSound.left.size(), germanSound.frameAt(3.9));
        EXPECT_LT(acceptanceDecibels(germanSound.peak(0.0, 1.95)), -60) << "before 2 s";
        EXPECT_LT(acceptanceDecibels(germanSound.peak(3.05, 3.45)), -60) << "the mute phase";
        EXPECT_GT(germanSound.powerAt(880, 2.1, 2.9), 1000 * germanSound.powerAt(440, 2.1, 2.9));
        for (const auto& [from, to] : {std::pair{2.1, 2.9}, std::pair{3.55, 3.7}}) {
            const double gain = acceptanceDecibels(germanSound.rms(from, to)) -
                                acceptanceDecibels(germanWithoutDelta.rms(from, to));
            EXPECT_NEAR(gain, acceptanceDecibels(1.75), 0.5) << from << " to " << to;
        }
        EXPECT_GT(germanSound.peak(3.74, 3.85), germanSound.peak(3.55, 3.7)) << "the click over the tone";
    }
}

} // namespace
} // namespace vtl::test
