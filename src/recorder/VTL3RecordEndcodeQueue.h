#pragma once
// Owns the five frame-stream files of one screen recording and writes frames into them strictly
// in frame-index order, while frames arrive from concurrent copy jobs. Frames encode themselves
// through the queue's encoder side (quality, a compressor per worker, the runner) and hand back
// their record and streams; only the queue writes the files and commits them. Tracks the pending
// encode cost and reports it as pressure to the grabber. A write that fails (a full disk) rolls the
// files back to the last complete frame, stops further writing and is reported. Created by the
// recording coordinator, one per screen recording.

#include "platform/foundation/DispatchWorkerGroup.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/foundation/VTLMallocPool.h"
#include "platform/jpeg/JpegCompressor.h"
#include "recorder/ByteSink.h"
#include "recorder/EncodedFrame.h"
#include "recorder/FrameEncoder.h"
#include "recorder/VTL3RecorderEncodeQueueQualityTracker.h"
#include "recorder/VTLBufferedWriter.h"
#include "recorder/VTLMessageQueue.h"
#include "recorder/format/RecordingFormat.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vtl {

class VTL3RecorderFrame;

// Kept with the recording's settings and not used for encoding: the record quality's choice of
// compression (a quality above 2 is stored as Finer).
enum class CompressionAlgorithm : int { Unset = 0, Finer = 1, Standard = 2 };

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

class VTL3RecordEndcodeQueue final : private FrameEncoder {
public:
    explicit VTL3RecordEndcodeQueue(EncodeQueueSettings settings);
    ~VTL3RecordEndcodeQueue();
    VTL3RecordEndcodeQueue(const VTL3RecordEndcodeQueue&) = delete;
    VTL3RecordEndcodeQueue& operator=(const VTL3RecordEndcodeQueue&) = delete;

    // ((cost - 10) / 30)^2 in single precision above a pending cost of 20, else 0: about 5 (where the
    // grabber stops making frames) at a cost of 77.
    static double pressureForCost(double totalQueueCost);

    // Creates the five files inside the existing package folder.
    Status prepareForRecording(const std::string& packagePath);

    // Called with the pressure after every frame (the grabber's setEncodeQueuePressure).
    void setPressureHandler(std::function<void(double)> handler);
    // Called once, on the worker thread, when writing fails; the recording should stop.
    void setErrorHandler(std::function<void(const std::string&)> handler);
    void setCompressionAlgorithm(CompressionAlgorithm algorithm) { compressionAlgorithm_ = algorithm; }
    CompressionAlgorithm compressionAlgorithm() const { return compressionAlgorithm_; }

    // From any thread, frames in any order; they are encoded in frame-index order. Frames must
    // have copied their surface (processSurface) before they are added.
    void addRecorderFrame(std::unique_ptr<VTL3RecorderFrame> frame);
    // Writes a thumbnail frame at once (the grabber's thumbnail thread).
    bool encodeThumbnailFrame(VTL3RecorderFrame& frame);

    // Drains the queue, rewrites the header with the real entry count and closes the files.
    // Fails with the first error when anything was not written; the files then hold every
    // complete frame before the failure.
    Status finalizeRecord();

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

    // The pool frames copy their pictures into.
    VTLMallocPool& pool() override { return *pool_; }

private:
    // The encoder side, for the frames.
    int jpegQuality(const VTL3RecorderFrame& frame) override;
    DispatchWorkerGroup& runner() override { return runner_; }
    JpegCompressor& compressor(unsigned worker) override { return *compressors_[worker]; }
    std::span<JpegOutputBuffer> streamBuffers(std::size_t count) override;
    FrameMetaRecord& scratchRecord() override { return scratchRecord_; }
    std::uint64_t thumbnailDownscaleFactor() const override { return thumbnailDownscaleFactor_; }

    void processFrame(std::unique_ptr<VTL3RecorderFrame> frame);
    Status writeFrame(const VTL3RecorderFrame& frame, EncodedFrame& encoded, std::uint64_t entryIndex);
    // After a failure the files end with the last complete frame; the stop record readers expect
    // there needs only a few bytes, so it is still tried.
    void writeStopFrameAfterFailure(VTL3RecorderFrame& frame);
    void rollBackFrameFiles(std::string& error);
    Status writeThumbnail(const EncodedFrame& encoded) VTL_REQUIRES(thumbnailMutex_);
    bool ensureHeaderWritten();
    bool commitFrameFiles();
    void failRecording(const std::string& message) VTL_EXCLUDES(errorMutex_);
    void adjustFrameRate();

    EncodeQueueSettings settings_;
    VTLMallocPool* pool_;
    CompressionAlgorithm compressionAlgorithm_ = CompressionAlgorithm::Unset;
    std::string recordingBasePath_;
    std::uint64_t thumbnailDownscaleFactor_ = 1;

    // Worker thread only (and finalizeRecord once the worker has ended).
    std::uint32_t keyFrameRate_;
    std::uint16_t frameCounterSinceLastKeyFrame_ = 0;
    // What frameCounterSinceLastKeyFrame_ was after the last frame that reached the files.
    std::uint16_t committedFramesSinceKeyFrame_ = 0;
    std::int64_t lastProcessedIndex_ = -1;
    RecordingHeader header_;
    bool headerInitialized_ = false;
    VTL3RecorderEncodeQueueQualityTracker qualityTracker_;
    std::vector<std::unique_ptr<JpegCompressor>> compressors_;
    std::vector<JpegOutputBuffer> streamBuffers_;
    FrameMetaRecord scratchRecord_;
    std::vector<std::uint8_t> recordBytes_;
    // The frame files: written by the worker, closed by finalizeRecord.
    std::unique_ptr<VTLBufferedWriter> metaDataWriter_;
    std::unique_ptr<VTLBufferedWriter> dataWriter_;
    std::unique_ptr<VTLBufferedWriter> directoryWriter_;

    // Thumbnails come from another thread than the worker.
    Mutex thumbnailMutex_;
    std::unique_ptr<VTLBufferedWriter> thumbnailMetaWriter_ VTL_PT_GUARDED_BY(thumbnailMutex_);
    std::unique_ptr<VTLBufferedWriter> thumbnailDataWriter_ VTL_PT_GUARDED_BY(thumbnailMutex_);
    std::uint64_t thumbCounter_ VTL_GUARDED_BY(thumbnailMutex_) = 0;
    bool finalized_ VTL_GUARDED_BY(thumbnailMutex_) = false;

    std::atomic<std::uint32_t> overallFrameCounter_{0};
    std::atomic<double> totalQueueCost_{0.0};
    std::atomic<double> pressure_{0.0};
    std::atomic<bool> finalizing_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<std::uint64_t> frameBytesWritten_{0};
    std::atomic<std::uint64_t> thumbnailBytesWritten_{0};

    std::function<void(double)> pressureHandler_;
    std::function<void(const std::string&)> errorHandler_;
    mutable Mutex errorMutex_;
    std::string error_ VTL_GUARDED_BY(errorMutex_);

    // "com.morlunesoftware.vistrel.encodeQueue": the workers for the parallel parts of one frame.
    DispatchWorkerGroup runner_;
    VTLMessageQueue<std::unique_ptr<VTL3RecorderFrame>> grabQueue_;
};

} // namespace vtl
