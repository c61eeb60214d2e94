// Adding files and new objects: the file kinds that may be dropped or picked, images with the
// canvas question, the defaults of new texts, speech and shapes, effects on the selection, and the
// queries of what is selected or visible at the playhead.

#include "DocumentImportSupport.h"
#include "MediaFixtures.h"
#include "drawing/StringAdditions.h"
#include "model/CompositionRectangularState.h"
#include "objects/CompositionImageObject.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/TextVisualization.h"
#include "platform/filetypes/FileTypes.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionVistrelTrack.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using test::ImportTestDocument;

fs::path addingFolder() {
    return fs::path(test::scratchFolder()) / "adding-files";
}

// A single-colour picture of the size, made once by the ffmpeg tool.
std::string picture(int width, int height, const std::string& extension = "png") {
    const fs::path path = addingFolder() / ("picture-" + std::to_string(width) + "x" +
                                            std::to_string(height) + "." + extension);
    if (!fs::exists(path)) {
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(test::runCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i color=c=blue:s=" + std::to_string(width) + "x" +
            std::to_string(height) + " -frames:v 1 '" + path.string() + "'"));
    }
    return path.string();
}

std::string fileWithText(const std::string& name, const std::string& text) {
    const fs::path path = addingFolder() / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

std::string flashVideo() {
    const fs::path path = addingFolder() / "clip.flv";
    if (!fs::exists(path)) {
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(
            test::runCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=64x48:r=5:d=1 -c:v flv1 '" +
                             path.string() + "'"));
    }
    return path.string();
}

std::string folderNamed(const std::string& name) {
    const fs::path path = addingFolder() / name;
    fs::create_directories(path);
    return path.string();
}

struct KindCase {
    const char* name;
    std::string path;
    bool wouldAdd;
    bool canAdd;
};

TEST(DocumentAddingFiles, FileKindsDecideWhatMayBeDroppedOrPicked) {
    ImportTestDocument fixture(addingFolder());
    const KindCase cases[] = {
        {"picture", picture(32, 24), true, true},
        {"picture with a misleading name",
         [] {
             const fs::path renamed = addingFolder() / "picture-named.dat";
             fs::copy_file(picture(32, 24), renamed, fs::copy_options::overwrite_existing);
             return renamed.string();
         }(),
         true, true},
        {"movie", test::mediaFixture("h264-360p"), true, true},
        {"sound", test::mediaFixture("pcm-48k"), true, true},
        {"flash video", flashVideo(), false, false},
        {"protected sound", fileWithText("song.m4p", "protected"), false, false},
        {"plain text", fileWithText("notes.txt", "some notes\n"), false, false},
        {"recording package", folderNamed("Take.vistrelRecord"), true, false},
        {"composition package", folderNamed("Movie.vistrelcomposition"), false, false},
        {"plain folder", folderNamed("stuff"), false, false},
        {"nothing there", (addingFolder() / "missing.png").string(), false, false},
        {"fifo named like a movie",
         [] {
             const fs::path fifo = addingFolder() / "waiting.mov";
             fs::remove(fifo);
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             return fifo.string();
         }(),
         false, false},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fixture.document.wouldAddFileFromPath(c.path), c.wouldAdd);
        EXPECT_EQ(fixture.document.canAddFileFromURL(c.path), c.canAdd);
        EXPECT_EQ(fixture.document.canAddFileFromURL("file://" + c.path), c.canAdd);
    }
    EXPECT_TRUE(fixture.document.canAddFileFromURL("file://localhost" + picture(32, 24)));
    EXPECT_FALSE(fixture.document.canAddFileFromURL("file://elsewhere" + picture(32, 24)));
    EXPECT_FALSE(fixture.document.canAddFileFromURL("file://" + picture(32, 24) + "%00"));
    EXPECT_FALSE(fixture.document.wouldAddAtLeastOneFileFromFilesAtPaths({}));
}

TEST(DocumentAddingFiles, BothFileTypeLookupsAnswerInOneProgram) {
    // The drawing library's lookup and the file-kind one are linked together here.
    const std::string png = picture(32, 24);
    EXPECT_EQ(typeOfFile(png), "public.png");
    const std::optional<FileType> type = fileTypeAtPath(png);
    ASSERT_TRUE(type);
    EXPECT_TRUE(type->conformsTo(kImageFileType));
}

