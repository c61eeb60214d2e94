#include "platform/media/MediaImageGenerator.h"

#include "platform/media/detail/FrameLocator.h"
#include "platform/media/detail/VideoDecoder.h"

namespace vtl {

Result<std::unique_ptr<MediaImageGenerator>>
MediaImageGenerator::create(std::shared_ptr<const MediaAsset> asset, std::size_t trackIndex,
                            const VideoDecodeOptions& options) {
    auto decoder = detail::VideoDecoder::open(asset, trackIndex, options);
    if (!decoder) return decoder.asFailure();
    std::unique_ptr<MediaImageGenerator> generator(new MediaImageGenerator);
    generator->asset_ = std::move(asset);
    MutexLock lock(generator->decodeMutex_);
    generator->decoder_ = std::move(*decoder);
    generator->locator_ = std::make_unique<detail::FrameLocator>(*generator->decoder_);
    return generator;
}

MediaImageGenerator::~MediaImageGenerator() {
    {
        MutexLock lock(queueMutex_);
        stopping_ = true;
        queue_.clear();
    }
    queueChanged_.notify_all();
    if (worker_.joinable()) worker_.join();
}

Result<VideoFrame> MediaImageGenerator::imageAtTime(MediaTime time) {
    MutexLock lock(decodeMutex_);
    const auto ticks = decoder_->ticks(time);
    if (!ticks) return fail("The time is out of range.");
    auto outcome = locator_->locate(*ticks);
    if (!outcome) return outcome.asFailure();
    switch (*outcome) {
    case detail::FrameLocator::Outcome::BeforeFirstFrame:
        return fail("No picture is shown before the video track's first picture.");
    case detail::FrameLocator::Outcome::PastEnd:
        return fail("The time is past the end of the video track.");
    case detail::FrameLocator::Outcome::Found:
        break;
    }
    auto duration = locator_->currentDuration();
    if (!duration) return duration.asFailure();
    return decoder_->makeFrame(locator_->current(), *duration);
}

void MediaImageGenerator::generateImagesAsynchronously(std::vector<MediaTime> times, Handler handler) {
    auto shared = std::make_shared<Handler>(std::move(handler));
    {
        MutexLock lock(queueMutex_);
        if (stopping_) return;
        for (const MediaTime& time : times)
            queue_.push_back(Request{time, shared, cancelGeneration_});
        if (!worker_.joinable()) worker_ = std::thread([this] { runQueue(); });
    }
    queueChanged_.notify_all();
}

void MediaImageGenerator::cancelAllImageGeneration() {
    MutexLock lock(queueMutex_);
    ++cancelGeneration_;
}

void MediaImageGenerator::runQueue() {
    for (;;) {
        Request request;
        bool cancelled = false;
        {
            MutexLock lock(queueMutex_);
            queueChanged_.wait(lock,
                               [&]() VTL_NO_THREAD_SAFETY_ANALYSIS { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            request = std::move(queue_.front());
            queue_.pop_front();
            cancelled = request.cancelGeneration != cancelGeneration_;
        }
        GeneratedImage image;
        image.requestedTime = request.time;
        if (cancelled) {
            image.status = ImageGenerationStatus::Cancelled;
        } else {
            auto frame = imageAtTime(request.time);
            if (frame) {
                image.status = ImageGenerationStatus::Succeeded;
                image.frame = std::move(*frame);
            } else {
                image.error = frame.error();
            }
        }
        if (*request.handler) (*request.handler)(std::move(image));
    }
}

int MediaImageGenerator::seekCount() const {
    MutexLock lock(decodeMutex_);
    return locator_->seekCount();
}

int MediaImageGenerator::decodeCount() const {
    MutexLock lock(decodeMutex_);
    return locator_->decodeCount();
}

} // namespace vtl
