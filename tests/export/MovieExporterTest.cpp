// The movie exporter: pixel sizes and frame counts, a composition as H.264 and ProRes movies read
// back with ffprobe and compared with the generator's frames, the language codes both containers
// keep, and every way an export fails: a reason, no file, no post-export action, an earlier movie
// at the target untouched.

#include "MediaFixtures.h"
#include "MovieExporterTestSupport.h"
#include "editing/EditTransaction.h"
#include "export/ExportLanguageCodes.h"
#include "export/ExportLanguageMix.h"
#include "export/ExportTextTracks.h"
#include "export/VTLMovieExporter.h"
#include "model/CompositionChapterMark.h"
#include "model/SharedMediaManager.h"
#include "model/VistrelLanguage.h"
#include "model/support/ModelFixture.h"
#include "objects/CompositionShapeObject.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/Tx3gSampleEntry.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

TEST(MovieExporterSizes, PixelSizesFollowTheCodecsRules) {
    struct Case {
        Size size;
        float factor;
        ExportVideoCodec codec;
        int width, height;
    };
    const Case cases[] = {
        {{1280, 720}, 1.0f, ExportVideoCodec::H264, 1280, 720},
        {{1280, 720}, 0.5f, ExportVideoCodec::H264, 640, 360},
        // Capped to fit 3840 × 2160 (a single-precision factor), then made even.
        {{3000, 3000}, 1.0f, ExportVideoCodec::H264, 2160, 2160},
        {{4000, 2000}, 1.0f, ExportVideoCodec::H264, 3840, 1920},
        {{4001, 2001}, 1.0f, ExportVideoCodec::H264, 3840, 1920},
        {{5000, 2161}, 1.0f, ExportVideoCodec::H264, 3838, 1658},
        // ProRes has no cap; 4:2:2 needs an even width only, 4:4:4:4 nothing.
        {{3000, 3000}, 1.0f, ExportVideoCodec::ProRes422, 3000, 3000},
        {{641, 481}, 1.0f, ExportVideoCodec::H264, 640, 480},
        {{641, 481}, 1.0f, ExportVideoCodec::ProRes422, 640, 481},
        {{641, 481}, 1.0f, ExportVideoCodec::ProRes4444, 641, 481},
        // Unusable sizes make no movie.
        {{0, 0}, 1.0f, ExportVideoCodec::H264, 0, 0},
        {{1, 1}, 1.0f, ExportVideoCodec::H264, 0, 0},
        {{640, 480}, std::nanf(""), ExportVideoCodec::H264, 0, 0},
        {{20000, 100}, 1.0f, ExportVideoCodec::ProRes4444, 0, 0},
    };
    for (const Case& c : cases) {
        const ExportPixelSize pixels = exportPixelSize(c.size, c.factor, c.codec);
        EXPECT_EQ(pixels.width, c.width)
            << c.size.width << " x " << c.size.height << " codec " << int(c.codec);
        EXPECT_EQ(pixels.height, c.height)
            << c.size.width << " x " << c.size.height << " codec " << int(c.codec);
    }
}