TEST(DocumentAddingFiles, OfAMixedDropOnlyThePictureIsAdded) {
    ImportTestDocument fixture(addingFolder());
    const std::vector<std::string> paths = {fileWithText("song.m4p", "protected"), flashVideo(),
                                            picture(40, 30), fileWithText("notes.txt", "notes")};
    EXPECT_EQ(fixture.document.numberOfFilesThatWouldGetAddedFromPaths(paths), 1u);
    EXPECT_TRUE(fixture.document.wouldAddAtLeastOneFileFromFilesAtPaths(paths));
    const ObjectList added = fixture.document.addFilesFromPaths(paths, 2.0);
    ASSERT_EQ(added.size(), 1u);
    auto* image = dynamic_cast<CompositionImageObject*>(added[0].get());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name(), "picture-40x30");
    EXPECT_DOUBLE_EQ(image->startTime(), 2.0);
    EXPECT_DOUBLE_EQ(image->endTime(), 12.0);
    EXPECT_EQ(fixture.document.objectsContainer()->objects().size(), 1u);

    // The same through file addresses, with an escaped space.
    const fs::path spaced = addingFolder() / "a picture.png";
    fs::copy_file(picture(40, 30), spaced, fs::copy_options::overwrite_existing);
    const ObjectList byURL =
        fixture.document.addFilesFromURLs({"file://" + addingFolder().string() + "/a%20picture.png"}, 0);
    ASSERT_EQ(byURL.size(), 1u);
    EXPECT_EQ(byURL[0]->name(), "a picture");
}

TEST(DocumentAddingFiles, OneLargePictureAnsweredWithKeepScalesAllToFit) {
    ImportTestDocument fixture(addingFolder());
    fixture.window.answers.push_back({1, false});
    const ObjectList added =
        fixture.document.addImagesFromPaths({picture(200, 100), picture(2560, 1440), picture(300, 300)}, 0);
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(fixture.window.alertsShown.size(), 1u);
    EXPECT_FALSE(fixture.window.alertsShown[0].showsSuppressionBox);
    EXPECT_EQ(fixture.document.objectsContainer()->canvasSize(), (Size{1280, 720}));
    const Rect large = added[1]->asVisual()->rectForTime(0);
    EXPECT_NEAR(large.size.width, 1280, 0.5);
    EXPECT_NEAR(large.size.height, 720, 0.5);
    // Pictures that fit stay at their size, centred.
    const Rect small = added[0]->asVisual()->rectForTime(0);
    EXPECT_NEAR(small.size.width, 200, 0.5);
    EXPECT_NEAR(small.origin.x, (1280 - 200) / 2.0, 0.5);
    EXPECT_EQ(fixture.window.editing.selectedObjects(), added);

    // "Increase" grows the canvas instead; damaged pictures are passed over.
    ImportTestDocument grown(addingFolder());
    grown.window.answers.push_back({0, false});
    const ObjectList more = grown.document.addImagesFromPaths(
        {picture(2560, 1440), fileWithText("broken.png", "\x89PNG broken")}, 0);
    ASSERT_EQ(more.size(), 1u);
    EXPECT_EQ(grown.document.objectsContainer()->canvasSize(), (Size{2560, 1440}));
}

