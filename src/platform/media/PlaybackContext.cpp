#include "platform/media/PlaybackContext.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/media/detail/FrameLocator.h"
#include "platform/media/detail/VideoDecoder.h"

#include <chrono>

namespace vtl {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// How often a playing decode thread looks at the clock when it has decoded far enough.
constexpr auto clockPollInterval = std::chrono::milliseconds(4);

} // namespace

PlaybackContext::PlaybackContext(PlaybackContextOptions options)
    : options_(std::move(options)) {
    if (options_.framesAhead < 1) options_.framesAhead = 1;
}

Result<std::unique_ptr<PlaybackContext>> PlaybackContext::create(std::shared_ptr<const MediaAsset> asset,
                                                                 std::size_t trackIndex,
                                                                 PlaybackContextOptions options) {
    auto decoder = detail::VideoDecoder::open(asset, trackIndex, options.decode);
    if (!decoder) return decoder.asFailure();
    std::unique_ptr<PlaybackContext> context(new PlaybackContext(std::move(options)));
    context->asset_ = std::move(asset);
    context->decoder_ = std::move(*decoder);
    context->locator_ = std::make_unique<detail::FrameLocator>(*context->decoder_);
    context->thread_ = std::thread([raw = context.get()] { raw->run(); });
    return context;
}

