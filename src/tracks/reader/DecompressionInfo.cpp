#include "tracks/reader/DecompressionInfo.h"

#include "platform/foundation/Log.h"
#include "recorder/format/LittleEndian.h"
#include "tracks/reader/CoveredWorkPlan.h"
#include "tracks/reader/VistrelDecoderFrameKeyFrame.h"
#include "tracks/reader/VistrelDecoderFrameMovedChangedFrame.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vtl {

namespace {

const std::string kDataName(kDataFileName);
const std::string kMetaName(kMetaFileName);

} // namespace

Result<std::unique_ptr<DecompressionInfo>> DecompressionInfo::open(Source source) {
    if (!source.storage || !source.directory) return fail("The recording is not open.");
    std::unique_ptr<DecompressionInfo> info(new DecompressionInfo(std::move(source)));
    auto dataFile = info->source_.storage->openFile(kDataName);
    auto metaFile = info->source_.storage->openFile(kMetaName);
    if (!dataFile) return fail("The package has no readable \"vtldata\".");
    if (!metaFile) return fail("The package has no readable \"vtlmeta\".");
    const std::size_t size = info->bufferSizeBytes_;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[size]());
    std::unique_ptr<std::uint8_t[]> temporary(new (std::nothrow) std::uint8_t[size]);
    if (!buffer || !temporary) return fail("There is no memory for the frame buffers.");
    {
        MutexLock memoryLock(info->memoryMutex_);
        info->buffer_ = std::move(buffer);
    }
    MutexLock lock(info->requestMutex_);
    info->dataFile_ = std::move(dataFile);
    info->metaFile_ = std::move(metaFile);
    info->temporaryBuffer_ = std::move(temporary);
    info->structValid_ = true;
    return info;
}

DecompressionInfo::DecompressionInfo(Source source)
    : source_(std::move(source))
    , path_(source_.storage ? source_.storage->path() : std::string())
    , bufferSizeBytes_(source_.height * source_.width * 4) {}

void DecompressionInfo::reportProblem(const std::string& problem) {
    lastFrameComplete_ = false;
    if (lastError_.empty()) lastError_ = problem;
    // Keyed without the frame number, so a fault met in every frame is logged once.
    std::string key = problem;
    for (char& c : key)
        if (c >= '0' && c <= '9') c = '#';
    logOnce("decode:" + path_ + ":" + key, "Recording " + path_ + ": " + problem);
}

bool DecompressionInfo::decompressNextFrame(std::uint64_t index) {
    MutexLock lock(requestMutex_);
    return decompressNextFrameLocked(index);
}

bool DecompressionInfo::decompressNextFrameLocked(std::uint64_t k, std::vector<bool> visiblePieces) {
    if (!structValid_) return false;
    const std::vector<DirectoryEntry>& entries = *source_.directory;
    if (k >= entries.size()) {
        reportProblem("frame " + std::to_string(k) + " is past the last frame");
        return false;
    }
    const DirectoryEntry& entry = entries[static_cast<std::size_t>(k)];
    std::uint8_t head[8];
    if (metaFile_->readAt(entry.metaOffsetBytes, head, sizeof head) != sizeof head) {
        reportProblem("Movie file error: the record of frame " + std::to_string(k) + " cannot be read");
        frameNumber_ = k;
        return false;
    }
    // The kind dispatch: each kind of record has its decoder.
    const std::uint64_t kind = loadU64LE(head);
    std::unique_ptr<VistrelDecoderFrame> frame;
    if (kind == static_cast<std::uint64_t>(FrameKind::Key))
        frame = std::make_unique<VistrelDecoderFrameKeyFrame>(entry, k, source_.width, source_.height);
    else if (kind == static_cast<std::uint64_t>(FrameKind::Block))
        frame =
            std::make_unique<VistrelDecoderFrameMovedChangedFrame>(entry, k, source_.width, source_.height);
    bool complete = false;
    if (!frame) {
        reportProblem("unknown frame kind " + std::to_string(kind) + " in frame " + std::to_string(k));
    } else {
        frame->setTemporaryBuffer(temporaryBuffer_.get());
        frame->setVisiblePieces(std::move(visiblePieces));
        frame->readDataFromDataFile(*dataFile_, *metaFile_);
        {
            MutexLock memoryLock(memoryMutex_);
            complete = frame->decodeAndApplyFrameToBuffer(buffer_.get());
        }
        if (!complete)
            reportProblem(frame->error().empty() ? "frame " + std::to_string(k) + " did not decode"
                                                 : frame->error());
    }
    frameNumber_ = k;
    ++decodedFrameCount_;
    return complete;
}

