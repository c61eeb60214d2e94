// The recording settings dictionary as both programs read and write it.

#include "recorder/RecordingSettings.h"

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

} // namespace
} // namespace vtl
