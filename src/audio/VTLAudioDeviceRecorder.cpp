#include "audio/VTLAudioDeviceRecorder.h"

#include "audio/VTLAudioTools.h"
#include "platform/audio/AudioHardware.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/MovieWriterQueue.h"

#include <algorithm>

namespace vtl {

namespace {

constexpr std::size_t selectionChunkFrames = 1024;

} // namespace

VTLAudioDeviceRecorder::VTLAudioDeviceRecorder(CompositionAudioRecordDevice device,
                                               std::shared_ptr<MovieWriterQueue> writer,
                                               std::shared_ptr<AudioHardware> hardware,
                                               VTLAudioDeviceRecorderOptions options)
    : device_(std::move(device))
    , writer_(std::move(writer))
    , hardware_(hardware ? std::move(hardware) : AudioHardware::shared())
    , options_(std::move(options)) {
    if (!options_.clockSeconds) options_.clockSeconds = [] { return monotonicSeconds(); };
}

VTLAudioDeviceRecorder::~VTLAudioDeviceRecorder() {
    stream_.reset();
    if (drainTimer_) drainTimer_->cancel();
    // A drain or completion already on the writer's thread finishes before this object goes.
    if (writer_) writer_->queue()->sync([] {});
}

Status VTLAudioDeviceRecorder::startProcessQueue() {
    if (stream_) return {};
    if (options_.systemAudio) {
        deviceChannelCount_ = 2;
        firstChannelIndex_ = 0;
        channelCount_ = 2;
        samplingRate_ = desiredSampleRate;
    } else {
        deviceChannelCount_ = device_.deviceNumberOfChannels();
        channelCount_ = device_.streamNumberOfChannels();
        firstChannelIndex_ = device_.firstChannel() > 0 ? device_.firstChannel() - 1 : 0;
        if (deviceChannelCount_ == 0 || channelCount_ == 0 ||
            firstChannelIndex_ + channelCount_ > deviceChannelCount_) {
            const std::string message = "an error occurred preparing audio device " + device_.name() +
                                        ": its channels cannot be read";
            logMessage(message);
            return fail(message);
        }
        samplingRate_ =
            VTLAudioTools::setDeviceSamplingRate(device_.deviceID(), desiredSampleRate, *hardware_);
        if (samplingRate_ == 0) {
            logMessage("Failed to set sampling rate to desired 44100 for device " + device_.name());
            samplingRate_ = desiredSampleRate;
        }
    }
    selection_.assign(selectionChunkFrames * channelCount_, 0.0f);
    RecordedAudioTrack::Options trackOptions;
    trackOptions.sampleRate = samplingRate_;
    trackOptions.channelCount = channelCount_;
    trackOptions.clockSeconds = options_.clockSeconds;
    track_ = std::make_unique<RecordedAudioTrack>(trackOptions);

    auto callback = [this](const float* interleaved, std::size_t frames, std::uint32_t channels) {
        captured(interleaved, frames, channels);
    };
    Result<std::unique_ptr<AudioInputStream>> opened =
        options_.systemAudio
            ? hardware_->openSystemAudioStream(channelCount_, samplingRate_, callback)
            : hardware_->openInputStream(device_.deviceID(), deviceChannelCount_, samplingRate_, callback);
    if (!opened) {
        const std::string message =
            "an error occurred preparing audio device " + device_.name() + ": " + opened.error();
        logMessage(message);
        return fail(message);
    }
    stream_ = std::move(opened).value();
    if (Status started = stream_->start(); !started) {
        stream_.reset();
        const std::string message =
            "an error occurred preparing audio device " + device_.name() + ": " + started.error();
        logMessage(message);
        return fail(message);
    }
    logMessage("record device " + device_.name() +
               " +++ number channels in stream: " + std::to_string(channelCount_) +
               " +++ number channels in device: " + std::to_string(deviceChannelCount_));
    std::shared_ptr<DispatchQueue> queue = writer_ ? writer_->queue() : DispatchQueue::mainQueue();
    drainTimer_ = DispatchTimer::scheduleRepeating(
        options_.drainIntervalSeconds, [this] { drain(false); }, queue);
    return {};
}

void VTLAudioDeviceRecorder::captured(const float* interleaved, std::size_t frames, std::uint32_t channels) {
    if (!interleaved || frames == 0 || channels == 0) return;
    const AudioLevels levels = meter_.measure(interleaved, frames * channels, options_.clockSeconds());
    peak_.store(levels.peak, std::memory_order_relaxed);
    hold_.store(levels.hold, std::memory_order_relaxed);
    levelCount_.fetch_add(1, std::memory_order_release);
    hasData_.store(true, std::memory_order_release);
    if (!track_->isWriting()) return;
    // The recorded channels of the device's frames, a chunk at a time into memory made beforehand.
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(selectionChunkFrames, frames - done);
        const float* in = interleaved + done * channels;
        float* out = selection_.data();
        for (std::size_t i = 0; i < n; ++i)
            for (std::uint32_t k = 0; k < channelCount_; ++k) {
                const std::uint32_t source = firstChannelIndex_ + k;
                *out++ = source < channels ? in[i * channels + source] : 0.0f;
            }
        track_->capture(selection_.data(), n);
        done += n;
    }
}

