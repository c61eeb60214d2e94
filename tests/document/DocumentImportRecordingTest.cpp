// The recording importer over a synthetic recording package with side files made by the ffmpeg
// tool: the objects each side file yields, their names and places, the cuts at the pauses with the
// override size, the recorded pointer style, one undo step taken back whole when a cut fails,
// skipped pause times and unreadable side files, and a recording opened as a new composition.

#include "DocumentImportSupport.h"
#include "MediaFixtures.h"
#include "document/DocumentOpening.h"
#include "model/CompositionRectangularState.h"
#include "objects/MouseVisualization.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/PropertyList.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionVistrelTrack.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using test::ImportTestDocument;

constexpr double recordingSeconds = 24;

fs::path recordingFolder() {
    return fs::path(test::scratchFolder()) / "import-recording";
}

// The screen recording alone, made once for the process.
const fs::path& screenOnlyPackage() {
    static const fs::path package = [] {
        const fs::path made = recordingFolder() / "base" / "screen.vistrelRecord";
        fs::create_directories(made.parent_path());
        SyntheticRecordingSettings settings;
        settings.screen.width = 1024;
        settings.screen.height = 768;
        settings.framesPerSecond = 2;
        settings.seconds = recordingSeconds;
        auto written = writeSyntheticRecording(made.string(), settings);
        EXPECT_TRUE(written) << written.error();
        return made;
    }();
    return package;
}

// The side movies, made once.
std::string sideMovie(const std::string& name, const std::string& arguments) {
    const fs::path path = recordingFolder() / "base" / name;
    if (!fs::exists(path)) {
        const fs::path temporary = path.string() + ".part" + path.extension().string();
        EXPECT_TRUE(
            test::runCommand("ffmpeg -nostdin -v error -y " + arguments + " '" + temporary.string() + "'"));
        fs::rename(temporary, path);
    }
    return path.string();
}

std::string systemSound() {
    return sideMovie("system.m4a", "-f lavfi -i sine=f=440:d=24 -c:a aac -ac 2");
}
std::string cameraMovie() {
    return sideMovie("camera.mov", "-f lavfi -i testsrc2=s=1280x720:r=2:d=24 -f lavfi -i sine=f=220:d=24 "
                                   "-c:v libx264 -preset ultrafast -threads 1 -pix_fmt yuv420p -c:a aac");
}
std::string deviceMovie() {
    return sideMovie("device.mov", "-f lavfi -i testsrc2=s=360x640:r=2:d=24 -f lavfi -i sine=f=660:d=24 "
                                   "-c:v libx264 -preset ultrafast -threads 1 -pix_fmt yuv420p -c:a aac");
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void writePauses(const fs::path& package, PropertyList pauses) {
    ASSERT_TRUE(pauses.writeToFile(package / "pauseTimes", PropertyListFormat::Xml));
}

PropertyList pause(double time, std::optional<std::string> size = std::nullopt) {
    PropertyList entry = PropertyList::dictionary({{"time", time}});
    if (size) entry.set("size", *size);
    return entry;
}

// A copy of the screen recording under `name`, with the chosen side files.
struct SideFiles {
    bool systemSound = false;
    bool camera = false;
    bool device = false;
    std::optional<std::string> deviceName;
    bool mouseStyle = false;
};

fs::path makePackage(const std::string& name, const SideFiles& sides) {
    const fs::path package = recordingFolder() / name / "Take.vistrelRecord";
    fs::remove_all(package.parent_path());
    fs::create_directories(package.parent_path());
    fs::copy(screenOnlyPackage(), package, fs::copy_options::recursive);
    if (sides.systemSound) fs::copy_file(systemSound(), package / "system.m4a");
    if (sides.camera) fs::copy_file(cameraMovie(), package / "additionalAudioAndVideo.mov");
    if (sides.device) fs::copy_file(deviceMovie(), package / "iOSDevice.mov");
    if (sides.deviceName) {
        EXPECT_TRUE(PropertyList::dictionary({{"DeviceName", *sides.deviceName}})
                        .writeToFile(package / "iOSDeviceMeta.plist", PropertyListFormat::Xml));
    }
    if (sides.mouseStyle) {
        MouseVisualization style;
        style.visualizesClicks = false;
        style.visualizeMouseCursor = true;
        auto bytes = style.archivedData();
        EXPECT_TRUE(bytes) << bytes.error();
        if (bytes) test::writeFileBytes((package / "mouseVisualization").string(), bytes.value());
    }
    return package;
}

template <typename Kind> std::vector<Kind*> objectsOfKind(const ObjectList& objects) {
    std::vector<Kind*> found;
    for (const auto& object : objects)
        if (auto* kind = dynamic_cast<Kind*>(object.get())) found.push_back(kind);
    return found;
}

Rect noneRect(const CompositionBaseObject& object) {
    auto* state = dynamic_cast<CompositionRectangularState*>(object.noneAnimationState().get());
    return state ? state->rect() : Rect();
}

class DocumentImportRecording : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(recordingFolder()); }
};

