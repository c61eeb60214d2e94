#include "export/ExportLanguageCodes.h"

#include <array>

namespace vtl {

namespace {

struct MovieLanguageCodes {
    const char* quickTime;
    const char* mpeg4;
};

// Indexed by language code 0 … 46. The QuickTime column is the classic table the mov muxer
// matches codes against (both Chinese scripts share "chi"; Flemish, which has no entry there,
// goes as Dutch); the MPEG-4 column replaces its codes with blanks by ISO 639-2 letters.
constexpr std::array<MovieLanguageCodes, 47> kMovieLanguageCodes = {{
    {"eng", "eng"}, {"fra", "fra"}, {"ger", "ger"}, {"ita", "ita"}, {"dut", "dut"}, {"sve", "sve"},
    {"spa", "spa"}, {"dan", "dan"}, {"por", "por"}, {"nor", "nor"}, {"heb", "heb"}, {"jpn", "jpn"},
    {"ara", "ara"}, {"fin", "fin"}, {"gre", "gre"}, {"ice", "ice"}, {"mlt", "mlt"}, {"tur", "tur"},
    {"hr ", "hrv"}, {"chi", "chi"}, {"urd", "urd"}, {"hin", "hin"}, {"tha", "tha"}, {"kor", "kor"},
    {"lit", "lit"}, {"pol", "pol"}, {"hun", "hun"}, {"est", "est"}, {"lav", "lav"}, {"smi", "smi"},
    {"fo ", "fao"}, {"per", "per"}, {"rus", "rus"}, {"chi", "chi"}, {"dut", "dut"}, {"iri", "gle"},
    {"alb", "alb"}, {"ron", "ron"}, {"ces", "ces"}, {"slk", "slk"}, {"slv", "slv"}, {"yid", "yid"},
    {"sr ", "srp"}, {"mac", "mac"}, {"bul", "bul"}, {"ukr", "ukr"}, {"bel", "bel"},
}};

} // namespace

std::string movieLanguageCode(std::int32_t languageScript, ExportLanguageContainer container) {
    if (languageScript < 0 || languageScript >= std::int32_t(kMovieLanguageCodes.size())) return {};
    const MovieLanguageCodes& codes = kMovieLanguageCodes[std::size_t(languageScript)];
    return container == ExportLanguageContainer::QuickTime ? codes.quickTime : codes.mpeg4;
}

} // namespace vtl
