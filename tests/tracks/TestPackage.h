#pragma once
// Builds small recording packages in memory for the reader tests, with an independent
// table-less JPEG encoder, and keeps the picture each frame should decode to.

#include "recorder/format/RecordingFormat.h"
#include "tracks/reader/PackageStorage.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl::test {

struct Picture {
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<std::uint8_t> bgra; // width × 4 bytes a row

    std::uint8_t* at(std::size_t x, std::size_t y) { return bgra.data() + (y * width + x) * 4; }
    const std::uint8_t* at(std::size_t x, std::size_t y) const { return bgra.data() + (y * width + x) * 4; }
};

// A smooth picture (JPEG keeps it close) that differs with the seed.
Picture smoothPicture(std::size_t width, std::size_t height, int seed);
// Copies a block of `from` at (sx, sy) into `to` at (dx, dy).
void copyBlock(const Picture& from, std::size_t sx, std::size_t sy, Picture& to, std::size_t dx,
               std::size_t dy, std::size_t w, std::size_t h);

// Abbreviated baseline stream (no tables, no JFIF marker) of a block of the picture.
std::vector<std::uint8_t> encodeTablelessJPEG(const Picture& picture, std::size_t x, std::size_t y,
                                              std::size_t w, std::size_t h, int quality);
// The same block as a complete stream with its tables.
std::vector<std::uint8_t> encodeFullJPEG(const Picture& picture, std::size_t x, std::size_t y, std::size_t w,
                                         std::size_t h, int quality);
// The same block as an abbreviated one-component (grey) stream, which the recorder never writes.
std::vector<std::uint8_t> encodeTablelessGreyJPEG(const Picture& picture, std::size_t x, std::size_t y,
                                                  std::size_t w, std::size_t h, int quality);

// Largest per-channel difference of the B, G, R bytes, and the mean absolute difference.
struct PictureDifference {
    int maximum = 0;
    double mean = 0.0;
};
PictureDifference compareBGR(const std::uint8_t* a, const std::uint8_t* b, std::size_t width,
                             std::size_t height);

struct ChangedBlock {
    std::size_t x, y, w, h;
};

class TestPackage {
public:
    TestPackage(std::size_t width, std::size_t height, std::uint64_t keyFrameRate);

    void addKeyFrame(const Picture& picture, std::uint64_t ticks, int quality = 90);
    // Moves (records as stored) then changed blocks taken from `picture`, the full new picture.
    void addBlockFrame(const Picture& picture, const std::vector<MovedRectRecord>& moved,
                       const std::vector<ChangedBlock>& changed, std::uint64_t ticks, int quality = 90);
    void addStopFrame(std::uint64_t ticks);
    void addThumbnail(double seconds, const Picture& picture);
    // Rewrites the header with the real entry count, as a finished recording has it.
    void finish();

    std::map<std::string, std::vector<std::uint8_t>>& files() { return files_; }
    std::shared_ptr<MemoryPackageStorage> storage() const;
    void writeTo(const std::string& directory) const;
    // Frame i's picture as it should decode.
    const std::vector<Picture>& expected() const { return expected_; }
    RecordingHeader& header() { return header_; }
    std::uint64_t frameCount() const { return frameCount_; }

private:
    void appendEntry(bool key, std::uint64_t ticks);
    void append(const std::string& name, const std::uint8_t* data, std::size_t size);

    RecordingHeader header_;
    std::map<std::string, std::vector<std::uint8_t>> files_;
    std::vector<Picture> expected_;
    std::uint64_t frameCount_ = 0;
    std::uint64_t framesSinceKey_ = 0;
    std::uint64_t thumbCount_ = 0;
};

} // namespace vtl::test