TEST(MovieExporterSizes, FrameCountsEndOneFrameBeforeTheVisibleEnd) {
    struct Case {
        double length;
        std::int64_t rate;
        std::int64_t frames;
    };
    const Case cases[] = {
        {5.0, 30, 149}, {2.0, 60, 119}, {2.0, 15, 29}, {1.0 / 60, 60, 1},
        {0.001, 30, 1}, {0, 30, 1},     {10.0, 1, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exportFrameCount(c.length, c.rate), c.frames) << c.length << " s at " << c.rate;
}

// Every language's track code read back from a movie of each container.
TEST(MovieExporterLanguages, EveryLanguageCodeSurvivesBothContainers) {
    const fs::path folder = fs::path(scratchFolder()) / "export-languages";
    fs::create_directories(folder);
    for (const auto& [extension, container] : {std::pair{".mov", ExportLanguageContainer::QuickTime},
                                               std::pair{".m4v", ExportLanguageContainer::Mpeg4}}) {
        const std::string path = (folder / (std::string("languages") + extension)).string();
        auto writer = MovieWriter::create(path);
        ASSERT_TRUE(writer) << writer.error();
        for (std::int32_t code = 0; code <= VistrelLanguage::kLastLanguageCode; ++code) {
            TextTrackSettings text;
            text.sampleEntry = Tx3gSampleEntry().bytes();
            text.widthPixels = 320;
            text.heightPixels = 60;
            text.languageCode = movieLanguageCode(code, container);
            ASSERT_TRUE(writer.value()->addTextTrack(text)) << code;
        }
        ASSERT_TRUE(writer.value()->start());
        for (std::size_t track = 0; track <= std::size_t(VistrelLanguage::kLastLanguageCode); ++track)
            ASSERT_TRUE(writer.value()->appendText(track, "Hello", MediaTime{0, 600}, MediaTime{600, 600}));
        ASSERT_TRUE(writer.value()->finish());

        const ProbedMovie probed = probeExportedMovie(path);
        ASSERT_EQ(probed.streams.size(), std::size_t(VistrelLanguage::kLastLanguageCode + 1)) << extension;
        for (std::int32_t code = 0; code <= VistrelLanguage::kLastLanguageCode; ++code) {
            const auto& stream = probed.streams[std::size_t(code)];
            const auto language = stream.find("TAG:language");
            ASSERT_NE(language, stream.end()) << extension << " code " << code;
            EXPECT_EQ(language->second, movieLanguageCode(code, container)) << extension << " code " << code;
        }
    }
}

class ExportRecordingDelegate : public VTLMovieExportProgressDelegate {
public:
    void exportProgressedTo(double seconds) override {
        std::lock_guard lock(mutex);
        times.push_back(seconds);
        if (onProgress) onProgress(seconds);
    }
    std::mutex mutex;
    std::vector<double> times;
    std::function<void(double)> onProgress;
};

// A 2 s composition: a testsrc2 movie filling the 640 × 360 canvas and a green square over it.
class MovieExport : public ModelFixture {
protected:
    MovieExport()
        : folder_(fs::path(scratchFolder()) /
                  ("movie-export-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
        , media_(folder_ / "media") {
        CompositionMovieTrackObject::registerClasses();
        CompositionAudioTrackObject::registerClasses();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        container()->setCanvasSize(Size(640, 360));
        movie_ = makeModelObject<CompositionMovieTrackObject>(container());
        movie_->setMediaEntry(media_.entryForResourceWithFileSystemPath(
            mediaFixture("h264-360p"), &document, SharedMediaManager::ResourceCopy::None));
        movie_->setTrackIndex(0);
        movie_->setMovieStartTimeMovieEndTime(0, 2);
        movie_->setStartTimeEndTime(0, 2);
        container()->addObject(movie_);
        movie_->setNoneAnimationStateFromTrackMatrix();
        auto square = makeModelObject<CompositionShapeObject>(container(), int32_t(ShapeKind::Polygon));
        square->setStartTimeEndTime(0.5, 2);
        square->setRect(Rect(40, 40, 120, 120), 0);
        square->setColor(RGBAColor::device(0.2, 0.8, 0.3, 1), 0);
        container()->addObject(square);
    }
    ~MovieExport() override {
        movie_->cancelTrackExtraction();
        fs::remove_all(folder_);
    }

    std::unique_ptr<VTLMovieExporter> exporter(const std::string& name) {
        auto made = std::make_unique<VTLMovieExporter>(document.objectsContainer());
        made->setExportPath((folder_ / name).string());
        made->setFrameRate(15);
        made->setProgressDelegate(&progress_);
        made->setPostExportAction([this] { ++postExportActions_; });
        made->setCompletionHandler([this](const Status&) { ++completions_; });
        return made;
    }

    fs::path folder_;
    SharedMediaManager media_;
    std::shared_ptr<CompositionMovieTrackObject> movie_;
    std::vector<std::shared_ptr<CompositionAudioTrackObject>> sounds_;
    ExportRecordingDelegate progress_;
    std::atomic<int> postExportActions_{0};
    std::atomic<int> completions_{0};
};

double lumaPsnrOf(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                  std::size_t pixels) {
    double squared = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        auto luma = [](const std::uint8_t* p) { return 0.0722 * p[0] + 0.7152 * p[1] + 0.2126 * p[2]; };
        const double d = luma(a.data() + i * 4) - luma(b.data() + i * 4);
        squared += d * d;
    }
    const double mse = squared / double(pixels);
    return mse <= 1e-12 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(MovieExport, H264AndProResMoviesHoldTheRenderedFrames) {
    struct Case {
        const char* name;
        ExportVideoCodec codec;
        const char* codecName;
        const char* formatName;
        double minimumPsnr;
    };
    const Case cases[] = {
        {"movie.m4v", ExportVideoCodec::H264, "h264", "mov,mp4,m4a,3gp,3g2,mj2", 38},
        {"movie.mov", ExportVideoCodec::ProRes422, "prores", "mov,mp4,m4a,3gp,3g2,mj2", 45},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto made = exporter(c.name);
        made->setVideoCodec(c.codec);
        ASSERT_TRUE(made->startExport());
        const Status done = made->waitUntilFinished();
        ASSERT_TRUE(done) << done.error();

        const std::string path = (folder_ / c.name).string();
        const ProbedMovie probed = probeExportedMovie(path);
        ASSERT_EQ(probed.streams.size(), 1u);
        const auto& video = probed.streams[0];
        EXPECT_EQ(video.at("codec_name"), c.codecName);
        EXPECT_EQ(video.at("width"), "640");
        EXPECT_EQ(video.at("height"), "360");
        EXPECT_EQ(video.at("r_frame_rate"), "15/1");
        // 2 s at 15 frames a second ends one frame before the end: 29 frames.
        EXPECT_EQ(video.at("nb_read_frames"), "29");
        EXPECT_NEAR(std::stod(probed.format.at("duration")), 29.0 / 15.0, 0.01);
        EXPECT_EQ(made->framesWritten(), 29);

        const std::vector<int> indexes = {0, 10, 22};
        const auto decoded = referenceFrames(path, indexes, 640, 360, "bt709");
        ASSERT_EQ(decoded.size(), indexes.size());
        // The frames as an export renders them (movies read in order, not scrubbed).
        VTLObjectsContainerImageGenerator generator(Size(640, 360), 1, nullptr, GeneratorAlpha::Without);
        generator.setObjectsContainer(document.objectsContainer());
        movie_->beginExport();
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            auto expected = generator.imageFromObjectsContainer(*container(), indexes[i] / 15.0, false, true);
            ASSERT_TRUE(expected) << expected.error();
            std::vector<std::uint8_t> rows(640 * 360 * 4);
            for (int y = 0; y < 360; ++y)
                std::memcpy(rows.data() + std::size_t(y) * 640 * 4, expected->row(y), 640 * 4);
            EXPECT_GE(lumaPsnrOf(rows, decoded[i], 640 * 360), c.minimumPsnr) << "frame " << indexes[i];
        }
        movie_->endExport();
    }
    EXPECT_EQ(postExportActions_, 2);
    EXPECT_EQ(completions_, 2);
    // Progress every frame at 15 fps (15 ÷ 10 = 1), for both movies, ending at the last frame.
    EXPECT_EQ(progress_.times.size(), 58u);
    EXPECT_NEAR(progress_.times.back(), 29.0 / 15.0, 1e-9);
}

TEST_F(MovieExport, ProgressComesEveryTenthOfTheFrameRate) {
    auto made = exporter("progress.m4v");
    made->setFrameRate(30);
    made->setExportScalingFactor(0.25f);
    ASSERT_TRUE(made->startExport());
    ASSERT_TRUE(made->waitUntilFinished());
    // 59 frames, reported at every third: 3, 6, … 57.
    ASSERT_EQ(progress_.times.size(), 19u);
    EXPECT_NEAR(progress_.times.front(), 0.1, 1e-9);
    EXPECT_NEAR(progress_.times.back(), 57.0 / 30.0, 1e-9);
    const ProbedMovie probed = probeExportedMovie((folder_ / "progress.m4v").string());
    ASSERT_EQ(probed.streams.size(), 1u);
    EXPECT_EQ(probed.streams[0].at("width"), "160");
    EXPECT_EQ(probed.streams[0].at("height"), "90");
}

// The composition refuses changes from the start of the export until just before its completion
// handler runs, whether the export succeeds or is cancelled.
TEST_F(MovieExport, TheCompositionIsFrozenForTheWholeExport) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "finished");
        auto made = exporter(cancel ? "cancelled.m4v" : "frozen.m4v");
        made->setExportScalingFactor(0.25f);
        // The export waits at its first progress until the checks below are done.
        std::promise<void> checked;
        std::shared_future<void> gate = checked.get_future().share();
        std::atomic<int> thawedProgress{0};
        std::atomic<bool> frozenAtCompletion{true};
        progress_.onProgress = [&](double) {
            gate.wait();
            if (!container()->isInExport()) ++thawedProgress;
            if (cancel) made->cancelExport();
        };
        made->setCompletionHandler([&](const Status&) { frozenAtCompletion = container()->isInExport(); });
        ASSERT_TRUE(made->startExport());
        EXPECT_TRUE(container()->isInExport());
        {
            EditTransaction edit(*container());
            EXPECT_FALSE(edit.status()) << "an edit is refused while the export runs";
        }
        checked.set_value();
        (void)made->waitUntilFinished();
        EXPECT_EQ(thawedProgress, 0);
        EXPECT_FALSE(frozenAtCompletion);
        EXPECT_FALSE(container()->isInExport());
        progress_.onProgress = nullptr;
    }
}

