#include "audio/AudioTrackPlayer.h"

#include "audio/AudioFeeder.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioHardware.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

namespace vtl {

namespace {

constexpr std::int64_t noEnd = std::numeric_limits<std::int64_t>::max();
// Frames the feeder has ready before a start, so the first buffers never run dry.
constexpr std::size_t primeFrames = 8192;
constexpr double primeTimeoutSeconds = 0.25;
constexpr double underrunLogIntervalSeconds = 1.0;

std::int64_t frameAt(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return static_cast<std::int64_t>(std::min(seconds * playbackSampleRate, 9.0e15));
}

float gainForDelta(float delta) {
    return std::max(0.0f, 1.5f * delta + 1.0f);
}

// What the render thread reads of the mute phases and the end, frozen.
struct RenderSnapshot {
    struct Phase {
        std::int64_t startFrame;
        std::int64_t endFrame;
        std::size_t index; // in the list as set
    };
    std::vector<Phase> phases; // by start
    std::int64_t endFrame = noEnd;
};

} // namespace

ChannelMapping channelMappingFromStored(std::uint32_t stored) {
    if (stored == 0) return ChannelMapping::None;
    return stored == 1 ? ChannelMapping::BothLeft : ChannelMapping::BothRight;
}

struct AudioTrackPlayer::RenderState {
    std::atomic<bool> active{false};
    std::atomic<const RenderSnapshot*> snapshot{nullptr};
    std::atomic<float> gain{1};
    std::atomic<int> mapping{0};
    std::atomic<std::int64_t> position{0};
    std::atomic<std::uint64_t> renderCount{0};
    std::atomic<std::uint64_t> underruns{0};
    std::atomic<std::uint64_t> skippedFrames{0};
    std::atomic<std::uint64_t> mutePhaseEntries{0};
    std::atomic<std::size_t> lastEnteredPhase{0};
    // Render thread while active; the main thread while not.
    std::int64_t debt = 0;
    std::int64_t runStartFrame = 0;
    std::uint64_t generation = 0;
    bool fresh = false;
    AudioEffectChain* chain = nullptr;
    AudioFeeder* feeder = nullptr;

    void render(float* const* channels, std::size_t frames) noexcept;
};

struct AudioTrackPlayer::MainThreadLink {
    AudioTrackPlayer* player = nullptr; // main thread only
};

struct AudioTrackPlayer::RetiredSnapshot {
    std::unique_ptr<const RenderSnapshot> snapshot;
    std::uint64_t renderCount;
};

void AudioTrackPlayer::RenderState::render(float* const* channels, std::size_t frames) noexcept {
    float* left = channels[0];
    float* right = channels[1];
    if (!active.load(std::memory_order_acquire)) {
        std::fill_n(left, frames, 0.0f);
        std::fill_n(right, frames, 0.0f);
        return;
    }
    const RenderSnapshot* frozen = snapshot.load(std::memory_order_acquire);
    const std::int64_t start = position.load(std::memory_order_relaxed);
    const auto count = static_cast<std::int64_t>(frames);
    AudioRingBuffer& ring = feeder->ring();

    // Until the feeder has moved to this run's position the ring holds nothing of it.
    const bool ready = feeder->ready(generation);
    if (ready && !fresh) {
        feeder->dropStaleFrames();
        fresh = true;
    }
    // Frames owed from an underrun are skipped, so what is heard stays at its time.
    if (ready && debt > 0) debt -= static_cast<std::int64_t>(ring.discard(static_cast<std::size_t>(debt)));
    const std::size_t got = !ready || debt > 0 ? 0 : ring.read(left, right, frames);
    if (got < frames) {
        std::fill(left + got, left + frames, 0.0f);
        std::fill(right + got, right + frames, 0.0f);
        const std::int64_t end = ready ? feeder->endFrame() : AudioFeeder::unknownEnd;
        const std::int64_t expected = std::clamp<std::int64_t>(end - start, 0, count);
        if (static_cast<std::int64_t>(got) < expected) {
            const std::int64_t missing = expected - static_cast<std::int64_t>(got);
            debt += missing;
            underruns.fetch_add(1, std::memory_order_relaxed);
            skippedFrames.fetch_add(static_cast<std::uint64_t>(missing), std::memory_order_relaxed);
        }
    }

    chain->process(left, right, frames);

    switch (mapping.load(std::memory_order_relaxed)) {
    case 1:
        std::copy_n(left, frames, right);
        break;
    case 2:
        std::copy_n(right, frames, left);
        break;
    default:
        break;
    }
    const float g = gain.load(std::memory_order_relaxed);
    if (g != 1.0f)
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] *= g;
            right[i] *= g;
        }

    if (frozen) {
        auto silence = [&](std::int64_t from, std::int64_t to) {
            from = std::clamp<std::int64_t>(from - start, 0, count);
            to = std::clamp<std::int64_t>(to - start, 0, count);
            if (to <= from) return;
            std::fill(left + from, left + to, 0.0f);
            std::fill(right + from, right + to, 0.0f);
        };
        silence(frozen->endFrame, noEnd);
        for (const auto& phase : frozen->phases) {
            if (phase.startFrame >= start + count) break;
            silence(phase.startFrame, phase.endFrame);
            if (phase.startFrame >= start && phase.startFrame >= runStartFrame &&
                phase.endFrame > phase.startFrame) {
                lastEnteredPhase.store(phase.index, std::memory_order_relaxed);
                mutePhaseEntries.fetch_add(1, std::memory_order_release);
            }
        }
    }
    position.store(start + count, std::memory_order_relaxed);
    renderCount.fetch_add(1, std::memory_order_seq_cst);
}

