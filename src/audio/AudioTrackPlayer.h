#pragma once
// Plays one audio or speech track: a feeder thread reads the track's samples into a lock-free
// ring, and the output stream's render callback takes them from there, runs the track's chain of
// effect units, then maps channels, applies the volume change and silences past the end time and
// inside mute phases — sample-exactly, in media time. Owned by its track object; every method
// belongs to the main thread.
//
// The render callback never locks, allocates, decodes or waits: mute phases and the end time
// reach it as an immutable snapshot through an atomic pointer (old snapshots are freed later on
// the main thread), volume and mapping as atomics, and what it has to tell (a mute phase entered,
// an underrun) goes out through counters that the feeder thread forwards to the main queue. A
// chain is never replaced under a running render: a new one while playing stops, rebuilds and
// resumes at the same position.

#include "audio/AudioEffectChain.h"
#include "audio/AudioTrackPlayerDelegate.h"
#include "audio/MutePhase.h"
#include "audio/PcmSource.h"
#include "audio/UnitConfigurations.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vtl {

class AudioFeeder;
class AudioHardware;
class AudioOutputStream;

// Stored as 0 (none), 1 (both channels carry the left input) and anything else (the right).
enum class ChannelMapping { None, BothLeft, BothRight };
ChannelMapping channelMappingFromStored(std::uint32_t stored);

class AudioTrackPlayer {
public:
    // At least half a second at 44.1 kHz.
    static constexpr std::size_t ringFrames = 32768;

    // The source delivers the track's samples at 44.1 kHz; null hardware means the shared one.
    AudioTrackPlayer(std::unique_ptr<PcmSource> source, bool underlyingMediaSupportsPreciseTiming,
                     std::shared_ptr<AudioHardware> hardware = nullptr);
    ~AudioTrackPlayer();
    AudioTrackPlayer(const AudioTrackPlayer&) = delete;
    AudioTrackPlayer& operator=(const AudioTrackPlayer&) = delete;

    // --- Chain
    // An equal list changes nothing; another rebuilds the chain and carries the units'
    // configurations over by subtype.
    void setEffectDictionaries(std::vector<PropertyList> effectDictionaries);
    const std::vector<PropertyList>& effectDictionaries() const { return effectDictionaries_; }
    bool rebuildAudioGraph();
    std::size_t unitCount() const { return chain_.size(); }
    // Null for an index out of range or an effect that is not available.
    AudioEffectUnit* unitAtIndex(std::size_t index) const { return chain_.unit(index); }

    // --- Transport
    // Starts at the media time given, or at the current position; nothing when already running.
    void doStartMoviePreview(std::optional<double> timeSeconds = std::nullopt);
    void doStopMoviePreview();
    // Moves the play position; a running player goes on from there.
    void setTime(double seconds);
    void setStartTime(double seconds) { setTime(seconds); }
    // The media time of the next frame to be rendered.
    double currentTime() const;
    bool playerRunning() const { return running_; }

    void setDuration(double seconds) { durationSeconds_ = seconds; }
    double duration() const { return durationSeconds_; }
    void setDelegate(AudioTrackPlayerDelegate* delegate) { delegate_ = delegate; }
    void setTrackInternalStartTime(double seconds) { internalStartTime_ = seconds; }
    double trackInternalStartTime() const { return internalStartTime_; }
    // 0: no end before the media's end.
    void setTrackInternalEndTime(double seconds);
    double trackInternalEndTime() const { return internalEndTime_; }
    void setMutePhases(std::vector<MutePhase> phases);
    const std::vector<MutePhase>& mutePhases() const { return mutePhases_; }
    // Gain 1.5 × delta + 1, never below 0; 0 leaves the samples alone.
    void setVolumeDelta(float delta);
    float volumeDelta() const { return volumeDelta_; }
    void setChannelMapping(std::uint32_t storedMapping);
    ChannelMapping channelMapping() const { return channelMapping_; }
    bool underlyingMediaSupportsPreciseTiming() const { return preciseTiming_; }

    // --- Presets and configurations of the unit at an index
    std::optional<std::vector<AudioUnitPreset>> presetsOfUnitAtIndex(std::size_t index) const;
    int indexOfCurrentlySelectedPresetForUnitAtIndex(std::size_t index) const;
    void setPreset(std::int32_t presetNumber, std::size_t unitIndex);
    std::optional<PlistBytes> presetDataForUnitAtIndex(std::size_t index) const;
    void setPresetData(const PlistBytes& presetData, std::size_t unitIndex);
    UnitConfigurations unitConfigurations() const { return chain_.saveConfigurations(); }
    void configureUnitsFromDictionary(const UnitConfigurations& configurations);

    // --- Parameter listening (undo of unit edits)
    void registerPropertyListenerCallback();
    void unregisterPropertyListenerCallback();
    // Main thread, posted after a parameter changed: hands the configuration from before the
    // change to the delegate, then takes a new snapshot.
    void configurationChanged();

    // --- Diagnostics
    // Times the ring ran dry, and the frames skipped to stay in time.
    std::uint64_t underrunCount() const;
    std::uint64_t skippedFrames() const;
    std::uint64_t mutePhaseEntryCount() const { return mutePhaseEntriesHandled_; }
    // Waits until the feeder holds `frames` frames ahead (or met the end).
    bool waitForFeeder(std::size_t frames, double timeoutSeconds);

    struct RenderState;
    struct MainThreadLink;

private:
    bool ensureOutput();
    void stopOutput();
    void startAt(std::int64_t frame);
    void publishSnapshot();
    void freeRetiredSnapshots(bool renderStopped);
    void handleRenderEvents();
    template <class F> void whileStopped(F&& change);

    std::shared_ptr<AudioHardware> hardware_;
    std::vector<PropertyList> effectDictionaries_;
    AudioEffectChain chain_;
    std::unique_ptr<RenderState> render_;
    std::unique_ptr<AudioFeeder> feeder_;
    std::unique_ptr<AudioOutputStream> output_;
    std::shared_ptr<MainThreadLink> link_;
    struct RetiredSnapshot;
    std::vector<RetiredSnapshot> retired_;

    AudioTrackPlayerDelegate* delegate_ = nullptr;
    bool preciseTiming_ = false;
    bool running_ = false;
    bool listening_ = false;
    bool configurationChangePending_ = false;
    std::int64_t positionFrame_ = 0;
    double durationSeconds_ = 0;
    double internalStartTime_ = 0;
    double internalEndTime_ = 0;
    std::vector<MutePhase> mutePhases_;
    float volumeDelta_ = 0;
    ChannelMapping channelMapping_ = ChannelMapping::None;
    UnitConfigurations currentUnitConfigurations_;
    std::uint64_t mutePhaseEntriesHandled_ = 0;
};

} // namespace vtl
