// CompositionGeneratedSpeechTrackObject: texts per language, files, durations, archive and copies.
// Playback lives in CompositionGeneratedSpeechTrackObjectPlayback.cpp.

#include "tracks/CompositionGeneratedSpeechTrackObject.h"

#include "audio/AudioTrackPlayer.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "model/SharedMediaManager.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/media/MediaAsset.h"
#include "platform/speech/SpeechSynthesizer.h"
#include "tracks/GeneratedSpeech.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace vtl {

namespace {

using Object = CompositionGeneratedSpeechTrackObject;

constexpr const char* rolePane = "SpeechObjectRole.nib";
constexpr const char* newTextPane = "NewSpeechText.nib";
constexpr const char* dependentPane = "DependentObjectPropertiesView.nib";

std::string speechPaneName(const std::string& languageName) {
    return "Speech_" + languageName;
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

const ModelKeyTable<CompositionGeneratedSpeechTrackObject>& Object::keyValueTable() {
    static const auto table =
        ModelKeyTable<Object>().undoable("speechRole", &Object::speechRole, &Object::setSpeechRole);
    return table;
}

Object::CompositionGeneratedSpeechTrackObject(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {}

Object::CompositionGeneratedSpeechTrackObject(CompositionObjectsContainer* container,
                                              std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState)) {}

Object::~CompositionGeneratedSpeechTrackObject() {
    observers_.clear();
    cancelScheduledPlay();
    releasePlayer();
    for (const auto& [name, speech] : speechTexts_)
        speech->stopGeneratingSpeech();
}

void Object::didConstruct() {
    const bool isNew = noneAnimationState() == nullptr;
    CompositionRectangularObject::didConstruct();
    const bool wasDisabled = undoDisabled();
    CompositionUndoObject::setUndoDisabled(true);
    setVistrelLanguage(std::make_shared<VistrelLanguage>(kOwnLanguageCode));
    if (isNew) {
        setName(localizedString("New Generated Speech"));
        setPropertyNames({rolePane, newTextPane});
    }
    CompositionUndoObject::setUndoDisabled(wasDisabled);
    observeNotifications();
}

void Object::setObjectsContainer(CompositionObjectsContainer* container) {
    observers_.clear();
    CompositionRectangularObject::setObjectsContainer(container);
    observeNotifications();
}

void Object::observeNotifications() {
    observers_.clear();
    NotificationCenter& center = NotificationCenter::defaultCenter();
    auto observe = [&](const char* name, const void* sender,
                       std::function<void(const Notification&)> handler) {
        observers_.emplace_back(center, center.addObserver(name, sender, std::move(handler)));
    };
    observe(kSpeechSynthesizerRegenerationDoneNotification, nullptr,
            [this](const Notification& n) { reevaluateDurations(&n); });
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return;
    observe(kCurrentLanguageScriptChangedNotification, container,
            [this](const Notification& n) { languageChanged(&n); });
    observe("didStartPlay", container, [this](const Notification& n) { didStartPlay(n); });
    observe("didStopPlay", container, [this](const Notification& n) { didStopPlay(n); });
}

void Object::propagateDocument() {
    CompositionObjectsContainer* container = compositionObjectsContainer();
    CompositionDocumentServices* document = container ? container->document() : nullptr;
    for (const auto& [name, speech] : speechTexts_) {
        speech->setSpeechObject(this);
        speech->setDocument(document);
    }
    observeNotifications();
    languageChanged(nullptr);
}

// --- Texts

void Object::registerUndo(std::function<void()> action) {
    if (!registersUndoForChanges()) return;
    if (CompositionUndoManager* manager = undoManager()) manager->registerUndo(this, std::move(action));
}

std::shared_ptr<GeneratedSpeech> Object::speechForLanguage(const std::string& languageName) const {
    auto it = speechTexts_.find(languageName);
    return it == speechTexts_.end() ? nullptr : it->second;
}

std::shared_ptr<GeneratedSpeech> Object::speechForLanguageScript(int32_t languageScript) const {
    std::optional<std::string> name = VistrelLanguage::unlocalizedNameFromScript(languageScript);
    return name ? speechForLanguage(*name) : nullptr;
}

void Object::addTextForLanguage(const std::string& languageName) {
    if (hasTextForLanguage(languageName)) return;
    registerUndo([self = weak_from_this(), languageName] {
        if (auto object = std::static_pointer_cast<Object>(self.lock()))
            object->removeTextForLanguage(languageName);
    });
    CompositionObjectsContainer* container = compositionObjectsContainer();
    CompositionDocumentServices* document = container ? container->document() : nullptr;
    auto speech = std::make_shared<GeneratedSpeech>(document, this, languageName);
    std::string voice;
    if (document) {
        auto& recent = document->recentlyUsedVoices();
        if (auto it = recent.find(languageName); it != recent.end()) voice = it->second;
    }
    if (voice.empty())
        voice = defaultVoiceForLanguage(languageName).value_or(SpeechSynthesizer::defaultVoice());
    speechTexts_[languageName] = speech;
    speech->setInitialVoice(voice);
    addPropertyName(speechPaneName(languageName));
    setPropertyNames(propertyNames());
    redoCachedLanguageName();
    invalidate();
    if (document) document->setMostRecentLanguageName(languageName);
    postLanguageChanged();
}

void Object::addSpeechObject(const std::shared_ptr<GeneratedSpeech>& speech) {
    if (!speech) return;
    const std::string languageName = speech->unlocalizedLanguageName();
    registerUndo([self = weak_from_this(), languageName] {
        if (auto object = std::static_pointer_cast<Object>(self.lock()))
            object->removeTextForLanguage(languageName);
    });
    speech->setSpeechObject(this);
    speechTexts_[languageName] = speech;
    speech->resynthesize();
    addPropertyName(speechPaneName(languageName));
    setPropertyNames(propertyNames());
    redoCachedLanguageName();
    invalidate();
    postLanguageChanged();
}

void Object::removeTextForLanguage(const std::string& languageName) {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    if (!speech) return;
    registerUndo([self = weak_from_this(), speech] {
        if (auto object = std::static_pointer_cast<Object>(self.lock())) object->addSpeechObject(speech);
    });
    speech->removeSynthesizedTextFile();
    speechTexts_.erase(languageName);
    reevaluateDurations(nullptr);
    std::vector<std::string> panes = propertyNames();
    if (auto it = std::find(panes.begin(), panes.end(), speechPaneName(languageName)); it != panes.end())
        panes.erase(it);
    redoCachedLanguageName();
    setPropertyNames(panes);
    languageChanged(nullptr);
    invalidate();
    postLanguageChanged();
}

void Object::postLanguageChanged() {
    postObjectNotification(kObjectLanguageChangedNotification, this);
}

bool Object::hasTextForLanguage(const std::string& languageName) const {
    return speechTexts_.count(languageName) > 0;
}

bool Object::hasValidTextForLanguage(const std::string& languageName) const {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    return speech && speech->isValid();
}

bool Object::hasTextForLanguageScript(int32_t languageScript) const {
    return speechForLanguageScript(languageScript) != nullptr;
}

std::vector<std::shared_ptr<VistrelLanguage>> Object::languages() const {
    std::vector<std::shared_ptr<VistrelLanguage>> list;
    for (const auto& [name, speech] : speechTexts_) {
        if (auto language = VistrelLanguage::languageFromUnlocalizedLanguageName(name))
            list.push_back(language);
    }
    return list;
}

std::string Object::stringForLanguage(const std::string& languageName) const {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    return speech ? speech->speechText() : std::string();
}

double Object::durationForLanguage(const std::string& languageName) const {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    return speech ? speech->synthesizedDuration() : 0.0;
}

std::string Object::voiceForLanguage(const std::string& languageName) const {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    return speech ? speech->voice() : std::string();
}

bool Object::setStringForLanguage(const std::string& text, const std::string& languageName) {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    if (!speech || speech->speechText() == text) return false;
    return speech->setSpeechText(text);
}

bool Object::setVoiceForLanguage(const std::string& voice, const std::string& languageName) {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName);
    if (!speech || speech->voice() == voice) return false;
    return speech->setVoice(voice);
}

std::optional<std::string> Object::defaultVoiceForLanguage(const std::string& languageName) {
    std::shared_ptr<VistrelLanguage> language =
        VistrelLanguage::languageFromUnlocalizedLanguageName(languageName);
    if (!language) return std::nullopt;
    const std::string code = lowercased(language->localeIdentifier());
    if (code.size() < 2) return std::nullopt;
    return SpeechSynthesizer::voiceForLanguage(code);
}

// --- Files

Status Object::saveSpeechFilesTo(const std::string& packagePath) {
    const std::filesystem::path folder = std::filesystem::path(packagePath) / "GeneratedSpeech";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directory(folder, error);
        if (error) return fail("The speech folder of the package cannot be made: " + error.message() + ".");
    }
    for (const auto& [name, speech] : speechTexts_) {
        if (Status written = speech->writeFileIntoPackage(packagePath); !written) return written;
    }
    return {};
}