AudioTrackPlayer::AudioTrackPlayer(std::unique_ptr<PcmSource> source,
                                   bool underlyingMediaSupportsPreciseTiming,
                                   std::shared_ptr<AudioHardware> hardware)
    : hardware_(hardware ? std::move(hardware) : AudioHardware::shared())
    , render_(std::make_unique<RenderState>())
    , feeder_(std::make_unique<AudioFeeder>(std::move(source), ringFrames))
    , link_(std::make_shared<MainThreadLink>())
    , preciseTiming_(underlyingMediaSupportsPreciseTiming) {
    link_->player = this;
    render_->feeder = feeder_.get();
    render_->chain = &chain_;
    durationSeconds_ = static_cast<double>(feeder_->sourceDurationFrames()) / playbackSampleRate;
    publishSnapshot();
    rebuildAudioGraph();

    // The feeder thread looks at what the render thread left and hands it to the main thread.
    auto forwarded = std::make_shared<std::uint64_t>(0);
    auto loggedUnderruns = std::make_shared<std::uint64_t>(0);
    auto lastLog = std::make_shared<std::chrono::steady_clock::time_point>();
    RenderState* state = render_.get();
    std::weak_ptr<MainThreadLink> link = link_;
    feeder_->setPollHook([state, link, forwarded, loggedUnderruns, lastLog] {
        const std::uint64_t entries = state->mutePhaseEntries.load(std::memory_order_acquire);
        if (entries != *forwarded) {
            *forwarded = entries;
            DispatchQueue::mainQueue()->async([link] {
                if (auto l = link.lock(); l && l->player) l->player->handleRenderEvents();
            });
        }
        const std::uint64_t underruns = state->underruns.load(std::memory_order_relaxed);
        const auto now = std::chrono::steady_clock::now();
        if (underruns != *loggedUnderruns &&
            now - *lastLog >= std::chrono::duration<double>(underrunLogIntervalSeconds)) {
            logMessage("Track playback ran dry " + std::to_string(underruns - *loggedUnderruns) +
                       " time(s); frames were skipped to stay in time (" +
                       std::to_string(state->skippedFrames.load()) + " so far).");
            *loggedUnderruns = underruns;
            *lastLog = now;
        }
    });
}

AudioTrackPlayer::~AudioTrackPlayer() {
    link_->player = nullptr;
    unregisterPropertyListenerCallback();
    stopOutput();
    output_.reset();
    feeder_.reset();
    delete render_->snapshot.exchange(nullptr);
}

bool AudioTrackPlayer::ensureOutput() {
    if (output_) return true;
    RenderState* state = render_.get();
    auto opened = hardware_->openOutputStream(
        0, [state](float* const* channels, std::size_t frames) { state->render(channels, frames); });
    if (!opened) {
        logOnce("audio.track.output", "A track cannot play: " + opened.error());
        return false;
    }
    output_ = std::move(*opened);
    return true;
}

void AudioTrackPlayer::stopOutput() {
    if (!running_) return;
    // Once the stream has stopped no render runs, so the render state belongs to this thread.
    if (output_) output_->stop();
    render_->active.store(false, std::memory_order_release);
    positionFrame_ = render_->position.load();
    feeder_->pause();
    running_ = false;
    freeRetiredSnapshots(true);
    handleRenderEvents();
}

