// CompositionTransition drawing: the filters of a frame made from the type and the stored values,
// the two objects' pictures placed on the canvas, and the transition frame. Runs on the drawing
// thread and writes nothing of the model.

#include "model/CompositionObjectsContainer.h"
#include "model/EffectFilterDescriptions.h"
#include "objects/CompositionTransition.h"
#include "objects/ObjectRendererResources.h"
#include "objects/TransitionValues.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/TransitionShading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vtl {

namespace detail {

namespace {

constexpr const char* transitionColourKey = "transitionColor";

// The numbers of a vector text "[x y …]" (brackets optional), at most four; none when a token is
// no number.
std::optional<CIVector> vectorFromText(const std::string& text) {
    CIVector vector;
    const char* p = text.c_str();
    while (*p) {
        if (*p == '[' || *p == ']' || *p == ' ' || *p == ',' || *p == '\t') {
            ++p;
            continue;
        }
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p || vector.count == vector.values.size()) return std::nullopt;
        vector.values[vector.count++] = v;
        p = end;
    }
    return vector;
}

std::string numberText(double v) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, v);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// Presets of the table of types: the curls' angle and radius, and the shading image.
void applyPresets(int32_t type, CIFilter& filter) {
    switch (static_cast<TransitionType>(type)) {
    case TransitionType::PageCurl:
        filter.setValue("inputAngle", 1.0471976);
        filter.setValue("inputRadius", 100.0);
        filter.setValue("inputShadingImage", restrictedShineImage());
        break;
    case TransitionType::PageCurlWithShadow:
        filter.setValue("inputAngle", 1.0471976);
        filter.setValue("inputRadius", 100.0);
        break;
    case TransitionType::Ripple:
        filter.setValue("inputShadingImage", restrictedShineImage());
        break;
    default:
        break;
    }
}

} // namespace

bool isStorableTransitionValue(const PropertyList& value) {
    if (std::optional<double> number = value.numberValue()) return std::isfinite(*number);
    const std::string* text = value.stringValue();
    if (!text) return false;
    // Every number the text holds must be finite ("nan", "inf" and overflowing digits are not).
    const char* p = text->c_str();
    while (*p) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p) {
            ++p;
            continue;
        }
        if (!std::isfinite(v)) return false;
        p = end;
    }
    return true;
}

PropertyList storedFormOfFilterValue(const FilterValue& value) {
    if (auto number = std::get_if<double>(&value)) return PropertyList(*number);
    if (auto colour = std::get_if<CIColor>(&value))
        return PropertyList(
            effectColorText(RGBAColor::device(colour->red, colour->green, colour->blue, colour->alpha)));
    if (auto vector = std::get_if<CIVector>(&value)) {
        std::string text = "[";
        for (std::size_t i = 0; i < vector->count; ++i)
            text += (i ? " " : "") + numberText(vector->values[i]);
        return PropertyList(text + "]");
    }
    return {};
}

std::optional<FilterValue> filterValueFromStoredForm(const PropertyList& stored,
                                                     const FilterAttribute& input) {
    if (!isStorableTransitionValue(stored)) return std::nullopt;
    if (input.attributeClass == filterAttributeClassNumber) {
        if (std::optional<double> number = stored.numberValue()) return FilterValue(*number);
        return std::nullopt;
    }
    const std::string* text = stored.stringValue();
    if (!text) return std::nullopt;
    if (input.attributeClass == filterAttributeClassColor) {
        std::optional<RGBAColor> colour = effectColorFromText(*text);
        if (!colour) return std::nullopt;
        return FilterValue(CIColor(colour->red, colour->green, colour->blue, colour->alpha));
    }
    if (input.attributeClass == filterAttributeClassVector) {
        std::optional<CIVector> vector = vectorFromText(*text);
        if (!vector || vector->count == 0) return std::nullopt;
        return FilterValue(*vector);
    }
    return std::nullopt;
}

std::unique_ptr<CIFilter> makeTransitionFilter(const TransitionTypeDescription& description, int32_t type,
                                               const PlistDictionary& values, ColourHandling colour) {
    // A transition is made (decoded, or its type set) before any renderer has registered the
    // filters it names.
    registerBuiltinFilters();
    std::unique_ptr<CIFilter> filter = FilterRegistry::shared().filterWithName(description.renderFilter);
    if (!filter) return nullptr;
    applyPresets(type, *filter);
    for (const auto& [key, stored] : values) {
        if (colour == ColourHandling::Skip && key == transitionColourKey) continue;
        const FilterAttribute* input = filter->attributes().input(key);
        if (!input) continue;
        if (std::optional<FilterValue> value = filterValueFromStoredForm(stored, *input))
            filter->setValue(key, std::move(*value));
    }
    return filter;
}

std::unique_ptr<CIFilter> makeTransitionHelperFilter(const TransitionTypeDescription& description) {
    if (description.helperFilter.empty()) return nullptr;
    registerBuiltinFilters();
    std::unique_ptr<CIFilter> helper = FilterRegistry::shared().filterWithName(description.helperFilter);
    if (helper && description.helperFilter == "CIColorControls") {
        helper->setValue("inputSaturation", 0.22);
        helper->setValue("inputBrightness", -0.35);
        helper->setValue("inputContrast", 0.25);
    }
    return helper;
}

} // namespace detail

using Transition = CompositionTransition;

