// The movie importer: which tracks become objects and in which order, their offsets and names,
// dependent sound, the canvas question and its suppression, the disk-space question, and the flow
// around converting a legacy movie (on a fake converter).

#include "DocumentImportSupport.h"
#include "MediaFixtures.h"
#include "document/LegacyMovieConverter.h"
#include "model/CompositionRectangularState.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using test::ImportTestDocument;
using test::mediaFixture;

// A movie with a picture, stereo sound, six-channel sound and two tracks the importer must pass
// over by their titles.
std::string movieWithSkippedTracks() {
    const std::string path = test::scratchFolder() + "/skipped-tracks.mov";
    if (fs::exists(path)) return path;
    const bool made = test::runCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=320x240:r=10:d=2 -f lavfi -i sine=f=300:d=2 "
        "-f lavfi -i sine=f=500:d=2 -f lavfi -i sine=f=700:d=2 -f lavfi -i sine=f=900:d=2 "
        "-map 0:v -map 1:a -map 2:a -map 3:a -map 4:a -c:v libx264 -preset ultrafast -threads 1 -pix_fmt "
        "yuv420p "
        "-c:a aac -ac:a:0 2 -ac:a:1 6 -ac:a:2 1 -ac:a:3 1 -metadata:s:a:2 title=VistrelChapterTrack "
        "-metadata:s:a:3 title=VistrelMouseTrack '" +
        path + "'");
    EXPECT_TRUE(made);
    return path;
}

class DocumentImportMovie : public ::testing::Test {
protected:
    fs::path folder_ = fs::path(test::scratchFolder()) / "import-movie";
    void SetUp() override { fs::create_directories(folder_); }
};

TEST_F(DocumentImportMovie, TwoPicturesAndSoundComeOutInCreationOrderWithTheSoundDependent) {
    ImportTestDocument fixture(folder_);
    const std::string path = mediaFixture("two-sizes");
    auto added = fixture.document.addMovieFromPath(path, 3.0, EnlargeQuestion::DontAsk, AutoEnlarge::No);
    ASSERT_TRUE(added);
    ASSERT_EQ(added->size(), 3u);
    auto* first = dynamic_cast<CompositionMovieTrackObject*>((*added)[0].get());
    auto* second = dynamic_cast<CompositionMovieTrackObject*>((*added)[1].get());
    auto* sound = dynamic_cast<CompositionAudioTrackObject*>((*added)[2].get());
    ASSERT_TRUE(first && second && sound);
    EXPECT_EQ(first->trackIndex(), 0u);
    EXPECT_EQ(second->trackIndex(), 1u);
    const std::string base = fs::path(path).stem().string();
    EXPECT_EQ(first->name(), base);
    EXPECT_EQ(second->name(), base + "/Camera");
    ASSERT_EQ(first->dependentTracks().size(), 1u);
    EXPECT_EQ(first->dependentTracks()[0], (*added)[2]);
    EXPECT_FALSE(second->hasDependentTracks());
    EXPECT_DOUBLE_EQ(first->startTime(), 3.0);

    // Later pictures go in front of earlier ones, sound behind them.
    const ObjectList& objects = fixture.document.objectsContainer()->objects();
    auto position = [&](const std::shared_ptr<CompositionBaseObject>& object) {
        return std::find(objects.begin(), objects.end(), object) - objects.begin();
    };
    EXPECT_LT(position((*added)[1]), position((*added)[0]));
    EXPECT_LT(position((*added)[0]), position((*added)[2]));
    EXPECT_EQ(fixture.window.editing.selectedObjects(), *added);
    EXPECT_EQ(fixture.statistics.counts["Recording_Clip_AddCompositionMovieTrackObject_Composition"], 2);
    EXPECT_EQ(fixture.statistics.counts["Recording_Clip_AddCompositionAudioTrackObject_Composition"], 1);
}

TEST_F(DocumentImportMovie, SurroundSoundAndMarkedTracksArePassedOver) {
    ImportTestDocument fixture(folder_);
    fixture.document.setCanChangeStats(false);
    auto added = fixture.document.addMovieFromPath(movieWithSkippedTracks(), 0, EnlargeQuestion::DontAsk,
                                                   AutoEnlarge::No);
    ASSERT_TRUE(added);
    ASSERT_EQ(added->size(), 2u);
    EXPECT_TRUE(dynamic_cast<CompositionMovieTrackObject*>((*added)[0].get()));
    auto* sound = dynamic_cast<CompositionAudioTrackObject*>((*added)[1].get());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->trackIndex(), 1u);
    EXPECT_TRUE(fixture.statistics.counts.empty()) << "no counting while statistics may not change";
}

