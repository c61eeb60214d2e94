#pragma once
// What the model needs of the document that owns a composition: its undo manager, view refreshes,
// playback state, its package location and identity, and progress displays. The document (a
// higher layer) implements it; the objects container keeps a non-owning pointer to it. Answers
// other than the undo manager have neutral defaults, for documents without a window.

#include <map>
#include <optional>
#include <string>

namespace vtl {

class CompositionUndoManager;

class CompositionDocumentServices {
public:
    virtual ~CompositionDocumentServices() = default;
    virtual CompositionUndoManager* undoManager() = 0;

    virtual void updatePreviewView() {}
    virtual void updateSequencerView() {}
    virtual bool isPlaying() const { return false; }
    virtual void startPlay() {}
    virtual void stopPlay() {}
    // The playhead (global seconds) of the document's window; none without a window.
    virtual std::optional<double> currentTime() const { return std::nullopt; }

    // The package folder once the document has been saved, else nullopt.
    virtual std::optional<std::string> packagePath() const { return std::nullopt; }
    // Unique for the document's life (key of its clean-up basket).
    virtual std::string identifier() const { return {}; }
    virtual void showProgressSheet() {}
    virtual void hideProgressSheet() {}
    virtual void prepareToShowAudioExtractionProgress() {}
    virtual void showAudioExtractionProgress(double) {}
    virtual void hideCopyMediaProgress() {}
    // The timeline redraws clips, waveforms and thumbnails.
    virtual void updateSequencer() {}

    // Where the composition's generated speech files live: the folder "GeneratedSpeech" of the
    // package once saved, else one in the temporary directory.
    virtual std::string generatedSpeechBasePath() const;
    // English language name → the voice last chosen for speech in that language.
    virtual std::map<std::string, std::string>& recentlyUsedVoices() { return recentlyUsedVoices_; }
    // The language last given a speech text.
    virtual void setMostRecentLanguageName(const std::string& name) { mostRecentLanguageName_ = name; }
    const std::string& mostRecentLanguageName() const { return mostRecentLanguageName_; }

private:
    std::map<std::string, std::string> recentlyUsedVoices_;
    std::string mostRecentLanguageName_;
};

} // namespace vtl
