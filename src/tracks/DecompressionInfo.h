#pragma once
// One decoding user's state for one recording: its own read-only handles on the frame data,
// a frame buffer with the last decoded picture, its position and its locks. Owned by the user
// (a decode-ahead cache, a movie's still images, a view); filled and released through
// VistrelRecording.

#include "tracks/ConcurrentDispatchQueue.h"
#include "tracks/PackageStorage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vtl {

struct DecompressionFrameEntry {
    std::uint64_t entryKind = 0;
    std::uint64_t frameNumber = 0; // the request index: the frame to decode next, or the one wanted
    std::uint64_t timeStamp = 0;
    std::uint64_t dataBytesThisFrame = 0;
};

struct DecompressionInfo {
    // 32-bit little-endian pixels with the most significant byte skipped: B, G, R, X in memory.
    static constexpr std::uint32_t kBitmapInfoBGRX = 8198;

    bool structValid = false;
    std::unique_ptr<PackageFile> dataFile;
    std::unique_ptr<PackageFile> metaFile;
    // height × bytesPerRow bytes, B, G, R, X, rows top to bottom, no padding.
    std::unique_ptr<std::uint8_t[]> buffer;
    std::unique_ptr<std::uint8_t[]> temporaryBuffer;
    std::size_t bufferSizeBytes = 0;
    DecompressionFrameEntry frameEntry;
    std::string colorSpace; // the user's target colour space, by name
    std::uint32_t bitmapInfo = 0;
    // Held while the picture in buffer is copied out.
    std::mutex memoryAccessMutex;
    // Held for a whole frame request and for the release.
    std::mutex decompressionReleaseMutex;
    bool lastFrameValid = false;
    std::uint64_t frameNumber = 0; // the frame buffer holds
    std::unique_ptr<ConcurrentDispatchQueue> decompressionDispatchQueue;

    // Whether every record applied since the last key frame decoded completely, and if not, why.
    bool lastFrameComplete = false;
    std::string lastError;
    // Frame records applied so far (rewinds and steps), for callers that measure the work done.
    std::uint64_t decodedFrameCount = 0;
};

} // namespace vtl
