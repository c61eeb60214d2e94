#include "recorder/VTLiOSDeviceRecorder.h"

#include "platform/foundation/Log.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/MovieWriterQueue.h"

#include <cmath>

namespace vtl {

namespace {

// How far the movie's thread may fall behind before a list waits for it.
constexpr std::size_t writerBacklogLimit = 16;

bool validTiming(const MobileDeviceSample& sample) {
    if (!std::isfinite(sample.presentationTimeSeconds)) {
        logMessage("received a sample buffer with invalid timing info for presentation. discarding.");
        return false;
    }
    if (!std::isfinite(sample.durationSeconds) || sample.durationSeconds < 0) {
        logMessage("received a sample buffer with invalid timing info for duration. discarding.");
        return false;
    }
    return true;
}

class WriterInputs final : public IOSDeviceMovieInputs {
public:
    explicit WriterInputs(std::shared_ptr<MovieWriterQueue> writer)
        : writer_(std::move(writer)) {
        AudioTrackSettings audio;
        audio.codec = AudioCodec::Aac;
        audio.sampleRate = 44100;
        audio.channelCount = 2;
        audio.inputLayout = PcmLayout::Interleaved;
        auto added = writer_->addAudioTrack(audio);
        if (added)
            audioTrack_ = *added;
        else
            logMessage("The iOS device's sound cannot be recorded: " + added.error());
    }

    Status prepareVideo(const MobileDeviceSample& sample) override {
        if (videoTrack_) return {};
        VideoTrackSettings video;
        video.codec = VideoCodec::H264Passthrough;
        video.widthPixels = sample.widthPixels;
        video.heightPixels = sample.heightPixels;
        video.frameRateNumerator = 60;
        if (sample.codecConfiguration) video.codecConfiguration = *sample.codecConfiguration;
        auto added = writer_->addVideoTrack(video);
        if (!added) return added.asFailure();
        videoTrack_ = *added;
        return {};
    }

    bool isReadyForMoreMediaData(MobileSampleKind) const override {
        return writer_->isStarted() && writer_->pendingTasks() < writerBacklogLimit;
    }

    Status append(const MobileDeviceSample& sample, double timeSeconds) override {
        if (failed_.load()) return fail("The movie failed.");
        std::optional<std::size_t> track = sample.kind == MobileSampleKind::Video ? videoTrack_ : audioTrack_;
        if (!track || !sample.data) return fail("The sample has no track.");
        if (sample.kind != MobileSampleKind::Video &&
            (sample.sampleRate != 44100 || sample.channelCount != 2))
            return fail("The iOS device's sound is not 44,100 Hz stereo.");
        // Copied to the movie's own thread; the sample's bytes are shared, not copied.
        writer_->async([this, sample, timeSeconds, index = *track](MovieWriter& writer) {
            if (failed_.load()) return;
            Status written;
            if (sample.kind == MobileSampleKind::Video) {
                written = writer.appendVideoPacket(index, sample.data->data(), sample.data->size(),
                                                   MediaTime::fromSeconds(timeSeconds, 90000),
                                                   MediaTime::invalid(), !sample.dependsOnOthers);
            } else {
                const void* buffers[1] = {sample.data->data()};
                const std::size_t frames =
                    std::min(sample.frameCount, sample.data->size() / (sizeof(float) * 2));
                written = writer.appendAudio(index, buffers, frames);
            }
            if (!written && !failed_.exchange(true))
                logMessage("Appending sample buffer to asset writer failed! error " + written.error());
        });
        return {};
    }

