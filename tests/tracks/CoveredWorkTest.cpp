// Random access that leaves out the stripes and rectangles later frames hide must give exactly
// the picture of decoding every record from the key frame.

#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/reader/VistrelRecording.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace vtl {
namespace {

TEST(CoveredWork, RandomAccessGivesTheFullRewindsPictureForEveryFrame) {
    struct Case {
        const char* name;
        SyntheticScreenSettings screen;
    };
    SyntheticScreenSettings busy;
    busy.width = 256;
    busy.height = 300; // two stripes, the second partial
    busy.movingRects = 4;
    busy.movingRectSize = 48;
    busy.changingRects = 4;
    busy.changingRectWidth = 70;
    busy.changingRectHeight = 20;
    busy.movedBlocks = true;
    busy.scrollStepRows = 6;
    SyntheticScreenSettings oddSize = busy;
    oddSize.width = 203; // tiles cut by the right and bottom edges
    oddSize.height = 157;
    oddSize.scrollStepRows = 5;
    oddSize.seed = 9;
    // Strips scrolled in on tile rows: only the moves keep them needed, and the older ones leave
    // the view before the next key frame.
    SyntheticScreenSettings shortView = busy;
    shortView.height = 64;
    shortView.scrollStepRows = 8;
    shortView.movingRectSize = 24;
    const Case cases[] = {{"keys, blocks and moves", busy},
                          {"edges cut through tiles", oddSize},
                          {"scrolled strips leave the view", shortView}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SyntheticRecordingSettings settings;
        settings.screen = c.screen;
        settings.framesPerSecond = 12;
        settings.seconds = 3.0;
        const std::string path =
            ::testing::TempDir() + "/covered-" + std::to_string(::getpid()) + ".vistrelRecord";
        std::filesystem::remove_all(path);
        auto written = writeSyntheticRecording(path, settings);
        ASSERT_TRUE(written) << written.error();
        ASSERT_GE(written->keyFrames, 3u);

        auto recording = std::make_shared<VistrelRecording>(path);
        ASSERT_TRUE(recording->open()) << recording->openError();
        auto sequential = recording->makeDecompressionInfo();
        auto random = recording->makeDecompressionInfo();
        ASSERT_TRUE(sequential && random);
        const std::uint64_t n = recording->numberOfFrames();
        // One record at a time from frame 0 applies every piece: the reference.
        std::vector<std::vector<std::uint8_t>> reference;
        for (std::uint64_t k = 0; k < n; ++k) {
            ASSERT_TRUE((*sequential)->decompressFrame(k)) << (*sequential)->lastError();
            reference.push_back((*sequential)->frameBytes());
        }
        EXPECT_EQ((*sequential)->skippedPieceCount(), 0u);
        // From the key frame, and forward jumps from a frame held.
        for (std::uint64_t k = 0; k < n; ++k) {
            (*random)->forgetLastFrame();
            ASSERT_TRUE((*random)->decompressFrame(k)) << (*random)->lastError();
            EXPECT_TRUE((*random)->frameBytes() == reference[k]) << "frame " << k << " from its key frame";
        }
        std::mt19937 pick(4);
        for (int i = 0; i < 60; ++i) {
            const std::uint64_t k = pick() % n;
            ASSERT_TRUE((*random)->decompressFrame(k));
            EXPECT_TRUE((*random)->frameBytes() == reference[k]) << "frame " << k << " after a jump";
        }
        EXPECT_GT((*random)->skippedPieceCount(), 0u) << "nothing was hidden: the test proves nothing";
        (*sequential)->release();
        (*random)->release();
        std::filesystem::remove_all(path);
    }
}

} // namespace
} // namespace vtl
