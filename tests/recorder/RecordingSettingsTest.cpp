// The recording settings dictionary as both programs read and write it, and the mouse style
// archive that travels inside it.

#include "recorder/RecordingSettings.h"

#include "platform/foundation/KeyedArchiver.h"
#include "recorder/MouseVisualization.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

TEST(RecordingSettings, TheMainApplicationsDictionaryReadsBackUnchanged) {
    RecordingSettings s;
    s.recordMode = RecordMode::Area;
    s.recordScreenIndex = 1;
    s.recordRect = Rect(10.5, 20, 640, 480);
    s.recordMouse = true;
    s.frameRate = 25;
    s.recordTimeoutSeconds = 90.5;
    s.recordQuality = RecordQuality::Medium;
    s.windowNumber = 4711;
    s.path = "/tmp/Recordings/take";
    s.mouseVisualization = {1, 2, 3};
    s.buttonNames = PropertyList::dictionary({{"1", "Left"}});
    s.suppressScreensaver = true;
    s.recorderDisplayMode = RecorderDisplayMode::RecordedSize;
    s.audioDevicesToRecord = {{"usb-mic", 3}, {"system", 0}};
    s.hotkeys.stop = HotKeyRecord{1, 0x100};
    s.hotkeys.pauseResume = HotKeyRecord{35, 0x900};
    s.restartGUIApp = true;
    s.GUIAppPath = "/opt/vistrel/vistrel";

    std::vector<std::string> problems;
    RecordingSettings read = RecordingSettings::fromDictionary(s.toDictionary(), problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(read.toDictionary(), s.toDictionary());
    EXPECT_EQ(read.recordRect, s.recordRect);
    EXPECT_EQ(read.audioDevicesToRecord, s.audioDevicesToRecord);
    EXPECT_EQ(read.hotkeys, s.hotkeys);
    EXPECT_EQ(read.recordPath(), "/tmp/Recordings/take.vistrelRecord");
}

TEST(RecordingSettings, ValuesOfTheWrongTypeAreReportedAndKeepTheirDefaults) {
    PropertyList d = PropertyList::dictionary({
        {"recordMode", "two"},
        {"frameRate", 1e12},
        {"recordRect", "not a rectangle"},
        {"recordMouse", 1},
        {"path", 5},
        {"buttonNames", PropertyList::array()},
        {"IDsOfAudioDevicesToRecord",
         PropertyList::array({PropertyList::dictionary({{"audioStreamID", 2}}),
                              PropertyList::dictionary({{"persistentUID", "mic"}, {"audioStreamID", -1}})})},
        {"hotkeys", PropertyList::dictionary({{"stop", PropertyList::dictionary({{"keyCode", 12}})}})},
    });
    std::vector<std::string> problems;
    RecordingSettings read = RecordingSettings::fromDictionary(d, problems);
    RecordingSettings defaults;
    EXPECT_EQ(read.recordMode, defaults.recordMode);
    EXPECT_EQ(read.frameRate, defaults.frameRate);
    EXPECT_TRUE(read.recordRect.isEmpty());
    EXPECT_TRUE(read.recordMouse) << "a number reads as a boolean";
    EXPECT_TRUE(read.path.empty());
    EXPECT_TRUE(read.buttonNames.isNone());
    ASSERT_EQ(read.audioDevicesToRecord.size(), 1u);
    EXPECT_EQ(read.audioDevicesToRecord[0].audioStreamID, 0u);
    EXPECT_FALSE(read.hotkeys.stop) << "a hot key without modifiers is left unset";
    EXPECT_EQ(problems.size(), 7u);

    problems.clear();
    RecordingSettings::fromDictionary(PropertyList("text"), problems);
    EXPECT_EQ(problems.size(), 1u);
}

TEST(MouseVisualization, AnArchiveReadsBackWithEveryStoredValue) {
    MouseVisualization style;
    style.setName("Big clicks");
    style.originalVisualizationUID = "ORIGINAL";
    style.isProjectCopy = true;
    style.duration = 0.75;
    style.strength = 5;
    style.size = 33.5f;
    style.filled = true;
    style.visualizesClicks = false;
    style.visualizeMouseCursor = false;
    style.leftClickColor = ArchivedColor{0.1, 0.2, 0.3, 0.4, ArchivedColor::deviceRgb};
    style.clickFont = ArchivedFont{"DejaVu Sans", 15};
    style.showButtonName = true;
    style.clickBump = true;
    style.clickBumpWidth = 12;

    Result<PlistBytes> bytes = style.archivedData();
    ASSERT_TRUE(bytes) << bytes.error();
    auto read = MouseVisualization::unarchive(bytes.value());
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(read.value()->sameStoredValues(style));
    EXPECT_EQ(read.value()->name(), "Big clicks");
    // Archived again, the bytes are the same.
    EXPECT_EQ(read.value()->archivedData().value(), bytes.value());
}

// An older archive of the style that holds nothing but its uid.
struct UidOnlyStyle final : Archivable {
    std::string archivedClassName() const override { return "MouseVisualization"; }
    void encodeWithCoder(KeyedArchiver& coder) const override { coder.encodeString("key_uid", "U1"); }
    void initWithCoder(KeyedUnarchiver&) override {}
};

TEST(MouseVisualization, MissingKeysReadAsZeroOrOffExceptTheTwoSwitches) {
    MouseVisualization::registerClasses();
    auto bytes = KeyedArchiver::archivedData(std::make_shared<UidOnlyStyle>());
    ASSERT_TRUE(bytes) << bytes.error();
    auto read = MouseVisualization::unarchive(bytes.value());
    ASSERT_TRUE(read) << read.error();
    const MouseVisualization& style = *read.value();
    EXPECT_EQ(style.duration, 0);
    EXPECT_EQ(style.size, 0);
    EXPECT_EQ(style.strength, 0);
    EXPECT_FALSE(style.isProjectCopy);
    EXPECT_TRUE(style.visualizesClicks);
    EXPECT_TRUE(style.visualizeMouseCursor);
    EXPECT_EQ(style.name(), "U1") << "a style without a name is called by its uid";

    EXPECT_FALSE(MouseVisualization::unarchive(PlistBytes{1, 2, 3}));
}

} // namespace
} // namespace vtl
