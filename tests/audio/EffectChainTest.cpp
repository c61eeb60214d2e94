#include "audio/AudioEffectChain.h"
#include "audio/AudioEffectDictionary.h"
#include "audio/DelayUnit.h"
#include "audio/GraphicEQUnit.h"
#include "audio/ReverbUnit.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

using namespace vtl;

namespace {

PropertyList effect(const char (&subtype)[5]) {
    return audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode(subtype), "name");
}

} // namespace

TEST(EffectChain, EmptyChainPassesSoundUnchanged) {
    AudioEffectChain chain(std::vector<PropertyList>{});
    chain.prepare(44100, 512);
    std::vector<float> left = {0.5f, -0.25f}, right = {0.125f, 1.0f};
    chain.process(left.data(), right.data(), 2);
    EXPECT_EQ(left, (std::vector<float>{0.5f, -0.25f}));
    EXPECT_EQ(right, (std::vector<float>{0.125f, 1.0f}));
}

TEST(EffectChain, ThreeUnitsAreBuiltAndRunInChainOrder) {
    // A pure delay then a volume cut: the order shows in where the echo starts and how loud it is.
    AudioEffectChain chain({effect("dely"), effect("hpas"), audioeffect::stereoMixerDictionary()});
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain.unit(0)->subtype(), fourCharCode("dely"));
    EXPECT_EQ(chain.unit(1)->subtype(), fourCharCode("hpas"));
    EXPECT_EQ(chain.unit(2)->subtype(), audioeffect::stereoMixerSubtype);
    chain.unit(0)->setParameter(DelayUnit::DryWetMix, 100);
    chain.unit(0)->setParameter(DelayUnit::Feedback, 0);
    chain.unit(0)->setParameter(DelayUnit::LowpassCutoff, 22050);
    chain.unit(0)->setParameter(DelayUnit::DelayTime, 0.001f);
    chain.unit(1)->setParameter(0, 10);
    chain.unit(2)->setParameter(0, 0.5f);
    chain.prepare(44100, 512);
    std::vector<float> left(512, 0.0f), right(512, 0.0f);
    left[0] = right[0] = 1.0f;
    chain.process(left.data(), right.data(), 512);
    for (std::size_t i = 0; i < 44; ++i)
        EXPECT_EQ(left[i], 0.0f);
    EXPECT_NEAR(left[44], 0.5f, 0.01f);
}

TEST(EffectChain, UnknownKindsKeepTheirSlotAndPassThrough) {
    AudioEffectChain chain({effect("zzzz"), PropertyList::dictionary(), effect("greq")});
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain.unit(0), nullptr);
    EXPECT_EQ(chain.unit(1), nullptr);
    ASSERT_NE(chain.unit(2), nullptr);
    chain.prepare(44100, 512);
    std::vector<float> left(16, 0.25f), right(16, 0.25f);
    chain.process(left.data(), right.data(), 16);
    EXPECT_EQ(left, std::vector<float>(16, 0.25f));
}

TEST(EffectChain, SaveAndRestoreGoBySubtype) {
    AudioEffectChain saved({effect("greq"), effect("mrev"), effect("greq")});
    saved.unit(0)->setParameter(3, -7);
    saved.unit(1)->setParameter(ReverbUnit::DecayTime, 4);
    saved.unit(2)->setParameter(3, 5);
    const UnitConfigurations configurations = saved.saveConfigurations();
    // Same-subtype units share one entry: the later one's.
    ASSERT_EQ(configurations.size(), 2u);

    AudioEffectChain restored({effect("greq"), effect("mrev"), effect("greq"), effect("lpas")});
    restored.restoreConfigurations(configurations);
    EXPECT_EQ(restored.unit(0)->parameter(3), 5.0f);
    EXPECT_EQ(restored.unit(2)->parameter(3), 0.0f); // only the first of its subtype receives it
    EXPECT_EQ(restored.unit(1)->parameter(ReverbUnit::DecayTime), 4.0f);

    // Keys without a unit are skipped; the stored property-list form reads back the same.
    AudioEffectChain other({effect("dist")});
    other.restoreConfigurations(configurations);
    EXPECT_EQ(unitconfig::fromPropertyList(unitconfig::toPropertyList(configurations)), configurations);
}

TEST(EffectChain, PresetDataRestoresFactoryPresets) {
    struct Case {
        const char* name;
        std::int32_t storedPreset;
        bool selected;
    };
    const Case cases[] = {
        {"factory preset", 2, true}, {"user preset", -5, false}, {"no such preset", 40, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AudioEffectChain source({effect("mrev")});
        UnitConfigurations configurations = source.saveConfigurations();
        PropertyList& entry = configurations.begin()->second;
        const PlistBytes presetData = unitconfig::encodePresetData(c.storedPreset);
        ASSERT_EQ(presetData.size(), 16u);
        entry.set(std::string(unitconfig::presetDataKey), presetData);
        // The stored parameters are the defaults, so a selected preset shows only in its name and number.
        entry.set("name", "Large Hall");
        entry.get("parameters")->set("1", 2.5);

        AudioEffectChain restored({effect("mrev")});
        restored.restoreConfigurations(configurations);
        const auto preset = restored.unit(0)->presentPreset();
        ASSERT_TRUE(preset);
        EXPECT_EQ(preset->presetNumber, c.selected ? c.storedPreset : -1);
        EXPECT_EQ(restored.unit(0)->parameter(ReverbUnit::DecayTime), 2.5f);
    }
    // The record of a chosen preset: number little-endian, the rest zero.
    EXPECT_EQ(unitconfig::encodePresetData(-2),
              (PlistBytes{0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(unitconfig::presetNumber(PlistBytes{1, 2}), std::nullopt);
}

TEST(EffectChain, SavedPresetCarriesItsNumber) {
    AudioEffectChain chain({effect("greq")});
    ASSERT_TRUE(chain.unit(0)->selectFactoryPreset(1));
    const auto configurations = chain.saveConfigurations();
    const PlistBytes* data = configurations.at(fourCharCode("greq")).dataForKey(unitconfig::presetDataKey);
    ASSERT_TRUE(data);
    EXPECT_EQ(unitconfig::presetNumber(*data), 1);
}

TEST(EffectDictionary, KindsAreReadCheckedAndBuiltInsListedInOrder) {
    EXPECT_EQ(audioeffect::builtInEffects().size(), 14u);
    EXPECT_EQ(audioeffect::builtInEffects().front().name, "LowPassFilter");
    EXPECT_EQ(audioeffect::builtInEffects().back().subtype, fourCharCode("dely"));
    EXPECT_EQ(audioeffect::effectKind(effect("lpas")),
              (audioeffect::EffectKind{fourCharCode("aufx"), fourCharCode("lpas")}));
    PropertyList bad = effect("lpas");
    bad.set("filter", -1);
    EXPECT_FALSE(audioeffect::effectKind(bad));
    bad.set("filter", "lpas");
    EXPECT_FALSE(audioeffect::effectKind(bad));
    EXPECT_EQ(fourCharCodeText(fourCharCode("smxr")), "smxr");
}
