#include "TestPackage.h"
#include "recorder/VTL3RecorderEncodeQueueQualityTracker.h"
#include "recorder/VTLBufferedWriter.h"
#include "recorder/VTLMessageQueue.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

std::string tempFile(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid())))
        .string();
}

TEST(VTLBufferedWriter, CommitsRollsBackAndRewrites) {
    const std::string path = tempFile("writer");
    auto opened = VTLBufferedWriter::open(path, {});
    ASSERT_TRUE(opened) << opened.error();
    auto writer = std::move(opened).value();
    ASSERT_TRUE(writer->writeData("header--", 8));
    ASSERT_TRUE(writer->commit());
    std::vector<std::uint8_t> big(VTLBufferedWriter::kDefaultBufferBytes + 10, 'x'); // bypasses the buffer
    ASSERT_TRUE(writer->writeData("ab", 2));
    ASSERT_TRUE(writer->writeData(big.data(), big.size()));
    EXPECT_EQ(writer->currentPosition(), 8 + 2 + big.size());
    ASSERT_TRUE(writer->rollback());
    EXPECT_EQ(writer->currentPosition(), 8u);
    ASSERT_TRUE(writer->writeData("tail", 4));
    ASSERT_TRUE(writer->commit());
    ASSERT_TRUE(writer->rewriteCommitted(0, "HEADER", 6));
    EXPECT_FALSE(writer->rewriteCommitted(10, "past", 4));
    EXPECT_TRUE(writer->failed());
    writer->closeFile();
    const auto bytes = testing::readFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "HEADER--tail");
    std::filesystem::remove(path);
}

TEST(VTLBufferedWriter, AFullDiskIsReportedNotSwallowed) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto opened = VTLBufferedWriter::open("/dev/full", {});
    ASSERT_TRUE(opened) << opened.error();
    auto writer = std::move(opened).value();
    EXPECT_TRUE(writer->writeData("buffered", 8)); // only buffered so far
    EXPECT_FALSE(writer->commit());
    EXPECT_TRUE(writer->failed());
    EXPECT_NE(writer->error().find("No space"), std::string::npos) << writer->error();
    EXPECT_FALSE(writer->writeData("more", 4));
    EXPECT_FALSE(writer->closeFile());

    auto missing = VTLBufferedWriter::open("/nonexistent-folder/file", {});
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error().find("/nonexistent-folder/file"), std::string::npos);
}

struct Item {
    std::int64_t index;
};

TEST(VTLMessageQueue, ProcessesInIndexOrderWhateverTheArrivalOrder) {
    VTLMessageQueue<Item> queue([](const Item& item) { return item.index; });
    std::vector<std::int64_t> processed;
    std::atomic<int> setUps{0}, tearDowns{0};
    ASSERT_TRUE(queue.startProcessing([&](Item item) { processed.push_back(item.index); }, [&] { ++setUps; },
                                      [&] { ++tearDowns; }));
    for (std::int64_t index : {2, 0, 1, 5, 4, 3})
        queue.addObject({index});
    queue.stopProcessing();
    EXPECT_EQ(processed, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(setUps, 1);
    EXPECT_EQ(tearDowns, 1);
}

TEST(VTLMessageQueue, ConcurrentProducersAndStoppingWithAGap) {
    VTLMessageQueue<Item> queue([](const Item& item) { return item.index; });
    std::vector<std::int64_t> processed;
    ASSERT_TRUE(queue.startProcessing([&](Item item) { processed.push_back(item.index); }));
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&queue, t] {
            for (std::int64_t i = t; i < 400; i += 4)
                queue.addObject({i});
        });
    for (std::thread& producer : producers)
        producer.join();
    // 400 never arrives: stopping must not wait for it for ever.
    queue.addObject({401});
    queue.addObject({402});
    queue.stopProcessing();
    ASSERT_EQ(processed.size(), 402u);
    for (std::size_t i = 0; i < 400; ++i)
        ASSERT_EQ(processed[i], std::int64_t(i));
    EXPECT_EQ(processed[400], 401);

    // Skipping drops what is still queued; dropping every second object hands them to the drop hook.
    VTLMessageQueue<Item> blocked([](const Item& item) { return item.index; });
    std::vector<std::int64_t> dropped;
    ASSERT_TRUE(
        blocked.startProcessing([](Item) {}, {}, {}, [&](Item item) { dropped.push_back(item.index); }));
    for (std::int64_t index : {1, 2, 3, 4})
        blocked.addObject({index}); // waits for 0
    blocked.dropObjectsWithInterval(2);
    EXPECT_EQ(dropped, (std::vector<std::int64_t>{1, 3}));
    EXPECT_EQ(blocked.numberOfObjectsInQueue(), 2u);
    blocked.stopProcessing(true);
    EXPECT_EQ(blocked.numberOfObjectsInQueue(), 0u);
}

TEST(QualityTracker, FactorFromTheChangedPixelsOfTheLastSecond) {
    // 10 x 10 area at 10 frames per second: a full second holds 10 x 100 pixels.
    VTL3RecorderEncodeQueueQualityTracker tracker(10, 10, 10, 10);
    EXPECT_EQ(tracker.qualityFactorForTime(0, 600), 0.0f);
    tracker.addNumberOfPixels(100, 0); // a key frame at 0
    tracker.addNumberOfPixels(50, 60);
    tracker.addNumberOfPixels(50, 600);
    tracker.addNumberOfPixels(1000, 1300); // outside the window
    EXPECT_FLOAT_EQ(tracker.qualityFactorForTime(0, 600), 0.2f);
    std::uint64_t frames = 0;
    EXPECT_EQ(tracker.numberOfChangedPixels(60, 600, &frames), 100u);
    EXPECT_EQ(frames, 2u);
    // A window shorter than one frame still counts one frame instead of dividing by zero.
    EXPECT_FLOAT_EQ(tracker.qualityFactorForTime(0, 0), 1.0f);
    // Capacity 10 keeps at most 9 entries, dropping the oldest.
    for (int i = 0; i < 20; ++i)
        tracker.addNumberOfPixels(1, 2000 + i);
    EXPECT_EQ(tracker.trackCounter(), 9u);
    EXPECT_EQ(tracker.numberOfChangedPixels(0, 1999), 0u);
    tracker.shiftTrackEntriesBy(100);
    EXPECT_EQ(tracker.trackCounter(), 0u);
}

} // namespace
} // namespace vtl
