#include "export/ExportTextTracks.h"

namespace vtl {

// Placeholders until the text tracks land: no chapters, no subtitles.
std::vector<ExportTextSample> exportChapters(const CompositionObjectsContainer&) { return {}; }
std::vector<ExportTextSample> exportSubtitles(const CompositionObjectsContainer&, const VistrelLanguage&) { return {}; }
bool hasCaptionString(const CompositionObjectsContainer&, const VistrelLanguage&) { return false; }
std::string captionsString(const CompositionObjectsContainer&, const VistrelLanguage&) { return {}; }
std::string subRipTime(MediaTime) { return "00:00:00,000"; }
std::vector<std::uint8_t> subtitleSampleEntry() { return {}; }

} // namespace vtl