bool DecompressionInfo::rewindToKeyframeBeforeFrame(std::uint64_t index) {
    MutexLock lock(requestMutex_);
    return rewindLocked(index);
}

bool DecompressionInfo::rewindLocked(std::uint64_t index, std::vector<bool> visiblePieces) {
    if (!structValid_) return false;
    const std::vector<DirectoryEntry>& entries = *source_.directory;
    const std::uint64_t key = keyFrameAtOrBefore(entries, index);
    lastFrameComplete_ = true;
    lastError_.clear();
    // Without a real key frame to start from, build on an empty picture rather than a stale one.
    std::uint8_t head[8] = {};
    if (key >= entries.size() ||
        metaFile_->readAt(entries[static_cast<std::size_t>(key)].metaOffsetBytes, head, sizeof head) !=
            sizeof head ||
        loadU64LE(head) != static_cast<std::uint64_t>(FrameKind::Key)) {
        MutexLock memoryLock(memoryMutex_);
        std::memset(buffer_.get(), 0, bufferSizeBytes_);
    }
    const bool complete = decompressNextFrameLocked(key, std::move(visiblePieces));
    lastFrameComplete_ = complete;
    return complete;
}

bool DecompressionInfo::decompressFrame(std::uint64_t index) {
    MutexLock lock(requestMutex_);
    return decompressFrameLocked(index);
}

bool DecompressionInfo::decompressFrameLocked(std::uint64_t index) {
    const std::vector<DirectoryEntry>& entries = *source_.directory;
    if (!structValid_ || entries.empty()) {
        lastError_ = "the frame data is not open";
        return false;
    }
    // Past the end keeps the last picture.
    const std::uint64_t target = std::min<std::uint64_t>(index, entries.size() - 1);
    bool rewind = true;
    if (lastFrameValid_) {
        const std::uint64_t last = frameNumber_;
        if (target == last) return lastFrameComplete_;
        // Differences are taken only in the direction they are known to be positive.
        rewind = target < last || target - last > source_.keyFrameRate;
    }
    lastFrameValid_ = false;
    const std::uint64_t first = rewind ? keyFrameAtOrBefore(entries, target) : frameNumber_ + 1;
    // More than one record to apply: find the pieces that frame `target` still shows.
    CoveredWorkPlan plan;
    if (target > first && first < entries.size()) {
        // Real records are a few kilobytes; a damaged package whose entries all point at one huge
        // record is decoded without a plan rather than held in memory many times over.
        constexpr std::uint64_t maximumPlanRecordBytes = std::uint64_t(8) << 20;
        std::vector<FrameMetaRecord> records;
        bool readAll = true;
        std::uint64_t recordBytes = 0;
        for (std::uint64_t k = first; k <= target && readAll; ++k) {
            records.emplace_back();
            readAll = readMetaRecordLocked(k, records.back());
            recordBytes += frameMetaRecordSize(records.back());
            readAll = readAll && recordBytes <= maximumPlanRecordBytes;
        }
        if (readAll) {
            plan = CoveredWorkPlan::make(records, source_.width, source_.height);
            skippedPieceCount_ += plan.skippedPieces();
        }
    }
    auto visibleOf = [&](std::uint64_t k) {
        return k >= first ? plan.visiblePieces(static_cast<std::size_t>(k - first)) : std::vector<bool>();
    };
    if (rewind) rewindLocked(target, visibleOf(first));
    while (frameNumber_ < target) {
        const std::uint64_t next = frameNumber_ + 1;
        if (!decompressNextFrameLocked(next, visibleOf(next))) lastFrameComplete_ = false;
        if (frameNumber_ != next) break; // cannot happen with the files open; never loop on it
    }
    lastFrameValid_ = true;
    return lastFrameComplete_;
}

