#include "recorder/VTL3RecordEndcodeQueue.h"

#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Log.h"
#include "recorder/VTL3RecorderFrame.h"
#include "recorder/VTLRecorderStopFrame.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl {

namespace {

std::uint64_t truncatedPixels(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 1e15) return 1000000000000000ull;
    return static_cast<std::uint64_t>(value);
}

unsigned encodeWorkers(unsigned requested) {
    return requested > 0 ? requested : DispatchWorkerGroup::processorCount(8);
}

std::uint32_t clampedPixelCount(std::uint64_t pixels) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(pixels, std::numeric_limits<std::uint32_t>::max()));
}

Status writerFailure(const VTLBufferedWriter& writer) {
    return fail(writer.error());
}

} // namespace

VTL3RecordEndcodeQueue::VTL3RecordEndcodeQueue(EncodeQueueSettings settings)
    : settings_(std::move(settings))
    , pool_(settings_.pool ? settings_.pool : &VTLMallocPool::sharedInstance())
    , thumbnailDownscaleFactor_(thumbnailFactor(truncatedPixels(settings_.areaWidthPixels),
                                                truncatedPixels(settings_.areaHeightPixels)))
    , keyFrameRate_(settings_.frameRate)
    , qualityTracker_(settings_.frameRate, settings_.areaWidthPixels, settings_.areaHeightPixels,
                      settings_.frameRate)
    , runner_(encodeWorkers(settings_.encodeThreads) - 1, "com.morlunesoftware.vistrel.encodeQueue")
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
    MutexLock lock(thumbnailMutex_);
    for (VTLBufferedWriter* writer : {metaDataWriter_.get(), dataWriter_.get(), directoryWriter_.get(),
                                      thumbnailMetaWriter_.get(), thumbnailDataWriter_.get()})
        if (writer) writer->closeFile();
}