// Each failure leaves the earlier movie at the target as it was and no other file, says why, and
// runs no post-export action.
TEST_F(MovieExport, FailuresLeaveNoFileAndKeepAnEarlierMovie) {
    enum class Way { Cancel, LowFreeSpace, FailingDisk };
    struct Case {
        const char* name;
        Way way;
        const char* reason;
    };
    const Case cases[] = {
        {"cancel", Way::Cancel, "cancelled"},
        {"low free space", Way::LowFreeSpace, "not enough free space"},
        {"failing disk", Way::FailingDisk, "The test disk is full."},
    };
    const fs::path target = folder_ / "earlier.m4v";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFileBytes(target.string(), {'o', 'l', 'd'});
        auto made = exporter("earlier.m4v");
        std::atomic<std::uint64_t> freeSpaceAsked{0};
        switch (c.way) {
        case Way::Cancel:
            progress_.onProgress = [raw = made.get()](double seconds) {
                if (seconds >= 0.5) raw->cancelExport();
            };
            break;
        case Way::LowFreeSpace:
            made->setFreeSpaceQuery([&](const std::string& folder) -> std::optional<std::uint64_t> {
                EXPECT_EQ(fs::path(folder), folder_);
                ++freeSpaceAsked;
                return VTLMovieExporter::kMinimumFreeBytes - 1;
            });
            break;
        case Way::FailingDisk: {
            MovieWriterOptions options;
            options.beforeWrite = [](std::int64_t offset, std::size_t size) -> Status {
                if (offset + std::int64_t(size) > 20 * 1024) return fail("The test disk is full.");
                return {};
            };
            made->setWriterOptions(options);
            break;
        }
        }
        const int completionsBefore = completions_;
        ASSERT_TRUE(made->startExport());
        const Status done = made->waitUntilFinished();
        progress_.onProgress = nullptr;
        ASSERT_FALSE(done);
        EXPECT_NE(done.error().find(c.reason), std::string::npos) << done.error();
        EXPECT_EQ(readFileBytes(target.string()), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(exportFolderListing(folder_), (std::vector<std::string>{"earlier.m4v"}));
        EXPECT_EQ(postExportActions_, 0);
        EXPECT_EQ(completions_, completionsBefore + 1);
        if (c.way == Way::LowFreeSpace) {
            EXPECT_EQ(freeSpaceAsked, 1u);
        }
    }
}

