#include "model/CompositionObjectsContainer.h"
#include "model/VistrelLanguage.h"
#include "support/ModelFixture.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

// An object that can be marked with a language, like texts and audio.
class LanguageObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    bool allowsSettingVistrelLanguage() const override { return true; }
};

class Languages : public test::ModelFixture {
protected:
    std::shared_ptr<LanguageObject> addWithLanguage(int32_t code) {
        auto object = makeModelObject<LanguageObject>(container());
        object->setStartTimeEndTime(0, 1);
        object->setVistrelLanguage(VistrelLanguage::languageWithLanguageScript(code));
        container()->addObject(object);
        return object;
    }
    std::vector<int32_t> exported() {
        std::vector<int32_t> codes;
        for (const auto& language : container()->languagesToExport())
            codes.push_back(language->languageScript());
        return codes;
    }
};

TEST_F(Languages, ValueAndNames) {
    EXPECT_EQ(VistrelLanguage(-1).hash(), 0x7FFFFFFFu);
    EXPECT_EQ(VistrelLanguage(0).hash(), 0u);
    EXPECT_TRUE(VistrelLanguage(3).isEqualTo(VistrelLanguage(3)));
    EXPECT_EQ(VistrelLanguage::languageFromUnlocalizedLanguageName("All Languages"), nullptr);
    ASSERT_NE(VistrelLanguage::languageFromUnlocalizedLanguageName("Byelorussian"), nullptr);
    EXPECT_EQ(VistrelLanguage::languageFromUnlocalizedLanguageName("Byelorussian")->languageScript(), 46);
    EXPECT_EQ(VistrelLanguage::unlocalizedNameFromScript(47), std::nullopt);
    EXPECT_EQ(VistrelLanguage(2).name(), "German");
    EXPECT_EQ(VistrelLanguage(2).localeIdentifier(), "de");
    EXPECT_EQ(VistrelLanguage(-1).requiredTextEncoding(), VistrelLanguage::kUnicodeTextEncoding);

    auto available = VistrelLanguage::availableLanguages();
    ASSERT_EQ(available.size(), 48u);
    EXPECT_EQ(available[0]->languageScript(), -1);
    EXPECT_EQ(available[1]->name(), "Albanian") << "then alphabetically by localized name";
}

TEST_F(Languages, ExportedLanguages) {
    struct Case {
        const char* what;
        std::vector<int32_t> codes;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {"all objects in every language export English", {-1, -1}, {0}},
        {"every language and German export German", {-1, 2}, {2}},
        {"distinct, first occurrence first", {3, 2, 3}, {3, 2}},
        {"no objects", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& object : std::vector(container()->objects()))
            container()->removeObject(object.get());
        for (int32_t code : c.codes)
            addWithLanguage(code);
        EXPECT_EQ(exported(), c.expected);
    }
}

TEST_F(Languages, PlaybackFollowsTheCurrentLanguage) {
    auto everywhere = addWithLanguage(-1);
    auto german = addWithLanguage(2);
    auto plain = makeObject(0, 1);
    plain->setVistrelLanguage(VistrelLanguage::languageWithLanguageScript(2));
    container()->setLanguageScript(1);
    EXPECT_TRUE(container()->shouldPlay(*everywhere));
    EXPECT_FALSE(container()->shouldPlay(*german));
    EXPECT_TRUE(container()->shouldPlay(*plain)) << "objects without a language setting always play";
    container()->setLanguageScript(-1);
    EXPECT_TRUE(container()->shouldPlay(*german));
    container()->setLanguageScript(2);
    EXPECT_TRUE(container()->shouldPlay(*german));
}

} // namespace
} // namespace vtl
