#pragma once
// Owns the five frame-stream files of one screen recording and writes frames into them strictly
// in frame-index order, while frames arrive from concurrent copy jobs. Tracks the pending encode
// cost and reports it as pressure to the grabber. A write that fails (a full disk) rolls the files
// back to the last complete frame, stops further writing and is reported. Created by the
// recording coordinator, one per screen recording.

#include "platform/foundation/VTLMallocPool.h"
#include "platform/foundation/Geometry.h"
#include "recorder/ByteSink.h"
#include "recorder/ParallelRunner.h"
#include "recorder/VTL3RecorderEncodeQueueQualityTracker.h"
#include "recorder/VTLBufferedWriter.h"
#include "recorder/VTLMessageQueue.h"
#include "recorder/format/RecordingFormat.h"
#include "platform/jpeg/JpegCompressor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace vtl {

class VTL3RecorderFrame;

struct EncodeQueueSettings {
    std::uint32_t frameRate = 30;
    // Pixel size of the physical recorded area.
    double areaWidthPixels = 0;
    double areaHeightPixels = 0;
    float screenScaling = 1.0f;
    // Threads for the parallel parts of one frame (0: the number of processors, at most 8).
    unsigned encodeThreads = 0;
    // Opens the package files; empty for plain files.
    ByteSinkFactory sinkFactory;
    // The pool frames borrow from; null for the shared pool.
    VTLMallocPool* pool = nullptr;
};

class VTL3RecordEndcodeQueue {
public:
    // Changed rectangles of one frame are merged down to at most this many before encoding.
    static constexpr std::size_t kMaximumChangedRects = 32;

    explicit VTL3RecordEndcodeQueue(EncodeQueueSettings settings);
    ~VTL3RecordEndcodeQueue();
    VTL3RecordEndcodeQueue(const VTL3RecordEndcodeQueue&) = delete;
    VTL3RecordEndcodeQueue& operator=(const VTL3RecordEndcodeQueue&) = delete;

    // ((cost - 10) / 30)^2 in single precision above a pending cost of 20, else 0: about 5 (where the
    // grabber stops making frames) at a cost of 77.
    static double pressureForCost(double totalQueueCost);

    // Creates the five files inside the existing package folder. False with `error` set on failure.
    bool prepareForRecording(const std::string& packagePath, std::string& error);

    // Called with the pressure after every frame (the grabber's setEncodeQueuePressure).
    void setPressureHandler(std::function<void(double)> handler);
    // Called once, on the worker thread, when writing fails; the recording should stop.
    void setErrorHandler(std::function<void(const std::string&)> handler);
    void setCompressionAlgorithm(int algorithm) { compressionAlgorithm_ = algorithm; }
    int compressionAlgorithm() const { return compressionAlgorithm_; }

    // From any thread, frames in any order; they are encoded in frame-index order. Frames must
    // have copied their surface (processSurface) before they are added.
    void addRecorderFrame(std::unique_ptr<VTL3RecorderFrame> frame);
    // Writes a thumbnail frame at once (the grabber's thumbnail thread).
    bool encodeThumbnailFrame(VTL3RecorderFrame& frame);

    // Drains the queue, rewrites the header with the real entry count and closes the files.
    // False with the first error when anything was not written; the files then hold every
    // complete frame before the failure.
    bool finalizeRecord(std::string* error = nullptr);

    std::uint64_t bytesWrittenSoFar() const { return bytesWritten_.load(); }
    // Time of the last directory entry in seconds, read back from "vtldirectory".
    double duration() const;
    // Width and height from the header.
    Size size() const;
    // Frames written so far (key, changed-block and stop frames).
    std::uint32_t overallFrameCounter() const { return overallFrameCounter_.load(); }
    double totalQueueCost() const { return totalQueueCost_.load(); }
    double pressure() const { return pressure_.load(); }
    bool failed() const { return failed_.load(); }
    std::string errorMessage() const;