TEST_F(MovieExport, ACompositionEndingBeyondADayIsRefused) {
    auto far = makeModelObject<CompositionShapeObject>(container(), int32_t(ShapeKind::Polygon));
    far->setStartTimeEndTime(0, 1e12);
    far->setRect(Rect(0, 0, 10, 10), 0);
    container()->addObject(far);
    auto made = exporter("endless.m4v");
    ASSERT_TRUE(made->startExport());
    const Status done = made->waitUntilFinished();
    ASSERT_FALSE(done);
    EXPECT_NE(done.error().find("24 hours"), std::string::npos) << done.error();
    EXPECT_TRUE(exportFolderListing(folder_).empty());
    EXPECT_EQ(made->framesWritten(), 0);
}

TEST_F(MovieExport, SettingsThatMakeNoMovieAreRefusedAtOnce) {
    struct Case {
        const char* name;
        ExportVideoCodec codec;
        std::int64_t frameRate;
        Size size;
        const char* reason;
    };
    const Case cases[] = {
        {"prores.m4v", ExportVideoCodec::ProRes422, 30, {0, 0}, "ProRes"},
        {"movie.avi", ExportVideoCodec::H264, 30, {0, 0}, ".mov, .m4v or .mp4"},
        {"slow.mp4", ExportVideoCodec::H264, 0, {0, 0}, "frame rate"},
        {"tiny.mp4", ExportVideoCodec::H264, 30, {1, 1}, "cannot be made"},
        {"", ExportVideoCodec::H264, 30, {0, 0}, "No file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto made = std::make_unique<VTLMovieExporter>(document.objectsContainer());
        made->setExportPath(*c.name ? (folder_ / c.name).string() : std::string());
        made->setVideoCodec(c.codec);
        made->setFrameRate(c.frameRate);
        made->setExportSize(c.size);
        bool completed = false;
        made->setCompletionHandler([&](const Status&) { completed = true; });
        const Status started = made->startExport();
        ASSERT_FALSE(started);
        EXPECT_NE(started.error().find(c.reason), std::string::npos) << started.error();
        EXPECT_FALSE(made->waitUntilFinished());
        EXPECT_FALSE(completed);
    }
    EXPECT_TRUE(exportFolderListing(folder_) == std::vector<std::string>{"media"} ||
                exportFolderListing(folder_).empty());

    auto twice = exporter("twice.m4v");
    twice->setExportScalingFactor(0.25f);
    ASSERT_TRUE(twice->startExport());
    const Status again = twice->startExport();
    EXPECT_FALSE(again);
    EXPECT_TRUE(twice->waitUntilFinished());
}

// Two languages' sound and three chapters: an AAC track per language, tagged as each container
// keeps it, and the chapters with their titles.
TEST_F(MovieExport, LanguagesAndChaptersBecomeTracks) {
    struct Tone {
        int frequency;
        std::int32_t language;
    };
    for (const Tone& tone : {Tone{440, 0}, Tone{880, 2}}) {
        const std::string path = (folder_ / ("tone-" + std::to_string(tone.frequency) + ".m4a")).string();
        ASSERT_TRUE(runCommand("ffmpeg -v error -y -f lavfi -i 'sine=f=" + std::to_string(tone.frequency) +
                               ":d=2' -c:a aac -ac 2 '" + path + "'"));
        auto sound = makeModelObject<CompositionAudioTrackObject>(container());
        sound->setMediaEntry(media_.entryForResourceWithFileSystemPath(
            path, &document, SharedMediaManager::ResourceCopy::None));
        sound->setTrackIndex(0);
        sound->setVistrelLanguage(VistrelLanguage::languageWithLanguageScript(tone.language));
        container()->addObject(sound);
        sounds_.push_back(sound);
    }
    const char* titles[] = {"Start", "Middle", "End"};
    for (int i = 0; i < 3; ++i)
        container()->createChapterMarkAtTime(i * 0.6)->setName(titles[i]);

    const bool mixed = !languagesWithExportAudio(*container(), container()->languagesToExport()).empty();
    const bool chaptered = !exportChapters(*container()).empty();
    for (const auto& [name, codes] : {std::pair{"languages.m4v", ExportLanguageContainer::Mpeg4},
                                      std::pair{"languages.mov", ExportLanguageContainer::QuickTime}}) {
        SCOPED_TRACE(name);
        auto made = exporter(name);
        made->setExportScalingFactor(0.5f);
        ASSERT_TRUE(made->startExport());
        const Status done = made->waitUntilFinished();
        ASSERT_TRUE(done) << done.error();
        const ProbedMovie probed = probeExportedMovie((folder_ / name).string());
        std::vector<std::string> languages;
        for (const auto& stream : probed.streams) {
            if (stream.at("codec_type") != "audio") continue;
            EXPECT_EQ(stream.at("codec_name"), "aac");
            EXPECT_EQ(stream.at("sample_rate"), "44100");
            EXPECT_EQ(stream.at("channels"), "2");
            languages.push_back(stream.count("TAG:language") ? stream.at("TAG:language") : "");
        }
        const std::vector<std::string> expected = {movieLanguageCode(0, codes), movieLanguageCode(2, codes)};
        EXPECT_EQ(languages, mixed ? expected : std::vector<std::string>{});
        if (chaptered) {
            EXPECT_EQ(probed.chapterTitles, (std::vector<std::string>{"Start", "Middle", "End"}));
        }
    }
    for (const auto& sound : sounds_)
        sound->cancelTrackExtraction();
    if (!mixed || !chaptered) GTEST_SKIP() << "Sound or chapters are not exported in this build.";
}

TEST_F(MovieExport, UnreadableSourceFailsTheExport) {
    const std::string broken = (folder_ / "broken.mov").string();
    writeFileBytes(broken, std::vector<std::uint8_t>(4096, 0x5a));
    auto track = makeModelObject<CompositionMovieTrackObject>(container());
    track->setMediaEntry(
        media_.entryForResourceWithFileSystemPath(broken, &document, SharedMediaManager::ResourceCopy::None));
    container()->addObject(track);
    auto made = exporter("broken.m4v");
    const Status started = made->startExport();
    ASSERT_FALSE(started);
    EXPECT_NE(started.error().find("broken.mov"), std::string::npos) << started.error();
    EXPECT_FALSE(fs::exists(folder_ / "broken.m4v"));
    EXPECT_EQ(postExportActions_, 0);
}

// Destroying a running exporter cancels it and waits for its threads.
TEST_F(MovieExport, DestroyingARunningExportLeavesNoFile) {
    {
        auto made = exporter("dropped.mov");
        made->setVideoCodec(ExportVideoCodec::ProRes4444);
        ASSERT_TRUE(made->startExport());
    }
    EXPECT_FALSE(fs::exists(folder_ / "dropped.mov"));
    EXPECT_EQ(postExportActions_, 0);
    EXPECT_EQ(completions_, 1);
}

} // namespace
} // namespace vtl::test
