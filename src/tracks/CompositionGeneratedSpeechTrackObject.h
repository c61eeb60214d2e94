#pragma once
// A timeline object that speaks a text per content language with the speech synthesizer: one
// GeneratedSpeech per English language name, each synthesized into a file of the document's
// speech folder. Its length follows the longest synthesized text; during playback the text of the
// composition's current language plays through a track player; export takes the files as audio
// and the texts as subtitles (by role). Held by std::shared_ptr like every timeline object (the
// container owns it); it owns its texts (shared with undo steps) and its player.
// Main thread only.

#include "audio/AudioTrackPlayerDelegate.h"
#include "model/AudioCapability.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class AudioTrackPlayer;
class DispatchTimer;
class GeneratedSpeech;
class MediaAsset;
struct MediaTrack;

// Object: the container; user info kCompositionObjectKey → the object.
inline constexpr const char* kSpeechObjectChangedNotification = "VistrelSpeechObjectChanged";
inline constexpr const char* kObjectLanguageChangedNotification = "VistrelObjectLanguageChangedNotification";

// Whether the object's texts are spoken, shown as subtitles, or both; archives store the number.
enum class SpeechRole : int32_t {
    Spoken = 0,
    SubtitleOnly = 1,
    SpokenAndSubtitle = 2,
};

class CompositionGeneratedSpeechTrackObject
    : public ModelKeyCoding<CompositionGeneratedSpeechTrackObject, CompositionRectangularObject>,
      public AudioCapability,
      public AudioTrackPlayerDelegate {
public:
    // The language code of the object itself: its languages are those of its texts.
    static constexpr int32_t kOwnLanguageCode = -2;
    // Shown while start and end are equal (no text synthesized yet).
    static constexpr double kDurationWithoutTextSeconds = 4.0;
    static constexpr double kMinimumDurationSeconds = 1.0;

    explicit CompositionGeneratedSpeechTrackObject(CompositionObjectsContainer* container);
    CompositionGeneratedSpeechTrackObject(CompositionObjectsContainer* container,
                                          std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionGeneratedSpeechTrackObject() override;

    void didConstruct() override;
    std::string className() const override { return "CompositionGeneratedSpeechTrackObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());
    void setObjectsContainer(CompositionObjectsContainer* container) override;
    // Every text gets the container's document; observation and the player start again.
    void propagateDocument() override;

    // --- Texts by English language name
    const std::map<std::string, std::shared_ptr<GeneratedSpeech>>& speechTexts() const {
        return speechTexts_;
    }
    void addTextForLanguage(const std::string& languageName);
    void addSpeechObject(const std::shared_ptr<GeneratedSpeech>& speech);
    void removeTextForLanguage(const std::string& languageName);
    bool hasTextForLanguage(const std::string& languageName) const;
    bool hasValidTextForLanguage(const std::string& languageName) const;
    bool hasTextForLanguageScript(int32_t languageScript) const;
    std::vector<std::shared_ptr<VistrelLanguage>> languages() const;
    std::vector<std::shared_ptr<VistrelLanguage>> contentLanguages() const override { return languages(); }
    std::string stringForLanguage(const std::string& languageName) const;
    double durationForLanguage(const std::string& languageName) const;
    std::string voiceForLanguage(const std::string& languageName) const;
    // Nothing when the text is the same; otherwise whether the new synthesis started.
    bool setStringForLanguage(const std::string& text, const std::string& languageName);
    bool setVoiceForLanguage(const std::string& voice, const std::string& languageName);
    // The first voice whose locale begins with the language's two letters; none when none does.
    static std::optional<std::string> defaultVoiceForLanguage(const std::string& languageName);

    // --- Files
    // Writes the files missing from the package's "GeneratedSpeech" folder, and waits for them.
    Status saveSpeechFilesTo(const std::string& packagePath);
    void regenerateAllSpeechFiles();
    void regenerateSpeechFileForLanguage(const std::string& languageName);
    std::vector<std::string> allGeneratedSpeechFilesPaths() const;
    std::vector<std::string> allGeneratedSpeechFilesFileNames() const;
    void stopGeneratingSpeech();
    bool isGeneratingSpeech() const;

    // --- Export
    double durationOfLanguageScript(int32_t languageScript) const;
    // The first track of the language's file; none when it has no readable file.
    std::optional<MediaTrack> assetTrackForLanguageScript(int32_t languageScript) const;

    // --- Durations, language, role
    void reevaluateDurations(const Notification* notification);
    void languageChanged(const Notification* notification);
    void redoCachedLanguageName();
    // The localized names of the texts' languages, sorted, joined with ", "; none without texts.
    const std::optional<std::string>& cachedLanguageName() const { return cachedLanguageName_; }
    int32_t speechRole() const { return speechRole_; }
    void setSpeechRole(int32_t role);
    SpeechRole role() const;

    // --- Playback
    void didStartPlay(const Notification& notification);
    void didStopPlay(const Notification& notification);
    void scheduledPlay();
    void setCurrentMovieTime(double time) override;
    AudioTrackPlayer* player() const { return player_.get(); }
    bool playerShouldPlay() const { return playerShouldPlay_; }
    bool hasScheduledPlay() const;

    // --- What the kind answers
    double snapEndTime() const override;
    void invalidate() override;
    std::vector<std::string> undoKeyPaths() const override;
    void updateAfterUndo() override;
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;
    void setPropertyNames(const std::vector<std::string>& names) override;
    bool alsoWantsEndSetWhenMovingInTime() const override { return true; }
    bool needsToDrawAtTime(double) const override { return false; }
    bool drawsInPreviewView() const override { return false; }
    bool acceptsAnimationGroups() const override { return false; }
    bool canEnableAnimations() const override { return false; }
    bool allowsTimeCropping() const override { return false; }
    bool transitionsToOtherObjects() const override { return false; }
    bool canCreateStateAtTime(double) const override { return false; }
    bool canAddEffectAtTime(const EffectEntry&, double) const override { return false; }
    bool allowsAddingTriggeredStates() const override { return false; }
    void toggleAnimationEnabled() override {}
    void revertAtTime(double) override {}
    void addAnimationGroupFromDictionary(const PlistDictionary&) override {}
    void addAnimationGroupFromDictionary(const PlistDictionary&, double) override {}

    static const ModelKeyTable<CompositionGeneratedSpeechTrackObject>& keyValueTable();

protected:
    AudioCapability* audioCapability() override { return this; }
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    void observeNotifications();
    void releasePlayer();
    void cancelScheduledPlay();
    void schedulePlay(double delaySeconds);
    void startPlayerAt(double mediaTime);
    void postLanguageChanged();
    bool trackEnabled() const;
    std::shared_ptr<GeneratedSpeech> speechForLanguage(const std::string& languageName) const;
    std::shared_ptr<GeneratedSpeech> speechForLanguageScript(int32_t languageScript) const;
    void registerUndo(std::function<void()> action);

    // Sorted by name, so archives come out the same every time.
    std::map<std::string, std::shared_ptr<GeneratedSpeech>> speechTexts_;
    std::unique_ptr<AudioTrackPlayer> player_;
    std::shared_ptr<const MediaAsset> assetMovie_;
    std::shared_ptr<DispatchTimer> scheduleTimer_;
    // When playback last (re)started, to tell the playhead when a scheduled start fires.
    double playStartCurrentTime_ = 0;
    double playStartClockSeconds_ = 0;
    bool playerShouldPlay_ = false;
    int32_t speechRole_ = 0;
    std::optional<std::string> cachedLanguageName_;
    std::vector<ScopedNotificationObserver> observers_;
};

} // namespace vtl