void Object::regenerateAllSpeechFiles() {
    for (const auto& [name, speech] : speechTexts_)
        speech->resynthesizeDeleteOld(PreviousSpeechFile::Keep);
}

void Object::regenerateSpeechFileForLanguage(const std::string& languageName) {
    if (std::shared_ptr<GeneratedSpeech> speech = speechForLanguage(languageName)) speech->resynthesize();
}

std::vector<std::string> Object::allGeneratedSpeechFilesPaths() const {
    std::vector<std::string> paths;
    for (const auto& [name, speech] : speechTexts_) {
        if (std::string path = speech->fullPath(); !path.empty()) paths.push_back(std::move(path));
    }
    return paths;
}

std::vector<std::string> Object::allGeneratedSpeechFilesFileNames() const {
    std::vector<std::string> names;
    for (const auto& [name, speech] : speechTexts_) {
        if (!speech->fileIdentifier().empty()) names.push_back(speech->fileIdentifier());
    }
    return names;
}

void Object::stopGeneratingSpeech() {
    for (const auto& [name, speech] : speechTexts_)
        speech->stopGeneratingSpeech();
}

bool Object::isGeneratingSpeech() const {
    return std::any_of(speechTexts_.begin(), speechTexts_.end(),
                       [](const auto& entry) { return entry.second->isGeneratingSpeech(); });
}