Status VTL3RecordEndcodeQueue::prepareForRecording(const std::string& packagePath) {
    const std::string base = packagePath + "/";
    std::unique_ptr<VTLBufferedWriter> writers[5];
    const std::string_view names[5] = {kMetaFileName, kDataFileName, kDirectoryFileName, kThumbDataFileName,
                                       kThumbMetaFileName};
    for (int i = 0; i < 5; ++i) {
        auto writer = VTLBufferedWriter::open(base + std::string(names[i]), settings_.sinkFactory);
        if (!writer) return writer.asFailure();
        writers[i] = std::move(writer).value();
    }
    recordingBasePath_ = packagePath;
    metaDataWriter_ = std::move(writers[0]);
    dataWriter_ = std::move(writers[1]);
    directoryWriter_ = std::move(writers[2]);
    {
        MutexLock lock(thumbnailMutex_);
        thumbnailDataWriter_ = std::move(writers[3]);
        thumbnailMetaWriter_ = std::move(writers[4]);
    }
    headerInitialized_ = false;
    return {};
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

int VTL3RecordEndcodeQueue::jpegQuality(const VTL3RecorderFrame& frame) {
    const std::uint64_t to = secondsToTicks(frame.time());
    const std::uint64_t from = secondsToTicks(frame.time() - 1.0);
    const float factor = qualityTracker_.qualityFactorForTime(from, to);
    // Key frames count their whole area once; changed-block frames count their changed pixels
    // after encoding. (Counting the whole area for every frame would pin the quality to the base.)
    if (frame.isKeyFrame())
        qualityTracker_.addNumberOfPixels(clampedPixelCount(frame.surfaceWidth() * frame.surfaceHeight()),
                                          to);
    const float quality =
        ((1.0f - factor) * 0.2f + VTL3RecorderFrame::baseQualityForRecordQuality(frame.recordQuality())) *
        100.0f;
    return static_cast<int>(quality);
}

std::span<JpegOutputBuffer> VTL3RecordEndcodeQueue::streamBuffers(std::size_t count) {
    if (streamBuffers_.size() < count) streamBuffers_.resize(count);
    return std::span<JpegOutputBuffer>(streamBuffers_.data(), count);
}

Status VTL3RecordEndcodeQueue::writeFrame(const VTL3RecorderFrame& frame, EncodedFrame& encoded,
                                          std::uint64_t entryIndex) {
    if (!encoded.record)
        return fail("Frame " + std::to_string(frame.frameIndex()) + " gave no record to write.");
    FrameMetaRecord& record = *encoded.record;
    record.frameIndex = entryIndex;
    if (record.kind == FrameKind::Block) record.framesSinceKeyFrame = frameCounterSinceLastKeyFrame_;
    // The entry points at where the frame's bytes begin; it makes the frame visible to a reader.
    const DirectoryEntry entry{entryIndex, secondsToTicks(frame.time()), metaDataWriter_->currentPosition(),
                               dataWriter_->currentPosition(), record.isKeyFrame()};
    const auto entryBytes = serializeDirectoryEntry(entry);
    if (!directoryWriter_->writeData(entryBytes.data(), entryBytes.size()))
        return writerFailure(*directoryWriter_);
    for (const JpegOutputBuffer& stream : encoded.streams)
        if (!dataWriter_->writeData(stream.data(), stream.sizeBytes())) return writerFailure(*dataWriter_);
    recordBytes_.clear();
    appendFrameMetaRecord(record, recordBytes_);
    if (!metaDataWriter_->writeData(recordBytes_.data(), recordBytes_.size()))
        return writerFailure(*metaDataWriter_);
    return {};
}

Status VTL3RecordEndcodeQueue::writeThumbnail(const EncodedFrame& encoded) {
    if (!encoded.thumbnailTimeSeconds) return fail("A thumbnail frame gave no thumbnail to write.");
    const auto record = serializeThumbnailRecord({*encoded.thumbnailTimeSeconds, thumbCounter_});
    if (!thumbnailMetaWriter_->writeData(record.data(), record.size()))
        return writerFailure(*thumbnailMetaWriter_);
    if (!thumbnailDataWriter_->writeData(encoded.thumbnailPixels.data(), encoded.thumbnailPixels.size()))
        return writerFailure(*thumbnailDataWriter_);
    return {};
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
    std::string error;
    {
        MutexLock lock(errorMutex_);
        if (!error_.empty()) return;
        error_ = message.empty() ? std::string("Writing the recording failed.") : message;
        error = error_;
    }
    failed_ = true;
    logMessage("Recording stopped: " + error);
    if (errorHandler_) errorHandler_(error);
}

std::string VTL3RecordEndcodeQueue::errorMessage() const {
    MutexLock lock(errorMutex_);
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
            Result<EncodedFrame> encoded = frame->encode(*this);
            Status status =
                encoded ? writeFrame(*frame, *encoded, static_cast<std::uint64_t>(frame->frameIndex()))
                        : encoded.asFailure();
            if (encoded && encoded->changedPixels)
                qualityTracker_.addNumberOfPixels(clampedPixelCount(*encoded->changedPixels),
                                                  secondsToTicks(frame->time()));
            if (!status) error = status.error();
            written = status && commitFrameFiles();
        }
        if (written) {
            ++overallFrameCounter_;
            if (movieEncodable) committedFramesSinceKeyFrame_ = frameCounterSinceLastKeyFrame_ + 1;
        } else {
            rollBackFrameFiles(error);
            failRecording(error);
        }
        frameBytesWritten_ = metaDataWriter_->committedPosition() + dataWriter_->committedPosition() +
                             directoryWriter_->committedPosition();
        bytesWritten_ = frameBytesWritten_ + thumbnailBytesWritten_;
    } else if (metaDataWriter_ && dynamic_cast<const VTLRecorderStopFrame*>(frame.get())) {
        writeStopFrameAfterFailure(*frame);
    } else if (!metaDataWriter_) {
        logMessage("A frame reached an encode queue that has no files; it is dropped.");
    }
    if (movieEncodable) {
        totalQueueCost_.fetch_sub(frame->costToEncodeFrame());
        ++frameCounterSinceLastKeyFrame_;
        adjustFrameRate();
    }
}