Transition::Filters Transition::filtersForRendering() const {
    Filters filters;
    const int32_t type = transitionType();
    const TransitionTypeDescription* description = descriptionOfType(type);
    if (!description) return filters;
    // Building a frame never sets the program-wide colour: only setting the value does.
    filters.render =
        detail::makeTransitionFilter(*description, type, filterValues(), detail::ColourHandling::Skip);
    if (filters.render) filters.helper = detail::makeTransitionHelperFilter(*description);
    return filters;
}

// The object's pictures at the time, stacked and placed on the canvas as the object places them.
// A masked object whose mask draws at the time is cut by its mask, placed the same way.
CIImage Transition::placedImageOfObject(CompositionRectangularObject& object,
                                        const ObjectImageRequest& request) {
    const double t = request.compositionTime;
    auto place = [&](CompositionRectangularObject& placed) -> CIImage {
        ObjectImageRequest own = request;
        own.xFactor = placed.xScalingFactorForTime(t);
        own.yFactor = static_cast<float>(placed.yScalingFactorForTime(t));
        const std::vector<CIImage> images =
            placed.createScaledImagesForTime(own, BackAndFrontImages::Include);
        const CIImage composite = vtltools::imageFromImages(images);
        if (composite.isNull()) return composite;
        const Rect rect = placed.rectForTime(t);
        Size size = placed.originalSize();
        if (!(size.width > 0 && size.height > 0)) size = rect.size;
        size = Size{size.width * own.xFactor, size.height * own.yFactor};
        const AffineTransform turn =
            placed.compositingTransformWithRect(Rect(0, 0, size.width, size.height), t)
                .value_or(AffineTransform::identity());
        return composite.imageByApplyingTransform(
            turn.concatenated(AffineTransform::translation(rect.origin.x, rect.origin.y)));
    };
    if (auto* mask = dynamic_cast<CompositionRectangularObject*>(object.maskObject().get());
        mask && mask->needsToDrawAtTime(t)) {
        const CIImage picture = place(object);
        if (picture.isNull()) return picture;
        return vtltools::imageFromImageMaskImage(picture, place(*mask));
    }
    return place(object);
}

CIImage Transition::createImageAtTime(const ObjectImageRequest& request) {
    auto fromHeld = fromObject();
    auto toHeld = toObject();
    auto* f = dynamic_cast<CompositionRectangularObject*>(fromHeld.get());
    auto* t = dynamic_cast<CompositionRectangularObject*>(toHeld.get());
    if (!f || !t) return {};
    Filters filters = filtersForRendering();
    if (!filters.render) return {};
    const int32_t type = transitionType();

    CIImage fromImage = placedImageOfObject(*f, request);
    CIImage toImage = placedImageOfObject(*t, request);
    bool any = false;
    Rect area;
    for (const CIImage* image : {&fromImage, &toImage}) {
        if (image->isNull() || image->isEmpty()) continue;
        area = any ? area.unionWith(image->extent()) : image->extent();
        any = true;
    }
    if (!any) return {};
    // Both pictures cover the same area, so the filters see no edge where one ends.
    const CIImage clear = vtltools::transparentImageOfRect(area);
    for (CIImage* image : {&fromImage, &toImage}) {
        if (image->isNull() || image->isEmpty()) {
            *image = clear;
        } else if (image->extent() != area) {
            const CIImage stack[] = {clear, *image};
            *image = vtltools::imageFromImages(stack);
        }
    }

    const double progress = progressAtTime(request.compositionTime);
    CIFilter& render = *filters.render;
    const Size canvas = originalSize();
    if (render.hasInput("inputExtent"))
        render.setValue("inputExtent", CIVector{0, 0, canvas.width, canvas.height});
    if (render.hasInput("inputCenter")) render.setValue("inputCenter", CIVector{area.midX(), area.midY()});

    switch (static_cast<TransitionType>(type)) {
    case TransitionType::Color: {
        const CIImage canvasClear = vtltools::transparentImageOfRect(Rect(0, 0, canvas.width, canvas.height));
        const CIImage source[] = {canvasClear, fromImage};
        const CIImage destination[] = {canvasClear, toImage};
        render.setValue("inputTime", progress);
        render.setValue("sourceImage", vtltools::imageFromImages(source));
        render.setValue("destinationImage", vtltools::imageFromImages(destination));
        return render.outputImage();
    }
    case TransitionType::BlurDissolve: {
        render.setValue("inputTime", progress);
        render.setValue("inputImage", fromImage);
        render.setValue("inputTargetImage", toImage);
        if (!filters.helper) return render.outputImage();
        const std::optional<double> stored = helperFilterValueForKey("inputRadius").numberValue();
        const double radius = stored && std::isfinite(*stored) ? *stored : 0;
        filters.helper->setValue("inputImage", render.outputImage());
        // The single-precision sine of π is a hair below zero: the ends get no blur at all.
        filters.helper->setValue(
            "inputRadius", std::max(0.0, double(std::sin(static_cast<float>(progress * M_PI))) * radius));
        return filters.helper->outputImage();
    }
    case TransitionType::PageCurl:
    case TransitionType::PageCurlWithShadow:
        if (filters.helper) {
            filters.helper->setValue("inputImage", fromImage);
            CIImage back = filters.helper->outputImage();
            // The roll reads its back at mirrored places all over the page; computed once ahead,
            // the colour controls are not recomputed for every tile that reads them.
            if (request.renderer) back = request.renderer->materializedImage(back);
            render.setValue("inputBacksideImage", back);
        }
        [[fallthrough]];
    default:
        render.setValue("inputImage", fromImage);
        render.setValue("inputTargetImage", toImage);
        render.setValue("inputTime", progress);
        return render.outputImage();
    }
}

} // namespace vtl
