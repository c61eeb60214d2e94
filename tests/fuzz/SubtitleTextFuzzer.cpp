// Speech texts and chapter names come from stored documents: cutting them into timed sentences,
// counting their words, shortening them and writing them as SubRip must take any bytes.
#include "export/ExportTextTracks.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes choose a duration and a cut; the rest is the text.
    double duration = 3.0;
    std::size_t cut = 65535;
    if (size >= 10) {
        std::memcpy(&duration, data, 8);
        cut = static_cast<std::size_t>(data[8]) << 8 | data[9];
        data += 10;
        size -= 10;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)vtl::textWordCount(text);
    (void)vtl::textSentences(text);
    (void)vtl::utf8Prefix(text, cut);
    for (const vtl::ExportTextSample& subtitle : vtl::subtitlesFromSpeechText(text, duration, 1.0)) {
        (void)vtl::subRipTime(subtitle.start);
        (void)vtl::subRipTime(subtitle.duration);
    }
    return 0;
}
