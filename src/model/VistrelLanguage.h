#pragma once
// A content language of a composition, identified by its classic numeric language code (0 … 46),
// or −1 for "all languages". Immutable value object, shared by std::shared_ptr between the
// timeline objects that carry it; archived under "key_languageScript".

#include "platform/foundation/KeyedArchivable.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class VistrelLanguage : public Archivable {
public:
    static constexpr int32_t kAllLanguages = -1;
    static constexpr int32_t kLastLanguageCode = 46;
    // The text encoding answered for "all languages" and unknown scripts (Unicode).
    static constexpr uint32_t kUnicodeTextEncoding = 256;

    VistrelLanguage() = default;
    explicit VistrelLanguage(int32_t languageScript)
        : languageScript_(languageScript) {}

    static std::shared_ptr<VistrelLanguage> languageWithLanguageScript(int32_t languageScript);
    // The English name of a code ("All Languages" for −1); nullopt for an unknown code.
    static std::optional<std::string> unlocalizedNameFromScript(int32_t languageScript);
    // The language whose English name is the given one, searching codes 0 … 46; null for none.
    static std::shared_ptr<VistrelLanguage> languageFromUnlocalizedLanguageName(const std::string& name);
    // Codes 0 … 46 sorted by localized name; optionally the language of the user's locale first;
    // "All Languages" always at index 0.
    enum class Order { ByName, CurrentLocaleFirst };
    static std::vector<std::shared_ptr<VistrelLanguage>> availableLanguages(Order order = Order::ByName);

    int32_t languageScript() const { return languageScript_; }
    bool isEqualTo(const VistrelLanguage& other) const { return languageScript_ == other.languageScript_; }
    uint32_t hash() const {
        return languageScript_ == kAllLanguages ? 0x7FFFFFFFu : static_cast<uint32_t>(languageScript_);
    }

    std::optional<std::string> unlocalizedName() const { return unlocalizedNameFromScript(languageScript_); }
    // The localized name from the table "LanguageNames" (the English name when untranslated).
    std::string name() const;
    // Two-letter ISO 639-1 code of the language (empty for −1 and unknown codes).
    std::string localeIdentifier() const;
    uint32_t requiredTextEncoding() const;

    std::string archivedClassName() const override { return "VistrelLanguage"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

private:
    int32_t languageScript_ = kAllLanguages;
};

} // namespace vtl