TEST(DocumentAddingFiles, ANewTextHasTheDefaultShadowOrTheLastTextsPreset) {
    ImportTestDocument fixture(addingFolder());
    fixture.window.editing.setCurrentTime(3);
    int inspectorFills = 0;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    ScopedNotificationObserver observer(center,
                                        center.addObserver("Vistrel_FillInspectorNotification",
                                                           fixture.document.objectsContainer().get(),
                                                           [&](const Notification&) { ++inspectorFills; }));
    fixture.document.addText();
    auto* text = dynamic_cast<CompositionTextObject*>(fixture.document.lastAddedText().get());
    ASSERT_TRUE(text);
    EXPECT_DOUBLE_EQ(text->startTime(), 3);
    EXPECT_DOUBLE_EQ(text->endTime(), 7);
    ASSERT_TRUE(text->textVisualizationStyle());
    EXPECT_TRUE(text->textVisualizationStyle()->anonymous());
    const auto& state = text->textVisualizationStyle()->state();
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->drawsShadow());
    EXPECT_FLOAT_EQ(state->shadowOpacity(), 0.7f);
    EXPECT_FLOAT_EQ(state->shadowDistance(), 4.0f);
    EXPECT_TRUE(text->autoResizeMode());
    EXPECT_EQ(inspectorFills, 1);
    ASSERT_EQ(fixture.window.editing.selectedObjects().size(), 1u);
    EXPECT_EQ(fixture.window.editing.selectedObjects()[0].get(), text);
    EXPECT_EQ(fixture.window.scrolledTo.size(), 1u);
    const Rect rect = text->rectForTime(3);
    EXPECT_NEAR(rect.origin.x + rect.size.width / 2, 640, 1.0);

    // A shared style of the last text carries over; an anonymous one does not.
    auto preset = std::make_shared<TextVisualization>();
    text->setTextVisualization(preset);
    fixture.document.addText();
    auto* second = dynamic_cast<CompositionTextObject*>(fixture.document.lastAddedText().get());
    ASSERT_TRUE(second && second != text);
    EXPECT_EQ(second->textVisualizationStyle(), preset);
}

TEST(DocumentAddingFiles, ShapesTakeTheLastOrdinaryShapesLookButOutlinesNeither) {
    ImportTestDocument fixture(addingFolder());
    const RGBAColor green = RGBAColor::device(0, 1, 0, 1);
    fixture.document.addShapeOfShapeKind(static_cast<int32_t>(ShapeKind::Arrow));
    auto first = std::dynamic_pointer_cast<CompositionShapeObject>(fixture.document.lastAddedShape());
    ASSERT_TRUE(first);
    first->setColor(green, first->startTime());

    fixture.document.addShapeOfShapeKind(static_cast<int32_t>(ShapeKind::Square));
    auto outline =
        std::dynamic_pointer_cast<CompositionShapeObject>(fixture.window.editing.selectedObjects().at(0));
    ASSERT_TRUE(outline);
    EXPECT_EQ(fixture.document.lastAddedShape(), first) << "outlines do not pass their look on";
    EXPECT_NE(outline->colorForTime(0), green);
    EXPECT_FALSE(outline->isFilledForTime(0));
    EXPECT_TRUE(outline->drawsFrameAtTime(0));
    EXPECT_FLOAT_EQ(outline->frameThicknessForTime(0), 3.0f);

    fixture.document.addShapeOfShapeKind(static_cast<int32_t>(ShapeKind::LegacyCircle));
    auto circle =
        std::dynamic_pointer_cast<CompositionShapeObject>(fixture.window.editing.selectedObjects().at(0));
    ASSERT_TRUE(circle);
    EXPECT_EQ(circle->shapeKind(), static_cast<int32_t>(ShapeKind::Circle));

    fixture.document.addShapeOfShapeKind(static_cast<int32_t>(ShapeKind::Arrow));
    auto second = std::dynamic_pointer_cast<CompositionShapeObject>(fixture.document.lastAddedShape());
    ASSERT_TRUE(second && second != first);
    EXPECT_EQ(second->colorForTime(second->startTime()), green);
}

TEST(DocumentAddingFiles, SpeechStartsWithTheLastLanguagesText) {
    ImportTestDocument fixture(addingFolder());
    fixture.window.editing.setCurrentTime(1);
    fixture.document.addGeneratedSpeech();
    auto first = std::dynamic_pointer_cast<CompositionGeneratedSpeechTrackObject>(
        fixture.window.editing.selectedObjects().at(0));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->speechTexts().empty());
    fixture.document.setMostRecentLanguageName("German");
    fixture.document.addGeneratedSpeech();
    auto second = std::dynamic_pointer_cast<CompositionGeneratedSpeechTrackObject>(
        fixture.window.editing.selectedObjects().at(0));
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->hasTextForLanguage("German"));
    EXPECT_DOUBLE_EQ(second->startTime(), 1);
}

