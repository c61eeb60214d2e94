#include "platform/imaging/TransitionFilters.h"

#include "platform/foundation/Log.h"
#include "platform/imaging/FilterAttributeBuilders.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/TransitionKernels.h"

#include <cmath>
#include <optional>

namespace vtl {

using namespace detail;

namespace {

// Lengths, angles and scales beyond this reach past any picture the imaging layer draws; capping
// them keeps the geometry finite.
constexpr double largestMagnitude = 1e6;

class TransitionFilter final : public CIFilter {
public:
    using Output = CIImage (*)(const TransitionFilter&);
    TransitionFilter(std::shared_ptr<const FilterAttributes> attributes, Output output)
        : CIFilter(std::move(attributes))
        , output_(output) {}
    CIImage outputImage() const override { return output_(*this); }

    using CIFilter::color;
    using CIFilter::image;

    // A number input: one that is not finite counts as its default, one outside its range is
    // clamped into it (each logged once).
    double checked(const std::string& key) const {
        const FilterAttribute* a = attributes().input(key);
        double value = number(key);
        if (!std::isfinite(value)) {
            logOnce(name() + " " + key + " not finite",
                    "The filter " + name() + " got " + key +
                        " that is not a finite number; it uses the default.");
            const double* fallback = a ? std::get_if<double>(&a->defaultValue) : nullptr;
            value = fallback ? *fallback : 0;
        }
        return clampedInput(name(), key, value, a && a->minimum ? *a->minimum : -largestMagnitude,
                            a && a->maximum ? *a->maximum : largestMagnitude);
    }

    // A vector input with every component finite and within reach, else its default.
    CIVector checkedVector(const std::string& key) const {
        CIVector v = vector(key);
        for (std::size_t i = 0; i < v.count; ++i)
            if (!(std::fabs(v.at(i)) <= largestMagnitude)) {
                logOnce(name() + " " + key + " not finite",
                        "The filter " + name() + " got " + key + " that is not finite; it uses the default.");
                const FilterAttribute* a = attributes().input(key);
                const CIVector* fallback = a ? std::get_if<CIVector>(&a->defaultValue) : nullptr;
                return fallback ? *fallback : CIVector{};
            }
        return v;
    }

    // A rectangle given as (x, y, width, height); empty when it has no area.
    Rect rect(const std::string& key) const {
        CIVector v = checkedVector(key);
        return Rect(v.x(), v.y(), v.z(), v.w()).standardized();
    }

