#include "TestPackage.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTLRecorderKeyFrame.h"
#include "recorder/VTLRecorderMoveChangeBlockFrame.h"
#include "recorder/VTLRecorderStopFrame.h"
#include "recorder/VTLRecorderThumbnailFrame.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "recorder/synthetic/SyntheticScreenSource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

using testing::Bytes;
using testing::TestPackage;

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 (std::string("vistrel-") + info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        package = (folder / "take.vistrelRecord").string();
        std::filesystem::create_directory(package);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    EncodeQueueSettings settings(std::uint32_t width, std::uint32_t height, std::uint32_t fps) {
        EncodeQueueSettings s;
        s.frameRate = fps;
        s.areaWidthPixels = width;
        s.areaHeightPixels = height;
        s.encodeThreads = 3;
        s.pool = &pool;
        return s;
    }

    TestPackage load() {
        TestPackage p;
        std::string error;
        EXPECT_TRUE(p.load(package, error)) << error;
        return p;
    }

    // Frames made as the grabber makes them, copied at once, with a snapshot of each source picture.
    // 160 x 120 with a moving rectangle: frames of a few kilobytes.
    static SyntheticScreenSettings movingRectScreen() {
        SyntheticScreenSettings screen;
        screen.width = 160;
        screen.height = 120;
        screen.movingRectSize = 30;
        return screen;
    }

    struct Made {
        std::vector<std::unique_ptr<VTL3RecorderFrame>> frames;
        std::vector<Bytes> pictures;
        std::vector<KeyFrameDecision> decisions;
    };
    Made makeFrames(SyntheticScreenSource& source, std::uint32_t width, std::uint32_t height,
                    std::uint32_t fps, int count, int qualityNumber) {
        Made made;
        const Rect area(0, 0, width, height);
        for (int i = 0; i < count; ++i) {
            SyntheticUpdate update = source.nextFrame();
            const double t = double(i) / fps;
            const KeyFrameDecision decision =
                VTLRecorderKeyFrame::surfaceRequiresKeyframe(width, height, update.changedRects, i, fps);
            std::unique_ptr<VTL3RecorderFrame> frame;
            if (decision != KeyFrameDecision::NotNeeded)
                frame = std::make_unique<VTLRecorderKeyFrame>(update.surface, area, t, i);
            else
                frame = std::make_unique<VTLRecorderMoveChangeBlockFrame>(
                    update.surface, area, t, i, update.movedRects, update.movedDeltaX, update.movedDeltaY,
                    update.changedRects);
            frame->setRecordQuality(static_cast<RecordQuality>(qualityNumber));
            EXPECT_TRUE(frame->processSurface(pool));
            made.frames.push_back(std::move(frame));
            made.pictures.emplace_back(update.surface->pixels(),
                                       update.surface->pixels() + std::size_t{width} * height * 4);
            made.decisions.push_back(decision);
        }
        return made;
    }

    VTLMallocPool pool;
    std::filesystem::path folder;
    std::string package;
};