TEST_F(DocumentImportRecording, AFullPackageAddedAtFiveSeconds) {
    const fs::path package = makePackage("full", {true, true, true, std::string("Test Phone"), true});
    writePauses(package, PropertyList::array({pause(10), pause(20, "{1024, 576}")}));
    ImportTestDocument fixture(recordingFolder() / "full");
    CompositionObjectsContainer& container = *fixture.document.objectsContainer();
    runMainLoopOnce(0);
    const std::size_t stepsBefore = fixture.document.undoManager()->undoStepCount();
    fixture.window.answers.push_back({0, false}); // enlarge for the screen

    auto added = fixture.document.addVistrelRecordFromPath(package.string(), 5);
    ASSERT_TRUE(added);
    runMainLoopOnce(0);
    EXPECT_EQ(fixture.window.alertsShown.size(), 1u) << "only the screen enlarges the canvas";
    EXPECT_EQ(container.canvasSize(), (Size{1024, 768}));

    // Screen, system sound, device picture and sound, camera picture and sound, then two later
    // pieces of each.
    ASSERT_EQ(added->size(), 6u * 3u);
    auto* screen = dynamic_cast<CompositionVistrelTrack*>((*added)[0].get());
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->name(), "Take");
    auto* systemAudio = dynamic_cast<CompositionAudioTrackObject*>((*added)[1].get());
    ASSERT_TRUE(systemAudio);
    auto* deviceVideo = dynamic_cast<CompositionMovieTrackObject*>((*added)[2].get());
    auto* deviceAudio = dynamic_cast<CompositionAudioTrackObject*>((*added)[3].get());
    auto* cameraVideo = dynamic_cast<CompositionMovieTrackObject*>((*added)[4].get());
    auto* cameraAudio = dynamic_cast<CompositionAudioTrackObject*>((*added)[5].get());
    ASSERT_TRUE(deviceVideo && deviceAudio && cameraVideo && cameraAudio);
    EXPECT_EQ(deviceVideo->name(), "Test Phone");
    EXPECT_EQ(deviceAudio->name(), "Test Phone");

    // The sound and the camera follow the screen; the device does not.
    const auto& dependents = screen->dependentTracks();
    auto depends = [&](const CompositionBaseObject* object) {
        return std::any_of(dependents.begin(), dependents.end(),
                           [&](const auto& d) { return d.get() == object; });
    };
    EXPECT_TRUE(depends(systemAudio));
    EXPECT_TRUE(depends(cameraVideo));
    EXPECT_TRUE(depends(cameraAudio));
    EXPECT_FALSE(depends(deviceVideo));

    // The camera: at (10, 10), half the screen's width.
    const Rect camera = noneRect(*cameraVideo);
    EXPECT_NEAR(camera.origin.x, 10, 1e-6);
    EXPECT_NEAR(camera.origin.y, 10, 1e-6);
    EXPECT_NEAR(camera.size.width, 512, 1e-3);
    EXPECT_NEAR(camera.size.height, 288, 1e-3);
    // The device picture, at the pause size fitted into the canvas.
    const Rect device = noneRect(*deviceVideo);
    EXPECT_NEAR(device.size.width, 1024, 1e-3);
    EXPECT_NEAR(device.size.height, 576, 1e-3);

    // Cut at 25 s, then at 15 s: the first pieces end at 15, the later ones run 25 to the end and
    // 15 to 25.
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR((*added)[i]->snapStartTime(), 5, 1e-6);
        EXPECT_NEAR((*added)[i]->snapEndTime(), 15, 1e-6);
        EXPECT_NEAR((*added)[6 + i]->snapStartTime(), 25, 1e-6);
        EXPECT_NEAR((*added)[12 + i]->snapStartTime(), 15, 1e-6);
        EXPECT_NEAR((*added)[12 + i]->snapEndTime(), 25, 1e-6);
    }
    // The pause with a size: the device's picture after it takes that size.
    auto* deviceAfterPause = dynamic_cast<CompositionMovieTrackObject*>((*added)[6 + 2].get());
    ASSERT_TRUE(deviceAfterPause);
    EXPECT_TRUE(deviceAfterPause->hasOverrideSize());
    EXPECT_EQ(deviceAfterPause->overrideSize(), (Size{1024, 576}));
    EXPECT_FALSE(deviceVideo->hasOverrideSize());

    // The recorded pointer style.
    ASSERT_TRUE(screen->recordMouseVisualization());
    EXPECT_TRUE(screen->recordMouseVisualization()->vistrelOwn);
    EXPECT_EQ(screen->mouseVisualization(), screen->recordMouseVisualization());
    EXPECT_FALSE(screen->visualizesMouseEventsAtTime(0));

    EXPECT_EQ(fixture.window.editing.selectedObjects(), *added);
    EXPECT_EQ(container.objects().size(), added->size());

    // One step, and undo takes all of it.
    EXPECT_EQ(fixture.document.undoManager()->undoStepCount(), stepsBefore + 1);
    fixture.document.undoManager()->undo();
    EXPECT_TRUE(container.objects().empty());
    EXPECT_EQ(container.canvasSize(), (Size{1280, 720}));
}

