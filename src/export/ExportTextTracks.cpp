#include "export/ExportTextTracks.h"

#include "model/CompositionChapterMark.h"
#include "model/CompositionObjectsContainer.h"
#include "model/VistrelLanguage.h"
#include "platform/media/Tx3gSampleEntry.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vtl {

namespace {

constexpr std::size_t kMaximumSampleTextBytes = 0xFFFF;
constexpr std::int32_t kTextTimeScale = MediaTime::defaultTimeScale;

struct CodePoint {
    char32_t value;
    std::size_t length;
};

// The character at `at`; a byte that starts no valid character stands for itself.
CodePoint decodeAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return {0xFFFD, 1};
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {0xFFFD, 1};
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    return {value, length};
}

bool isLineEnd(char32_t c) {
    return c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029;
}
bool isSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}
bool isTerminator(char32_t c) {
    return c == '.' || c == '!' || c == '?' || c == 0x2026 || c == 0x203C || c == 0x2047 || c == 0x2048 ||
           c == 0x2049 || c == 0x3002 || c == 0xFF01 || c == 0xFF0E || c == 0xFF1F || c == 0xFF61;
}
// Full stops of scripts written without spaces: they end a sentence on their own.
bool isClosingStop(char32_t c) {
    return c == 0x3002 || c == 0xFF01 || c == 0xFF1F || c == 0xFF61;
}
bool isClosing(char32_t c) {
    return c == ')' || c == ']' || c == '}' || c == '"' || c == '\'' || c == 0x2019 || c == 0x201D ||
           c == 0xBB || c == 0x203A || c == 0x300D || c == 0x300F || c == 0xFF09;
}
bool isIdeograph(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x2FFFF);
}
bool isWordCharacter(char32_t c) {
    if (c < 0x80)
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (c <= 0xBF) return c == 0xAA || c == 0xB5 || c == 0xBA;
    if (c == 0xD7 || c == 0xF7 || c == 0xFFFD) return false;
    if ((c >= 0x2000 && c <= 0x206F) || (c >= 0x2190 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F))
        return false;
    if ((c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
        (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65))
        return false;
    return c < 0x1F000;
}
bool isDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19);
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const CodePoint c = decodeAt(text, begin);
        if (!isSpace(c.value) && !isLineEnd(c.value)) break;
        begin += c.length;
    }
    std::size_t end = begin;
    for (std::size_t at = begin; at < text.size();) {
        const CodePoint c = decodeAt(text, at);
        at += c.length;
        if (!isSpace(c.value) && !isLineEnd(c.value)) end = at;
    }
    return text.substr(begin, end - begin);
}

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += decodeAt(text, at).length)
        ++count;
    return count;
}

// Time t in seconds at the text time scale, never before 0.
MediaTime textTime(double seconds) {
    const MediaTime time = MediaTime::fromSeconds(std::max(0.0, seconds), kTextTimeScale);
    return time.isValid() ? time : MediaTime::zero(kTextTimeScale);
}

MediaTime endOf(const ExportTextSample& sample) {
    MediaTime duration = sample.duration;
    if (duration.isValid() && duration.timeScale != sample.start.timeScale)
        duration = duration.convertedToScale(sample.start.timeScale);
    if (!sample.start.isValid() || !duration.isValid()) return sample.start;
    return {sample.start.value + duration.value, sample.start.timeScale};
}

// Speech objects shown as subtitles in the language, on enabled tracks, with text in it.
std::vector<std::shared_ptr<CompositionGeneratedSpeechTrackObject>>
subtitleSpeechObjects(const CompositionObjectsContainer& container, const VistrelLanguage& language) {
    std::vector<std::shared_ptr<CompositionGeneratedSpeechTrackObject>> found;
    const std::optional<std::string> name = language.unlocalizedName();
    if (!name || language.languageScript() == VistrelLanguage::kAllLanguages) return found;
    for (const auto& object : container.objects()) {
        auto speech = std::dynamic_pointer_cast<CompositionGeneratedSpeechTrackObject>(object);
        if (!speech || speech->role() == SpeechRole::Spoken) continue;
        if (speech->containerTrack() && speech->containerTrack()->isDisabled()) continue;
        if (speech->hasValidTextForLanguage(*name)) found.push_back(std::move(speech));
    }
    return found;
}

} // namespace

std::string utf8Prefix(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t length = maxBytes;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return text.substr(0, length);
}

std::vector<std::string> textSentences(const std::string& text) {
    std::vector<std::string> sentences;
    std::size_t begin = 0;
    auto endSentence = [&](std::size_t end) {
        std::string sentence = trimmed(text.substr(begin, end - begin));
        if (!sentence.empty()) sentences.push_back(std::move(sentence));
        begin = end;
    };
    std::size_t at = 0;
    while (at < text.size()) {
        const CodePoint c = decodeAt(text, at);
        if (isLineEnd(c.value)) {
            at += c.length;
            endSentence(at);
            continue;
        }
        if (!isTerminator(c.value)) {
            at += c.length;
            continue;
        }
        // A run of stops, then closing quotes and brackets.
        bool onlyPoints = true;
        bool closingStop = false;
        std::size_t after = at;
        while (after < text.size()) {
            const CodePoint t = decodeAt(text, after);
            if (!isTerminator(t.value)) break;
            onlyPoints = onlyPoints && t.value == '.';
            closingStop = closingStop || isClosingStop(t.value);
            after += t.length;
        }
        while (after < text.size() && isClosing(decodeAt(text, after).value))
            after += decodeAt(text, after).length;
        if (after >= text.size()) {
            at = after;
            break;
        }
        const CodePoint next = decodeAt(text, after);
        if (!isSpace(next.value) && !isLineEnd(next.value) && !closingStop) {
            // "3.14", "e.g.x": no end of sentence.
            at = after;
            continue;
        }
        std::size_t following = after;
        while (following < text.size() && isSpace(decodeAt(text, following).value))
            following += decodeAt(text, following).length;
        // A point before a lower-case word is an abbreviation ("e.g. this").
        if (onlyPoints && following < text.size()) {
            const char32_t lead = decodeAt(text, following).value;
            if (lead >= 'a' && lead <= 'z') {
                at = following;
                continue;
            }
        }
        at = following;
        endSentence(at);
    }
    endSentence(text.size());
    return sentences;
}

