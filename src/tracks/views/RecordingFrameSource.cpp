#include "tracks/views/RecordingFrameSource.h"

#include "tracks/DecompressionInfo.h"
#include "tracks/VistrelRecording.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl {

Result<std::unique_ptr<RecordingFrameSource>> RecordingFrameSource::open(const std::string& path) {
    std::unique_ptr<RecordingFrameSource> source(new RecordingFrameSource());
    source->recording_ = std::make_shared<VistrelRecording>(path);
    VistrelRecording& recording = *source->recording_;
    if (!recording.open()) {
        const std::string why = recording.openError();
        return fail("The recording \"" + path + "\" cannot be opened" +
                    (why.empty() ? "." : ": " + why + "."));
    }
    constexpr std::uint64_t maxSide = 16384;
    if (recording.width() == 0 || recording.height() == 0 || recording.width() > maxSide ||
        recording.height() > maxSide || recording.numberOfFrames() == 0)
        return fail("The recording \"" + path + "\" has no frames to show.");
    source->width_ = static_cast<int>(recording.width());
    source->height_ = static_cast<int>(recording.height());
    const double duration = recording.duration();
    source->duration_ = std::isfinite(duration) && duration > 0 ? duration : 0;
    const double rate = static_cast<double>(recording.frameRate());
    const double average = recording.averageFrameRate();
    source->framesPerSecond_ = rate >= 1 && rate <= 240         ? rate
                               : average >= 1 && average <= 240 ? average
                                                                : 30;
    source->frameCount_ = static_cast<std::int64_t>(
        std::min<std::uint64_t>(recording.numberOfFrames(), std::numeric_limits<std::int64_t>::max()));

    source->info_ = std::make_unique<DecompressionInfo>();
    recording.fillDecompressionInfo(*source->info_, source->framesPerSecond_);
    recording.openWithDecompressionInfo(*source->info_);
    if (!source->info_->structValid || !source->info_->dataFile || !source->info_->metaFile) {
        const std::string why =
            source->info_->lastError.empty() ? recording.openError() : source->info_->lastError;
        return fail("The frames of \"" + path + "\" cannot be read" + (why.empty() ? "." : ": " + why + "."));
    }
    recording.prepareForPlayback(*source->info_);
    source->info_->frameEntry.frameNumber = 0;
    return source;
}

RecordingFrameSource::~RecordingFrameSource() {
    if (recording_ && info_) recording_->releaseDecompressionInfo(*info_);
    info_.reset();
    recording_.reset();
}

std::int64_t RecordingFrameSource::indexOfTime(double seconds) const {
    if (!(seconds > 0)) return 0;
    const std::int64_t index = recording_->indexOfTime(seconds);
    return std::clamp<std::int64_t>(index, 0, std::max<std::int64_t>(frameCount_ - 1, 0));
}

bool RecordingFrameSource::decodeFrame(std::int64_t index, bool rewind,
                                       const std::function<void(const Pixels&)>& use) {
    DecompressionInfo& info = *info_;
    {
        std::lock_guard lock(info.memoryAccessMutex);
        info.frameEntry.frameNumber =
            static_cast<std::uint64_t>(std::clamp<std::int64_t>(index, 0, frameCount_ - 1));
        if (rewind) info.lastFrameValid = false;
    }
    recording_->decompressFrame(info);
    std::lock_guard lock(info.memoryAccessMutex);
    if (!info.buffer || !info.lastFrameValid) {
        lastError_ = info.lastError.empty() ? "The frame could not be decoded." : info.lastError;
        return false;
    }
    const std::size_t bytesPerRow = static_cast<std::size_t>(recording_->bytesPerRow());
    if (bytesPerRow < static_cast<std::size_t>(width_) * 4 ||
        info.bufferSizeBytes < bytesPerRow * static_cast<std::size_t>(height_)) {
        lastError_ = "The frame buffer does not hold a whole picture.";
        return false;
    }
    use(Pixels{info.buffer.get(), width_, height_, bytesPerRow});
    return true;
}

} // namespace vtl