// Checks the structure every finished package must have and rebuilds every picture.
void checkPackage(const TestPackage& p, std::size_t expectedEntries,
                  const std::vector<Bytes>* pictures = nullptr) {
    ASSERT_EQ(p.header.numberFrameEntries, expectedEntries);
    ASSERT_EQ(p.entries.size(), expectedEntries);
    ASSERT_EQ(p.directory.size(), expectedEntries * kDirectoryEntrySizeBytes);
    std::uint64_t metaOffset = kHeaderSizeBytes;
    std::uint64_t dataOffset = 0;
    std::uint64_t framesSinceKey = 0;
    Bytes picture;
    for (std::size_t i = 0; i < p.entries.size(); ++i) {
        const DirectoryEntry& entry = p.entries[i];
        FrameMetaRecord record;
        std::string error;
        ASSERT_TRUE(p.record(i, record, error)) << i << ": " << error;
        EXPECT_EQ(entry.frameIndex, i);
        EXPECT_EQ(record.frameIndex, i);
        EXPECT_EQ(record.time, entry.time);
        EXPECT_EQ(entry.metaOffsetBytes, metaOffset) << i;
        EXPECT_EQ(entry.dataOffsetBytes, dataOffset) << i;
        EXPECT_EQ(entry.isKeyFrame, record.isKeyFrame());
        std::uint64_t streams = 0;
        if (record.isKeyFrame()) {
            framesSinceKey = 0;
            EXPECT_EQ(record.stripes.size(), stripeCount(p.header.displaySizeVertical));
            for (std::size_t s = 0; s < record.stripes.size(); ++s) {
                EXPECT_EQ(record.stripes[s].stripeIndex, s);
                EXPECT_EQ(record.stripes[s].heightRows, stripeHeightRows(p.header.displaySizeVertical, s));
                streams += record.stripes[s].jpegSizeBytes;
            }
        } else {
            EXPECT_EQ(record.framesSinceKeyFrame, framesSinceKey) << i;
            for (const ChangedRectRecord& changed : record.changedRects)
                streams += changed.jpegSizeBytes;
        }
        ++framesSinceKey;
        EXPECT_EQ(record.dataSizeBytes, streams) << i;
        metaOffset += frameMetaRecordSize(record);
        dataOffset += record.dataSizeBytes;
        if (pictures && i < pictures->size()) {
            ASSERT_TRUE(p.applyFrame(i, picture, error)) << i << ": " << error;
            const auto difference =
                testing::comparePictures(picture.data(), (*pictures)[i].data(), (*pictures)[i].size() / 4,
                                         p.header.displaySizeHorizontal);
            // JPEG error on dense one-pixel text at qualities 75 to 95, chroma sampled 2 x 2.
            EXPECT_LE(difference.meanAbsolute, 8.0) << "frame " << i;
            EXPECT_LE(difference.worstTileMean, 20.0) << "frame " << i;
            EXPECT_LE(difference.maximum, 128) << "frame " << i;
        }
    }
    EXPECT_EQ(p.meta.size(), metaOffset);
    EXPECT_EQ(p.data.size(), dataOffset);
}

TEST_F(PackageTest, FramesArrivingOutOfOrderAreWrittenInOrderAndRebuildTheSourcePictures) {
    // Height 257: key frames have a 256-row and a 1-row stripe. Moved blocks from a scrolling area.
    const std::uint32_t width = 320, height = 257, fps = 10;
    SyntheticScreenSettings screen;
    screen.width = width;
    screen.height = height;
    screen.movedBlocks = true;
    screen.movingRectSize = 40;
    screen.changingRectWidth = 60;
    screen.changingRectHeight = 12;
    SyntheticScreenSource source(screen);
    Made made = makeFrames(source, width, height, fps, 25, 2);

    VTL3RecordEndcodeQueue queue(settings(width, height, fps));
    std::string error;
    ASSERT_TRUE(queue.prepareForRecording(package));
    std::vector<double> pressures;
    queue.setPressureHandler([&](double pressure) { pressures.push_back(pressure); });
    // Hand the frames in from three threads in a shuffled order.
    std::vector<std::unique_ptr<VTL3RecorderFrame>> frames = std::move(made.frames);
    std::shuffle(frames.begin(), frames.end(), std::mt19937(3));
    std::vector<std::thread> threads;
    std::atomic<std::size_t> next{0};
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (std::size_t i; (i = next++) < frames.size();)
                queue.addRecorderFrame(std::move(frames[i]));
        });
    for (std::thread& thread : threads)
        thread.join();
    queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(2.5, 25));
    error = queue.finalizeRecord().error();
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_DOUBLE_EQ(queue.duration(), 2.5);
    EXPECT_EQ(queue.size().width, 320);
    EXPECT_EQ(pressures.size(), 25u);
    EXPECT_NEAR(queue.totalQueueCost(), 0.0, 1e-9);

    const TestPackage p = load();
    checkPackage(p, 26, &made.pictures);
    EXPECT_EQ(p.header.keyFrameRate, 10u);
    EXPECT_EQ(p.header.thumbWidth, 106u); // factor min(4, 3) = 3
    EXPECT_EQ(p.header.thumbHeight, 85u);
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_EQ(p.entries[i].isKeyFrame, made.decisions[i] != KeyFrameDecision::NotNeeded) << i;
        EXPECT_EQ(p.entries[i].time, i * 60) << i;
    }
    FrameMetaRecord record;
    ASSERT_TRUE(p.record(0, record, error));
    EXPECT_EQ(record.jpegQuality, 95u); // record quality 2 on a calm start: 75 + 20
    ASSERT_TRUE(p.record(1, record, error));
    ASSERT_EQ(record.movedRects.size(), 1u);
    EXPECT_EQ(record.movedRects[0].deltaY, 8);
    // The stop frame: no data, its data offset at the end of "vtldata", frames since the key frame at 20.
    ASSERT_TRUE(p.record(25, record, error));
    EXPECT_TRUE(record.isStopFrame());
    EXPECT_EQ(record.dataSizeBytes, 0u);
    EXPECT_EQ(record.framesSinceKeyFrame, 5u);
    EXPECT_EQ(p.entries[25].dataOffsetBytes, p.data.size());
    EXPECT_EQ(p.entries[25].time, 1500u);
}