    // Used by frames while they encode, on the worker thread.
    VTLBufferedWriter& metaDataWriter() { return *metaDataWriter_; }
    VTLBufferedWriter& dataWriter() { return *dataWriter_; }
    VTLBufferedWriter& directoryWriter() { return *directoryWriter_; }
    VTLBufferedWriter& thumbnailMetaWriter() { return *thumbnailMetaWriter_; }
    VTLBufferedWriter& thumbnailDataWriter() { return *thumbnailDataWriter_; }
    std::uint32_t keyFrameRate() const { return keyFrameRate_; }
    std::uint16_t frameCounterSinceLastKeyFrame() const { return frameCounterSinceLastKeyFrame_; }
    VTL3RecorderEncodeQueueQualityTracker& qualityTracker() { return qualityTracker_; }
    std::uint64_t thumbnailDownscaleFactor() const { return thumbnailDownscaleFactor_; }
    std::uint64_t thumbCounter() const { return thumbCounter_; }
    void setThumbCounter(std::uint64_t counter) { thumbCounter_ = counter; }
    VTLMallocPool& pool() { return *pool_; }
    ParallelRunner& runner() { return runner_; }
    // `count` reusable output buffers for one frame's streams; one compressor per runner worker.
    std::span<JpegOutputBuffer> streamBuffers(std::size_t count);
    JpegCompressor& compressor(unsigned worker) { return *compressors_[worker]; }

    // Scratch bytes for serialising one meta record (capacity kept between frames).
    std::vector<std::uint8_t>& recordScratch() { return recordBytes_; }
    // Appends a directory entry for the frame about to be written, at the current file ends.
    bool appendDirectoryEntry(std::int64_t frameIndex, double timeSeconds, bool keyFrame);

private:
    void processFrame(std::unique_ptr<VTL3RecorderFrame> frame);
    bool ensureHeaderWritten();
    bool commitFrameFiles();
    void failRecording(const std::string& message);
    void adjustFrameRate();

    EncodeQueueSettings settings_;
    VTLMallocPool* pool_;
    std::uint32_t keyFrameRate_;
    std::uint16_t frameCounterSinceLastKeyFrame_ = 0;
    std::atomic<std::uint32_t> overallFrameCounter_{0};
    std::int64_t lastProcessedIndex_ = -1;
    std::atomic<double> totalQueueCost_{0.0};
    std::atomic<double> pressure_{0.0};
    RecordingHeader header_;
    bool headerInitialized_ = false;
    std::string recordingBasePath_;
    VTL3RecorderEncodeQueueQualityTracker qualityTracker_;
    int compressionAlgorithm_ = 0;
    std::unique_ptr<VTLBufferedWriter> metaDataWriter_;
    std::unique_ptr<VTLBufferedWriter> dataWriter_;
    std::unique_ptr<VTLBufferedWriter> directoryWriter_;
    std::unique_ptr<VTLBufferedWriter> thumbnailMetaWriter_;
    std::unique_ptr<VTLBufferedWriter> thumbnailDataWriter_;
    std::uint64_t thumbnailDownscaleFactor_ = 1;
    std::uint64_t thumbCounter_ = 0;
    std::mutex thumbnailMutex_; // thumbnails come from another thread than the worker
    bool finalized_ = false;
    std::atomic<bool> finalizing_{false};

    ParallelRunner runner_;
    std::vector<std::unique_ptr<JpegCompressor>> compressors_;
    std::vector<JpegOutputBuffer> streamBuffers_;
    std::vector<std::uint8_t> recordBytes_;

    std::function<void(double)> pressureHandler_;
    std::function<void(const std::string&)> errorHandler_;
    std::atomic<bool> failed_{false};
    mutable std::mutex errorMutex_;
    std::string error_;
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<std::uint64_t> frameBytesWritten_{0};
    std::atomic<std::uint64_t> thumbnailBytesWritten_{0};

    VTLMessageQueue<std::unique_ptr<VTL3RecorderFrame>> grabQueue_;
};

} // namespace vtl