// --- Export

double Object::durationOfLanguageScript(int32_t languageScript) const {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguageScript(languageScript);
    return speech ? speech->synthesizedDuration() : 0.0;
}

std::optional<MediaTrack> Object::assetTrackForLanguageScript(int32_t languageScript) const {
    std::shared_ptr<GeneratedSpeech> speech = speechForLanguageScript(languageScript);
    if (!speech || speech->fullPath().empty()) return std::nullopt;
    Result<std::shared_ptr<const MediaAsset>> asset = MediaAsset::open(speech->fullPath());
    if (!asset || (*asset)->trackCount() == 0) return std::nullopt;
    return *(*asset)->track(0);
}

// --- Durations, names, role

void Object::reevaluateDurations(const Notification* notification) {
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (notification && notification->object != container) return;
    double longest = kMinimumDurationSeconds;
    for (const auto& [name, speech] : speechTexts_)
        longest = std::max(longest, speech->synthesizedDuration());
    if (container) {
        const int32_t current = container->languageScript();
        const std::string* language =
            notification ? notification->value<std::string>(kSpeechLanguageKey) : nullptr;
        if (current == VistrelLanguage::kAllLanguages ||
            (language && *language == VistrelLanguage::unlocalizedNameFromScript(current).value_or("")))
            languageChanged(nullptr);
    }
    if (endTime() != startTime() + longest) setEndTime(startTime() + longest);
    if (container) {
        if (auto self = std::static_pointer_cast<CompositionBaseObject>(weak_from_this().lock()))
            container->shiftObjectToOtherTrackIfNecessary(self);
    }
}

void Object::redoCachedLanguageName() {
    if (speechTexts_.empty()) {
        cachedLanguageName_.reset();
        return;
    }
    std::vector<std::string> names;
    for (const auto& language : languages())
        names.push_back(language->name());
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return lowercased(a) < lowercased(b); });
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : ", ") + name;
    cachedLanguageName_ = joined;
}

void Object::setSpeechRole(int32_t role) {
    willChangeValueForKey("speechRole");
    speechRole_ = role;
    didChangeValueForKey("speechRole");
    invalidate();
}

SpeechRole Object::role() const {
    switch (speechRole_) {
    case 0:
        return SpeechRole::Spoken;
    case 1:
        return SpeechRole::SubtitleOnly;
    default:
        return SpeechRole::SpokenAndSubtitle;
    }
}

// --- What the kind answers

double Object::snapEndTime() const {
    return startTime() == endTime() ? startTime() + kDurationWithoutTextSeconds
                                    : CompositionRectangularObject::snapEndTime();
}