TEST(DocumentAddingFiles, SelectedAndVisibleObjectsAtThePlayhead) {
    ImportTestDocument fixture(addingFolder());
    CompositionObjectsContainer& container = *fixture.document.objectsContainer();
    auto makeShape = [&](double start, double end) {
        auto shape = makeModelObject<CompositionShapeObject>(&container, 1);
        shape->setStartTimeEndTime(start, end);
        container.addObject(shape);
        return shape;
    };
    auto partly = makeShape(9.8, 20);
    auto covering = makeShape(5, 15);
    auto later = makeShape(10.4, 12);
    auto gone = makeShape(0, 9);
    fixture.window.editing.setCurrentTime(10);
    fixture.window.editing.setSelectedObjects({partly, covering, later, gone});
    const ObjectList selected = fixture.document.selectedVisibleObjectsForCurrentTimeWithTolerance(0.5);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0], covering);
    const ObjectList visible = fixture.document.visibleObjectsForCurrentTimeWithTolerance(0.5);
    EXPECT_EQ(visible.size(), 3u);
    EXPECT_NE(std::find(visible.begin(), visible.end(), partly), visible.end());
    EXPECT_EQ(std::find(visible.begin(), visible.end(), gone), visible.end());
    EXPECT_EQ(
        fixture.document.selectedVisibleObjectsForCurrentTimeWithToleranceOfClass<CompositionShapeObject>(0)
            .size(),
        2u);
    EXPECT_TRUE(fixture.document
                    .selectedVisibleObjectsForCurrentTimeWithToleranceNotOfClass<CompositionShapeObject>(0)
                    .empty());
    EXPECT_FALSE(fixture.document.firstSelectedVideoTrackOrFirstVideoTrack());

    // A movie at the playhead is found even when another is selected elsewhere in time.
    auto movie =
        fixture.document.addMovieFromPath(test::mediaFixture("h264-360p"), 9, EnlargeQuestion::DontAsk);
    ASSERT_TRUE(movie && movie->size() == 1u);
    fixture.window.editing.setSelectedObjects({covering});
    EXPECT_EQ(fixture.document.firstSelectedVideoTrackOrFirstVideoTrack(), (*movie)[0]);
}

TEST(DocumentAddingFiles, AnEffectGoesToTheSelectionAtThePlayheadOrAnAlertSaysWhy) {
    ImportTestDocument fixture(addingFolder());
    CompositionObjectsContainer& container = *fixture.document.objectsContainer();
    auto shape = makeModelObject<CompositionShapeObject>(&container, 1);
    shape->setStartTimeEndTime(0, 10);
    container.addObject(shape);
    PlistDictionary effect;
    effect.set("filter", PropertyList("CIGaussianBlur"));
    effect.set("name", PropertyList("CIGaussianBlur"));
    fixture.window.editing.setCurrentTime(20);
    fixture.window.editing.setSelectedObjects({shape});
    fixture.document.addEffectsToCurrentSelectionAndTime(effect);
    EXPECT_EQ(
        fixture.window.alertsWithMessage("_CompositionDocument_AddEffectByDoubleClicking_NoSelection_Title"),
        1u);
    fixture.window.editing.setCurrentTime(5);
    fixture.document.addEffectsToCurrentSelectionAndTime(effect);
    EXPECT_EQ(fixture.window.alertsShown.size(), 1u);

    fixture.document.editMaskForObject(shape, "CIGaussianBlur");
    EXPECT_EQ(fixture.window.dragMode, 2);
    EXPECT_EQ(fixture.window.editingEffect, "CIGaussianBlur");
}

TEST(DocumentAddingFiles, TracksMadeElsewhereMoveToTheTimeKeepingTheirLength) {
    ImportTestDocument fixture(addingFolder());
    CompositionObjectsContainer& container = *fixture.document.objectsContainer();
    auto a = makeModelObject<CompositionShapeObject>(&container, 1);
    a->setStartTimeEndTime(2, 5);
    auto b = makeModelObject<CompositionShapeObject>(&container, 1);
    b->setStartTimeEndTime(0, 1);
    fixture.document.addTracks({a, b}, 10);
    EXPECT_DOUBLE_EQ(a->startTime(), 10);
    EXPECT_DOUBLE_EQ(a->endTime(), 13);
    EXPECT_DOUBLE_EQ(b->endTime(), 11);
    EXPECT_EQ(container.objects().size(), 2u);
    EXPECT_NE(a->containerTrack(), b->containerTrack());
}

} // namespace
} // namespace vtl
