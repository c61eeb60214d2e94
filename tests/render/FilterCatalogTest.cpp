#include "render/FilterCatalog.h"

#include "platform/imaging/EffectFilters.h"
#include "platform/imaging/FilterRegistry.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace vtl {
namespace {

TEST(FilterCatalog, DescribesEveryFilterWithItsAttributes) {
    const auto catalog = FilterCatalog::standard();
    const FilterDescription* bloom = catalog->descriptionForFilter("CIBloom");
    ASSERT_NE(bloom, nullptr);
    const FilterAttributeDescription* intensity = bloom->attribute("inputIntensity");
    ASSERT_NE(intensity, nullptr);
    EXPECT_EQ(intensity->attributeClass, "NSNumber");
    EXPECT_EQ(intensity->defaultValue.numberValue(), 0.5);
    EXPECT_EQ(intensity->minimum, 0);
    EXPECT_EQ(intensity->maximum, 1);
    EXPECT_EQ(intensity->displayName, "Intensity");
    EXPECT_EQ(catalog->descriptionForFilter("CINoiseReduction")->attribute("inputNoiseLevel")->displayName,
              "Noise Level");
    EXPECT_EQ(catalog->descriptionForFilter("ChromaKey")->attribute("inputColor")->attributeClass, "CIColor");
    EXPECT_EQ(catalog->descriptionForFilter("CINotAFilter"), nullptr);

    for (const std::string& name : catalog->filterNames()) {
        SCOPED_TRACE(name);
        const FilterDescription* description = catalog->descriptionForFilter(name);
        ASSERT_NE(description, nullptr);
        EXPECT_TRUE(std::is_sorted(description->attributes.begin(), description->attributes.end(),
                                   [](const auto& a, const auto& b) { return a.name < b.name; }));
        for (const auto& attribute : description->attributes) {
            if (attribute.attributeClass != "NSNumber") continue;
            const double value = *attribute.defaultValue.numberValue();
            EXPECT_GE(value, *attribute.minimum) << attribute.name;
            EXPECT_LE(value, *attribute.maximum) << attribute.name;
        }
    }
}

// The catalog is the registry seen by the model: the same effects, defaults and ranges, in the
// stored forms of documents.
TEST(FilterCatalog, ShowsTheImagingRegistrysVideoEffects) {
    const auto catalog = FilterCatalog::standard();
    std::vector<std::string> effects = effectFilterNames();
    std::sort(effects.begin(), effects.end());
    EXPECT_EQ(catalog->filterNames(), effects);
    for (const char* gone : {"CIBoxBlur", "CIDiscBlur", "CIVibrance", "CIEdges"})
        EXPECT_EQ(catalog->descriptionForFilter(gone), nullptr) << gone;

    const FilterDescription* chroma = catalog->descriptionForFilter("ChromaKey");
    ASSERT_NE(chroma, nullptr);
    EXPECT_EQ(chroma->attribute("inputThreshold")->defaultValue.numberValue(), 0.1);
    EXPECT_EQ(*chroma->attribute("inputColor")->defaultValue.stringValue(), "0 1 0 1");
    EXPECT_EQ(chroma->attribute("inputImage")->attributeClass, "CIImage");
    const FilterAttributeDescription* center =
        catalog->descriptionForFilter("CITwirlDistortion")->attribute("inputCenter");
    ASSERT_NE(center, nullptr);
    EXPECT_EQ(center->attributeClass, "CIVector");
    EXPECT_EQ(*center->defaultValue.stringValue(), "[150 150]");

    for (const std::string& name : effects) {
        SCOPED_TRACE(name);
        auto registered = FilterRegistry::shared().attributesOfFilter(name);
        const FilterDescription* described = catalog->descriptionForFilter(name);
        ASSERT_TRUE(registered && described);
        EXPECT_EQ(described->displayName, registered->displayName);
        ASSERT_EQ(described->attributes.size(), registered->inputs.size());
        for (const FilterAttribute& input : registered->inputs) {
            const FilterAttributeDescription* a = described->attribute(input.name);
            ASSERT_NE(a, nullptr) << input.name;
            EXPECT_EQ(a->minimum, input.minimum) << input.name;
            EXPECT_EQ(a->maximum, input.maximum) << input.name;
            if (auto number = std::get_if<double>(&input.defaultValue)) {
                EXPECT_EQ(a->defaultValue.numberValue(), *number) << input.name;
            }
        }
    }
}

} // namespace
} // namespace vtl
