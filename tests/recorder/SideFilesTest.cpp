#include "recorder/format/PackageSideFiles.h"
#include "recorder/format/RecordingFormat.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vtl {
namespace {

class SideFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() / ("vistrel-side-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "take.vistrelRecord");
        package = (folder / "take.vistrelRecord").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
    std::string package;
};

TEST_F(SideFilesTest, PauseListKeepsClosedPausesAndSizeChangesAndDropsAnOpenPause) {
    PauseTimes pauses;
    EXPECT_TRUE(pauses.writeToPackage(package));
    EXPECT_FALSE(std::filesystem::exists(package + "/pauseTimes")); // nothing to store

    pauses.beginPause(2.5);
    pauses.addSizeChange(2.5, Size{1170, 2532}); // the device turned while paused
    pauses.endPause(4.0);
    pauses.beginPause(10.0); // still open at the end
    EXPECT_TRUE(pauses.hasOpenPause());
    ASSERT_TRUE(pauses.writeToPackage(package));

    const auto read = PropertyList::fromFile(package + "/pauseTimes");
    ASSERT_TRUE(read) << read.error();
    const PropertyList expected = PropertyList::array({
        PropertyList::dictionary({{"time", 2.5}, {"duration", 4.0}}),
        PropertyList::dictionary(
            {{"time", 2.5}, {"duration", 0.0}, {"size", stringFromSize(Size{1170, 2532})}}),
    });
    EXPECT_EQ(read.value(), expected);

    PauseTimes onlyOpen;
    onlyOpen.beginPause(1.0);
    std::filesystem::remove(package + "/pauseTimes");
    EXPECT_TRUE(onlyOpen.writeToPackage(package));
    EXPECT_FALSE(std::filesystem::exists(package + "/pauseTimes"));
}

TEST_F(SideFilesTest, DeviceMetaAndStealthInfo) {
    ASSERT_TRUE(writeIOSDeviceMeta(package, "Ada's phone"));
    const auto meta = PropertyList::fromFile(package + "/iOSDeviceMeta.plist");
    ASSERT_TRUE(meta) << meta.error();
    EXPECT_EQ(meta.value(), PropertyList::dictionary({{"DeviceName", "Ada's phone"}}));

    struct Case {
        std::optional<Size> size;
        const char* text;
    };
    const Case cases[] = {{Size{1920.9, 1080.2}, "RecordingSize_1920x1080"},
                          {std::nullopt, ""},
                          {Size{-5, 3}, "RecordingSize_0x3"}};
    for (const Case& c : cases)
        EXPECT_EQ(recordingSizeText(c.size), c.text);

    // An older file is replaced; the file goes beside the package, also for a path with a slash.
    { std::ofstream(folder / "StealthRecordingInfo") << "stale"; }
    const PropertyList info = doneInfoDictionary(12.5, 2, Size{800, 600});
    ASSERT_TRUE(writeStealthRecordingInfo(package + "/", info));
    const auto read = PropertyList::fromFile(folder / "StealthRecordingInfo");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value(), PropertyList::dictionary({{"RecordingDuration", 12.5},
                                                      {"RecordingType", 2},
                                                      {"RecordingSize", "RecordingSize_800x600"}}));
    EXPECT_FALSE(std::filesystem::exists(package + "/StealthRecordingInfo"));
}

} // namespace
} // namespace vtl
