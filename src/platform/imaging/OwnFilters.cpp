#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/ChromaKey.h"
#include "platform/imaging/ColorTransition.h"
#include "platform/imaging/FilterAttributeBuilders.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/PixelKernels.h"
#include "platform/imaging/WhiteTransition.h"

namespace vtl {

using namespace detail;

namespace {

template <class Filter> void registerOwn() {
    FilterRegistry::shared().registerFilter(Filter::filterAttributes(),
                                            [](std::shared_ptr<const FilterAttributes> a) {
                                                return std::unique_ptr<CIFilter>(new Filter(std::move(a)));
                                            });
}

FilterAttributes ownFilter(const std::string& name, const std::string& displayName) {
    FilterAttributes a;
    a.name = name;
    a.displayName = displayName;
    a.categories = {filterCategoryVideo, filterCategoryStillImage};
    return a;
}

FilterAttribute timeInput() {
    return numberInput("inputTime", "Time", 0.5, 0, 1, 0, 1, FilterAttributeType::Time);
}

double timeOf(const CIFilter& filter, double time) {
    return clampedInput(filter.name(), "inputTime", time, 0, 1);
}

Mutex transitionColorMutex;
CIColor sharedTransitionColor VTL_GUARDED_BY(transitionColorMutex){1, 1, 1, 1};

} // namespace

// ChromaKey

ChromaKey::ChromaKey()
    : ChromaKey(filterAttributes()) {}
ChromaKey::ChromaKey(std::shared_ptr<const FilterAttributes> attributes)
    : CIFilter(std::move(attributes)) {}

std::unique_ptr<CIFilter> ChromaKey::filterWithName(const std::string&) {
    return std::make_unique<ChromaKey>();
}

std::shared_ptr<const FilterAttributes> ChromaKey::filterAttributes() {
    static const auto attributes = [] {
        FilterAttributes a = ownFilter("ChromaKey", "Chroma Key");
        a.inputs = {imageInput("inputImage", "Image"), colorInput("inputColor", "Color", CIColor(0, 1, 0, 1)),
                    numberInput("inputThreshold", "Threshold", 0.1, 0, 1, 0, 1),
                    numberInput("inputSmoothing", "Smoothing", 0.1, 0, 1, 0, 1)};
        return std::make_shared<const FilterAttributes>(std::move(a));
    }();
    return attributes;
}

void ChromaKey::registerFilter() {
    registerOwn<ChromaKey>();
}

CIImage ChromaKey::outputImage() const {
    CIImage input = image("inputImage");
    if (input.isNull()) return {};
    if (input.isEmpty()) return input;
    double threshold = clampedInput(name(), "inputThreshold", number("inputThreshold"), 0, 1);
    double smoothing = clampedInput(name(), "inputSmoothing", number("inputSmoothing"), 0, 1);
    return CIImage::withNode(makeChromaKeyNode(input.node(), color("inputColor"), threshold, smoothing),
                             input.colorSpace());
}

// WhiteTransition

WhiteTransition::WhiteTransition()
    : WhiteTransition(filterAttributes()) {}
WhiteTransition::WhiteTransition(std::shared_ptr<const FilterAttributes> attributes)
    : CIFilter(std::move(attributes)) {}

std::unique_ptr<CIFilter> WhiteTransition::filterWithName(const std::string&) {
    return std::make_unique<WhiteTransition>();
}

std::shared_ptr<const FilterAttributes> WhiteTransition::filterAttributes() {
    static const auto attributes = [] {
        FilterAttributes a = ownFilter("WhiteTransition", localizedString("White Transition"));
        a.inputs = {imageInput("sourceImage", "Source Image"),
                    imageInput("destinationImage", "Destination Image"), timeInput()};
        return std::make_shared<const FilterAttributes>(std::move(a));
    }();
    return attributes;
}

void WhiteTransition::registerFilter() {
    registerOwn<WhiteTransition>();
}

void WhiteTransition::setNilValueForKey(const std::string& key) {
    if (key == "inputTime") return;
    CIFilter::setNilValueForKey(key);
}

CIImage WhiteTransition::outputImage() const {
    CIImage source = image("sourceImage"), destination = image("destinationImage");
    if (source.isNull()) return {};
    if (destination.isNull()) destination = CIImage::emptyImage();
    return CIImage::withNode(makeTransitionNode(source.node(), destination.node(),
                                                timeOf(*this, number("inputTime")), CIColor(1, 1, 1, 1)),
                             source.colorSpace());
}

// ColorTransition

ColorTransition::ColorTransition()
    : ColorTransition(filterAttributes()) {}
ColorTransition::ColorTransition(std::shared_ptr<const FilterAttributes> attributes)
    : CIFilter(std::move(attributes)) {}

std::unique_ptr<CIFilter> ColorTransition::filterWithName(const std::string&) {
    return std::make_unique<ColorTransition>();
}

std::shared_ptr<const FilterAttributes> ColorTransition::filterAttributes() {
    static const auto attributes = [] {
        FilterAttributes a = ownFilter("ColorTransition", localizedString("Color Transition"));
        a.inputs = {imageInput("sourceImage", "Source Image"),
                    imageInput("destinationImage", "Destination Image"), timeInput(),
                    colorInput("transitionColor", "Transition Color", CIColor(1, 1, 1, 1),
                               FilterAttributeType::OpaqueColor)};
        return std::make_shared<const FilterAttributes>(std::move(a));
    }();
    return attributes;
}

void ColorTransition::registerFilter() {
    registerOwn<ColorTransition>();
}

CIColor ColorTransition::transitionColor() {
    MutexLock lock(transitionColorMutex);
    return sharedTransitionColor;
}

void ColorTransition::setTransitionColor(const CIColor& color) {
    MutexLock lock(transitionColorMutex);
    sharedTransitionColor = color;
}

void ColorTransition::setNilValueForKey(const std::string& key) {
    if (key == "inputTime" || key == "transitionColor") return;
    CIFilter::setNilValueForKey(key);
}

void ColorTransition::storeValue(const std::string& key, FilterValue value) {
    if (key == "transitionColor") {
        setTransitionColor(std::get<CIColor>(value));
        return;
    }
    CIFilter::storeValue(key, std::move(value));
}

FilterValue ColorTransition::value(const std::string& key) const {
    if (key == "transitionColor") return transitionColor();
    return CIFilter::value(key);
}

CIImage ColorTransition::outputImage() const {
    CIImage source = image("sourceImage"), destination = image("destinationImage");
    if (source.isNull()) return {};
    if (destination.isNull()) destination = CIImage::emptyImage();
    CIColor through = transitionColor();
    through.alpha = 1;
    return CIImage::withNode(
        makeTransitionNode(source.node(), destination.node(), timeOf(*this, number("inputTime")), through),
        source.colorSpace());
}

} // namespace vtl
