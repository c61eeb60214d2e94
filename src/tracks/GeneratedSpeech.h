#pragma once
// One text of a generated-speech object in one language, with its voice, its synthesized sound
// file in the document's speech folder and that file's duration. Each text or voice change
// synthesizes into a new file; the previous file is deleted only once the new one is complete, and
// a failed synthesis keeps the previous file and duration. Owned by its speech object (shared with
// the undo steps that can bring it back); the document and the object are not owned. Main thread.

#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/Result.h"
#include "platform/speech/SpeechSynthesizerDelegate.h"

#include <memory>
#include <string>

namespace vtl {

class CompositionDocumentServices;
class CompositionGeneratedSpeechTrackObject;
class CompositionUndoManager;
class SpeechSynthesizer;

// Notifications of speech synthesis. Object: the owning object's container; user info
// kSpeechKey → std::shared_ptr<GeneratedSpeech>, kSpeechLanguageKey → std::string (the English
// language name), kSpeechObjectsContainerKey → CompositionObjectsContainer*.
inline constexpr const char* kSpeechSynthesizerRegenerationBeginningNotification =
    "VistrelSpeechSynthesizerRegenerationBeginning";
inline constexpr const char* kSpeechSynthesizerRegenerationDoneNotification =
    "VistrelSpeechSynthesizerRegenerationDone";
inline constexpr const char* kSpeechKey = "speech";
inline constexpr const char* kSpeechLanguageKey = "language";
inline constexpr const char* kSpeechObjectsContainerKey = "objectsContainer";

// What happens to the text's previous file when a new one is complete.
enum class PreviousSpeechFile { Delete, Keep };

class GeneratedSpeech : public Archivable,
                        public SpeechSynthesizerDelegate,
                        public std::enable_shared_from_this<GeneratedSpeech> {
public:
    GeneratedSpeech();
    GeneratedSpeech(CompositionDocumentServices* document, CompositionGeneratedSpeechTrackObject* object,
                    std::string languageName);
    ~GeneratedSpeech() override;
    GeneratedSpeech(const GeneratedSpeech&) = delete;
    GeneratedSpeech& operator=(const GeneratedSpeech&) = delete;

    std::string archivedClassName() const override { return "GeneratedSpeech"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // --- Text and voice. The setters register their own undo, synthesize anew and invalidate the
    // object; they answer whether the synthesis started.
    const std::string& speechText() const { return text_; }
    bool setSpeechText(const std::string& text);
    const std::string& voice() const { return voice_; }
    bool setVoice(const std::string& voice);
    // The voice a new text gets, without undo (adding the text is what undo takes back).
    void setInitialVoice(const std::string& voice);
    bool isValid() const { return !text_.empty(); }

    // --- Files
    const std::string& fileIdentifier() const { return fileIdentifier_; }
    void setFileIdentifier(const std::string& identifier);
    void generateNewIdentifier();
    // The live file in the document's speech folder; empty without a document or file.
    std::string fullPath() const;
    // The file inside a composition package.
    std::string pathWithDocumentBasePath(const std::string& packagePath) const;
    // Whether a name is one this class makes ("<UUID>.aiff"), so it is safe as a file name.
    static bool isPlainSpeechFileName(const std::string& name);

    // --- Synthesis
    bool synthesizeToPath(const std::string& path);
    bool resynthesize() { return resynthesizeDeleteOld(PreviousSpeechFile::Delete); }
    bool resynthesizeDeleteOld(PreviousSpeechFile previous);
    // Stops a running synthesis; the text keeps its previous file and duration.
    void stopGeneratingSpeech();
    bool isGeneratingSpeech() const { return synthesizer_ != nullptr; }
    // Waits for a running synthesis and takes its result now.
    void finishGeneratingSpeech();
    // Writes the text into a file of the package (missing files only), waiting for it.
    Status writeFileIntoPackage(const std::string& packagePath);
    void removeSynthesizedTextFile();
    void speechSynthesizerDidFinishSpeaking(SpeechSynthesizer& synthesizer, bool success) override;

    // --- Owner, document, language
    double synthesizedDuration() const { return synthesizedDuration_; }
    const std::string& unlocalizedLanguageName() const { return unlocalizedLanguageName_; }
    CompositionGeneratedSpeechTrackObject* speechObject() const;
    void setSpeechObject(CompositionGeneratedSpeechTrackObject* object);
    CompositionDocumentServices* document() const { return document_; }
    // A decoded text whose archived file name could not be used is synthesized once a document is set.
    void setDocument(CompositionDocumentServices* document);
    CompositionUndoManager* undoManager() const;
    void updateAfterUndo();

    // A new speech for the same document and language, without owner, with the same text and
    // voice synthesized into a file of its own.
    std::shared_ptr<GeneratedSpeech> copy() const;

private:
    bool registersUndo() const;
    void postSynthesisNotification(const char* name);
    void invalidateObject();

    CompositionDocumentServices* document_ = nullptr;
    std::weak_ptr<CompositionGeneratedSpeechTrackObject> object_;
    std::string text_;
    std::string voice_;
    std::string fileIdentifier_;
    // The file of the last complete synthesis (what a failure falls back to).
    std::string completeIdentifier_;
    std::string unlocalizedLanguageName_;
    double synthesizedDuration_ = 0;
    PreviousSpeechFile previousFile_ = PreviousSpeechFile::Delete;
    bool needsSynthesis_ = false;
    std::unique_ptr<SpeechSynthesizer> synthesizer_;
};

} // namespace vtl
