#pragma once
// What a speech synthesizer tells whoever asked it to speak, on the main thread. Not owned by the
// synthesizer.

namespace vtl {

class SpeechSynthesizer;

class SpeechSynthesizerDelegate {
public:
    virtual ~SpeechSynthesizerDelegate() = default;

    // The file is complete (success) or was not written (the synthesizer's lastOutcome says why).
    // The synthesizer may be destroyed from inside this call.
    virtual void speechSynthesizerDidFinishSpeaking(SpeechSynthesizer& synthesizer, bool success) = 0;
};

} // namespace vtl
