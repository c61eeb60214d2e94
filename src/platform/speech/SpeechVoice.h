#pragma once
// One voice of the speech synthesizer. Plain value.

#include <string>

namespace vtl {

struct SpeechVoice {
    // What a synthesizer is made with (the engine's own voice name, "German").
    std::string identifier;
    // For display.
    std::string name;
    // The voice's locale identifier ("de", "en-gb").
    std::string language;

    friend bool operator==(const SpeechVoice&, const SpeechVoice&) = default;
};

} // namespace vtl
