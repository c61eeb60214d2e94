#include "render/FilterCatalog.h"

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

} // namespace
} // namespace vtl