void VTLAudioDeviceRecorder::drain(bool complete) {
    if (peakDelegate_) {
        const std::uint64_t count = levelCount_.load(std::memory_order_acquire);
        if (count != levelsDelivered_) {
            levelsDelivered_ = count;
            peakDelegate_->deviceRecorder(*this, peak_.load(std::memory_order_relaxed),
                                          hold_.load(std::memory_order_relaxed));
        }
    }
    if (!writer_ || trackEnded_.load()) return;
    if (!hasNotifiedAboutData_) {
        // The first sound only announces the input; it is not written.
        if (!hasData_.load(std::memory_order_acquire) || stopped_.load()) return;
        hasNotifiedAboutData_ = true;
        AudioTrackSettings settings;
        // At 44.1 kHz the track is AAC; at a rate the device insists on, linear PCM at that rate.
        settings.codec = samplingRate_ == desiredSampleRate ? AudioCodec::Aac : AudioCodec::PcmInt16BigEndian;
        settings.sampleRate = static_cast<int>(samplingRate_);
        settings.channelCount = static_cast<int>(channelCount_);
        settings.inputSampleType = PcmSampleType::Float32;
        settings.inputLayout = PcmLayout::Interleaved;
        settings.title = options_.trackTitle;
        Result<std::size_t> added = writer_->isStarted()
                                        ? Result<std::size_t>(fail("The movie has started already."))
                                        : writer_->addAudioTrack(settings);
        if (!added) {
            endTrack("The sound of " + device_.name() + " cannot be recorded: " + added.error());
            return;
        }
        trackIndex_ = *added;
        if (coordinator_) coordinator_->recorderStartedProducingData(*this);
        return;
    }
    if (!trackIndex_ || !writer_->isStarted()) return;
    if (Status drained = track_->drain(writer_->writer(), *trackIndex_, complete); !drained) {
        endTrack("The sound of " + device_.name() + " could not be written: " + drained.error());
        return;
    }
    if (complete) {
        const RecordedAudioTrack::Statistics s = track_->statistics();
        // The last few milliseconds on their way at the stop are filled as a matter of course.
        const std::uint64_t noticeable = samplingRate_ / 10;
        if (s.silenceFrames > noticeable || s.droppedFrames > noticeable || s.overrunFrames > 0)
            logMessage("The sound of " + device_.name() + " was kept on the recording's clock: " +
                       std::to_string(s.silenceFrames) + " frames of silence filled gaps, " +
                       std::to_string(s.droppedFrames) + " frames ahead of the clock were dropped, " +
                       std::to_string(s.overrunFrames) + " frames were lost while the writer lagged.");
    }
}

void VTLAudioDeviceRecorder::endTrack(const std::string& message) {
    if (trackEnded_.exchange(true)) return;
    logMessage(message);
    if (coordinator_) coordinator_->recorderFailed(*this, message);
}

void VTLAudioDeviceRecorder::setWriteToMovie(std::optional<double> atSeconds) {
    if (track_) track_->startWriting(atSeconds);
}

void VTLAudioDeviceRecorder::setPaused(bool paused, std::optional<double> atSeconds) {
    if (track_) track_->setPaused(paused, atSeconds);
}

void VTLAudioDeviceRecorder::stopRecord(std::optional<double> atSeconds) {
    stopped_.store(true);
    if (track_) track_->stopWriting(atSeconds);
    if (stream_) stream_->stop();
}

void VTLAudioDeviceRecorder::finishPendingFrames() {
    if (drainTimer_) drainTimer_->cancel();
    stream_.reset();
    if (!writer_) return;
    writer_->queue()->async([this] { drain(true); });
}

void VTLAudioDeviceRecorder::finalizeRecord() {
    if (coordinator_) coordinator_->recorderDone(*this);
}

std::optional<RecordedAudioTrack::Statistics> VTLAudioDeviceRecorder::statistics() const {
    if (!track_) return std::nullopt;
    return track_->statistics();
}

} // namespace vtl