void Object::invalidate() {
    postObjectNotification(kSpeechObjectChangedNotification, this);
    CompositionRectangularObject::invalidate();
}

std::vector<std::string> Object::undoKeyPaths() const {
    std::vector<std::string> keys = ModelKeyCoding::undoKeyPaths();
    // The end follows the texts; it is not undone on its own.
    std::erase_if(keys, [](const std::string& key) {
        return key == "endTime" || key == "snapStartTime" || key == "snapEndTime";
    });
    return keys;
}

void Object::updateAfterUndo() {
    CompositionRectangularObject::updateAfterUndo();
    reevaluateDurations(nullptr);
}

void Object::prepareForDeletion() {
    observers_.clear();
    cancelScheduledPlay();
    releasePlayer();
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (container && container->document())
        SharedMediaManager::sharedInstance().addToCleanUpBasket(allGeneratedSpeechFilesPaths(),
                                                                container->document());
    CompositionRectangularObject::prepareForDeletion();
}

void Object::awakeAfterUndelete() {
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (container && container->document())
        SharedMediaManager::sharedInstance().removeFromCleanUpBasket(allGeneratedSpeechFilesPaths(),
                                                                     container->document());
    observeNotifications();
    redoCachedLanguageName();
    languageChanged(nullptr);
    CompositionRectangularObject::awakeAfterUndelete();
}

void Object::setPropertyNames(const std::vector<std::string>& names) {
    std::vector<std::string> panes = names;
    std::erase(panes, std::string(dependentPane));
    panes.emplace_back(dependentPane);
    CompositionRectangularObject::setPropertyNames(panes);
}

// --- Copying

std::shared_ptr<CompositionBaseObject>
Object::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<Object>(compositionObjectsContainer(), std::move(baseState));
}

void Object::copyValuesInto(CompositionBaseObject& base) const {
    CompositionRectangularObject::copyValuesInto(base);
    auto* target = dynamic_cast<Object*>(&base);
    if (!target) return;
    target->setVistrelLanguage(std::make_shared<VistrelLanguage>(kOwnLanguageCode));
    for (const auto& [name, speech] : speechTexts_) {
        std::shared_ptr<GeneratedSpeech> copied = speech->copy();
        copied->setSpeechObject(target);
        target->speechTexts_[name] = copied;
    }
    target->speechRole_ = speechRole_;
    target->setPropertyNames(propertyNames());
    target->redoCachedLanguageName();
    target->languageChanged(nullptr);
}

// --- Archive

void Object::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularObject::encodeWithCoder(coder);
    ArchivedDictionary texts;
    for (const auto& [name, speech] : speechTexts_)
        texts.set(name, ArchivedValue(speech));
    coder.encodeObject("key_speechGenerationInfo", ArchivedValue(std::move(texts)));
    coder.encodeInt32("key_speechRole", speechRole_);
}

void Object::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularObject::initWithCoder(coder);
    setVistrelLanguage(std::make_shared<VistrelLanguage>(kOwnLanguageCode));
    speechTexts_.clear();
    if (std::optional<ArchivedDictionary> texts = coder.decodeDictionaryForKey("key_speechGenerationInfo")) {
        for (const auto& [name, value] : *texts) {
            std::shared_ptr<GeneratedSpeech> speech = value.objectAs<GeneratedSpeech>();
            if (!speech) {
                logMessage("A speech object's text for \"" + name +
                           "\" is not a speech text; it is left out.");
                continue;
            }
            speech->setSpeechObject(this);
            speechTexts_[name] = speech;
        }
    }
    speechRole_ = coder.decodeInt32ForKey("key_speechRole");
    std::vector<std::string> panes = propertyNames();
    if (panes.empty() || panes.front() != rolePane) {
        std::erase(panes, std::string(rolePane));
        panes.insert(panes.begin(), rolePane);
    }
    setPropertyNames(panes);
    observeNotifications();
    redoCachedLanguageName();
}

void Object::registerClasses(ArchiveClassRegistry& registry) {
    GeneratedSpeech::registerClasses(registry);
    registry.registerClass("CompositionGeneratedSpeechTrackObject", "CompositionRectangularObject", [] {
        return std::static_pointer_cast<Archivable>(
            makeModelObject<CompositionGeneratedSpeechTrackObject>(nullptr));
    });
}

} // namespace vtl
