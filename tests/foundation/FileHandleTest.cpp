#include "platform/foundation/FileHandle.h"

#include "platform/foundation/DiskSpace.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace vtl {
namespace {

namespace fs = std::filesystem;

struct FileHandleTest : ::testing::Test {
    fs::path folder;
    void SetUp() override {
        folder =
            fs::path(::testing::TempDir()) /
            ("file-handle-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string path(const char* name) const { return (folder / name).string(); }
    std::string contents(const char* name) const {
        auto bytes = FileHandle::readWholeFile(path(name));
        return bytes ? std::string(bytes->begin(), bytes->end()) : "<" + bytes.error() + ">";
    }
};

TEST_F(FileHandleTest, OpeningRefusesWhatTheModeCannotUse) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("folder"));
    struct Case {
        const char* name;
        FileOpenMode mode;
    };
    // A fifo would block a plain open until a writer came: it is refused at once.
    for (const Case& c : {Case{"missing", FileOpenMode::Read}, Case{"missing", FileOpenMode::ReadWrite},
                          Case{"fifo", FileOpenMode::Read}, Case{"folder", FileOpenMode::Read},
                          Case{"folder/../missing/file", FileOpenMode::CreateTruncate}}) {
        auto file = FileHandle::open(path(c.name), c.mode);
        EXPECT_FALSE(file) << c.name;
        if (!file) {
            EXPECT_NE(file.error().find(folder.string()), std::string::npos) << file.error();
        }
    }
}

TEST_F(FileHandleTest, WritesAppendAtThePositionAndOverwriteAtOffsets) {
    {
        auto file = FileHandle::open(path("data"), FileOpenMode::CreateTruncate);
        ASSERT_TRUE(file) << file.error();
        ASSERT_TRUE(file->writeAll("hello world", 11));
        ASSERT_TRUE(file->writeAllAt(0, "J", 1));
        ASSERT_TRUE(file->writeAll("!", 1)) << "the offset write left the position at the end";
        EXPECT_EQ(file->size().valueOr(0), 12u);
        ASSERT_TRUE(file->truncate(5));
        ASSERT_TRUE(file->writeAll("y", 1)) << "appends continue at the cut";
        ASSERT_TRUE(file->sync());
        ASSERT_TRUE(file->close());
        EXPECT_FALSE(file->isOpen());
        EXPECT_TRUE(file->close()) << "closing twice is harmless";
    }
    EXPECT_EQ(contents("data"), "Jelloy");

    // Creating again empties the file.
    ASSERT_TRUE(FileHandle::open(path("data"), FileOpenMode::CreateTruncate));
    EXPECT_EQ(contents("data"), "");
}

TEST_F(FileHandleTest, ReadsStopAtTheEndAndReadAllRefusesToRunPastIt) {
    {
        auto file = FileHandle::open(path("data"), FileOpenMode::CreateTruncate);
        ASSERT_TRUE(file->writeAll("0123456789", 10));
    }
    auto file = FileHandle::open(path("data"), FileOpenMode::Read);
    ASSERT_TRUE(file) << file.error();
    char buffer[16] = {};
    struct Case {
        std::uint64_t offset;
        std::size_t size;
        std::size_t expected;
    };
    for (const Case& c : {Case{0, 4, 4}, Case{6, 10, 4}, Case{10, 3, 0}, Case{1000, 3, 0},
                          Case{~std::uint64_t{0} - 1, 4, 0}}) {
        auto read = file->readAt(c.offset, buffer, c.size);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, c.expected) << c.offset;
    }
    ASSERT_TRUE(file->readAllAt(2, buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "234");
    EXPECT_FALSE(file->readAllAt(8, buffer, 3));

    auto whole = FileHandle::readWholeFile(path("data"), 9);
    EXPECT_FALSE(whole) << "longer than the limit";
    ASSERT_TRUE(FileHandle::open(path("data"), FileOpenMode::ReadWrite)->writeAllAt(9, "X", 1));
    EXPECT_EQ(contents("data"), "012345678X");
}

TEST_F(FileHandleTest, AFullDeviceIsAFailureWithItsReason) {
    auto full = FileHandle::open("/dev/full", FileOpenMode::CreateTruncate);
    if (!full) GTEST_SKIP() << full.error();
    Status written = full->writeAll("x", 1);
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().find("/dev/full"), std::string::npos) << written.error();
}

TEST_F(FileHandleTest, HandlesMoveTheirDescriptor) {
    auto opened = FileHandle::open(path("data"), FileOpenMode::CreateTruncate);
    ASSERT_TRUE(opened);
    FileHandle first = std::move(opened).value();
    FileHandle second = std::move(first);
    EXPECT_FALSE(first.isOpen());
    ASSERT_TRUE(second.isOpen());
    EXPECT_TRUE(second.writeAll("ab", 2));
    second = FileHandle();
    EXPECT_EQ(contents("data"), "ab");
}

TEST(DiskSpace, ReportsFreeBytesOrAClearError) {
    auto free = freeDiskSpaceBytes("/tmp");
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0u);
    auto missing = freeDiskSpaceBytes("/no/such/folder/here");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error().find("/no/such/folder/here"), std::string::npos);
}

} // namespace
} // namespace vtl
