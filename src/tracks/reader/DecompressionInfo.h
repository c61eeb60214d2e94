#pragma once
// One decoding user's decoder for one recording: its own read-only handles on the frame data, a
// frame buffer with the last decoded picture, its position, and the dispatch from a frame's record
// to the decoder of its kind. It shares the recording's directory and storage, so it keeps working
// on its own; made by VistrelRecording::makeDecompressionInfo and owned by its user (a decode-ahead
// cache, a movie's still images, a view, a tool). Requests and the release are serialised on the
// request lock; the picture is read out under the memory lock, so any thread may use it.

#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "recorder/format/RecordingFormat.h"
#include "tracks/reader/PackageStorage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class DecompressionInfo {
public:
    // 32-bit little-endian pixels with the most significant byte skipped: B, G, R, X in memory.
    static constexpr std::uint32_t kBitmapInfoBGRX = 8198;

    // What a decoder reads: the package's files, its directory and picture size. Shared with the
    // recording that opened them.
    struct Source {
        std::shared_ptr<const PackageStorage> storage;
        std::shared_ptr<const std::vector<DirectoryEntry>> directory;
        std::size_t width = 0;
        std::size_t height = 0;
        std::uint64_t keyFrameRate = 0;
    };

    // Opens "vtldata" and "vtlmeta" and makes the frame buffers; fails when a file is missing or
    // memory is short.
    static Result<std::unique_ptr<DecompressionInfo>> open(Source source);
    DecompressionInfo(const DecompressionInfo&) = delete;
    DecompressionInfo& operator=(const DecompressionInfo&) = delete;

    // Leaves frame `index` in the frame buffer (an index past the end gives the last frame),
    // stepping forward from the picture it holds when that is close behind, else decoding from the
    // key frame at or before it. When it applies more than one record, it first walks their meta
    // records back from `index` and leaves out the stripes and changed rectangles that later
    // records hide, so only the work visible in frame `index` is done; the pictures in between
    // are then incomplete, the one asked for is whole. Answers whether every record it applied
    // decoded completely.
    bool decompressFrame(std::uint64_t index) VTL_EXCLUDES(requestMutex_);
    // Decodes the key frame at or before `index`; the buffer then holds that key frame.
    bool rewindToKeyframeBeforeFrame(std::uint64_t index) VTL_EXCLUDES(requestMutex_);
    // Applies frame `index`'s record on top of the buffer, whatever it holds.
    bool decompressNextFrame(std::uint64_t index) VTL_EXCLUDES(requestMutex_);
    // The next request decodes from a key frame again.
    void forgetLastFrame() VTL_EXCLUDES(requestMutex_);
    // Closes the files and frees the buffers; later requests decode nothing.
    void release() VTL_EXCLUDES(requestMutex_, memoryMutex_);

    // Copies the picture (width × 4 bytes a row, B, G, R, X) into rows `bytesPerRow` apart, in
    // bands of 256 rows. False when the decoder is released.
    bool copyFrame(std::uint8_t* destination, std::size_t bytesPerRow) const VTL_EXCLUDES(memoryMutex_);
    // A copy of the whole picture; empty when released.
    std::vector<std::uint8_t> frameBytes() const VTL_EXCLUDES(memoryMutex_);

    bool isValid() const VTL_EXCLUDES(requestMutex_);
    // The frame the buffer holds, and whether it holds one at all.
    std::uint64_t frameNumber() const VTL_EXCLUDES(requestMutex_);
    bool lastFrameValid() const VTL_EXCLUDES(requestMutex_);
    // Whether every record applied since the last key frame decoded completely, and if not, why.
    bool lastFrameComplete() const VTL_EXCLUDES(requestMutex_);
    std::string lastError() const VTL_EXCLUDES(requestMutex_);
    // Frame records applied so far (rewinds and steps), for callers that measure the work done.
    std::uint64_t decodedFrameCount() const VTL_EXCLUDES(requestMutex_);
    // Stripes and changed rectangles left undecoded because a later frame hides them.
    std::uint64_t skippedPieceCount() const VTL_EXCLUDES(requestMutex_);

    // The user's target colour space, by name (the decode cache's images carry it).
    void setColorSpace(std::string colorSpace) VTL_EXCLUDES(requestMutex_);
    std::string colorSpace() const VTL_EXCLUDES(requestMutex_);
    std::uint32_t bitmapInfo() const { return kBitmapInfoBGRX; }
    std::size_t width() const { return source_.width; }
    std::size_t height() const { return source_.height; }
    std::size_t bytesPerRow() const { return source_.width * 4; }

private:
    explicit DecompressionInfo(Source source);
    bool decompressFrameLocked(std::uint64_t index) VTL_REQUIRES(requestMutex_);
    bool rewindLocked(std::uint64_t index, std::vector<bool> visiblePieces = {}) VTL_REQUIRES(requestMutex_);
    bool decompressNextFrameLocked(std::uint64_t index, std::vector<bool> visiblePieces = {})
        VTL_REQUIRES(requestMutex_);
    // The meta record of frame k; false when it cannot be read whole.
    bool readMetaRecordLocked(std::uint64_t k, FrameMetaRecord& record) VTL_REQUIRES(requestMutex_);
    void reportProblem(const std::string& problem) VTL_REQUIRES(requestMutex_);

    const Source source_;
    const std::string path_;

    mutable Mutex requestMutex_;
    std::unique_ptr<PackageFile> dataFile_ VTL_GUARDED_BY(requestMutex_);
    std::unique_ptr<PackageFile> metaFile_ VTL_GUARDED_BY(requestMutex_);
    // Handed to every moved/changed-block decoder as its spare picture.
    std::unique_ptr<std::uint8_t[]> temporaryBuffer_ VTL_GUARDED_BY(requestMutex_);
    bool structValid_ VTL_GUARDED_BY(requestMutex_) = false;
    bool lastFrameValid_ VTL_GUARDED_BY(requestMutex_) = false;
    std::uint64_t frameNumber_ VTL_GUARDED_BY(requestMutex_) = 0;
    bool lastFrameComplete_ VTL_GUARDED_BY(requestMutex_) = false;
    std::string lastError_ VTL_GUARDED_BY(requestMutex_);
    std::uint64_t decodedFrameCount_ VTL_GUARDED_BY(requestMutex_) = 0;
    std::uint64_t skippedPieceCount_ VTL_GUARDED_BY(requestMutex_) = 0;
    std::string colorSpace_ VTL_GUARDED_BY(requestMutex_);

    // The picture: height × width × 4 bytes, rows top to bottom, no padding. Decoders write it
    // with the request lock held; readers copy it out with the memory lock held.
    mutable Mutex memoryMutex_;
    std::unique_ptr<std::uint8_t[]> buffer_ VTL_GUARDED_BY(memoryMutex_);
    std::size_t bufferSizeBytes_ = 0;
};

} // namespace vtl
