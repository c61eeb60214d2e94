#include "model/VistrelLanguage.h"

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace vtl {

namespace {

struct LanguageRecord {
    const char* englishName;
    const char* isoCode;
    // The classic script code's text encoding (0 Roman … 32 Unicode-only scripts map to 256).
    uint32_t textEncoding;
};

// Indexed by language code 0 … 46.
constexpr std::array<LanguageRecord, 47> kLanguages = {{
    {"English", "en", 0},      {"French", "fr", 0},
    {"German", "de", 0},       {"Italian", "it", 0},
    {"Dutch", "nl", 0},        {"Swedish", "sv", 0},
    {"Spanish", "es", 0},      {"Danish", "da", 0},
    {"Portuguese", "pt", 0},   {"Norwegian", "nb", 0},
    {"Hebrew", "he", 5},       {"Japanese", "ja", 1},
    {"Arabic", "ar", 4},       {"Finnish", "fi", 0},
    {"Greek", "el", 6},        {"Icelandic", "is", 0},
    {"Maltese", "mt", 0},      {"Turkish", "tr", 0},
    {"Croatian", "hr", 0},     {"Traditional Chinese", "zh", 2},
    {"Urdu", "ur", 4},         {"Hindi", "hi", 9},
    {"Thai", "th", 21},        {"Korean", "ko", 3},
    {"Lithuanian", "lt", 29},  {"Polish", "pl", 29},
    {"Hungarian", "hu", 29},   {"Estonian", "et", 29},
    {"Latvian", "lv", 29},     {"Sami", "se", 0},
    {"Faroese", "fo", 0},      {"Persian", "fa", 4},
    {"Russian", "ru", 7},      {"Simplified Chinese", "zh", 25},
    {"Flemish", "nl", 0},      {"Irish Gaelic", "ga", 0},
    {"Albanian", "sq", 0},     {"Romanian", "ro", 0},
    {"Czech", "cs", 29},       {"Slovak", "sk", 29},
    {"Slovenian", "sl", 0},    {"Yiddish", "yi", 5},
    {"Serbian", "sr", 7},      {"Macedonian", "mk", 7},
    {"Bulgarian", "bg", 7},    {"Ukrainian", "uk", 7},
    {"Byelorussian", "be", 7},
}};

const LanguageRecord* recordFor(int32_t code) {
    if (code < 0 || code > VistrelLanguage::kLastLanguageCode) return nullptr;
    return &kLanguages[static_cast<std::size_t>(code)];
}

// The language part of the user's locale from the environment ("de_CH.UTF-8" → "de").
std::string currentLocaleLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            std::string text(value);
            return text.substr(0, text.find_first_of("_.@"));
        }
    }
    return {};
}

} // namespace

std::shared_ptr<VistrelLanguage> VistrelLanguage::languageWithLanguageScript(int32_t languageScript) {
    return std::make_shared<VistrelLanguage>(languageScript);
}

std::optional<std::string> VistrelLanguage::unlocalizedNameFromScript(int32_t languageScript) {
    if (languageScript == kAllLanguages) return std::string("All Languages");
    if (const LanguageRecord* record = recordFor(languageScript)) return std::string(record->englishName);
    return std::nullopt;
}

std::shared_ptr<VistrelLanguage>
VistrelLanguage::languageFromUnlocalizedLanguageName(const std::string& name) {
    for (int32_t code = 0; code <= kLastLanguageCode; ++code) {
        if (name == kLanguages[static_cast<std::size_t>(code)].englishName)
            return languageWithLanguageScript(code);
    }
    return nullptr;
}

std::vector<std::shared_ptr<VistrelLanguage>> VistrelLanguage::availableLanguages(Order order) {
    std::vector<std::shared_ptr<VistrelLanguage>> languages;
    for (int32_t code = 0; code <= kLastLanguageCode; ++code)
        languages.push_back(languageWithLanguageScript(code));
    std::stable_sort(languages.begin(), languages.end(),
                     [](const auto& a, const auto& b) { return a->name() < b->name(); });
    if (order == Order::CurrentLocaleFirst) {
        const std::string locale = currentLocaleLanguage();
        auto found = std::find_if(languages.begin(), languages.end(), [&](const auto& language) {
            return language->localeIdentifier() == locale;
        });
        if (!locale.empty() && found != languages.end()) std::rotate(languages.begin(), found, found + 1);
    }
    languages.insert(languages.begin(), languageWithLanguageScript(kAllLanguages));
    return languages;
}

std::string VistrelLanguage::name() const {
    std::optional<std::string> english = unlocalizedName();
    return english ? localizedString(*english, "LanguageNames") : std::string();
}

std::string VistrelLanguage::localeIdentifier() const {
    const LanguageRecord* record = recordFor(languageScript_);
    return record ? record->isoCode : "";
}

uint32_t VistrelLanguage::requiredTextEncoding() const {
    const LanguageRecord* record = recordFor(languageScript_);
    return record ? record->textEncoding : kUnicodeTextEncoding;
}

void VistrelLanguage::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeInt32("key_languageScript", languageScript_);
}

void VistrelLanguage::initWithCoder(KeyedUnarchiver& coder) {
    languageScript_ = coder.decodeInt32ForKey("key_languageScript");
}

} // namespace vtl