bool DecompressionInfo::readMetaRecordLocked(std::uint64_t k, FrameMetaRecord& record) {
    const std::vector<DirectoryEntry>& entries = *source_.directory;
    if (k >= entries.size()) return false;
    const std::uint64_t offset = entries[static_cast<std::size_t>(k)].metaOffsetBytes;
    const std::uint64_t size = metaFile_->sizeBytes();
    if (offset >= size) return false;
    std::uint8_t fixed[kMetaRecordHeadSizeBytes + kBlockFrameContinuationSizeBytes] = {};
    const std::size_t got = metaFile_->readAt(offset, fixed, sizeof fixed);
    const std::uint64_t bytes =
        VistrelDecoderFrame::metaRecordSizeBytes(std::span<const std::uint8_t>(fixed, got), size - offset);
    if (bytes == 0) return false;
    std::vector<std::uint8_t> whole(static_cast<std::size_t>(bytes));
    if (metaFile_->readAt(offset, whole.data(), whole.size()) != whole.size()) return false;
    return static_cast<bool>(parseFrameMetaRecord(whole, record));
}

void DecompressionInfo::forgetLastFrame() {
    MutexLock lock(requestMutex_);
    lastFrameValid_ = false;
}

void DecompressionInfo::release() {
    MutexLock lock(requestMutex_);
    structValid_ = false;
    lastFrameValid_ = false;
    dataFile_.reset();
    metaFile_.reset();
    temporaryBuffer_.reset();
    MutexLock memoryLock(memoryMutex_);
    buffer_.reset();
}

bool DecompressionInfo::copyFrame(std::uint8_t* destination, std::size_t bytesPerRow) const {
    MutexLock lock(memoryMutex_);
    if (!buffer_ || !destination) return false;
    const std::size_t rowBytes = source_.width * 4;
    // Bands of 256 rows: one copy each when the rows have no padding.
    constexpr std::size_t bandRows = 256;
    for (std::size_t first = 0; first < source_.height; first += bandRows) {
        const std::size_t rows = std::min(bandRows, source_.height - first);
        if (bytesPerRow == rowBytes) {
            std::memcpy(destination + first * rowBytes, buffer_.get() + first * rowBytes, rows * rowBytes);
        } else {
            for (std::size_t r = first; r < first + rows; ++r)
                std::memcpy(destination + r * bytesPerRow, buffer_.get() + r * rowBytes, rowBytes);
        }
    }
    return true;
}

std::vector<std::uint8_t> DecompressionInfo::frameBytes() const {
    MutexLock lock(memoryMutex_);
    if (!buffer_) return {};
    return std::vector<std::uint8_t>(buffer_.get(), buffer_.get() + bufferSizeBytes_);
}

bool DecompressionInfo::isValid() const {
    MutexLock lock(requestMutex_);
    return structValid_;
}

std::uint64_t DecompressionInfo::frameNumber() const {
    MutexLock lock(requestMutex_);
    return frameNumber_;
}

bool DecompressionInfo::lastFrameValid() const {
    MutexLock lock(requestMutex_);
    return lastFrameValid_;
}

bool DecompressionInfo::lastFrameComplete() const {
    MutexLock lock(requestMutex_);
    return lastFrameComplete_;
}

std::string DecompressionInfo::lastError() const {
    MutexLock lock(requestMutex_);
    return lastError_;
}

std::uint64_t DecompressionInfo::decodedFrameCount() const {
    MutexLock lock(requestMutex_);
    return decodedFrameCount_;
}

std::uint64_t DecompressionInfo::skippedPieceCount() const {
    MutexLock lock(requestMutex_);
    return skippedPieceCount_;
}

void DecompressionInfo::setColorSpace(std::string colorSpace) {
    MutexLock lock(requestMutex_);
    colorSpace_ = std::move(colorSpace);
}

std::string DecompressionInfo::colorSpace() const {
    MutexLock lock(requestMutex_);
    return colorSpace_;
}

} // namespace vtl