TEST_F(PackageTest, HeaderAndStripesForTypicalHeights) {
    struct Case {
        std::uint32_t width, height;
        std::vector<std::uint64_t> stripeRows;
    };
    const Case cases[] = {{200, 256, {256}}, {90, 257, {256, 1}}, {1920, 1080, {256, 256, 256, 256, 56}}};
    for (const Case& c : cases) {
        std::filesystem::remove_all(package);
        std::filesystem::create_directory(package);
        SyntheticScreenSettings screen;
        screen.width = c.width;
        screen.height = c.height;
        SyntheticScreenSource source(screen);
        Made made = makeFrames(source, c.width, c.height, 30, 2, 1);
        VTL3RecordEndcodeQueue queue(settings(c.width, c.height, 30));
        std::string error;
        ASSERT_TRUE(queue.prepareForRecording(package));
        for (auto& frame : made.frames)
            queue.addRecorderFrame(std::move(frame));
        queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(0.1, 2));
        error = queue.finalizeRecord().error();
        ASSERT_TRUE(error.empty()) << error;
        const TestPackage p = load();
        checkPackage(p, 3, &made.pictures);
        FrameMetaRecord key;
        ASSERT_TRUE(p.record(0, key, error));
        std::vector<std::uint64_t> rows;
        for (const StripeRecord& stripe : key.stripes)
            rows.push_back(stripe.heightRows);
        EXPECT_EQ(rows, c.stripeRows) << c.height;
        EXPECT_EQ(key.jpegQuality, 115u); // record quality 1, calm: stored uncapped
        // Byte-exact header of the finished package.
        const auto expected = serializeHeader(makeRecordingHeader(c.width, c.height, 30, 1.0f));
        Bytes header(p.meta.begin(), p.meta.begin() + 128);
        Bytes expectedBytes(expected.begin(), expected.end());
        expectedBytes[8] = 3; // numberFrameEntries after the rewrite
        expectedBytes[9] = expectedBytes[10] = expectedBytes[11] = 0;
        EXPECT_EQ(header, expectedBytes);
    }
}

TEST_F(PackageTest, RecordingsStoppedBeforeTheirFirstKeyFrameStillGetTheRealCount) {
    {
        VTL3RecordEndcodeQueue queue(settings(64, 64, 30));
        std::string error;
        ASSERT_TRUE(queue.prepareForRecording(package));
        queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(0.0, 0));
        error = queue.finalizeRecord().error();
        ASSERT_TRUE(error.empty()) << error;
        const TestPackage p = load();
        checkPackage(p, 1);
        EXPECT_EQ(p.meta.size(), 128u + 56u); // the stop record follows the header
        EXPECT_EQ(p.entries[0].metaOffsetBytes, 128u);
        EXPECT_DOUBLE_EQ(queue.duration(), 0.0);
    }
    {
        VTL3RecordEndcodeQueue queue(settings(64, 64, 30));
        std::string error;
        ASSERT_TRUE(queue.prepareForRecording(package));
        error = queue.finalizeRecord().error();
        ASSERT_TRUE(error.empty()) << error;
        const TestPackage p = load();
        checkPackage(p, 0);
        EXPECT_EQ(p.meta.size(), 128u);
        EXPECT_EQ(p.header.displaySizeHorizontal, 64u);
    }
}

