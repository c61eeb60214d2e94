#include "tracks/views/RecordingFrameSource.h"

#include "tracks/reader/DecompressionInfo.h"
#include "tracks/reader/VistrelRecording.h"

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

    auto decoder = recording.makeDecompressionInfo();
    if (!decoder) {
        const std::string why = recording.openError().empty() ? decoder.error() : recording.openError();
        return fail("The frames of \"" + path + "\" cannot be read" + (why.empty() ? "." : ": " + why + "."));
    }
    source->info_ = std::move(decoder).value();
    return source;
}

RecordingFrameSource::~RecordingFrameSource() {
    if (info_) info_->release();
}

std::int64_t RecordingFrameSource::indexOfTime(double seconds) const {
    if (!(seconds > 0)) return 0;
    const std::int64_t index = recording_->indexOfTime(seconds);
    return std::clamp<std::int64_t>(index, 0, std::max<std::int64_t>(frameCount_ - 1, 0));
}

bool RecordingFrameSource::decodeFrame(std::int64_t index, bool rewind,
                                       const std::function<void(const Pixels&)>& use) {
    DecompressionInfo& info = *info_;
    if (rewind) info.forgetLastFrame();
    info.decompressFrame(static_cast<std::uint64_t>(std::clamp<std::int64_t>(index, 0, frameCount_ - 1)));
    if (!info.lastFrameValid()) {
        const std::string why = info.lastError();
        lastError_ = why.empty() ? "The frame could not be decoded." : why;
        return false;
    }
    const std::size_t bytesPerRow = static_cast<std::size_t>(width_) * 4;
    picture_.resize(bytesPerRow * static_cast<std::size_t>(height_));
    if (!info.copyFrame(picture_.data(), bytesPerRow)) {
        lastError_ = "The frame buffer does not hold a whole picture.";
        return false;
    }
    use(Pixels{picture_.data(), width_, height_, bytesPerRow});
    return true;
}

} // namespace vtl
