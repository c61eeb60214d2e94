#pragma once
// One voice of the speech synthesizer. Plain value.

#include <string>
#include <vector>

namespace vtl {

struct SpeechVoice {
    // What a synthesizer is made with (the engine's own voice name, "German").
    std::string identifier;
    // For display.
    std::string name;
    // The voice's locale identifier ("de", "en-gb").
    std::string language;
    // Every language the voice speaks, its own first, with the engine's priority for it (lower is
    // better): the Mandarin voice speaks "cmn", "zh-cmn" and "zh".
    struct Language {
        std::string code;
        int priority = 0;
        friend bool operator==(const Language&, const Language&) = default;
    };
    std::vector<Language> languages;

    friend bool operator==(const SpeechVoice&, const SpeechVoice&) = default;
};

} // namespace vtl