TEST_F(DocumentImportMovie, ATrackStartingLateStartsAsLateAfterTheInsertionTime) {
    ImportTestDocument fixture(folder_);
    auto added = fixture.document.addMovieFromPath(mediaFixture("late-video"), 2.0, EnlargeQuestion::DontAsk,
                                                   AutoEnlarge::No);
    ASSERT_TRUE(added);
    ASSERT_EQ(added->size(), 2u);
    auto* video = dynamic_cast<CompositionMovieTrackObject*>((*added)[0].get());
    ASSERT_TRUE(video);
    EXPECT_NEAR(video->trackOffset(), 1.5, 0.05);
    EXPECT_NEAR(video->startTime(), 3.5, 0.05);
    EXPECT_NEAR((*added)[1]->startTime(), 2.0, 0.05);
}

struct CanvasCase {
    const char* name;
    EnlargeQuestion ask;
    AutoEnlarge autoEnlarge;
    std::optional<DocumentAlertAnswer> answer; // none: no question expected
    const char* fixture;
    Size canvasBefore;
    Size canvasAfter;
};

TEST_F(DocumentImportMovie, CanvasFollowsTheQuestionAndAutoEnlarge) {
    const CanvasCase cases[] = {
        {"increase",
         EnlargeQuestion::Ask,
         AutoEnlarge::No,
         DocumentAlertAnswer{0, false},
         "h264-1080p",
         {1280, 720},
         {1920, 1080}},
        {"keep",
         EnlargeQuestion::Ask,
         AutoEnlarge::No,
         DocumentAlertAnswer{1, false},
         "h264-1080p",
         {1280, 720},
         {1280, 720}},
        {"not asked",
         EnlargeQuestion::DontAsk,
         AutoEnlarge::No,
         std::nullopt,
         "h264-1080p",
         {1280, 720},
         {1280, 720}},
        {"fits already",
         EnlargeQuestion::Ask,
         AutoEnlarge::No,
         std::nullopt,
         "h264-360p",
         {1280, 720},
         {1280, 720}},
        {"auto shrinks",
         EnlargeQuestion::Ask,
         AutoEnlarge::Yes,
         std::nullopt,
         "h264-360p",
         {1280, 720},
         {640, 360}},
        {"two sizes grow per axis",
         EnlargeQuestion::Ask,
         AutoEnlarge::No,
         DocumentAlertAnswer{0, false},
         "two-sizes",
         {600, 600},
         {640, 720}},
    };
    for (const CanvasCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImportTestDocument fixture(folder_);
        fixture.document.objectsContainer()->setCanvasSize(c.canvasBefore);
        if (c.answer) fixture.window.answers.push_back(*c.answer);
        auto added = fixture.document.addMovieFromPath(mediaFixture(c.fixture), 0, c.ask, c.autoEnlarge);
        ASSERT_TRUE(added);
        EXPECT_EQ(fixture.window.alertsWithMessage("_CompositionDocument_AddTrack_IncreaseCanvasSize_Title"),
                  c.answer ? 1u : 0u);
        EXPECT_EQ(fixture.document.objectsContainer()->canvasSize(), c.canvasAfter);
    }
}

TEST_F(DocumentImportMovie, ATickedSuppressionBoxStopsLaterQuestions) {
    ImportTestDocument fixture(folder_);
    fixture.window.answers.push_back({1, true});
    ASSERT_TRUE(fixture.document.addMovieFromPath(mediaFixture("h264-1080p"), 0, EnlargeQuestion::Ask));
    EXPECT_TRUE(fixture.document.dontAskAboutEnlargingAgain());
    EXPECT_EQ(fixture.statistics.counts["Document_AutoEnlargeDisabledPermanentlyForQT"], 1);
    ASSERT_TRUE(fixture.document.addMovieFromPath(mediaFixture("h264-1080p"), 5, EnlargeQuestion::Ask));
    EXPECT_EQ(fixture.window.alertsShown.size(), 1u);
    EXPECT_EQ(fixture.document.objectsContainer()->canvasSize(), (Size{1280, 720}));
}

TEST_F(DocumentImportMovie, WithoutAWindowTheCanvasStaysAndNothingIsAsked) {
    ImportTestDocument fixture(folder_);
    fixture.document.setWindow(nullptr);
    auto added = fixture.document.addMovieFromPath(mediaFixture("h264-1080p"), 0, EnlargeQuestion::Ask);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->size(), 1u);
    EXPECT_EQ(fixture.document.objectsContainer()->canvasSize(), (Size{1280, 720}));
}

TEST_F(DocumentImportMovie, OneImportIsOneUndoStep) {
    ImportTestDocument fixture(folder_);
    runMainLoopOnce(0);
    CompositionUndoManager& undo = *fixture.document.undoManager();
    const std::size_t before = undo.undoStepCount();
    ASSERT_TRUE(fixture.document.addMovieFromPath(mediaFixture("two-sizes"), 0, EnlargeQuestion::DontAsk));
    runMainLoopOnce(0);
    EXPECT_EQ(undo.undoStepCount(), before + 1);
    EXPECT_EQ(undo.groupingLevel(), 0);
    undo.undo();
    EXPECT_TRUE(fixture.document.objectsContainer()->objects().empty());
}