void AudioTrackPlayer::startAt(std::int64_t frame) {
    if (running_) return;
    positionFrame_ = std::max<std::int64_t>(frame, 0);
    if (!ensureOutput()) return;
    render_->generation = feeder_->seek(positionFrame_);
    render_->fresh = false;
    chain_.requestReset();
    render_->position.store(positionFrame_);
    render_->debt = 0;
    render_->runStartFrame = positionFrame_;
    feeder_->waitForFrames(primeFrames, primeTimeoutSeconds);
    render_->active.store(true, std::memory_order_release);
    if (auto status = output_->start(); !status) {
        render_->active.store(false);
        feeder_->pause();
        logMessage("A track cannot play: " + status.error());
        // A stream whose server went away is made anew next time.
        output_.reset();
        return;
    }
    running_ = true;
}

template <class F> void AudioTrackPlayer::whileStopped(F&& change) {
    const bool wasRunning = running_;
    stopOutput();
    change();
    if (wasRunning) startAt(positionFrame_);
}

void AudioTrackPlayer::doStartMoviePreview(std::optional<double> timeSeconds) {
    if (running_) return;
    startAt(timeSeconds ? frameAt(*timeSeconds) : positionFrame_);
}

void AudioTrackPlayer::doStopMoviePreview() {
    stopOutput();
}

void AudioTrackPlayer::setTime(double seconds) {
    whileStopped([&] { positionFrame_ = frameAt(seconds); });
}

double AudioTrackPlayer::currentTime() const {
    const std::int64_t frame = running_ ? render_->position.load() : positionFrame_;
    return static_cast<double>(frame) / playbackSampleRate;
}

void AudioTrackPlayer::setTrackInternalEndTime(double seconds) {
    internalEndTime_ = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
    publishSnapshot();
}

void AudioTrackPlayer::setMutePhases(std::vector<MutePhase> phases) {
    mutePhases_ = std::move(phases);
    publishSnapshot();
}

void AudioTrackPlayer::setVolumeDelta(float delta) {
    volumeDelta_ = std::isfinite(delta) ? delta : 0.0f;
    render_->gain.store(volumeDelta_ == 0 ? 1.0f : gainForDelta(volumeDelta_), std::memory_order_relaxed);
}

void AudioTrackPlayer::setChannelMapping(std::uint32_t storedMapping) {
    channelMapping_ = channelMappingFromStored(storedMapping);
    render_->mapping.store(static_cast<int>(channelMapping_), std::memory_order_relaxed);
}

void AudioTrackPlayer::publishSnapshot() {
    auto snapshot = std::make_unique<RenderSnapshot>();
    snapshot->endFrame = internalEndTime_ > 0 ? frameAt(internalEndTime_) : noEnd;
    for (std::size_t i = 0; i < mutePhases_.size(); ++i) {
        const MutePhase& p = mutePhases_[i];
        if (!std::isfinite(p.startTime) || !std::isfinite(p.endTime) || p.endTime <= p.startTime) continue;
        snapshot->phases.push_back({frameAt(p.startTime), frameAt(p.endTime), i});
    }
    std::stable_sort(snapshot->phases.begin(), snapshot->phases.end(),
                     [](const auto& a, const auto& b) { return a.startFrame < b.startFrame; });
    const RenderSnapshot* old = render_->snapshot.exchange(snapshot.release(), std::memory_order_acq_rel);
    if (old)
        retired_.push_back({std::unique_ptr<const RenderSnapshot>(old),
                            render_->renderCount.load(std::memory_order_seq_cst)});
    freeRetiredSnapshots(!running_);
}

void AudioTrackPlayer::freeRetiredSnapshots(bool renderStopped) {
    // A render that may still hold a retired snapshot has ended once the count moved past it.
    const std::uint64_t count = render_->renderCount.load(std::memory_order_seq_cst);
    std::erase_if(retired_, [&](const RetiredSnapshot& r) { return renderStopped || count > r.renderCount; });
}

void AudioTrackPlayer::handleRenderEvents() {
    freeRetiredSnapshots(!running_);
    const std::uint64_t entries = render_->mutePhaseEntries.load(std::memory_order_acquire);
    if (entries == mutePhaseEntriesHandled_) return;
    mutePhaseEntriesHandled_ = entries;
    const std::size_t index = render_->lastEnteredPhase.load(std::memory_order_relaxed);
    if (delegate_ && index < mutePhases_.size()) delegate_->mutePhaseEntered(*this, mutePhases_[index]);
}

// --- Chain

bool AudioTrackPlayer::rebuildAudioGraph() {
    whileStopped([&] {
        const bool wasListening = listening_;
        unregisterPropertyListenerCallback();
        chain_ = AudioEffectChain(effectDictionaries_);
        chain_.prepare(playbackSampleRate, maximumFramesPerRender);
        if (wasListening || !chain_.empty()) registerPropertyListenerCallback();
    });
    return true;
}

