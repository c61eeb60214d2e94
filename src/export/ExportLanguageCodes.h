#pragma once
// The three-letter code a movie's track carries for a content language. QuickTime files keep only
// the codes of their classic language table (others vanish without a word), MPEG-4 files any three
// lower-case letters; so the code depends on the container.

#include <cstdint>
#include <string>

namespace vtl {

enum class ExportLanguageContainer { QuickTime, Mpeg4 };

// Empty for "all languages" and unknown codes (the track stays undetermined).
std::string movieLanguageCode(std::int32_t languageScript, ExportLanguageContainer container);

} // namespace vtl