TEST_F(PackageTest, AFrameWithOnlyMovedBlocksWritesNoData) {
    auto surface = std::make_shared<MemorySurface>(64, 64);
    VTL3RecordEndcodeQueue queue(settings(64, 64, 30));
    std::string error;
    ASSERT_TRUE(queue.prepareForRecording(package));
    auto key = std::make_unique<VTLRecorderKeyFrame>(surface, Rect(0, 0, 64, 64), 0, 0);
    ASSERT_TRUE(key->processSurface(pool));
    const std::vector<Rect> moved = {{0, 0, 64, 60}};
    auto block = std::make_unique<VTLRecorderMoveChangeBlockFrame>(surface, Rect(0, 0, 64, 64), 1.0 / 30, 1,
                                                                   moved, -0.7, 4.9, std::vector<Rect>{});
    ASSERT_TRUE(block->processSurface(pool));
    queue.addRecorderFrame(std::move(block));
    queue.addRecorderFrame(std::move(key));
    queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(2.0 / 30, 2));
    error = queue.finalizeRecord().error();
    ASSERT_TRUE(error.empty()) << error;
    const TestPackage p = load();
    checkPackage(p, 3);
    FrameMetaRecord record;
    ASSERT_TRUE(p.record(1, record, error));
    EXPECT_EQ(record.dataSizeBytes, 0u);
    EXPECT_EQ(record.framesSinceKeyFrame, 1u);
    ASSERT_EQ(record.movedRects.size(), 1u);
    EXPECT_EQ(record.movedRects[0], (MovedRectRecord{0, 0, 64, 60, 0, 4})); // offsets truncated toward zero
    EXPECT_EQ(p.entries[1].time, 20u);
    EXPECT_EQ(p.entries[1].dataOffsetBytes, p.entries[2].dataOffsetBytes);
}

TEST_F(PackageTest, PressureFromPendingCostAndFramesWithoutTheirPixels) {
    struct Case {
        double cost, pressure;
    };
    const Case cases[] = {{0, 0}, {20, 0}, {20.5, 0.1225}, {40, 1}, {77, 4.98778}};
    for (const Case& c : cases)
        EXPECT_NEAR(VTL3RecordEndcodeQueue::pressureForCost(c.cost), c.pressure, 1e-4) << c.cost;

    // A frame whose copy failed (no memory) stops the recording instead of writing garbage.
    auto surface = std::make_shared<MemorySurface>(32, 32);
    VTL3RecordEndcodeQueue queue(settings(32, 32, 30));
    std::string error;
    ASSERT_TRUE(queue.prepareForRecording(package));
    auto key = std::make_unique<VTLRecorderKeyFrame>(surface, Rect(0, 0, 32, 32), 0, 0);
    ASSERT_TRUE(key->processSurface(pool));
    queue.addRecorderFrame(std::move(key));
    queue.addRecorderFrame(
        std::make_unique<VTLRecorderKeyFrame>(surface, Rect(0, 0, 32, 32), 0.1, 1)); // not copied
    queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(0.2, 2));
    error = queue.finalizeRecord().error();
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find("out of memory"), std::string::npos) << error;
    checkPackage(load(), 2); // the frame before it and the stop record

    // A picture of another size than the recorded area stops the recording too.
    VTL3RecordEndcodeQueue other(settings(32, 32, 30));
    ASSERT_TRUE(other.prepareForRecording(package));
    auto wrongSize = std::make_unique<VTLRecorderKeyFrame>(std::make_shared<MemorySurface>(32, 40),
                                                           Rect(0, 0, 32, 32), 0, 0);
    ASSERT_TRUE(wrongSize->processSurface(pool));
    other.addRecorderFrame(std::move(wrongSize));
    error = other.finalizeRecord().error();
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    checkPackage(load(), 0);
    other.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(1.0, 1)); // after the end: dropped
}

// Files that share a byte budget, like a disk that fills up; appends past it write what fits
// and then fail.
struct DiskBudget {
    std::atomic<std::int64_t> remaining;
};

