// Random access that leaves out the stripes and rectangles later frames hide must give exactly
// the picture of decoding every record from the key frame.

#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/reader/CoveredWorkPlan.h"
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

FrameMetaRecord keyRecord() {
    FrameMetaRecord r;
    r.kind = FrameKind::Key;
    r.stripes = {{0, 64, 100}};
    return r;
}

FrameMetaRecord blockRecord(std::vector<MovedRectRecord> moved, std::vector<ChangedRectRecord> changed) {
    FrameMetaRecord r;
    r.kind = FrameKind::Block;
    r.movedRects = std::move(moved);
    r.changedRects = std::move(changed);
    return r;
}

TEST(CoveredWork, PlanKeepsWhatTheLastPictureShowsAndTheSourcesOfItsMoves) {
    const ChangedRectRecord whole{0, 0, 64, 64, 10, 80};
    const ChangedRectRecord top{0, 0, 64, 32, 10, 80};
    const ChangedRectRecord bottom{0, 32, 64, 32, 10, 80};
    std::vector<ChangedRectRecord> tiny;
    for (int i = 0; i < 5000; ++i)
        tiny.push_back({0, 0, 1, 1, 10, 80});
    struct Case {
        const char* name;
        std::vector<FrameMetaRecord> records;
        std::vector<std::vector<bool>> expected; // per record; empty: every piece
    };
    const Case cases[] = {
        {"a later whole-frame change hides the key frame",
         {keyRecord(), blockRecord({}, {whole})},
         {{false}, {}}},
        {"a moved block keeps its source in the key frame needed",
         {keyRecord(), blockRecord({{0, 0, 64, 32, 0, 32}}, {}), blockRecord({}, {bottom})},
         {{}, {}, {}}},
        {"a change rewritten later is skipped, the rest stays, and the key frame under both is hidden",
         {keyRecord(), blockRecord({}, {top, bottom}), blockRecord({}, {top})},
         {{false}, {false, true}, {}}},
        {"a record with more rectangles than a screen has is decoded whole, and all before it",
         {keyRecord(), blockRecord({}, tiny), blockRecord({}, {whole})},
         {{}, {}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CoveredWorkPlan plan = CoveredWorkPlan::make(c.records, 64, 64);
        for (std::size_t i = 0; i < c.records.size(); ++i)
            EXPECT_EQ(plan.visiblePieces(i), c.expected[i]) << "record " << i;
    }
}

} // namespace
} // namespace vtl
