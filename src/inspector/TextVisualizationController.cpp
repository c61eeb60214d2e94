#include "inspector/TextVisualizationController.h"

#include "model/CompositionRectangularState.h"
#include "objects/CompositionTextObject.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>

namespace vtl {

namespace {

using StyleList = TextVisualizationController::StyleList;

StyleList sortedByName(StyleList list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a->name() < b->name(); });
    return list;
}

template <typename Keep> StyleList filtered(const StyleList& all, Keep keep) {
    StyleList kept;
    for (const auto& style : all)
        if (keep(*style)) kept.push_back(style);
    return sortedByName(std::move(kept));
}

ArchivedColor deviceColor(double r, double g, double b, double a = 1.0) {
    return ArchivedColor{r, g, b, a, ArchivedColor::deviceRgb};
}

RGBAColor grey(double level, double alpha = 1.0) {
    return RGBAColor::device(level, level, level, alpha);
}

struct Preset {
    const char* name;
    const char* font;
    double size;
    ArchivedColor textColor;
    bool background;
    RGBAColor backgroundColor;
    bool frame;
    bool shadow;
    float shadowDistance;
};

std::shared_ptr<TextVisualization> makePreset(const Preset& p, bool first) {
    auto style = makeModelObject<TextVisualization>();
    style->setUndoDisabled(true);
    style->setName(p.name);
    style->vistrelOwn = true;
    // The name stays portable; drawing resolves it to an installed face.
    style->setFont(ArchivedFont{p.font, p.size});
    style->setColor(p.textColor);
    style->setAlignment(1);
    style->setVerticalAlignment(1);
    if (!first) {
        style->setVerticalPadding(10);
        style->setHorizontalPadding(20);
    }
    const std::shared_ptr<CompositionRectangularState>& state = style->state();
    if (state) {
        state->setDrawsBackground(p.background);
        if (p.background) state->setBackgroundColor(p.backgroundColor);
        if (!first) state->setCornerRadius(10);
        state->setDrawsFrame(p.frame);
        state->setFrameThickness(5);
        state->setFrameColor(p.frame ? RGBAColor::device(1, 1, 1) : grey(1.0 / 3.0));
        state->setDrawsShadow(p.shadow);
        state->setShadowAngle(180);
        state->setShadowColor(RGBAColor::device(0, 0, 0, 0.3));
        state->setShadowDistance(p.shadowDistance);
        state->setShadowRadius(3);
        state->setShadowOpacity(0.5f);
    }
    style->setUndoDisabled(false);
    return style;
}

} // namespace

StyleList TextVisualizationController::standardVisualizations() {
    const RGBAColor clear = grey(0, 0);
    const Preset presets[] = {
        {"Vistrel 1", "Helvetica", 48, deviceColor(1, 1, 1), false, clear, false, true, 5},
        {"Vistrel 2", "Helvetica", 48, deviceColor(1, 1, 1), true, grey(0.3, 0.5), true, true, 3},
        {"Vistrel 3", "Courier", 48, deviceColor(1, 1, 1), true, grey(0.3), false, false, 3},
        {"Vistrel 4", "Courier", 24, deviceColor(1, 1, 1), true, grey(0.3), false, false, 3},
        {"Vistrel 5", "Courier", 48, deviceColor(0.3, 0.3, 0.3), true, grey(1), false, false, 3},
        {"Vistrel 6", "Courier", 24, deviceColor(0.1, 0.1, 0.1), true, grey(1), false, false, 3},
    };
    StyleList list;
    for (const Preset& preset : presets)
        list.push_back(makePreset(preset, &preset == &presets[0]));
    return list;
}

TextVisualizationController::TextVisualizationController(UserDefaults& defaults)
    : defaults_(defaults) {
    registerVisualObjectClasses();
    if (std::optional<PlistBytes> data = defaults_.dataForKey(userDefaultsKey); data && !data->empty()) {
        KeyedUnarchiver coder;
        if (Status opened = coder.open(*data); opened) {
            if (std::optional<ArchivedArray> items = coder.decodeArrayForKey(KeyedArchiver::rootKey)) {
                for (const ArchivedValue& item : *items)
                    if (auto style = item.objectAs<TextVisualization>()) visualizations_.push_back(style);
            }
            if (Status finished = coder.finishDecoding(); !finished) {
                logMessage("The stored text styles could not be read: " + finished.error());
                visualizations_.clear();
            }
        } else {
            logMessage("The stored text styles could not be read: " + opened.error());
        }
    }
    if (visualizations_.empty()) visualizations_ = standardVisualizations();
}

TextVisualizationController& TextVisualizationController::sharedInstance() {
    static TextVisualizationController* const instance = [] {
        auto* made = new TextVisualizationController(UserDefaults::standard());
        CompositionTextObject::setDefaultStyleProvider([made] {
            StyleList shipped = made->visualizationsVistrelOwn();
            return shipped.empty() ? nullptr : shipped.front();
        });
        return made;
    }();
    return *instance;
}

Status TextVisualizationController::synchronize() {
    KeyedArchiver coder;
    coder.encodeArray(KeyedArchiver::rootKey, visualizations_);
    Result<PlistBytes> data = coder.finishEncoding();
    if (!data) return data.asFailure();
    if (Status stored = defaults_.set(userDefaultsKey, PropertyList(std::move(data).value())); !stored)
        return stored;
    return defaults_.synchronize();
}

std::shared_ptr<TextVisualization> TextVisualizationController::visualizationAtIndex(size_t index) const {
    if (visualizations_.empty()) return nullptr;
    return index < visualizations_.size() ? visualizations_[index] : visualizations_.front();
}

StyleList TextVisualizationController::visualizationsVistrelOwn() const {
    return filtered(visualizations_, [](const TextVisualization& s) { return s.vistrelOwn; });
}

StyleList TextVisualizationController::visualizationsUser() const {
    return filtered(visualizations_, [](const TextVisualization& s) {
        return !s.vistrelOwn && !s.isProjectCopy && !s.documentSpecific;
    });
}

StyleList TextVisualizationController::visualizationsDocumentSpecific() const {
    return filtered(visualizations_, [](const TextVisualization& s) { return s.documentSpecific; });
}

std::shared_ptr<TextVisualization> TextVisualizationController::addNewVisualization() {
    auto style = makeModelObject<TextVisualization>();
    addVisualization(style);
    return style;
}

void TextVisualizationController::addVisualization(const std::shared_ptr<TextVisualization>& style) {
    if (style) visualizations_.push_back(style);
}

void TextVisualizationController::removeVisualization(const std::shared_ptr<TextVisualization>& style) {
    std::erase(visualizations_, style);
}

std::shared_ptr<TextVisualization>
TextVisualizationController::copyOfVisualization(const TextVisualization& style) {
    auto copy = std::dynamic_pointer_cast<TextVisualization>(style.copy());
    if (!copy) return nullptr;
    copy->isProjectCopy = false;
    copy->vistrelOwn = false;
    addVisualization(copy);
    return copy;
}

std::shared_ptr<TextVisualization>
TextVisualizationController::projectCopyOfVisualization(const TextVisualization& style) const {
    return std::dynamic_pointer_cast<TextVisualization>(style.projectCopy());
}

} // namespace vtl