class FullingSink final : public ByteSink {
public:
    FullingSink(std::unique_ptr<ByteSink> inner, std::shared_ptr<DiskBudget> budget)
        : inner_(std::move(inner))
        , budget_(std::move(budget)) {}
    Status append(const std::uint8_t* data, std::size_t size) override {
        const std::int64_t before = budget_->remaining.fetch_sub(std::int64_t(size));
        if (before >= std::int64_t(size)) return inner_->append(data, size);
        if (before > 0) (void)inner_->append(data, std::size_t(before)); // a torn write
        return fail("Writing failed: No space left on device.");
    }
    Status writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
        return inner_->writeAt(offset, data, size);
    }
    Status truncate(std::uint64_t size) override { return inner_->truncate(size); }
    Status close() override { return inner_->close(); }

private:
    std::unique_ptr<ByteSink> inner_;
    std::shared_ptr<DiskBudget> budget_;
};

// Package files that draw on the budget: all of them, or only the one named.
ByteSinkFactory budgetedSinks(std::shared_ptr<DiskBudget> budget, const char* onlyFile) {
    return [budget, onlyFile](const std::string& path) -> Result<std::unique_ptr<ByteSink>> {
        auto inner = FileByteSink::create(path);
        if (!inner) return inner;
        if (onlyFile && std::filesystem::path(path).filename() != onlyFile) return inner;
        return std::unique_ptr<ByteSink>(std::make_unique<FullingSink>(std::move(inner).value(), budget));
    };
}

TEST_F(PackageTest, AFullDiskEndsTheRecordingWithAnErrorAndAReadablePackage) {
    // The budget is the disk's, or one file's alone: a frame whose bytes reached some files
    // before another one failed must leave none of them behind.
    struct Case {
        std::int64_t budgetBytes;
        const char* onlyFile; // nullptr: every file shares the budget
    };
    for (const Case& c : {Case{40000, nullptr}, Case{120000, nullptr}, Case{100, nullptr},
                          Case{1000, "vtlmeta"}, Case{200, "vtldirectory"}}) {
        const std::int64_t budgetBytes = c.budgetBytes;
        SCOPED_TRACE(std::to_string(budgetBytes) + (c.onlyFile ? std::string(" ") + c.onlyFile : ""));
        std::filesystem::remove_all(package);
        std::filesystem::create_directory(package);
        auto budget = std::make_shared<DiskBudget>();
        budget->remaining = budgetBytes;
        EncodeQueueSettings s = settings(160, 120, 10);
        s.sinkFactory = budgetedSinks(budget, c.onlyFile);
        SyntheticScreenSource source(movingRectScreen());
        Made made = makeFrames(source, 160, 120, 10, 30, 2);

        VTL3RecordEndcodeQueue queue(s);
        std::string error;
        ASSERT_TRUE(queue.prepareForRecording(package));
        std::vector<std::string> reported;
        queue.setErrorHandler([&](const std::string& message) { reported.push_back(message); });
        for (auto& frame : made.frames)
            queue.addRecorderFrame(std::move(frame));
        queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(3.0, 30));
        Status finalized = queue.finalizeRecord();
        EXPECT_FALSE(finalized) << budgetBytes;
        EXPECT_NE(finalized.error().find("No space"), std::string::npos) << finalized.error();
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_TRUE(queue.failed());

        const std::size_t complete = queue.overallFrameCounter();
        if (budgetBytes < 128) {
            // Not even the header fitted: nothing claims to be there.
            EXPECT_EQ(complete, 0u);
            EXPECT_EQ(std::filesystem::file_size(package + "/vtlmeta"), 0u);
            EXPECT_EQ(std::filesystem::file_size(package + "/vtldirectory"), 0u);
            continue;
        }
        // Everything up to the last complete frame is there and decodes.
        const TestPackage p = load();
        EXPECT_LT(complete, 31u);
        if (budgetBytes > 1000) {
            EXPECT_GE(complete, 1u);
        }
        checkPackage(p, complete, &made.pictures);
    }
}

