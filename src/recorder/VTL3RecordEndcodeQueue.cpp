#include "recorder/VTL3RecordEndcodeQueue.h"

#include "platform/foundation/Log.h"
#include "recorder/VTL3RecorderFrame.h"

#include <cmath>
#include <fstream>

namespace vtl {

namespace {

std::uint64_t truncatedPixels(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 1e15) return 1000000000000000ull;
    return static_cast<std::uint64_t>(value);
}

} // namespace

VTL3RecordEndcodeQueue::VTL3RecordEndcodeQueue(EncodeQueueSettings settings)
    : settings_(std::move(settings))
    , pool_(settings_.pool ? settings_.pool : &VTLMallocPool::sharedInstance())
    , keyFrameRate_(settings_.frameRate)
    , qualityTracker_(settings_.frameRate, settings_.areaWidthPixels, settings_.areaHeightPixels,
                       settings_.frameRate)
    , thumbnailDownscaleFactor_(thumbnailFactor(truncatedPixels(settings_.areaWidthPixels),
                                                 truncatedPixels(settings_.areaHeightPixels)))
    , runner_(settings_.encodeThreads)
    , grabQueue_([](const std::unique_ptr<VTL3RecorderFrame>& frame) { return frame->frameIndex(); }) {
    for (unsigned i = 0; i < runner_.workerCount(); ++i)
        compressors_.push_back(std::make_unique<JpegCompressor>());
    header_ = makeRecordingHeader(truncatedPixels(settings_.areaWidthPixels),
                                   truncatedPixels(settings_.areaHeightPixels), keyFrameRate_,
                                   settings_.screenScaling);
    grabQueue_.startProcessing(
        [this](std::unique_ptr<VTL3RecorderFrame> frame) { processFrame(std::move(frame)); });
}

VTL3RecordEndcodeQueue::~VTL3RecordEndcodeQueue() {
    grabQueue_.stopProcessing(true);
    for (VTLBufferedWriter* writer : {metaDataWriter_.get(), dataWriter_.get(), directoryWriter_.get(),
                                      thumbnailMetaWriter_.get(), thumbnailDataWriter_.get()})
        if (writer) writer->closeFile();
}

bool VTL3RecordEndcodeQueue::prepareForRecording(const std::string& packagePath, std::string& error) {
    recordingBasePath_ = packagePath;
    const std::string base = packagePath + "/";
    std::unique_ptr<VTLBufferedWriter> writers[5];
    const std::string_view names[5] = {kMetaFileName, kDataFileName, kDirectoryFileName, kThumbDataFileName,
                                       kThumbMetaFileName};
    for (int i = 0; i < 5; ++i) {
        writers[i] = VTLBufferedWriter::open(base + std::string(names[i]), settings_.sinkFactory, error);
        if (!writers[i]) return false;
    }
    metaDataWriter_ = std::move(writers[0]);
    dataWriter_ = std::move(writers[1]);
    directoryWriter_ = std::move(writers[2]);
    thumbnailDataWriter_ = std::move(writers[3]);
    thumbnailMetaWriter_ = std::move(writers[4]);
    headerInitialized_ = false;
    return true;
}

void VTL3RecordEndcodeQueue::setPressureHandler(std::function<void(double)> handler) {
    pressureHandler_ = std::move(handler);
}

void VTL3RecordEndcodeQueue::setErrorHandler(std::function<void(const std::string&)> handler) {
    errorHandler_ = std::move(handler);
}

void VTL3RecordEndcodeQueue::addRecorderFrame(std::unique_ptr<VTL3RecorderFrame> frame) {
    if (!frame) return;
    if (finalizing_) {
        logMessage("A frame arrived after the recording was finalized; it is dropped.");
        return;
    }
    totalQueueCost_.fetch_add(frame->costToEncodeFrame());
    grabQueue_.addObject(std::move(frame));
}