void VTL3RecordEndcodeQueue::rollBackFrameFiles(std::string& error) {
    for (VTLBufferedWriter* writer : {dataWriter_.get(), metaDataWriter_.get(), directoryWriter_.get()}) {
        if (error.empty() && writer->failed()) error = writer->error();
        writer->rollback();
    }
}

void VTL3RecordEndcodeQueue::writeStopFrameAfterFailure(VTL3RecorderFrame& frame) {
    if (!headerInitialized_) return;
    for (VTLBufferedWriter* writer : {dataWriter_.get(), metaDataWriter_.get(), directoryWriter_.get()})
        if (!writer->resumeAfterRollback()) return;
    // It follows the last frame that reached the files, whatever was dropped after it.
    frameCounterSinceLastKeyFrame_ = committedFramesSinceKeyFrame_;
    Result<EncodedFrame> encoded = frame.encode(*this);
    Status status = encoded ? writeFrame(frame, *encoded, overallFrameCounter_.load()) : encoded.asFailure();
    if (status && commitFrameFiles()) {
        ++overallFrameCounter_;
        logMessage("The recording ends with its stop record after the failure.");
    } else {
        std::string error;
        rollBackFrameFiles(error);
        logMessage("No stop record fits after the failure: " +
                   (error.empty() ? (status ? std::string("it was not written") : status.error()) : error));
    }
    frameBytesWritten_ = metaDataWriter_->committedPosition() + dataWriter_->committedPosition() +
                         directoryWriter_->committedPosition();
    bytesWritten_ = frameBytesWritten_ + thumbnailBytesWritten_;
}

bool VTL3RecordEndcodeQueue::encodeThumbnailFrame(VTL3RecorderFrame& frame) {
    MutexLock lock(thumbnailMutex_);
    if (failed_ || finalized_ || !thumbnailMetaWriter_) return false;
    Result<EncodedFrame> encoded = frame.encode(*this);
    Status written = encoded ? writeThumbnail(*encoded) : encoded.asFailure();
    // Both files take the thumbnail before either commits: a record never outlives its pixels.
    if (written && thumbnailDataWriter_->flush() && thumbnailMetaWriter_->flush() &&
        thumbnailDataWriter_->commit() && thumbnailMetaWriter_->commit()) {
        ++thumbCounter_;
        thumbnailBytesWritten_ =
            thumbnailMetaWriter_->committedPosition() + thumbnailDataWriter_->committedPosition();
        bytesWritten_ = frameBytesWritten_ + thumbnailBytesWritten_;
        return true;
    }
    std::string error = written ? std::string() : written.error();
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

Status VTL3RecordEndcodeQueue::finalizeRecord() {
    finalizing_ = true;
    grabQueue_.stopProcessing(false);
    MutexLock lock(thumbnailMutex_);
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
    if (failed_) return fail(errorMessage());
    return {};
}

double VTL3RecordEndcodeQueue::duration() const {
    auto file =
        FileHandle::open(recordingBasePath_ + "/" + std::string(kDirectoryFileName), FileOpenMode::Read);
    if (!file) return 0.0;
    const std::uint64_t entries = usableFrameEntryCount(header_, file->size().valueOr(0));
    if (entries == 0) return 0.0;
    std::array<std::uint8_t, kDirectoryEntrySizeBytes> bytes{};
    if (!file->readAllAt((entries - 1) * kDirectoryEntrySizeBytes, bytes.data(), bytes.size())) return 0.0;
    const auto entry = parseDirectoryEntry(bytes);
    return entry ? ticksToSeconds(entry->time, header_.timeScale) : 0.0;
}

Size VTL3RecordEndcodeQueue::size() const {
    return Size{static_cast<double>(header_.displaySizeHorizontal),
                static_cast<double>(header_.displaySizeVertical)};
}

} // namespace vtl