std::size_t textWordCount(const std::string& text) {
    std::size_t count = 0;
    bool inWord = false;
    char32_t previous = 0;
    for (std::size_t at = 0; at < text.size();) {
        const CodePoint c = decodeAt(text, at);
        at += c.length;
        if (isIdeograph(c.value)) {
            ++count;
            inWord = false;
        } else if (isWordCharacter(c.value)) {
            if (!inWord) ++count;
            inWord = true;
        } else if (inWord && at < text.size()) {
            // Inner apostrophes and points join ("don't", "3.14", "e.g"); commas join digits.
            const char32_t next = decodeAt(text, at).value;
            const bool joins = (c.value == '\'' || c.value == 0x2019 || c.value == '.')
                                   ? isWordCharacter(next) && !isIdeograph(next)
                                   : c.value == ',' && isDigit(previous) && isDigit(next);
            inWord = joins;
        } else {
            inWord = false;
        }
        previous = c.value;
    }
    return count;
}

std::vector<ExportTextSample> subtitlesFromSpeechText(const std::string& text, double durationSeconds,
                                                      double startSeconds) {
    std::vector<ExportTextSample> subtitles;
    const std::size_t words = textWordCount(text);
    if (words == 0 || !std::isfinite(durationSeconds) || durationSeconds <= 0 || !std::isfinite(startSeconds))
        return subtitles;
    const double secondsPerWord = durationSeconds / static_cast<double>(words);
    double time = startSeconds;
    for (const std::string& sentence : textSentences(text)) {
        if (characterCount(sentence) < 2) continue;
        const std::size_t sentenceWords = textWordCount(sentence);
        if (sentenceWords == 0) continue;
        const double end = time + static_cast<double>(sentenceWords) * secondsPerWord;
        // Both ends on the 1/600 s grid, so one subtitle ends where the next begins.
        const MediaTime from = textTime(time);
        const MediaTime to = textTime(end);
        subtitles.push_back({utf8Prefix(sentence, kMaximumSampleTextBytes), from,
                             MediaTime{std::max<std::int64_t>(0, to.value - from.value), kTextTimeScale}});
        time = end;
    }
    return subtitles;
}

std::vector<ExportTextSample> exportChapters(const CompositionObjectsContainer& container) {
    std::vector<ExportTextSample> chapters;
    for (const auto& mark : container.chronologicallySortedChapterMarks()) {
        if (!mark || !std::isfinite(mark->time())) continue;
        const double units = std::trunc(std::clamp(mark->time() * kTextTimeScale, 0.0, 9.0e15));
        chapters.push_back({utf8Prefix(mark->name(), kMaximumSampleTextBytes),
                            MediaTime{static_cast<std::int64_t>(units), kTextTimeScale},
                            MediaTime{1, kTextTimeScale}});
    }
    return chapters;
}

std::vector<ExportTextSample> exportSubtitles(const CompositionObjectsContainer& container,
                                              const VistrelLanguage& language) {
    std::vector<ExportTextSample> subtitles;
    const std::optional<std::string> name = language.unlocalizedName();
    for (const auto& object : subtitleSpeechObjects(container, language)) {
        std::vector<ExportTextSample> own = subtitlesFromSpeechText(
            object->stringForLanguage(*name), object->durationForLanguage(*name), object->startTime());
        subtitles.insert(subtitles.end(), std::make_move_iterator(own.begin()),
                         std::make_move_iterator(own.end()));
    }
    // A text track's samples go in time order; objects are listed by track, not by time.
    std::stable_sort(subtitles.begin(), subtitles.end(),
                     [](const ExportTextSample& a, const ExportTextSample& b) { return a.start < b.start; });
    return subtitles;
}

bool hasCaptionString(const CompositionObjectsContainer& container, const VistrelLanguage& language) {
    return !exportSubtitles(container, language).empty();
}

std::string captionsString(const CompositionObjectsContainer& container, const VistrelLanguage& language) {
    std::string captions;
    std::size_t index = 0;
    for (const ExportTextSample& subtitle : exportSubtitles(container, language)) {
        captions += std::to_string(++index) + "\n" + subRipTime(subtitle.start) + " --> " +
                    subRipTime(endOf(subtitle)) + "\n" + subtitle.text + "\n\n";
    }
    return captions;
}

std::string subRipTime(MediaTime time) {
    std::int64_t milliseconds = 0;
    if (time.isValid() && time.value > 0) {
        // Exact from the rational time: 1.5 s stays 1500 ms, never 1499.
        const auto scaled = static_cast<__int128>(time.value) * 1000 / time.timeScale;
        milliseconds = static_cast<std::int64_t>(std::min<__int128>(scaled, INT64_MAX));
    }
    const std::int64_t seconds = milliseconds / 1000;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
                  static_cast<long long>(milliseconds % 1000));
    return text;
}

std::vector<std::uint8_t> subtitleSampleEntry() {
    Tx3gSampleEntry entry;
    entry.displayFlags = 0x40000000; // forced subtitles present
    return entry.bytes();
}

} // namespace vtl
