// GeneratedSpeech: undoable text and voice, the file of each synthesis, and what a finished or
// failed synthesis leaves.

#include "tracks/GeneratedSpeech.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/speech/SpeechSynthesizer.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"

#include <cctype>
#include <cmath>
#include <filesystem>

namespace vtl {

namespace fs = std::filesystem;

GeneratedSpeech::GeneratedSpeech() = default;

GeneratedSpeech::GeneratedSpeech(CompositionDocumentServices* document,
                                 CompositionGeneratedSpeechTrackObject* object, std::string languageName)
    : document_(document)
    , unlocalizedLanguageName_(std::move(languageName)) {
    setSpeechObject(object);
}

GeneratedSpeech::~GeneratedSpeech() = default;

// --- Archive

void GeneratedSpeech::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeConditionalObject("object", speechObject());
    coder.encodeObject("text", ArchivedValue(text_));
    coder.encodeObject("key_voice", voice_.empty() ? ArchivedValue() : ArchivedValue(voice_));
    coder.encodeObject("key_fileIdentifier",
                       fileIdentifier_.empty() ? ArchivedValue() : ArchivedValue(fileIdentifier_));
    coder.encodeDouble("key_synthesizedDuration", synthesizedDuration_);
    coder.encodeObject("key_synthesizedLanguageName", ArchivedValue(unlocalizedLanguageName_));
}

void GeneratedSpeech::initWithCoder(KeyedUnarchiver& coder) {
    object_ = coder.decodeObjectForKey("object").objectAs<CompositionGeneratedSpeechTrackObject>();
    text_ = coder.decodeStringForKey("text").value_or("");
    voice_ = coder.decodeStringForKey("key_voice").value_or("");
    unlocalizedLanguageName_ = coder.decodeStringForKey("key_synthesizedLanguageName").value_or("");
    const double duration = coder.decodeDoubleForKey("key_synthesizedDuration");
    synthesizedDuration_ = std::isfinite(duration) && duration >= 0 ? duration : 0;
    // The name becomes part of a path: anything but a name of our own is synthesized anew.
    const std::string identifier = coder.decodeStringForKey("key_fileIdentifier").value_or("");
    if (isPlainSpeechFileName(identifier)) {
        fileIdentifier_ = identifier;
        completeIdentifier_ = identifier;
    } else {
        if (!identifier.empty())
            logMessage("A speech text's stored file name is not one of ours; it is synthesized anew.");
        fileIdentifier_.clear();
        completeIdentifier_.clear();
        synthesizedDuration_ = 0;
        needsSynthesis_ = true;
    }
}

void GeneratedSpeech::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("GeneratedSpeech", "NSObject", [] {
        return std::static_pointer_cast<Archivable>(std::make_shared<GeneratedSpeech>());
    });
}

// --- Text and voice

bool GeneratedSpeech::registersUndo() const {
    CompositionGeneratedSpeechTrackObject* object = speechObject();
    return object && object->registersUndoForChanges() && undoManager();
}

bool GeneratedSpeech::setSpeechText(const std::string& text) {
    if (registersUndo()) {
        undoManager()->registerUndo(this,
                                    [self = shared_from_this(), old = text_] { self->setSpeechText(old); });
    }
    text_ = text;
    const bool started = resynthesize();
    invalidateObject();
    return started;
}

bool GeneratedSpeech::setVoice(const std::string& voice) {
    if (registersUndo()) {
        undoManager()->registerUndo(this, [self = shared_from_this(), old = voice_] { self->setVoice(old); });
    }
    voice_ = voice;
    const bool started = resynthesize();
    invalidateObject();
    return started;
}

void GeneratedSpeech::setInitialVoice(const std::string& voice) {
    voice_ = voice;
    resynthesize();
}

void GeneratedSpeech::updateAfterUndo() {
    resynthesize();
    invalidateObject();
}

void GeneratedSpeech::invalidateObject() {
    if (CompositionGeneratedSpeechTrackObject* object = speechObject()) object->invalidate();
}

// --- Files

void GeneratedSpeech::setFileIdentifier(const std::string& identifier) {
    fileIdentifier_ = identifier;
}

void GeneratedSpeech::generateNewIdentifier() {
    fileIdentifier_ = makeGloballyUniqueString() + ".aiff";
}

std::string GeneratedSpeech::fullPath() const {
    if (!document_ || fileIdentifier_.empty()) return {};
    return document_->generatedSpeechBasePath() + "/" + fileIdentifier_;
}

std::string GeneratedSpeech::pathWithDocumentBasePath(const std::string& packagePath) const {
    return packagePath + "/GeneratedSpeech/" + fileIdentifier_;
}

bool GeneratedSpeech::isPlainSpeechFileName(const std::string& name) {
    static constexpr std::size_t uuidLength = 36;
    static constexpr std::string_view extension = ".aiff";
    if (name.size() != uuidLength + extension.size() ||
        name.compare(uuidLength, extension.size(), extension) != 0)
        return false;
    for (std::size_t i = 0; i < uuidLength; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (dash ? c != '-' : !std::isxdigit(c)) return false;
    }
    return true;
}

void GeneratedSpeech::removeSynthesizedTextFile() {
    stopGeneratingSpeech();
    const std::string path = fullPath();
    if (path.empty()) return;
    std::error_code error;
    fs::remove(path, error);
}

// --- Synthesis