struct DiskCase {
    const char* name;
    bool saved;
    uint64_t freeBytes;
    uint64_t documentResourceBytes;
    std::optional<DocumentAlertAnswer> answer;
    bool asked;
    bool added;
};

TEST_F(DocumentImportMovie, TheDiskSpaceQuestion) {
    const DiskCase cases[] = {
        // 1.5 GB free less 0.4 GB of resources less the 0.2 GB file leaves 0.9 GB: ask.
        {"unsaved, proceed", false, 1'500'000'000, 400'000'000, DocumentAlertAnswer{1, false}, true, true},
        {"unsaved, cancel", false, 1'500'000'000, 400'000'000, DocumentAlertAnswer{0, false}, true, false},
        // Saved: the resources are in the package already; 1.3 GB stay.
        {"saved, enough", true, 1'500'000'000, 400'000'000, std::nullopt, false, true},
        {"saved, too little", true, 1'100'000'000, 0, DocumentAlertAnswer{0, false}, true, false},
        {"unsaved, plenty", false, 5'000'000'000, 400'000'000, std::nullopt, false, true},
    };
    for (const DiskCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImportTestDocument fixture(folder_);
        const std::string movie = mediaFixture("h264-360p");
        fixture.files->freeBytes = c.freeBytes;
        fixture.files->sizes[movie] = 200'000'000;
        if (c.saved) {
            const fs::path package = folder_ / "saved.vistrelcomposition";
            fs::create_directories(package / "media");
            fixture.document.setFileURL(package.string());
        }
        if (c.documentResourceBytes) {
            const std::string other = mediaFixture("raw-small");
            fixture.files->sizes[other] = c.documentResourceBytes;
            fixture.media.entryForResourceWithFileSystemPath(other, &fixture.document,
                                                             SharedMediaManager::ResourceCopy::None);
        }
        if (c.answer) fixture.window.answers.push_back(*c.answer);
        auto added = fixture.document.addMovieFromPath(movie, 0, EnlargeQuestion::DontAsk);
        EXPECT_EQ(fixture.window.alertsWithMessage("AddResource_LowDiskSpace_Title"), c.asked ? 1u : 0u);
        EXPECT_EQ(added.has_value(), c.added);
        if (!c.added) {
            EXPECT_TRUE(fixture.document.objectsContainer()->objects().empty());
        }
        if (c.asked && !fixture.window.alertsShown.empty()) {
            EXPECT_EQ(fixture.window.alertsShown[0].informativeKey,
                      c.saved ? "AddResource_LowDiskSpace_SavedDocument_Message"
                              : "AddResource_LowDiskSpace_UnsavedDocument_Message");
        }
    }
}

class ScriptedConverter : public LegacyMovieConverter {
public:
    int status = 0;
    std::vector<std::pair<std::string, std::string>> calls;
    bool requiresConversion(const std::string&) override { return true; }
    int convert(const std::string& source, const std::string& target) override {
        calls.emplace_back(source, target);
        if (status == 0) fs::copy_file(source, target, fs::copy_options::overwrite_existing);
        return status;
    }
};

TEST_F(DocumentImportMovie, ALegacyMovieIsImportedFromItsConversionOrNotAtAll) {
    for (int status : {0, 3}) {
        SCOPED_TRACE(status);
        ImportTestDocument fixture(folder_);
        ScriptedConverter converter;
        converter.status = status;
        fixture.document.setLegacyMovieConverter(&converter);
        const std::string movie = mediaFixture("h264-360p");
        auto added = fixture.document.addMovieFromPath(movie, 0, EnlargeQuestion::DontAsk);
        ASSERT_TRUE(added);
        ASSERT_EQ(converter.calls.size(), 1u);
        EXPECT_EQ(converter.calls[0].first, movie);
        EXPECT_EQ(fs::path(converter.calls[0].second).filename(), fs::path(movie).filename());
        EXPECT_EQ(fixture.window.sheetsShown, 1);
        runMainLoopOnce(0);
        EXPECT_EQ(fixture.document.undoManager()->groupingLevel(), 0) << "the import's group is closed";
        if (status == 0) {
            ASSERT_EQ(added->size(), 1u);
            auto* video = dynamic_cast<CompositionMovieTrackObject*>((*added)[0].get());
            ASSERT_TRUE(video && video->mediaEntry());
            EXPECT_EQ(video->mediaEntry()->fileSystemPath(), converter.calls[0].second);
            EXPECT_EQ(fixture.window.beeps, 0);
        } else {
            EXPECT_TRUE(added->empty());
            EXPECT_EQ(fixture.window.beeps, 1);
            EXPECT_EQ(fixture.window.alertsWithMessage("MovieModernization_Failed"), 1u);
            EXPECT_TRUE(fixture.document.objectsContainer()->objects().empty());
        }
        fs::remove(converter.calls[0].second);
    }
}

} // namespace
} // namespace vtl