    Point point(const std::string& key) const {
        CIVector v = checkedVector(key);
        return {v.x(), v.y()};
    }

private:
    Output output_;
};

// The two pictures of a transition: none without a source, an empty target when there is none.
struct Ends {
    CIImage source, target;
};

std::optional<Ends> endsOf(const TransitionFilter& f) {
    Ends ends{f.image("inputImage"), f.image("inputTargetImage")};
    if (ends.source.isNull()) return std::nullopt;
    if (ends.target.isNull()) ends.target = CIImage::emptyImage();
    return ends;
}

CIImage imageOf(const Ends& ends, ImageNodeRef node) {
    return CIImage::withNode(std::move(node), ends.source.colorSpace());
}

// What a sweep crosses: the given rectangle and both pictures (their finite extents), so the
// source is whole at time 0 and the target whole at time 1 however the rectangle was set.
Rect sweepArea(const Ends& ends, const Rect& given) {
    Rect area = given;
    for (const CIImage* image : {&ends.source, &ends.target})
        if (!image->isEmpty() && !image->isInfinite()) area = area.unionWith(image->extent());
    return area;
}

// The result when there is nothing to animate: either end exactly, or, with no area to sweep
// across (pictures without bounds and no extent given), a cut halfway.
std::optional<CIImage> settled(const Ends& ends, double time, const Rect& area) {
    if (ends.source.isEmpty() && ends.target.isEmpty()) return CIImage::emptyImage();
    if (time > 0 && time < 1 && !area.isEmpty()) return std::nullopt;
    double end = time <= 0 ? 0 : time >= 1 ? 1 : (time < 0.5 ? 0 : 1);
    return imageOf(ends, makeDissolveNode(ends.source.node(), ends.target.node(), end));
}

CIImage dissolve(const TransitionFilter& f) {
    auto ends = endsOf(f);
    if (!ends) return {};
    double time = f.checked("inputTime");
    if (auto done = settled(*ends, time, Rect(0, 0, 1, 1))) return *done;
    return imageOf(*ends, makeDissolveNode(ends->source.node(), ends->target.node(), time));
}

CIImage copyMachine(const TransitionFilter& f) {
    auto ends = endsOf(f);
    if (!ends) return {};
    CopyMachineParameters p;
    p.time = f.checked("inputTime");
    p.area = sweepArea(*ends, f.rect("inputExtent"));
    if (auto done = settled(*ends, p.time, p.area)) return *done;
    p.angleRadians = f.checked("inputAngle");
    p.widthPixels = f.checked("inputWidth");
    p.opacity = f.checked("inputOpacity");
    p.color = f.color("inputColor");
    return imageOf(*ends, makeCopyMachineNode(ends->source.node(), ends->target.node(), p));
}

CIImage pageCurl(const TransitionFilter& f, bool withShadow) {
    auto ends = endsOf(f);
    if (!ends) return {};
    PageCurlParameters p;
    p.time = f.checked("inputTime");
    p.area = sweepArea(*ends, f.rect("inputExtent"));
    if (auto done = settled(*ends, p.time, p.area)) return *done;
    p.angleRadians = f.checked("inputAngle");
    p.radiusPixels = f.checked("inputRadius");
    CIImage backside = f.image("inputBacksideImage");
    CIImage shading;
    if (withShadow) {
        p.shadow = true;
        p.shadowSize = f.checked("inputShadowSize");
        p.shadowAmount = f.checked("inputShadowAmount");
        p.shadowArea = f.rect("inputShadowExtent");
    } else {
        shading = f.image("inputShadingImage");
        if (shading.isEmpty()) shading = CIImage();
        p.shadingExtent = shading.extent();
    }
    return imageOf(*ends, makePageCurlNode(ends->source.node(), ends->target.node(), backside.node(),
                                           shading.node(), p));
}

CIImage ripple(const TransitionFilter& f) {
    auto ends = endsOf(f);
    if (!ends) return {};
    RippleParameters p;
    p.time = f.checked("inputTime");
    p.area = sweepArea(*ends, f.rect("inputExtent"));
    if (auto done = settled(*ends, p.time, p.area)) return *done;
    p.center = f.point("inputCenter");
    p.widthPixels = f.checked("inputWidth");
    p.scale = f.checked("inputScale");
    CIImage shading = f.image("inputShadingImage");
    if (shading.isEmpty()) shading = CIImage();
    p.shadingExtent = shading.extent();
    return imageOf(*ends, makeRippleNode(ends->source.node(), ends->target.node(), shading.node(), p));
}

CIImage barsSwipe(const TransitionFilter& f) {
    auto ends = endsOf(f);
    if (!ends) return {};
    BarsSwipeParameters p;
    p.time = f.checked("inputTime");
    p.area = sweepArea(*ends, Rect());
    if (auto done = settled(*ends, p.time, p.area)) return *done;
    p.angleRadians = f.checked("inputAngle");
    p.barWidthPixels = f.checked("inputWidth");
    p.barOffsetPixels = f.checked("inputBarOffset");
    return imageOf(*ends, makeBarsSwipeNode(ends->source.node(), ends->target.node(), p));
}

// A number input with its slider range; `minimum` and `maximum` bound what the filter accepts
// (none: any finite value).
FilterAttribute numberWithRange(const std::string& name, const std::string& displayName, double value,
                                double sliderMinimum, double sliderMaximum, std::optional<double> minimum,
                                std::optional<double> maximum, FilterAttributeType type) {
    FilterAttribute a = numberInput(name, displayName, value, 0, 0, sliderMinimum, sliderMaximum, type);
    a.minimum = minimum;
    a.maximum = maximum;
    return a;
}

FilterAttribute timeInput() {
    return numberWithRange("inputTime", "Time", 0, 0, 1, 0.0, 1.0, FilterAttributeType::Time);
}

FilterAttribute angleInput(double value, double sliderMinimum, double sliderMaximum) {
    return numberWithRange("inputAngle", "Angle", value, sliderMinimum, sliderMaximum, std::nullopt,
                           std::nullopt, FilterAttributeType::Angle);
}

FilterAttribute extentInput(CIVector value) {
    return vectorInput("inputExtent", "Extent", value);
}

FilterAttribute radiusInput() {
    return numberWithRange("inputRadius", "Radius", 100, 0.01, 400, 0.01, std::nullopt,
                           FilterAttributeType::Distance);
}

void add(const std::string& name, const std::string& displayName, std::vector<FilterAttribute> inputs,
         TransitionFilter::Output output) {
    FilterAttributes a;
    a.name = name;
    a.displayName = displayName;
    a.categories = {"CICategoryTransition", filterCategoryVideo, filterCategoryStillImage,
                    filterCategoryBuiltIn};
    a.inputs = {imageInput("inputImage", "Image"), imageInput("inputTargetImage", "Target Image")};
    a.inputs.insert(a.inputs.end(), inputs.begin(), inputs.end());
    FilterRegistry::shared().registerFilter(std::make_shared<const FilterAttributes>(std::move(a)),
                                            [output](std::shared_ptr<const FilterAttributes> attributes) {
                                                return std::unique_ptr<CIFilter>(
                                                    new TransitionFilter(std::move(attributes), output));
                                            });
}

} // namespace

void registerTransitionFilters() {
    using Type = FilterAttributeType;
    add("CIDissolveTransition", "Dissolve", {timeInput()}, dissolve);
    add("CICopyMachineTransition", "Copy Machine",
        {extentInput({0, 0, 300, 300}), colorInput("inputColor", "Color", CIColor(0.6, 1, 1, 1)), timeInput(),
         angleInput(0, -M_PI, M_PI),
         numberWithRange("inputWidth", "Width", 200, 0.1, 500, 0.1, std::nullopt, Type::Distance),
         numberWithRange("inputOpacity", "Opacity", 1.3, 0, 3, 0.0, std::nullopt, Type::Scalar)},
        copyMachine);
    add("CIPageCurlTransition", "Page Curl",
        {imageInput("inputBacksideImage", "Backside Image"), imageInput("inputShadingImage", "Shading Image"),
         extentInput({0, 0, 300, 300}), timeInput(), angleInput(0, -M_PI, M_PI), radiusInput()},
        [](const TransitionFilter& f) { return pageCurl(f, false); });
    add("CIPageCurlWithShadowTransition", "Page Curl With Shadow",
        {imageInput("inputBacksideImage", "Backside Image"), extentInput({0, 0, 0, 0}), timeInput(),
         angleInput(0, -M_PI, M_PI), radiusInput(),
         numberWithRange("inputShadowSize", "Shadow Size", 0.5, 0, 1, 0.0, 1.0, Type::Distance),
         numberWithRange("inputShadowAmount", "Shadow Amount", 0.7, 0, 1, 0.0, 1.0, Type::Scalar),
         vectorInput("inputShadowExtent", "Shadow Extent", {0, 0, 0, 0})},
        [](const TransitionFilter& f) { return pageCurl(f, true); });
    FilterAttribute center = vectorInput("inputCenter", "Center", {150, 150});
    center.type = Type::Position;
    add("CIRippleTransition", "Ripple",
        {imageInput("inputShadingImage", "Shading Image"), center, extentInput({0, 0, 300, 300}), timeInput(),
         numberWithRange("inputWidth", "Width", 100, 1, 1000, 1.0, std::nullopt, Type::Distance),
         numberWithRange("inputScale", "Scale", 50, -50, 50, std::nullopt, std::nullopt, Type::Scalar)},
        ripple);
    add("CIBarsSwipeTransition", "Bars Swipe",
        {angleInput(M_PI, 0, 2 * M_PI),
         numberWithRange("inputWidth", "Width", 30, 2, 300, 2.0, std::nullopt, Type::Distance),
         numberWithRange("inputBarOffset", "Bar Offset", 10, 1, 100, 0.0, std::nullopt, Type::Scalar),
         timeInput()},
        barsSwipe);
}

} // namespace vtl