bool GeneratedSpeech::resynthesizeDeleteOld(PreviousSpeechFile previous) {
    if (!document_) {
        logMessage("A speech text cannot be synthesized: it belongs to no document.");
        return false;
    }
    const fs::path base = document_->generatedSpeechBasePath();
    std::error_code error;
    if (!fs::is_directory(base, error)) {
        fs::create_directory(base, error);
        if (error) {
            logMessage("The speech folder " + base.string() + " cannot be made: " + error.message());
            return false;
        }
    }
    previousFile_ = previous;
    generateNewIdentifier();
    return synthesizeToPath(fullPath());
}

bool GeneratedSpeech::synthesizeToPath(const std::string& path) {
    // A synthesis still running is superseded; its file never lands.
    synthesizer_.reset();
    auto synthesizer = std::make_unique<SpeechSynthesizer>(voice_);
    synthesizer->setDelegate(this);
    if (Status started = synthesizer->startSpeakingToFile(text_, path); !started) {
        logMessage("The " + unlocalizedLanguageName_ +
                   " speech text cannot be synthesized: " + started.error());
        fileIdentifier_ = completeIdentifier_;
        return false;
    }
    synthesizer_ = std::move(synthesizer);
    postSynthesisNotification(kSpeechSynthesizerRegenerationBeginningNotification);
    return true;
}

void GeneratedSpeech::speechSynthesizerDidFinishSpeaking(SpeechSynthesizer& synthesizer, bool success) {
    const SpeechOutcome outcome = synthesizer.lastOutcome();
    // The synthesizer is done with us once it has called; it goes at the end of this call.
    std::unique_ptr<SpeechSynthesizer> finished = std::move(synthesizer_);
    if (success) {
        synthesizedDuration_ = outcome.durationSeconds();
        if (previousFile_ == PreviousSpeechFile::Delete && !completeIdentifier_.empty() &&
            completeIdentifier_ != fileIdentifier_ && document_) {
            std::error_code error;
            fs::remove(document_->generatedSpeechBasePath() + "/" + completeIdentifier_, error);
        }
        completeIdentifier_ = fileIdentifier_;
    } else {
        logMessage("The " + unlocalizedLanguageName_ + " speech text could not be synthesized (" +
                   outcome.error + "); it keeps its previous file.");
        fileIdentifier_ = completeIdentifier_;
    }
    postSynthesisNotification(kSpeechSynthesizerRegenerationDoneNotification);
}

void GeneratedSpeech::stopGeneratingSpeech() {
    if (!synthesizer_) return;
    synthesizer_->stopSpeaking();
    synthesizer_.reset();
    fileIdentifier_ = completeIdentifier_;
}

void GeneratedSpeech::finishGeneratingSpeech() {
    if (synthesizer_) synthesizer_->waitUntilDone();
}

Status GeneratedSpeech::writeFileIntoPackage(const std::string& packagePath) {
    finishGeneratingSpeech();
    if (fileIdentifier_.empty()) return {};
    const std::string target = pathWithDocumentBasePath(packagePath);
    std::error_code error;
    if (fs::exists(target, error)) return {};
    // Written beside the target and renamed into place: a save cut short leaves no half file that
    // a later save would take for a finished one.
    const fs::path partial =
        fs::path(target).parent_path() / (".partial-" + fs::path(target).filename().string());
    Result<SpeechOutcome> outcome = SpeechSynthesizer::speakToFileAndWait(text_, voice_, partial.string());
    if (outcome) fs::rename(partial, target, error);
    if (!outcome || error) {
        fs::remove(partial, error);
        return fail("The " + unlocalizedLanguageName_ + " speech could not be saved: " +
                    (outcome ? std::string("it cannot be put in place") : outcome.error()));
    }
    return {};
}

void GeneratedSpeech::postSynthesisNotification(const char* name) {
    CompositionGeneratedSpeechTrackObject* object = speechObject();
    CompositionObjectsContainer* container = object ? object->compositionObjectsContainer() : nullptr;
    NotificationUserInfo info;
    info[kSpeechKey] = shared_from_this();
    info[kSpeechLanguageKey] = unlocalizedLanguageName_;
    info[kSpeechObjectsContainerKey] = container;
    NotificationCenter::defaultCenter().post(name, container, std::move(info));
}

// --- Owner and document

CompositionGeneratedSpeechTrackObject* GeneratedSpeech::speechObject() const {
    return object_.lock().get();
}

void GeneratedSpeech::setSpeechObject(CompositionGeneratedSpeechTrackObject* object) {
    object_.reset();
    if (!object) return;
    if (std::shared_ptr<CompositionUndoObject> held = object->weak_from_this().lock())
        object_ = std::static_pointer_cast<CompositionGeneratedSpeechTrackObject>(held);
}

void GeneratedSpeech::setDocument(CompositionDocumentServices* document) {
    document_ = document;
    if (document_ && needsSynthesis_) {
        needsSynthesis_ = false;
        resynthesizeDeleteOld(PreviousSpeechFile::Keep);
    }
}

CompositionUndoManager* GeneratedSpeech::undoManager() const {
    return document_ ? document_->undoManager() : nullptr;
}

std::shared_ptr<GeneratedSpeech> GeneratedSpeech::copy() const {
    auto speech = std::make_shared<GeneratedSpeech>(document_, nullptr, unlocalizedLanguageName_);
    speech->text_ = text_;
    speech->voice_ = voice_;
    speech->synthesizedDuration_ = synthesizedDuration_;
    speech->resynthesizeDeleteOld(PreviousSpeechFile::Keep);
    return speech;
}

} // namespace vtl
