// CompositionGeneratedSpeechTrackObject: the player of the current language's text, started and
// stopped with the composition's playback.

#include "audio/AudioTrackPlayer.h"
#include "audio/PcmFileOpener.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/media/MediaAsset.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/GeneratedSpeech.h"

#include <algorithm>

namespace vtl {

namespace {

using Object = CompositionGeneratedSpeechTrackObject;

// Playback that starts this close to the end starts nothing.
constexpr double kEndMarginSeconds = 0.05;

} // namespace

void Object::releasePlayer() {
    if (player_) player_->doStopMoviePreview();
    player_.reset();
    assetMovie_.reset();
}

void Object::languageChanged(const Notification*) {
    CompositionObjectsContainer* container = compositionObjectsContainer();
    std::shared_ptr<GeneratedSpeech> speech =
        container ? speechForLanguageScript(container->languageScript()) : nullptr;
    releasePlayer();
    if (!speech || speech->fullPath().empty()) {
        playerShouldPlay_ = false;
        return;
    }
    Result<std::shared_ptr<const MediaAsset>> asset = MediaAsset::open(speech->fullPath());
    if (!asset || (*asset)->trackCount() != 1) return;
    Result<std::unique_ptr<PcmSource>> source = openPcmFile(speech->fullPath());
    if (!source) {
        logMessage("The speech file cannot be played: " + source.error());
        return;
    }
    assetMovie_ = *asset;
    player_ = std::make_unique<AudioTrackPlayer>(std::move(*source), true);
    player_->setDelegate(this);
    player_->setTrackInternalEndTime(speech->synthesizedDuration());
    player_->setTrackInternalStartTime(0);
}

bool Object::trackEnabled() const {
    const auto& track = containerTrack();
    return !track || !track->isDisabled();
}

bool Object::hasScheduledPlay() const {
    return scheduleTimer_ && scheduleTimer_->isValid();
}

void Object::cancelScheduledPlay() {
    if (scheduleTimer_) scheduleTimer_->cancel();
    scheduleTimer_.reset();
}

void Object::schedulePlay(double delaySeconds) {
    std::weak_ptr<CompositionUndoObject> self = weak_from_this();
    scheduleTimer_ = DispatchTimer::scheduleOnce(delaySeconds, [self] {
        if (auto object = std::static_pointer_cast<Object>(self.lock())) object->scheduledPlay();
    });
}

void Object::startPlayerAt(double mediaTime) {
    player_->doStartMoviePreview(mediaTime);
    playerShouldPlay_ = true;
}

void Object::didStartPlay(const Notification& notification) {
    if (!player_ || !trackEnabled() || role() == SpeechRole::SubtitleOnly) return;
    const double* time = notification.value<double>("currentTime");
    const double current = time ? *time : 0.0;
    CompositionBaseObject::setCurrentMovieTime(current);
    playStartCurrentTime_ = current;
    playStartClockSeconds_ = monotonicSeconds();
    cancelScheduledPlay();
    if (current + kEndMarginSeconds >= snapEndTime()) return;
    if (snapStartTime() > current) {
        schedulePlay(snapStartTime() - current);
        return;
    }
    startPlayerAt(current - startTime());
}

void Object::scheduledPlay() {
    if (!scheduleTimer_) return;
    cancelScheduledPlay();
    if (!player_) return;
    // The playhead moved on with the clock since playback (re)started.
    const double current = playStartCurrentTime_ + (monotonicSeconds() - playStartClockSeconds_);
    CompositionBaseObject::setCurrentMovieTime(current);
    startPlayerAt(std::max(0.0, current - startTime()));
}

void Object::didStopPlay(const Notification&) {
    cancelScheduledPlay();
    playerShouldPlay_ = false;
    if (player_) player_->doStopMoviePreview();
}

void Object::setCurrentMovieTime(double time) {
    CompositionRectangularObject::setCurrentMovieTime(time);
    if (!player_) return;
    playStartCurrentTime_ = time;
    playStartClockSeconds_ = monotonicSeconds();
    cancelScheduledPlay();
    if (player_->playerRunning()) player_->doStopMoviePreview();
    player_->setTime(time - snapStartTime());
    if (role() == SpeechRole::SubtitleOnly) return;
    if (snapStartTime() <= time && time < snapEndTime()) {
        startPlayerAt(time - snapStartTime());
    } else if (snapStartTime() - time > 0) {
        schedulePlay(snapStartTime() - time);
    }
}

} // namespace vtl
