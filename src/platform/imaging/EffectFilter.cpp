#include "platform/imaging/EffectFilter.h"

#include "platform/foundation/Log.h"
#include "platform/imaging/FilterAttributeBuilders.h"
#include "platform/imaging/FilterRegistry.h"

#include <cmath>

namespace vtl::detail {

namespace {

// Centres beyond this are as good as infinitely far; it keeps the kernels' arithmetic finite.
constexpr double farthestCenter = 1e7;

} // namespace

EffectFilter::EffectFilter(std::shared_ptr<const FilterAttributes> attributes, Output output)
    : CIFilter(std::move(attributes))
    , output_(output) {}

CIImage EffectFilter::outputImage() const {
    CIImage input = image("inputImage");
    if (input.isNull() || input.isEmpty()) return input;
    return output_(*this, input);
}

double EffectFilter::ranged(const std::string& key) const {
    const FilterAttribute* a = attributes().input(key);
    double value = number(key);
    if (!a) return value;
    const double* fallback = std::get_if<double>(&a->defaultValue);
    if (std::isnan(value)) {
        logOnce(name() + " " + key + " NaN",
                "The filter " + name() + " got " + key + " that is not a number; the default was used.");
        return fallback ? *fallback : 0.0;
    }
    double low = a->minimum.value_or(-HUGE_VAL), high = a->maximum.value_or(HUGE_VAL);
    if (value >= low && value <= high) return value;
    logOnce(name() + " " + key + " out of range", "The filter " + name() + " got " + key + " outside " +
                                                      std::to_string(low) + " to " + std::to_string(high) +
                                                      "; the value was clamped.");
    return value < low ? low : high;
}

Point EffectFilter::center() const {
    CIVector given = vector("inputCenter");
    CIVector fallback;
    if (const FilterAttribute* a = attributes().input("inputCenter"))
        if (auto v = std::get_if<CIVector>(&a->defaultValue)) fallback = *v;
    auto component = [&](double v, double otherwise) {
        if (std::isnan(v)) {
            logOnce(name() + " centre",
                    "The filter " + name() + " got a centre that is not a number; the default was used.");
            return otherwise;
        }
        return std::clamp(v, -farthestCenter, farthestCenter);
    };
    return {component(given.x(), fallback.x()), component(given.y(), fallback.y())};
}

void registerEffect(const std::string& name, const std::string& displayName, const std::string& category,
                    std::vector<FilterAttribute> inputs, EffectFilter::Output output) {
    FilterAttributes a;
    a.name = name;
    a.displayName = displayName;
    a.categories = {category, filterCategoryVideo, filterCategoryStillImage, filterCategoryBuiltIn};
    a.inputs = std::move(inputs);
    FilterRegistry::shared().registerFilter(std::make_shared<const FilterAttributes>(std::move(a)),
                                            [output](std::shared_ptr<const FilterAttributes> attributes) {
                                                return std::unique_ptr<CIFilter>(
                                                    new EffectFilter(std::move(attributes), output));
                                            });
}

FilterAttribute effectImageInput() {
    return imageInput("inputImage", "Image");
}

FilterAttribute centerInput() {
    FilterAttribute a = vectorInput("inputCenter", "Center", CIVector{150, 150});
    a.type = FilterAttributeType::Position;
    return a;
}

FilterAttribute angleInput(double value, double minimum, double maximum, const std::string& name,
                           const std::string& displayName) {
    return numberInput(name, displayName, value, minimum, maximum, minimum, maximum,
                       FilterAttributeType::Angle);
}

} // namespace vtl::detail
