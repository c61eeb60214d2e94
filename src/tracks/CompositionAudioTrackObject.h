#pragma once
// The audio track of an imported movie or sound file, of a recording's system audio or of a
// voice-over: owns the AudioTrackPlayer that plays it through the user's chain of effects,
// starts and stops that player with the composition's playback (at once, or by a main-queue timer
// when its start lies ahead), keeps each unit's settings, the mute phases, a volume change and a
// channel mapping, and carries the track's waveform, extracted once in the background and
// archived with the object. Held by std::shared_ptr like every timeline object.
//
// Threads: everything on the main thread, except the waveform run, which decodes on a thread of
// its own that shares ownership of the track (and its container) and hands its end to the main
// queue without waiting for it; the main thread releases both there.

#include "audio/AudioTrackPlayerDelegate.h"
#include "audio/UnitConfigurations.h"
#include "model/AudioCapability.h"
#include "tracks/CompositionQTTrack.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vtl {

class AudioTrackPlayer;
class DispatchTimer;
class GraphicsContext;
struct AudioUnitPreset;

class CompositionAudioTrackObject : public ModelKeyCoding<CompositionAudioTrackObject, CompositionQTTrack>,
                                    public AudioCapability,
                                    public AudioTrackPlayerDelegate {
public:
    // Within this of the media's end the player plays to the media's end.
    static constexpr double kInternalEndTolerance = 0.1;
    // Playback that starts this close to the track's end starts nothing.
    static constexpr double kEndMargin = 0.05;
    static const std::vector<std::string>& defaultPropertyNames();

    explicit CompositionAudioTrackObject(CompositionObjectsContainer* container);
    CompositionAudioTrackObject(CompositionObjectsContainer* container,
                                std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionAudioTrackObject() override;
    void didConstruct() override;

    std::string className() const override { return "CompositionAudioTrackObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());
    static const ModelKeyTable<CompositionAudioTrackObject>& keyValueTable();

    // --- Fixed answers of a sound on the timeline
    bool allowsSettingVistrelLanguage() const override { return true; }
    bool allowsAddingTriggeredStates() const override { return true; }
    bool canEnableAnimations() const override { return false; }
    bool drawsInPreviewView() const override { return false; }
    bool acceptsAnimationGroups() const override { return false; }
    bool needsToDrawAtTime(double) const override { return false; }
    bool transitionsToOtherObjects() const override { return false; }
    bool isVideoTrack() const override { return false; }
    void setAnimationEnabled(bool) override {}
    void toggleAnimationEnabled() override {}
    void revertAtTime(double) override {}
    void addAnimationGroupFromDictionary(const PlistDictionary&) override {}
    void addAnimationGroupFromDictionary(const PlistDictionary&, double) override {}
    void setDefaultValuesForEffectInState(const EffectEntry&, CompositionBaseState&) override {}
    std::shared_ptr<CompositionBaseTriggeredState> newTriggeredState(double start, double end) const override;

    // --- Player
    // Null until a track is selected (and whenever the movie has no asset).
    AudioTrackPlayer* player() const { return player_.get(); }
    // The base selection, then a new player on that track with the settings handed to it.
    void setTrackIndex(std::uint32_t index) override;
    bool loadResources() override;
    void setObjectsContainer(CompositionObjectsContainer* container) override;
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;
    // Pushes the effect chain and mute phases to the player (unless a trim change asked to skip once).
    void invalidate() override;

    // --- Playback (global times)
    void setCurrentMovieTime(double time) override;
    void scheduledPlay();
    void verifyPlayerInternalEndTime();
    void stopMoviePreview();
    bool playerShouldPlay() const { return playerShouldPlay_; }
    bool hasScheduledPlay() const;

    // --- Settings
    bool muted() const { return muted_; }
    // During playback: stops it, sets, and starts it again, so the player hears the change.
    void setMuted(bool muted);
    float volumeDelta() const { return volumeDelta_; }
    void setVolumeDelta(float delta);
    std::uint32_t channelMapping() const { return channelMapping_; }
    void setChannelMapping(std::uint32_t mapping);
    std::uint32_t numberOfChannels() const { return numberOfChannels_; }
    void setMovieStartTime(double time) override;
    void setMovieEndTime(double time) override;
    // Both, then the player's internal times.
    void setMovieStartTimeMovieEndTimeForPlayer(double start, double end);

    // --- Effects (audio-effect dictionaries in the none-animation state)
    bool canAddEffectAtTime(const EffectEntry& entry, double compositionTime) const override;
    struct EffectPlacement {
        bool accepted = false;
        std::shared_ptr<CompositionBaseState> state;
        double fromTime = 0;
        double toTime = 0;
    };
    // Where an effect added at `compositionTime` would go: the state and the global span it covers.
    EffectPlacement canAddEffectAtTime(const EffectEntry& entry, double compositionTime,
                                       double tolerance) const;
    void addEffectAtTime(const EffectEntry& entry, double compositionTime) override;
    void addEffectAtPreciseTime(const EffectEntry& entry, double objectTime, double tolerance) override;
    void removeEffect(const std::string& group) override;
    void removeEffectAtIndex(std::size_t index);
    void moveEffect(const std::string& group, std::size_t index);
    // Replaces the chain without interrupting playback.
    void setEffects(const std::vector<EffectEntry>& effects);
    void recacheNamesOfAllUsedEffects() override;
    std::vector<std::string> uncachedNamesOfAllUsedEffects() const;

    // Nothing until the first configuration is taken from or given to the player.
    const std::optional<UnitConfigurations>& effectSettings() const { return effectSettings_; }
    void setEffectSettings(const std::optional<UnitConfigurations>& settings);
    void registerForUndoWithPreviousConfiguration(const UnitConfigurations& previous) override;
    void setPresetForUnitAtIndex(std::int32_t presetNumber, std::size_t unitIndex);
    std::optional<std::vector<AudioUnitPreset>> presetsOfUnitAtIndex(std::size_t index) const;
    int indexOfCurrentlySelectedPresetForUnitAtIndex(std::size_t index) const;
    bool unitWithIndexHasPresets(std::size_t index) const;

    // --- Waveform (main thread)
    bool waveformExtractionDone() const override { return waveformExtractionDone_; }
    // Starts the background run unless another track is extracting.
    void extractWaveFormAndNotify() override;
    void setAudioScale(float scale) override;
    std::uint32_t numberSamples() const {
        return static_cast<std::uint32_t>(originalWaveformExtents_.size());
    }
    std::span<const float> originalWaveformExtents() const { return originalWaveformExtents_; }
    std::span<const float> waveformExtents() const { return waveformExtents_; }
    float maxWaveExtent() const { return maxWaveExtent_; }
    float minWaveExtent() const { return minWaveExtent_; }
    // The raw peaks; the heights follow at the default scale.
    void setSamples(std::vector<float> peaks);
    void rescaleSamplesWithScale(float scale);
    void setNumberSamples(std::vector<float> extents, std::vector<float> originalExtents, float maxExtent,
                          float minExtent, bool extractionDone);
    void setWaveFormInOtherTrack(CompositionAudioTrackObject& other) const;
    // Fills the band for a span of the timeline; false when there is nothing to draw.
    bool drawPoints(GraphicsContext& context, Size size, double fromSecond, double durationSeconds,
                    double pixelsPerSecond, Point origin) const;
    // Stops a running extraction at its next step and returns once it has let go.
    void cancelTrackExtraction() override;

protected:
    AudioCapability* audioCapability() override { return this; }
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;
    void didStartPlay(const Notification& notification) override;
    void didStopPlay(const Notification& notification) override;

private:
    struct WaveformRun;
    static void doExtract(WaveformRun& run) VTL_NO_THREAD_SAFETY_ANALYSIS;
    static void finishExtraction(const std::shared_ptr<WaveformRun>& run);
    void observeContainer();
    void stopObservingContainer();
    void otherTrackGeneratedWaveform(const Notification& notification);
    void pushTrimToPlayer();
    void pushStateToPlayer();
    void pushEffectsToPlayer();
    std::vector<MutePhase> mutePhases() const;
    std::vector<PropertyList> effectDictionaries() const;
    bool isPlaying() const;
    void stopPlayIfPlaying(bool& wasPlaying);
    void restartPlayIf(bool wasPlaying);
    void cancelScheduleTimer();
    void schedulePlayAfter(double seconds);
    void startPlayerAt(double mediaOffset);

    std::unique_ptr<AudioTrackPlayer> player_;
    std::optional<UnitConfigurations> effectSettings_;
    bool muted_ = false;
    float volumeDelta_ = 0;
    std::uint32_t channelMapping_ = 0;
    std::uint32_t numberOfChannels_ = 0;
    bool playerShouldPlay_ = false;
    bool ignoreInvalidateOnce_ = false;
    bool recachingNames_ = false;
    std::shared_ptr<DispatchTimer> scheduleTimer_;
    std::vector<NotificationCenter::Token> containerTokens_;

    std::vector<float> waveformExtents_;
    std::vector<float> originalWaveformExtents_;
    float maxWaveExtent_ = 0;
    float minWaveExtent_ = 0;
    bool waveformExtractionDone_ = false;
    std::shared_ptr<WaveformRun> waveformRun_;
};

} // namespace vtl