// Readers expect the stop record at the end of the stream: after a cut it is written where the
// files it needs still have room, and otherwise the stream ends with the last complete frame.
TEST_F(PackageTest, AWriteFailureStillEndsTheStreamWithAStopRecordWhereThereIsRoom) {
    struct Case {
        const char* onlyFile; // nullptr: every file shares the budget
        bool stopFits;
    };
    for (const Case& c : {Case{"vtldata", true}, Case{"thumbdata", true}, Case{nullptr, false}}) {
        SCOPED_TRACE(c.onlyFile ? c.onlyFile : "shared");
        std::filesystem::remove_all(package);
        std::filesystem::create_directory(package);
        auto budget = std::make_shared<DiskBudget>();
        budget->remaining = 40000;
        EncodeQueueSettings s = settings(160, 120, 10);
        s.sinkFactory = budgetedSinks(budget, c.onlyFile);
        SyntheticScreenSource source(movingRectScreen());
        Made made = makeFrames(source, 160, 120, 10, 30, 2);

        VTL3RecordEndcodeQueue queue(s);
        ASSERT_TRUE(queue.prepareForRecording(package));
        for (int i = 0; i < 30; ++i) {
            if (std::string(c.onlyFile ? c.onlyFile : "") == "thumbdata" && i == 3) {
                // The frames handed over so far are written before the failure comes (on a busy
                // machine the encoders may not have reached them yet).
                const auto waitUntil = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (queue.overallFrameCounter() < 3 && std::chrono::steady_clock::now() < waitUntil)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                ASSERT_GE(queue.overallFrameCounter(), 3u);
                // A thumbnail larger than the budget fails the recording between frames.
                VTLRecorderThumbnailFrame thumbnail(source.nextFrame().surface, Rect(0, 0, 160, 120), 0.3, 0);
                ASSERT_TRUE(thumbnail.processSurface(pool));
                budget->remaining = 100;
                EXPECT_FALSE(queue.encodeThumbnailFrame(thumbnail));
            }
            queue.addRecorderFrame(std::move(made.frames[std::size_t(i)]));
        }
        queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(3.0, 30));
        EXPECT_FALSE(queue.finalizeRecord()) << "a cut recording still reports its failure";

        const TestPackage p = load();
        const std::size_t entries = queue.overallFrameCounter();
        ASSERT_GE(entries, 1u);
        checkPackage(p, entries);
        FrameMetaRecord last;
        std::string error;
        ASSERT_TRUE(p.record(entries - 1, last, error)) << error;
        EXPECT_EQ(last.isStopFrame(), c.stopFits);
        if (c.stopFits) {
            EXPECT_EQ(p.entries.back().time, 1800u) << "the stop record keeps the stop's time";
            EXPECT_EQ(p.entries.back().dataOffsetBytes, p.data.size());
        }
        // Every picture before the cut still rebuilds.
        const std::size_t pictures = c.stopFits ? entries - 1 : entries;
        Bytes picture;
        for (std::size_t i = 0; i < pictures; ++i) {
            ASSERT_TRUE(p.applyFrame(i, picture, error)) << i << ": " << error;
            EXPECT_LE(testing::comparePictures(picture.data(), made.pictures[i].data(), 160 * 120, 160)
                          .worstTileMean,
                      20.0)
                << i;
        }
    }
}

TEST_F(PackageTest, AThumbnailThatDoesNotFitLeavesNoRecordWithoutItsPixels) {
    auto budget = std::make_shared<DiskBudget>();
    const std::int64_t thumbnailBytes = 160 * 120 * 4; // thumbnail factor 1
    budget->remaining = 2 * thumbnailBytes + thumbnailBytes / 2;
    EncodeQueueSettings s = settings(160, 120, 10);
    s.sinkFactory = budgetedSinks(budget, "thumbdata");
    SyntheticScreenSettings screen;
    screen.width = 160;
    screen.height = 120;
    SyntheticScreenSource source(screen);
    VTL3RecordEndcodeQueue queue(s);
    std::string error;
    ASSERT_TRUE(queue.prepareForRecording(package));
    std::vector<bool> written;
    for (int i = 0; i < 4; ++i) {
        VTLRecorderThumbnailFrame thumbnail(source.nextFrame().surface, Rect(0, 0, 160, 120), i * 0.5, i);
        ASSERT_TRUE(thumbnail.processSurface(pool));
        written.push_back(queue.encodeThumbnailFrame(thumbnail));
    }
    EXPECT_EQ(written, (std::vector<bool>{true, true, false, false}));
    EXPECT_TRUE(queue.failed());
    error = queue.finalizeRecord().error();
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(std::filesystem::file_size(package + "/thumbmeta"), 2 * kThumbnailRecordSizeBytes);
    EXPECT_EQ(std::filesystem::file_size(package + "/thumbdata"), std::uintmax_t(2 * thumbnailBytes));
}