PlaybackContext::~PlaybackContext() {
    {
        MutexLock lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

double PlaybackContext::now() const {
    return options_.clock ? options_.clock() : steadySeconds();
}

MediaTime PlaybackContext::clockTime() const {
    if (!playing_ || !clockRunning_) return clockOrigin_;
    const double elapsed = now() - clockOriginSeconds_;
    const MediaTime origin = clockOrigin_.convertedToScale(90000);
    const MediaTime moved = MediaTime::fromSeconds(elapsed > 0 ? elapsed : 0, 90000);
    if (!origin.isValid() || !moved.isValid()) return clockOrigin_;
    return MediaTime{origin.value + moved.value, 90000};
}

int PlaybackContext::aheadCount() const {
    const MediaTime clock = clockTime();
    int count = 0;
    for (const VideoFrame& frame : frames_)
        if (frame.time > clock) ++count;
    return count;
}

const VideoFrame* PlaybackContext::frameHolding(MediaTime time) const {
    const VideoFrame* holding = nullptr;
    for (const VideoFrame& frame : frames_) {
        if (frame.time > time) break;
        holding = &frame;
    }
    if (!holding) return nullptr;
    // A picture's time and length share the track's scale.
    const MediaTime end{holding->time.value + holding->duration.value, holding->time.timeScale};
    return time < end ? holding : nullptr;
}

void PlaybackContext::startSeek(MediaTime time, std::function<void()> completion) {
    seekPending_ = true;
    seekTarget_ = time;
    seekCompletion_ = std::move(completion);
    ++seekGeneration_;
    ready_ = false;
    clockRunning_ = false;
    clockOrigin_ = time;
}

void PlaybackContext::play(MediaTime time) {
    {
        MutexLock lock(mutex_);
        playing_ = true;
        startSeek(time, {});
    }
    changed_.notify_all();
}

void PlaybackContext::pause() {
    {
        MutexLock lock(mutex_);
        if (!playing_) return;
        clockOrigin_ = clockTime();
        playing_ = false;
        clockRunning_ = false;
    }
    changed_.notify_all();
}

bool PlaybackContext::isPlaying() const {
    MutexLock lock(mutex_);
    return playing_;
}

void PlaybackContext::seek(MediaTime time, std::function<void()> completion) {
    {
        MutexLock lock(mutex_);
        startSeek(time, std::move(completion));
    }
    changed_.notify_all();
}

bool PlaybackContext::isReady() const {
    MutexLock lock(mutex_);
    return ready_;
}

MediaTime PlaybackContext::currentTime() const {
    MutexLock lock(mutex_);
    return clockTime();
}

std::optional<VideoFrame> PlaybackContext::frameForTime(MediaTime time) {
    std::optional<VideoFrame> result;
    bool released = false;
    {
        MutexLock lock(mutex_);
        const VideoFrame* holding = frameHolding(time);
        if (!holding) return std::nullopt;
        result = *holding;
        lastHandedOut_ = holding->time;
        if (playing_) {
            while (!frames_.empty() && frames_.front().time < holding->time) {
                frames_.pop_front();
                released = true;
            }
        }
    }
    if (released) changed_.notify_all();
    return result;
}

bool PlaybackContext::hasNewFrameForTime(MediaTime time) const {
    MutexLock lock(mutex_);
    const VideoFrame* holding = frameHolding(time);
    return holding && !(holding->time == lastHandedOut_);
}

double PlaybackContext::preparedForTime() const {
    MutexLock lock(mutex_);
    return preparedForTime_;
}

void PlaybackContext::setPreparedForTime(double stamp) {
    MutexLock lock(mutex_);
    preparedForTime_ = stamp;
}

int PlaybackContext::framesAheadOfClock() const {
    MutexLock lock(mutex_);
    return aheadCount();
}

void PlaybackContext::run() {
    for (;;) {
        MediaTime target;
        std::uint64_t generation = 0;
        bool seeking = false;
        {
            MutexLock lock(mutex_);
            for (;;) {
                if (stopping_) return;
                if (seekPending_) break;
                if (playing_ && ready_ && !endReached_ && aheadCount() < options_.framesAhead) break;
                if (playing_)
                    changed_.wait_for(lock, clockPollInterval);
                else
                    changed_.wait(lock);
            }
            seeking = seekPending_;
            seekPending_ = false;
            target = seekTarget_;
            generation = seekGeneration_;
        }

        // Decoding runs without the lock, so frameForTime never waits for it.
        std::optional<VideoFrame> frame;
        bool atEnd = false;
        if (seeking) {
            const auto ticks = decoder_->ticks(target);
            auto outcome = ticks ? locator_->locate(*ticks)
                                 : Result<detail::FrameLocator::Outcome>(fail("out of range"));
            if (!outcome) {
                logOnce("media.playback.seek",
                        "A movie could not be positioned for playback: " + outcome.error());
                atEnd = true;
            } else if (*outcome == detail::FrameLocator::Outcome::Found) {
                auto duration = locator_->currentDuration();
                auto made = duration ? decoder_->makeFrame(locator_->current(), *duration)
                                     : Result<VideoFrame>(duration.asFailure());
                if (made)
                    frame = std::move(*made);
                else
                    logOnce("media.playback.frame", "A movie picture could not be made: " + made.error());
            } else if (*outcome == detail::FrameLocator::Outcome::PastEnd) {
                atEnd = true;
            } else {
                // Before the first picture: playback continues into it.
                locator_->reset();
                if (Status sought = decoder_->seekToStart(); !sought) atEnd = true;
            }
        } else {
            auto advanced = locator_->advance();
            if (!advanced || !*advanced) {
                if (!advanced)
                    logOnce("media.playback.decode", "Movie playback stopped: " + advanced.error());
                atEnd = true;
            } else {
                auto duration = locator_->currentDuration();
                auto made = duration ? decoder_->makeFrame(locator_->current(), *duration)
                                     : Result<VideoFrame>(duration.asFailure());
                if (made)
                    frame = std::move(*made);
                else
                    logOnce("media.playback.frame", "A movie picture could not be made: " + made.error());
            }
        }

        std::function<void()> completion;
        {
            MutexLock lock(mutex_);
            if (generation != seekGeneration_) continue; // a newer seek replaced this work
            if (seeking) {
                frames_.clear();
                endReached_ = atEnd;
                ready_ = true;
                completion = std::move(seekCompletion_);
                seekCompletion_ = nullptr;
                if (playing_) {
                    clockRunning_ = true;
                    clockOriginSeconds_ = now();
                    clockOrigin_ = target;
                }
            } else if (atEnd) {
                endReached_ = true;
            }
            if (frame) frames_.push_back(std::move(*frame));
            // Pictures the clock has passed go, even when nobody asks for pictures.
            if (playing_) {
                const MediaTime clock = clockTime();
                while (frames_.size() > 1 && frames_[1].time <= clock)
                    frames_.pop_front();
            }
        }
        if (completion) DispatchQueue::mainQueue()->async(std::move(completion));
    }
}

} // namespace vtl
