#pragma once
// The text an exported movie carries beside its pictures and sound: the chapter marks, and per
// language the subtitles cut from generated speech that is marked as subtitles (sentences timed
// by their share of words), with the tx3g description their track uses and the same subtitles as
// SubRip text. Free functions over a composition that the caller keeps unchanged.

#include "platform/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vtl {

class CompositionObjectsContainer;
class VistrelLanguage;

struct ExportTextSample {
    std::string text; // UTF-8, at most 65535 bytes, cut only between characters
    MediaTime start;
    MediaTime duration;
};

// The chapter marks in time order, each at its time truncated to 1/600 s.
std::vector<ExportTextSample> exportChapters(const CompositionObjectsContainer& container);

// The language's subtitles: of each speech object shown as subtitles (on an enabled track, with
// text in the language), sentence after sentence; all of them in time order.
std::vector<ExportTextSample> exportSubtitles(const CompositionObjectsContainer& container,
                                              const VistrelLanguage& language);
bool hasCaptionString(const CompositionObjectsContainer& container, const VistrelLanguage& language);
// SubRip text of exportSubtitles (numbered from 1); empty when there is none.
std::string captionsString(const CompositionObjectsContainer& container, const VistrelLanguage& language);
// "HH:MM:SS,mmm".
std::string subRipTime(MediaTime time);

// The tx3g sample entry body of a subtitle track.
std::vector<std::uint8_t> subtitleSampleEntry();

// --- The pieces, for callers that have no composition at hand
// The subtitles of one spoken text: its sentences (cut at ., !, ? and their kin before a space,
// and at line ends), each shown for its share of the words of `durationSeconds`, back to back from
// `startSeconds`. Sentences of fewer than 2 characters or without words are left out and take no
// time; a text without words, or no duration, gives none.
std::vector<ExportTextSample> subtitlesFromSpeechText(const std::string& text, double durationSeconds,
                                                      double startSeconds);
// The sentences of a text, trimmed of spaces and line ends (empty ones left out).
std::vector<std::string> textSentences(const std::string& text);
// Words of a text: runs of letters and digits (with inner apostrophes and points), each
// ideograph or kana counting as one.
std::size_t textWordCount(const std::string& text);
// The longest start of the text of at most maxBytes bytes that ends between characters.
std::string utf8Prefix(const std::string& text, std::size_t maxBytes);

} // namespace vtl