TEST_F(PackageTest, SteadyRecordingObtainsNoNewPoolBlocks) {
    const std::uint32_t width = 320, height = 240, fps = 10;
    SyntheticScreenSettings screen;
    screen.width = width;
    screen.height = height;
    screen.movedBlocks = true;
    screen.movingRectSize = 40;
    SyntheticScreenSource source(screen);
    VTL3RecordEndcodeQueue queue(settings(width, height, fps));
    std::string error;
    ASSERT_TRUE(queue.prepareForRecording(package));
    const Rect area(0, 0, width, height);
    std::uint64_t allocationsAfterWarmUp = 0;
    double lastThumb = -10;
    for (int i = 0; i < 60; ++i) {
        if (i == 20) {
            while (queue.overallFrameCounter() < 20)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            allocationsAfterWarmUp = pool.systemAllocationCount();
        }
        SyntheticUpdate update = source.nextFrame();
        const double t = double(i) / fps;
        if (i % (fps / 2) == 0 || t - lastThumb > 1.0) {
            VTLRecorderThumbnailFrame thumbnail(update.surface, area, t, i);
            ASSERT_TRUE(thumbnail.processSurface(pool));
            ASSERT_TRUE(queue.encodeThumbnailFrame(thumbnail));
            lastThumb = t;
        }
        std::unique_ptr<VTL3RecorderFrame> frame;
        if (VTLRecorderKeyFrame::surfaceRequiresKeyframe(width, height, update.changedRects, i, fps) !=
            KeyFrameDecision::NotNeeded)
            frame = std::make_unique<VTLRecorderKeyFrame>(update.surface, area, t, i);
        else
            frame = std::make_unique<VTLRecorderMoveChangeBlockFrame>(
                update.surface, area, t, i, update.movedRects, update.movedDeltaX, update.movedDeltaY,
                update.changedRects);
        ASSERT_TRUE(frame->processSurface(pool));
        queue.addRecorderFrame(std::move(frame));
        // Like a capture at frame rate with an encoder that keeps up. Each frame (and its
        // thumbnail) is finished before the next, so the number of blocks in flight does not
        // depend on how loaded the machine is.
        while (queue.overallFrameCounter() < std::uint32_t(i + 1) || pool.lentBlockCount() != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(6.0, 60));
    error = queue.finalizeRecord().error();
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(pool.systemAllocationCount(), allocationsAfterWarmUp);
    EXPECT_EQ(pool.lentBlockCount(), 0u);

    const TestPackage p = load();
    checkPackage(p, 61);
    // Thumbnails: every half second, 16 bytes of record and 106 x 80 x 4 bytes of pixels each.
    EXPECT_EQ(p.thumbMeta.size(), 12u * 16u);
    EXPECT_EQ(p.thumbData.size(), 12u * 106u * 80u * 4u);
    const auto third = parseThumbnailRecord(std::span(p.thumbMeta).subspan(32));
    ASSERT_TRUE(third.ok());
    EXPECT_EQ(third->thumbnailIndex, 2u);
    EXPECT_DOUBLE_EQ(third->timeSeconds, 1.0);
    EXPECT_EQ(p.header.numberThumbs, 0u);
}

TEST_F(PackageTest, SyntheticRecordingDriverWritesACompletePackage) {
    SyntheticRecordingSettings s;
    s.screen.width = 200;
    s.screen.height = 150;
    s.screen.movedBlocks = true;
    s.framesPerSecond = 12;
    s.seconds = 1.5;
    s.encodeThreads = 2;
    const auto result = writeSyntheticRecording(package, s);
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->framesWritten, 19u);
    EXPECT_EQ(result->keyFrames, 2u);
    EXPECT_DOUBLE_EQ(result->durationSeconds, 1.5);
    checkPackage(load(), 19);

    // A folder whose parent is missing is refused, not created with its parents.
    const auto refused = writeSyntheticRecording((folder / "missing" / "x.vistrelRecord").string(), s);
    EXPECT_FALSE(refused);
    EXPECT_FALSE(refused.error().empty());
}

} // namespace
} // namespace vtl