    void markFinished() override {}

private:
    std::shared_ptr<MovieWriterQueue> writer_;
    std::optional<std::size_t> videoTrack_;
    std::optional<std::size_t> audioTrack_;
    std::atomic<bool> failed_{false};
};

} // namespace

std::unique_ptr<IOSDeviceMovieInputs> makeIOSDeviceMovieInputs(std::shared_ptr<MovieWriterQueue> writer) {
    return std::make_unique<WriterInputs>(std::move(writer));
}

VTLiOSDeviceRecorder::VTLiOSDeviceRecorder(std::unique_ptr<MobileDevice> device,
                                           std::unique_ptr<IOSDeviceMovieInputs> inputs,
                                           std::unique_ptr<IOSLivePicture> livePicture,
                                           IOSRecorderCoordinator& coordinator)
    : device_(std::move(device))
    , inputs_(std::move(inputs))
    , livePicture_(std::move(livePicture))
    , coordinator_(coordinator) {}

Result<std::unique_ptr<VTLiOSDeviceRecorder>>
VTLiOSDeviceRecorder::create(std::unique_ptr<MobileDevice> device,
                             std::unique_ptr<IOSDeviceMovieInputs> inputs,
                             std::unique_ptr<IOSLivePicture> livePicture, IOSRecorderCoordinator& coordinator,
                             bool previewVideo, bool previewAudio) {
    if (!device || !inputs) return fail("The iOS device cannot be recorded.");
    std::unique_ptr<VTLiOSDeviceRecorder> recorder(
        new VTLiOSDeviceRecorder(std::move(device), std::move(inputs), std::move(livePicture), coordinator));
    recorder->forwardVideo_.store(previewVideo && recorder->livePicture_ != nullptr);
    if (previewVideo && !recorder->livePicture_)
        logMessage("The iOS device's live picture cannot be shown on this system.");
    // Playing the device's sound live needs an output of its own; this system records it only.
    if (previewAudio) logMessage("The iOS device's sound is recorded but not played live on this system.");
    VTLiOSDeviceRecorder* r = recorder.get();
    if (Status started =
            r->device_->start([r](const MobileDeviceSample& sample) { r->captureOutput(sample); });
        !started)
        return fail("The iOS device " + r->device_->description().localizedName +
                    " does not deliver: " + started.error());
    return recorder;
}

VTLiOSDeviceRecorder::~VTLiOSDeviceRecorder() {
    device_->stop();
    if (livePicture_) livePicture_->finish();
}

std::size_t VTLiOSDeviceRecorder::queuedVideo() const {
    std::lock_guard lock(mutex_);
    return videoSamplesQueue_.size();
}

std::size_t VTLiOSDeviceRecorder::queuedAudio() const {
    std::lock_guard lock(mutex_);
    return audioSamplesQueue_.size();
}

void VTLiOSDeviceRecorder::setForwardVideo(bool on) {
    on = on && livePicture_ != nullptr;
    if (forwardVideo_.exchange(on) == on) return;
    std::lock_guard lock(mutex_);
    encounteredFirstKeyFrame_ = false;
    if (!on && livePicture_) livePicture_->finish();
}

void VTLiOSDeviceRecorder::setForwardAudio(bool on) {
    forwardAudio_.store(on);
}

void VTLiOSDeviceRecorder::setPaused(bool paused) {
    std::lock_guard lock(mutex_);
    if (paused == paused_) return;
    paused_ = paused;
    // The next sample's time is where the pause began.
    if (paused) rememberTimeStampForPauseStart_ = true;
}

void VTLiOSDeviceRecorder::pump(std::deque<Entry>& list, MobileSampleKind kind, int limit) {
    for (int i = 0; i < limit && !list.empty() && inputs_->isReadyForMoreMediaData(kind); ++i) {
        if (Status appended = inputs_->append(list.front().sample, list.front().timeSeconds); !appended)
            logMessage(std::string("Appending sample buffer to asset writer failed! Paused == ") +
                       (paused_ ? "YES" : "NO") + ", assetwriter " +
                       (kind == MobileSampleKind::Video ? "video" : "audio") + " error " + appended.error());
        list.pop_front();
    }
}

void VTLiOSDeviceRecorder::previewNextSampleBuffer(const MobileDeviceSample& sample) {
    if (!livePicture_) return;
    if (sample.widthPixels == decompressionWidth_ && sample.heightPixels == decompressionHeight_) {
        livePicture_->decode(sample);
        return;
    }
    coordinator_.iOSRecordingResolutionChangeToSize(
        Size{static_cast<double>(sample.widthPixels), static_cast<double>(sample.heightPixels)});
    livePicture_->finish();
    decompressionWidth_ = sample.widthPixels;
    decompressionHeight_ = sample.heightPixels;
    if (Status made = livePicture_->setup(sample); !made) {
        logMessage("The live picture cannot be decoded: " + made.error());
        forwardVideo_.store(false);
        coordinator_.disableIOSVideoPreviewFromRecorder();
    }
}

void VTLiOSDeviceRecorder::captureOutput(const MobileDeviceSample& sample) {
    if (!sample.dataReady || stopped_.load()) return;
    if (sample.kind == MobileSampleKind::AudioPreview) return;
    const bool sync = !sample.dependsOnOthers;
    const bool video = sample.kind == MobileSampleKind::Video;
    std::lock_guard lock(mutex_);

    if (paused_) {
        if (rememberTimeStampForPauseStart_) {
            rememberTimeStampForPauseStart_ = false;
            pauseStartTime_ = sample.presentationTimeSeconds;
            return;
        }
        if (!video || !sync || !writing_ || !coordinator_.unpause()) {
            // Waiting samples move on while paused; this one is not recorded.
            if (writing_) {
                pump(videoSamplesQueue_, MobileSampleKind::Video, 1);
                pump(audioSamplesQueue_, MobileSampleKind::Audio, 1);
            }
            return;
        }
        // Running again from this sync sample: the pause leaves no gap.
        paused_ = false;
        decrementTimeStamp_ += sample.presentationTimeSeconds - pauseStartTime_;
    }

    if (!hasNotifiedAboutData_) {
        // Only a sync picture can start the movie: the picture track takes its shape from it.
        if (!video || !sync || !validTiming(sample)) return;
        if (Status prepared = inputs_->prepareVideo(sample); !prepared) {
            logMessage("The iOS device's picture cannot be recorded: " + prepared.error());
            return;
        }
        if (!coordinator_.recorderStartedProducingData(*this)) return;
        hasNotifiedAboutData_ = true;
        coordinator_.forwardIOSSurfaceID(0);
        writing_ = true;
        decrementTimeStamp_ = sample.presentationTimeSeconds;
        if (forwardVideo_.load() && livePicture_) {
            decompressionWidth_ = sample.widthPixels;
            decompressionHeight_ = sample.heightPixels;
            encounteredFirstKeyFrame_ = livePicture_->setup(sample).ok();
        }
    }

    if (video && forwardVideo_.load()) {
        if (!encounteredFirstKeyFrame_) {
            if (sync && livePicture_) {
                decompressionWidth_ = sample.widthPixels;
                decompressionHeight_ = sample.heightPixels;
                encounteredFirstKeyFrame_ = livePicture_->setup(sample).ok();
            }
        } else {
            previewNextSampleBuffer(sample);
        }
    }
    if (!writing_) return;

    std::deque<Entry>& list = video ? videoSamplesQueue_ : audioSamplesQueue_;
    if (list.size() > previewQueueLimit) {
        // Preview work yields to the writer.
        if (video && forwardVideo_.exchange(false)) {
            if (livePicture_) livePicture_->finish();
            coordinator_.disableIOSVideoPreviewFromRecorder();
        }
        if (!video && forwardAudio_.exchange(false)) coordinator_.disableIOSAudioPreviewFromRecorder();
    }
    if (!video && !typicalAudioBuffer_ && sample.durationSeconds > 0) {
        typicalAudioBuffer_ = sample;
        missingAudioThreshold_ = missingAudioBuffers * sample.durationSeconds;
    }
    pump(audioSamplesQueue_, MobileSampleKind::Audio, 1);
    if (!validTiming(sample)) return;
    const double time = sample.presentationTimeSeconds - decrementTimeStamp_;
    if (time < 0) return;
    if (!video) {
        lastAudioSampleTime_ = time;
    } else if (time - lastAudioSampleTime_ > missingAudioThreshold_ && typicalAudioBuffer_) {
        // The picture runs ahead of the sound: silence keeps the sound track up with it.
        const int buffers =
            static_cast<int>(std::lround(missingAudioThreshold_ / typicalAudioBuffer_->durationSeconds));
        appendSilenceSamples(buffers);
        pump(audioSamplesQueue_, MobileSampleKind::Audio, buffers);
    }
    list.push_back({sample, time});
    pump(list, sample.kind, appendsPerSample);
}

void VTLiOSDeviceRecorder::appendSilenceSamples(int count) {
    if (!typicalAudioBuffer_) {
        logMessage("-[VTLiOSDeviceRecorder appendSilenceSamples:] size of audio buffer unknown! not adding "
                   "artificial silence");
        return;
    }
    MobileDeviceSample silence = *typicalAudioBuffer_;
    silence.data = std::make_shared<const std::vector<std::uint8_t>>(
        typicalAudioBuffer_->data ? typicalAudioBuffer_->data->size() : 0, 0);
    for (int i = 0; i < count; ++i) {
        lastAudioSampleTime_ += typicalAudioBuffer_->durationSeconds;
        audioSamplesQueue_.push_back({silence, lastAudioSampleTime_});
    }
}

void VTLiOSDeviceRecorder::stopRecord() {
    stopped_.store(true);
    device_->stop();
    std::lock_guard lock(mutex_);
    writing_ = false;
    if (livePicture_) livePicture_->finish();
}

void VTLiOSDeviceRecorder::finishPendingFrames() {
    std::lock_guard lock(mutex_);
    // Everything still waiting goes to the movie's own thread; nothing is skipped.
    for (auto* list : {&videoSamplesQueue_, &audioSamplesQueue_}) {
        for (const Entry& entry : *list)
            if (Status appended = inputs_->append(entry.sample, entry.timeSeconds); !appended)
                logMessage(
                    "[VTLiOSDeviceRecorder finishPendingBuffersInQueue:assetWriterInput:] Appending sample "
                    "buffer to asset writer failed! error " +
                    appended.error());
        list->clear();
    }
    inputs_->markFinished();
}

void VTLiOSDeviceRecorder::finalizeRecord() {
    coordinator_.recorderDone(*this);
}

} // namespace vtl
