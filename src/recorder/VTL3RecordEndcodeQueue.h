#pragma once
// Owns the five frame-stream files of one screen recording and writes frames into them strictly
// in frame-index order, while frames arrive from concurrent copy jobs. Tracks the pending encode
// cost and reports it as pressure to the grabber. A write that fails (a full disk) rolls the files
// back to the last complete frame, stops further writing and is reported. Created by the
// recording coordinator, one per screen recording.

#include "drawing/VTLMallocPool.h"
#include "platform/foundation/Geometry.h"
#include "recorder/ByteSink.h"
#include "recorder/ParallelRunner.h"
#include "recorder/VTL3RecorderEncodeQueueQualityTracker.h"
#include "recorder/VTLBufferedWriter.h"
#include "recorder/VTLMessageQueue.h"
#include "recorder/format/RecordingFormat.h"
#include "recorder/jpeg/JpegCompressor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace vtl::recording {

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
    void setCompressionAlgorithm(int algorithm) { m_compressionAlgorithm = algorithm; }
    int compressionAlgorithm() const { return m_compressionAlgorithm; }

    // From any thread, frames in any order; they are encoded in frame-index order. Frames must
    // have copied their surface (processSurface) before they are added.
    void addRecorderFrame(std::unique_ptr<VTL3RecorderFrame> frame);
    // Writes a thumbnail frame at once (the grabber's thumbnail thread).
    bool encodeThumbnailFrame(VTL3RecorderFrame& frame);

    // Drains the queue, rewrites the header with the real entry count and closes the files.
    // False with the first error when anything was not written; the files then hold every
    // complete frame before the failure.
    bool finalizeRecord(std::string* error = nullptr);

    std::uint64_t bytesWrittenSoFar() const { return m_bytesWritten.load(); }
    // Time of the last directory entry in seconds, read back from "vtldirectory".
    double duration() const;
    // Width and height from the header.
    Size size() const;
    // Frames written so far (key, changed-block and stop frames).
    std::uint32_t overallFrameCounter() const { return m_overallFrameCounter.load(); }
    double totalQueueCost() const { return m_totalQueueCost.load(); }
    double pressure() const { return m_pressure.load(); }
    bool failed() const { return m_failed.load(); }
    std::string errorMessage() const;

    // Used by frames while they encode, on the worker thread.
    VTLBufferedWriter& metaDataWriter() { return *m_metaDataWriter; }
    VTLBufferedWriter& dataWriter() { return *m_dataWriter; }
    VTLBufferedWriter& directoryWriter() { return *m_directoryWriter; }
    VTLBufferedWriter& thumbnailMetaWriter() { return *m_thumbnailMetaWriter; }
    VTLBufferedWriter& thumbnailDataWriter() { return *m_thumbnailDataWriter; }
    std::uint32_t keyFrameRate() const { return m_keyFrameRate; }
    std::uint16_t frameCounterSinceLastKeyFrame() const { return m_frameCounterSinceLastKeyFrame; }
    VTL3RecorderEncodeQueueQualityTracker& qualityTracker() { return m_qualityTracker; }
    std::uint64_t thumbnailDownscaleFactor() const { return m_thumbnailDownscaleFactor; }
    std::uint64_t thumbCounter() const { return m_thumbCounter; }
    void setThumbCounter(std::uint64_t counter) { m_thumbCounter = counter; }
    VTLMallocPool& pool() { return *m_pool; }
    ParallelRunner& runner() { return m_runner; }
    // `count` reusable output buffers for one frame's streams; one compressor per runner worker.
    std::span<JpegOutputBuffer> streamBuffers(std::size_t count);
    JpegCompressor& compressor(unsigned worker) { return *m_compressors[worker]; }

    // Scratch bytes for serialising one meta record (capacity kept between frames).
    std::vector<std::uint8_t>& recordScratch() { return m_recordBytes; }
    // Appends a directory entry for the frame about to be written, at the current file ends.
    bool appendDirectoryEntry(std::int64_t frameIndex, double timeSeconds, bool keyFrame);

private:
    void processFrame(std::unique_ptr<VTL3RecorderFrame> frame);
    bool ensureHeaderWritten();
    bool commitFrameFiles();
    void failRecording(const std::string& message);
    void adjustFrameRate();

    EncodeQueueSettings m_settings;
    VTLMallocPool* m_pool;
    std::uint32_t m_keyFrameRate;
    std::uint16_t m_frameCounterSinceLastKeyFrame = 0;
    std::atomic<std::uint32_t> m_overallFrameCounter{0};
    std::int64_t m_lastProcessedIndex = -1;
    std::atomic<double> m_totalQueueCost{0.0};
    std::atomic<double> m_pressure{0.0};
    RecordingHeader m_header;
    bool m_headerInitialized = false;
    std::string m_recordingBasePath;
    VTL3RecorderEncodeQueueQualityTracker m_qualityTracker;
    int m_compressionAlgorithm = 0;
    std::unique_ptr<VTLBufferedWriter> m_metaDataWriter;
    std::unique_ptr<VTLBufferedWriter> m_dataWriter;
    std::unique_ptr<VTLBufferedWriter> m_directoryWriter;
    std::unique_ptr<VTLBufferedWriter> m_thumbnailMetaWriter;
    std::unique_ptr<VTLBufferedWriter> m_thumbnailDataWriter;
    std::uint64_t m_thumbnailDownscaleFactor = 1;
    std::uint64_t m_thumbCounter = 0;
    std::mutex m_thumbnailMutex; // thumbnails come from another thread than the worker
    bool m_finalized = false;
    std::atomic<bool> m_finalizing{false};

    ParallelRunner m_runner;
    std::vector<std::unique_ptr<JpegCompressor>> m_compressors;
    std::vector<JpegOutputBuffer> m_streamBuffers;
    std::vector<std::uint8_t> m_recordBytes;

    std::function<void(double)> m_pressureHandler;
    std::function<void(const std::string&)> m_errorHandler;
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    std::atomic<std::uint64_t> m_bytesWritten{0};
    std::atomic<std::uint64_t> m_frameBytesWritten{0};
    std::atomic<std::uint64_t> m_thumbnailBytesWritten{0};

    VTLMessageQueue<std::unique_ptr<VTL3RecorderFrame>> m_grabQueue;
};

} // namespace vtl::recording