std::span<JpegOutputBuffer> VTL3RecordEndcodeQueue::streamBuffers(std::size_t count) {
    if (streamBuffers_.size() < count) streamBuffers_.resize(count);
    return std::span<JpegOutputBuffer>(streamBuffers_.data(), count);
}

bool VTL3RecordEndcodeQueue::appendDirectoryEntry(std::int64_t frameIndex, double timeSeconds,
                                                  bool keyFrame) {
    const DirectoryEntry entry{static_cast<std::uint64_t>(frameIndex), secondsToTicks(timeSeconds),
                               metaDataWriter_->currentPosition(), dataWriter_->currentPosition(),
                               keyFrame};
    const auto bytes = serializeDirectoryEntry(entry);
    return directoryWriter_->writeData(bytes.data(), bytes.size());
}

bool VTL3RecordEndcodeQueue::ensureHeaderWritten() {
    if (headerInitialized_) return true;
    const auto bytes = serializeHeader(header_);
    if (!metaDataWriter_->writeData(bytes.data(), bytes.size()) || !metaDataWriter_->commit()) {
        metaDataWriter_->rollback();
        return false;
    }
    headerInitialized_ = true;
    return true;
}

bool VTL3RecordEndcodeQueue::commitFrameFiles() {
    // Every file takes the frame's bytes before any of them commits, so a failure in one file
    // rolls all of them back to the same frame. Data and meta go first: the directory entry
    // makes the frame visible to a reader.
    if (!dataWriter_->flush() || !metaDataWriter_->flush() || !directoryWriter_->flush()) return false;
    return dataWriter_->commit() && metaDataWriter_->commit() && directoryWriter_->commit();
}

void VTL3RecordEndcodeQueue::failRecording(const std::string& message) {
    {
        std::lock_guard lock(errorMutex_);
        if (!error_.empty()) return;
        error_ = message.empty() ? std::string("Writing the recording failed.") : message;
    }
    failed_ = true;
    logMessage("Recording stopped: " + error_);
    if (errorHandler_) errorHandler_(error_);
}

std::string VTL3RecordEndcodeQueue::errorMessage() const {
    std::lock_guard lock(errorMutex_);
    return error_;
}

void VTL3RecordEndcodeQueue::processFrame(std::unique_ptr<VTL3RecorderFrame> frame) {
    const bool movieEncodable = frame->isMovieEncodableNonMetaFrame();
    if (!failed_ && metaDataWriter_) {
        if (movieEncodable && frame->frameIndex() != lastProcessedIndex_ + 1)
            logMessage("WRONG FRAME INDEX!");
        lastProcessedIndex_ = frame->frameIndex();
        std::string error;
        bool written = ensureHeaderWritten();
        // A picture of another size than the header's would be stored as garbage.
        if (written && movieEncodable &&
            (frame->surfaceWidth() != header_.displaySizeHorizontal ||
             frame->surfaceHeight() != header_.displaySizeVertical)) {
            error = "The size of the recorded picture changed during the recording.";
            written = false;
        }
        if (written) {
            if (frame->isKeyFrame()) frameCounterSinceLastKeyFrame_ = 0;
            written = frame->encode(*this, error) && commitFrameFiles();
        }
        if (written) {
            ++overallFrameCounter_;
        } else {
            for (VTLBufferedWriter* writer :
                 {dataWriter_.get(), metaDataWriter_.get(), directoryWriter_.get()}) {
                if (error.empty() && writer->failed()) error = writer->error();
                writer->rollback();
            }
            failRecording(error);
        }
        frameBytesWritten_ = metaDataWriter_->committedPosition() + dataWriter_->committedPosition() +
                              directoryWriter_->committedPosition();
        bytesWritten_ = frameBytesWritten_ + thumbnailBytesWritten_;
    } else if (!metaDataWriter_) {
        logMessage("A frame reached an encode queue that has no files; it is dropped.");
    }
    if (movieEncodable) {
        totalQueueCost_.fetch_sub(frame->costToEncodeFrame());
        ++frameCounterSinceLastKeyFrame_;
        adjustFrameRate();
    }
}

