// The sounds of recorded clicks: during playback one main-queue timer at a time waits for the next
// click and plays the click sound; the export gets one sound entry per click instead.

#include "audio/AudioPlayer.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/foundation/Resources.h"
#include "platform/media/MediaAsset.h"
#include "tracks/CompositionTrackObject.h"

#include <algorithm>
#include <cmath>

namespace vtl {

using Track = CompositionTrackObject;

std::string Track::mouseClickSoundPath() {
    return (resourcesDirectory() / "sounds" / "MouseClick.mp3").string();
}

namespace {

struct ClickSoundTiming {
    double durationSeconds = 0;
    // Silence before the sound's first sample (an encoder's priming): timers fire this much early
    // so the click is heard at the moment of the click.
    double leadSeconds = 0;
};

// Read once: the resource does not change while the program runs.
const ClickSoundTiming& clickSoundTiming() {
    static const ClickSoundTiming timing = [] {
        ClickSoundTiming read;
        auto asset = MediaAsset::open(CompositionTrackObject::mouseClickSoundPath());
        if (!asset) {
            logMessage("The click sound cannot be read: " + asset.error());
            return read;
        }
        const double seconds = (*asset)->duration().seconds();
        read.durationSeconds = std::isfinite(seconds) && seconds > 0 ? seconds : 0.0;
        for (const MediaTrack& track : (*asset)->tracks()) {
            if (track.type != MediaType::Audio) continue;
            const double start = track.startTime.seconds();
            if (std::isfinite(start)) read.leadSeconds = std::clamp(start, 0.0, 0.2);
            break;
        }
        return read;
    }();
    return timing;
}

} // namespace

double Track::mouseClickSoundDuration() {
    return clickSoundTiming().durationSeconds;
}

void Track::notePlayStart(double globalTime) {
    playStartGlobalTime_ = globalTime;
    playStartClockSeconds_ = monotonicSeconds();
}

double Track::playheadTime() const {
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (container && container->document()) {
        if (std::optional<double> time = container->document()->currentTime()) return *time;
    }
    return playStartGlobalTime_ + (monotonicSeconds() - playStartClockSeconds_);
}

bool Track::containerTrackDisabled() const {
    return containerTrack() && containerTrack()->isDisabled();
}

std::optional<MouseClickEntry> Track::firstMouseClickToAudiblizeAfterTime(double time) const {
    if (time > movieEndTime_) return std::nullopt;
    const MetadataSnapshot<MouseClickEntry> clicks = mouseClicks();
    for (const MouseClickEntry& click : clicks->entries()) {
        // Clicks past the trim window are never heard.
        if (click.time > movieEndTime_) break;
        if (click.time >= time && click.time >= movieStartTime_) return click;
    }
    return std::nullopt;
}

void Track::makeTimerForTime(double) {
    if (containerTrackDisabled() || !audiblizesMouseClicks_) return;
    if (mouseClickScheduleTimer_) mouseClickScheduleTimer_->cancel();
    mouseClickScheduleTimer_.reset();
    const double now = currentMovieTime();
    nextMouseClickToAudiblize_.reset();
    const MetadataSnapshot<MouseClickEntry> clicks = mouseClicks();
    if (now > movieEndTime_) return;
    for (std::size_t i = 0; i < clicks->size(); ++i) {
        const MouseClickEntry& click = (*clicks)[i];
        if (click.time > movieEndTime_) break;
        if (click.time >= now && click.time >= movieStartTime_) {
            nextMouseClickToAudiblize_ = click;
            nextMouseClickIndex_ = i;
            break;
        }
    }
    if (!nextMouseClickToAudiblize_) return;
    std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
    mouseClickScheduleTimer_ = DispatchTimer::scheduleOnce(
        std::max(0.0, nextMouseClickToAudiblize_->time - now - clickSoundTiming().leadSeconds), [weakSelf] {
            if (auto self = std::dynamic_pointer_cast<CompositionTrackObject>(weakSelf.lock()))
                self->scheduledMouseClickPlay();
        });
}

void Track::didStartPlay(const Notification& notification) {
    const double* current = notification.value<double>("currentTime");
    if (!current || !std::isfinite(*current)) return;
    notePlayStart(*current);
    CompositionBaseObject::setCurrentMovieTime(*current - startTime());
    if (!mouseClickPlayer_ && audiblizesMouseClicks_)
        mouseClickPlayer_ = std::make_unique<AudioPlayer>(mouseClickSoundPath());
    makeTimerForTime(currentMovieTime());
}

void Track::didStopPlay(const Notification&) {
    if (mouseClickPlayer_) mouseClickPlayer_->stopPlaying();
    if (mouseClickScheduleTimer_) mouseClickScheduleTimer_->cancel();
    mouseClickScheduleTimer_.reset();
}

void Track::setCurrentMovieTime(double time) {
    CompositionBaseObject::setCurrentMovieTime(time);
    makeTimerForTime(time);
}

void Track::scheduledMouseClickPlay() {
    if (!mouseClickScheduleTimer_) return;
    mouseClickScheduleTimer_->cancel();
    mouseClickScheduleTimer_.reset();
    CompositionBaseObject::setCurrentMovieTime(playheadTime() - startTime());
    // The switch may have been turned on during playback, after the player would have been made.
    if (!mouseClickPlayer_) mouseClickPlayer_ = std::make_unique<AudioPlayer>(mouseClickSoundPath());
    mouseClickPlayer_->play();
    const MetadataSnapshot<MouseClickEntry> clicks = mouseClicks();
    const std::size_t next = nextMouseClickIndex_ + 1;
    nextMouseClickToAudiblize_.reset();
    // The list is found by position, so clicks of equal time each get their turn.
    if (next >= clicks->size()) return;
    const MouseClickEntry& click = (*clicks)[next];
    if (click.time > movieEndTime_) return;
    nextMouseClickToAudiblize_ = click;
    nextMouseClickIndex_ = next;
    std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
    mouseClickScheduleTimer_ = DispatchTimer::scheduleOnce(
        std::max(0.0, click.time - currentMovieTime() - clickSoundTiming().leadSeconds), [weakSelf] {
            if (auto self = std::dynamic_pointer_cast<CompositionTrackObject>(weakSelf.lock()))
                self->scheduledMouseClickPlay();
        });
}

std::optional<std::vector<PlistDictionary>> Track::mouseClickAudiblizationDictionariesForExport() const {
    if (!audiblizesMouseClicks_) return std::nullopt;
    std::vector<PlistDictionary> entries;
    const double windowStart = snapStartTime();
    const double windowEnd = snapEndTime();
    const std::string path = mouseClickSoundPath();
    const double duration = mouseClickSoundDuration();
    const MetadataSnapshot<MouseClickEntry> clicks = mouseClicks();
    for (const MouseClickEntry& click : clicks->entries()) {
        const double global = click.time + startTime();
        if (global < windowStart) continue;
        if (global > windowEnd) break;
        PlistDictionary entry;
        entry.set("path", PropertyList(path));
        entry.set("time", PropertyList(global));
        entry.set("duration", PropertyList(duration));
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace vtl