TEST_F(DocumentImportRecording, AFailedCutTakesBackTheWholeImport) {
    const fs::path package = makePackage("failing-cut", {true, true, false, std::nullopt, false});
    // A cut this close to the start leaves pieces too short for any object.
    writePauses(package, PropertyList::array({pause(0.05), pause(10)}));
    ImportTestDocument fixture(recordingFolder() / "failing-cut");
    CompositionObjectsContainer& container = *fixture.document.objectsContainer();
    runMainLoopOnce(0);
    const std::size_t stepsBefore = fixture.document.undoManager()->undoStepCount();
    fixture.window.editing.setSelectedObjects({});

    auto added = fixture.document.addVistrelRecordFromPath(package.string(), 0, EnlargeQuestion::DontAsk,
                                                           AutoEnlarge::Yes);
    EXPECT_FALSE(added);
    runMainLoopOnce(0);
    EXPECT_TRUE(container.objects().empty());
    EXPECT_EQ(container.canvasSize(), (Size{1280, 720}));
    EXPECT_EQ(fixture.document.undoManager()->undoStepCount(), stepsBefore)
        << "a failed import leaves no step";
    EXPECT_TRUE(fixture.window.editing.selectedObjects().empty());
}

TEST_F(DocumentImportRecording, ShortDiskSpaceIsAskedAboutOncePerPackage) {
    const fs::path package = makePackage("low-disk", {true, true, false, std::nullopt, false});
    for (std::size_t button : {0u, 1u}) {
        SCOPED_TRACE(button);
        ImportTestDocument fixture(recordingFolder() / "low-disk");
        fixture.files->freeBytes = 900'000'000;
        fixture.window.answers.push_back({button, false});
        auto added = fixture.document.addVistrelRecordFromPath(package.string(), 0, EnlargeQuestion::DontAsk,
                                                               AutoEnlarge::Yes);
        EXPECT_EQ(fixture.window.alertsWithMessage("AddResource_LowDiskSpace_Title"), 1u);
        EXPECT_EQ(added.has_value(), button == 1);
        EXPECT_EQ(fixture.document.objectsContainer()->objects().size(), button == 1 ? 4u : 0u);
    }
}

struct PauseCase {
    const char* name;
    PropertyList pauses;
    std::vector<double> expectedCuts; // recording seconds
};