void AudioTrackPlayer::setEffectDictionaries(std::vector<PropertyList> effectDictionaries) {
    if (effectDictionaries == effectDictionaries_) return;
    const UnitConfigurations configurations = unitConfigurations();
    effectDictionaries_ = std::move(effectDictionaries);
    whileStopped([&] {
        rebuildAudioGraph();
        chain_.restoreConfigurations(configurations);
        currentUnitConfigurations_ = unitConfigurations();
    });
}

void AudioTrackPlayer::configureUnitsFromDictionary(const UnitConfigurations& configurations) {
    whileStopped([&] {
        rebuildAudioGraph();
        chain_.restoreConfigurations(configurations);
        currentUnitConfigurations_ = unitConfigurations();
    });
}

std::optional<std::vector<AudioUnitPreset>> AudioTrackPlayer::presetsOfUnitAtIndex(std::size_t index) const {
    const AudioEffectUnit* unit = chain_.unit(index);
    if (!unit) return std::nullopt;
    auto presets = unit->factoryPresets();
    if (presets.empty()) return std::nullopt;
    return presets;
}

int AudioTrackPlayer::indexOfCurrentlySelectedPresetForUnitAtIndex(std::size_t index) const {
    const AudioEffectUnit* unit = chain_.unit(index);
    if (!unit || !unit->presentPreset()) return -1;
    const auto presets = unit->factoryPresets();
    for (std::size_t i = 0; i < presets.size(); ++i)
        if (presets[i].presetNumber == unit->presentPreset()->presetNumber) return static_cast<int>(i);
    return -1;
}

void AudioTrackPlayer::setPreset(std::int32_t presetNumber, std::size_t unitIndex) {
    AudioEffectUnit* unit = chain_.unit(unitIndex);
    if (!unit || !unit->selectFactoryPreset(presetNumber))
        logMessage("error setting preset, " + std::to_string(presetNumber));
    currentUnitConfigurations_ = unitConfigurations();
}

std::optional<PlistBytes> AudioTrackPlayer::presetDataForUnitAtIndex(std::size_t index) const {
    const AudioEffectUnit* unit = chain_.unit(index);
    if (!unit || !unit->presentPreset()) return std::nullopt;
    return unitconfig::encodePresetData(unit->presentPreset()->presetNumber);
}

void AudioTrackPlayer::setPresetData(const PlistBytes& presetData, std::size_t unitIndex) {
    AudioEffectUnit* unit = chain_.unit(unitIndex);
    if (!unit || presetData.empty()) return;
    if (auto number = unitconfig::presetNumber(presetData); number && *number >= 0)
        unit->selectFactoryPreset(*number);
    currentUnitConfigurations_ = unitConfigurations();
}

// --- Parameter listening

void AudioTrackPlayer::registerPropertyListenerCallback() {
    std::weak_ptr<MainThreadLink> link = link_;
    for (std::size_t i = 0; i < chain_.size(); ++i) {
        AudioEffectUnit* unit = chain_.unit(i);
        if (!unit) continue;
        unit->setParameterListener([this, link](std::uint32_t, float) {
            // Coalesced: one undo step however many parameters moved before the main queue ran.
            auto post = [link] {
                DispatchQueue::mainQueue()->async([link] {
                    if (auto l = link.lock(); l && l->player) l->player->configurationChanged();
                });
            };
            if (!isMainThread()) {
                post();
                return;
            }
            if (configurationChangePending_) return;
            configurationChangePending_ = true;
            post();
        });
    }
    listening_ = true;
    currentUnitConfigurations_ = unitConfigurations();
}

void AudioTrackPlayer::unregisterPropertyListenerCallback() {
    for (std::size_t i = 0; i < chain_.size(); ++i)
        if (AudioEffectUnit* unit = chain_.unit(i)) unit->setParameterListener(nullptr);
    listening_ = false;
    currentUnitConfigurations_.clear();
}

void AudioTrackPlayer::configurationChanged() {
    configurationChangePending_ = false;
    if (!listening_) return;
    const UnitConfigurations now = unitConfigurations();
    if (now == currentUnitConfigurations_) return;
    const UnitConfigurations previous = std::exchange(currentUnitConfigurations_, now);
    if (delegate_) delegate_->registerForUndoWithPreviousConfiguration(previous);
}

// --- Diagnostics

std::uint64_t AudioTrackPlayer::underrunCount() const {
    return render_->underruns.load();
}
std::uint64_t AudioTrackPlayer::skippedFrames() const {
    return render_->skippedFrames.load();
}

bool AudioTrackPlayer::waitForFeeder(std::size_t frames, double timeoutSeconds) {
    return feeder_->waitForFrames(frames, timeoutSeconds);
}

} // namespace vtl