bool VTL3RecordEndcodeQueue::encodeThumbnailFrame(VTL3RecorderFrame& frame) {
    std::lock_guard lock(thumbnailMutex_);
    if (failed_ || finalized_ || !thumbnailMetaWriter_) return false;
    std::string error;
    // Both files take the thumbnail before either commits: a record never outlives its pixels.
    if (frame.encode(*this, error) && thumbnailDataWriter_->flush() && thumbnailMetaWriter_->flush() &&
        thumbnailDataWriter_->commit() && thumbnailMetaWriter_->commit()) {
        thumbnailBytesWritten_ =
            thumbnailMetaWriter_->committedPosition() + thumbnailDataWriter_->committedPosition();
        bytesWritten_ = frameBytesWritten_ + thumbnailBytesWritten_;
        return true;
    }
    for (VTLBufferedWriter* writer : {thumbnailMetaWriter_.get(), thumbnailDataWriter_.get()}) {
        if (error.empty() && writer->failed()) error = writer->error();
        writer->rollback();
    }
    failRecording(error);
    return false;
}

double VTL3RecordEndcodeQueue::pressureForCost(double totalQueueCost) {
    const float cost = static_cast<float>(totalQueueCost);
    if (!(cost > 20.0f)) return 0.0;
    const float x = (cost - 10.0f) / 30.0f;
    return x * x;
}

void VTL3RecordEndcodeQueue::adjustFrameRate() {
    const double pressure = pressureForCost(totalQueueCost_.load());
    pressure_ = pressure;
    if (pressureHandler_) pressureHandler_(pressure);
}

bool VTL3RecordEndcodeQueue::finalizeRecord(std::string* error) {
    finalizing_ = true;
    grabQueue_.stopProcessing(false);
    std::lock_guard lock(thumbnailMutex_);
    if (!finalized_ && metaDataWriter_) {
        finalized_ = true;
        // A recording without any frame still gets its header, with no entries.
        if (!failed_ && !headerInitialized_ && !ensureHeaderWritten())
            failRecording(metaDataWriter_->error());
        if (headerInitialized_) {
            header_.numberFrameEntries = overallFrameCounter_;
            header_.numberThumbs = 0;
            const auto bytes = serializeHeader(header_);
            if (!metaDataWriter_->rewriteCommitted(0, bytes.data(), bytes.size()))
                failRecording(metaDataWriter_->error());
        }
        for (VTLBufferedWriter* writer : {metaDataWriter_.get(), dataWriter_.get(), directoryWriter_.get(),
                                          thumbnailMetaWriter_.get(), thumbnailDataWriter_.get()}) {
            const bool hadFailed = writer->failed();
            if (!writer->closeFile() && !hadFailed) failRecording(writer->error());
        }
    } else if (!metaDataWriter_) {
        failRecording("The recording was never prepared.");
    }
    if (error) *error = errorMessage();
    return !failed_;
}

double VTL3RecordEndcodeQueue::duration() const {
    std::ifstream file(recordingBasePath_ + "/" + std::string(kDirectoryFileName),
                       std::ios::binary | std::ios::ate);
    if (!file) return 0.0;
    const auto fileSize = static_cast<std::uint64_t>(file.tellg());
    const std::uint64_t entries = usableFrameEntryCount(header_, fileSize);
    if (entries == 0) return 0.0;
    std::array<std::uint8_t, kDirectoryEntrySizeBytes> bytes{};
    file.seekg(static_cast<std::streamoff>((entries - 1) * kDirectoryEntrySizeBytes));
    if (!file.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) return 0.0;
    const auto entry = parseDirectoryEntry(bytes);
    return entry ? ticksToSeconds(entry->time, header_.timeScale) : 0.0;
}

Size VTL3RecordEndcodeQueue::size() const {
    return Size{static_cast<double>(header_.displaySizeHorizontal),
                static_cast<double>(header_.displaySizeVertical)};
}

} // namespace vtl