TEST_F(DocumentImportRecording, UnusablePauseEntriesAreSkipped) {
    const PauseCase cases[] = {
        {"before the start", PropertyList::array({pause(-3), pause(10)}), {10}},
        {"after the end", PropertyList::array({pause(10), pause(recordingSeconds + 50)}), {10}},
        {"a time that is no number",
         PropertyList::array({PropertyList::dictionary({{"time", "soon"}}), pause(12)}),
         {12}},
        {"a damaged size", PropertyList::array({pause(8, "{wide, tall}")}), {8}},
        {"a list that is no list", PropertyList::dictionary({{"time", 10.0}}), {}},
    };
    for (const PauseCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path package = makePackage("pauses", {});
        writePauses(package, c.pauses);
        ImportTestDocument fixture(recordingFolder() / "pauses");
        auto added = fixture.document.addVistrelRecordFromPath(package.string(), 0, EnlargeQuestion::DontAsk,
                                                               AutoEnlarge::Yes);
        ASSERT_TRUE(added);
        ASSERT_EQ(added->size(), 1 + c.expectedCuts.size());
        for (std::size_t i = 0; i < c.expectedCuts.size(); ++i)
            EXPECT_NEAR((*added)[1 + i]->snapStartTime(), c.expectedCuts[i], 1e-6);
        for (const auto& object : *added) {
            if (auto* video = dynamic_cast<CompositionMovieTrackObject*>(object.get())) {
                EXPECT_FALSE(video->hasOverrideSize());
            }
        }
    }
}

TEST_F(DocumentImportRecording, UnreadableSideFilesAreSkipped) {
    const fs::path package = makePackage("damaged", {});
    writeText(package / "system.m4a", "not a sound file");
    writeText(package / "mouseVisualization", "not an archive");
    test::writeFileBytes((package / "iOSDeviceMeta.plist").string(), {0xff, 0x00, 0x12});
    fs::copy_file(deviceMovie(), package / "iOSDevice.mov");
    writeText(package / "additionalAudioAndVideo.mov", "");
    ImportTestDocument fixture(recordingFolder() / "damaged");
    auto added = fixture.document.addVistrelRecordFromPath(package.string(), 0, EnlargeQuestion::DontAsk,
                                                           AutoEnlarge::Yes);
    ASSERT_TRUE(added);
    ASSERT_EQ(added->size(), 3u) << "the screen and the device's picture and sound";
    auto* screen = dynamic_cast<CompositionVistrelTrack*>((*added)[0].get());
    ASSERT_TRUE(screen);
    EXPECT_FALSE(screen->recordMouseVisualization());
    EXPECT_FALSE(screen->hasDependentTracks());
    EXPECT_NE((*added)[1]->name(), "") << "the device picture takes the default name";
}

TEST_F(DocumentImportRecording, OpenedAsACompositionItIsUntitledSizedToTheRecordingWithNothingToUndo) {
    const fs::path package = makePackage("opened", {true, true, false, std::nullopt, true});
    writePauses(package, PropertyList::array({pause(10)}));
    SharedMediaManager media(recordingFolder() / "opened" / "TemporaryResources");
    auto opened = openRecordingAsComposition(package.string(), media);
    ASSERT_TRUE(opened) << opened.error();
    CompositionDocument& document = *opened.value();
    runMainLoopOnce(0);
    EXPECT_FALSE(document.fileURL());
    EXPECT_EQ(document.objectsContainer()->canvasSize(), (Size{1024, 768}));
    EXPECT_FALSE(document.undoManager()->canUndo());
    // Screen, sound, camera picture and sound, each cut once.
    EXPECT_EQ(document.objectsContainer()->objects().size(), 8u);
    auto screens = objectsOfKind<CompositionVistrelTrack>(document.objectsContainer()->objects());
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_TRUE(screens[0]->recordMouseVisualization());
    document.objectsContainer()->tearDownObjects();
    media.removeEntriesForDocument(&document);

    // Without a readable recording there is nothing to open.
    const fs::path empty = recordingFolder() / "opened" / "Empty.vistrelRecord";
    fs::create_directories(empty);
    fs::copy_file(systemSound(), empty / "system.m4a");
    EXPECT_FALSE(openRecordingAsComposition(empty.string(), media));
}

} // namespace
} // namespace vtl
