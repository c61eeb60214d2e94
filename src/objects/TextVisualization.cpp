#include "objects/TextVisualization.h"

#include "model/CompositionRectangularState.h"
#include "model/CompositionUndoManager.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/NotificationCenter.h"

namespace vtl {

namespace {

using Style = TextVisualization;

std::shared_ptr<CompositionRectangularState> makeDefaultState() {
    auto state = makeModelObject<CompositionRectangularState>(nullptr);
    state->setBackgroundColor(RGBAColor::device(0.3, 0.3, 0.3, 0.8));
    state->setDrawsBackground(false);
    state->setDrawsFrame(false);
    state->setFrameThickness(4.0f);
    state->setFrameColor(RGBAColor::device(1, 1, 1, 1));
    state->setDrawsShadow(false);
    state->setShadowAngle(180.0f);
    state->setShadowColor(RGBAColor::device(0, 0, 0, 1));
    state->setShadowDistance(5.0f);
    state->setShadowRadius(3.0f);
    state->setShadowOpacity(0.5f);
    state->setCornerRadius(0.0f);
    return state;
}

TextStyleAttributes::Alignment alignmentFromNumber(std::int32_t number) {
    switch (number) {
    case 0:
        return TextStyleAttributes::Alignment::Left;
    case 1:
        return TextStyleAttributes::Alignment::Center;
    case 2:
        return TextStyleAttributes::Alignment::Right;
    case 3:
        return TextStyleAttributes::Alignment::Justified;
    default:
        return TextStyleAttributes::Alignment::Natural;
    }
}

} // namespace

const ModelKeyTable<TextVisualization>& TextVisualization::keyValueTable() {
    static const auto table =
        ModelKeyTable<Style>()
            .undoable("font", &Style::font, &Style::setFont)
            .undoable("fontColor", &Style::color, &Style::setColor)
            .undoable("alignment", &Style::alignment, &Style::setAlignment)
            .undoable("verticalAlignment", &Style::verticalAlignment, &Style::setVerticalAlignment)
            .undoable("appearMode", &Style::appearMode, &Style::setAppearMode)
            .undoable("horizontalPadding", &Style::horizontalPadding, &Style::setHorizontalPadding)
            .undoable("verticalPadding", &Style::verticalPadding, &Style::setVerticalPadding)
            .property("color", &Style::color, &Style::setColor)
            .property("state", &Style::state, &Style::setState);
    return table;
}

const std::vector<std::string>& TextVisualization::observableKeyPaths() {
    static const std::vector<std::string> paths = {"name",
                                                   "font",
                                                   "color",
                                                   "alignment",
                                                   "verticalAlignment",
                                                   "appearMode",
                                                   "state.frameThickness",
                                                   "state.frameColor",
                                                   "state.shadowColor",
                                                   "state.shadowOpacity",
                                                   "state.shadowRadius",
                                                   "state.shadowAngle",
                                                   "state.shadowDistance",
                                                   "state.cornerRadius",
                                                   "state.drawsFrame",
                                                   "state.drawsShadow",
                                                   "horizontalPadding",
                                                   "verticalPadding",
                                                   "state.drawsBackground",
                                                   "state.backgroundColor"};
    return paths;
}

const std::vector<std::string>& TextVisualization::stateObserveKeyPaths() {
    static const std::vector<std::string> paths = {"frameThickness", "frameColor",      "shadowColor",
                                                   "shadowOpacity",  "shadowRadius",    "shadowAngle",
                                                   "shadowDistance", "cornerRadius",    "drawsFrame",
                                                   "drawsShadow",    "drawsBackground", "backgroundColor"};
    return paths;
}

TextVisualization::TextVisualization() {
    setState(makeDefaultState());
}

TextVisualization::~TextVisualization() {
    stopObservingState();
}

void Style::registerClasses(ArchiveClassRegistry& registry) {
    BaseVisualization::registerClasses(registry);
    registry.registerClass("TextVisualization", "BaseVisualization", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<TextVisualization>());
    });
}

void Style::setFont(const ArchivedFont& font) {
    setObservedValue("font", font_, font);
    recacheAttributes();
}

void Style::setColor(const ArchivedColor& color) {
    // Observed under both names: views watch "color", undo watches the stored "fontColor".
    willChangeValueForKey("color");
    setObservedValue("fontColor", fontColor_, color);
    didChangeValueForKey("color");
    recacheAttributes();
}

void Style::setAlignment(std::int32_t alignment) {
    setObservedValue("alignment", alignment_, alignment);
    recacheAttributes();
}

void Style::setVerticalAlignment(std::int32_t alignment) {
    setObservedValue("verticalAlignment", verticalAlignment_, alignment);
}
void Style::setAppearMode(std::int32_t mode) {
    setObservedValue("appearMode", appearMode_, mode);
}
void Style::setHorizontalPadding(float points) {
    setObservedValue("horizontalPadding", horizontalPadding_, points);
}
void Style::setVerticalPadding(float points) {
    setObservedValue("verticalPadding", verticalPadding_, points);
}

void Style::setAnonymous(bool) {
    anonymous_ = true;
}

void Style::recacheAttributes() {
    attributes_.foregroundColor = fontColor_;
    attributes_.font = font_;
    attributes_.alignment = alignmentFromNumber(alignment_);
    attributes_.lineBreakMode = TextStyleAttributes::LineBreak::WordWrapping;
}

void Style::stopObservingState() {
    if (state_ && isRegisteredObserver_) {
        for (ObservableObject::Token token : stateTokens_)
            state_->removeObserver(token);
    }
    stateTokens_.clear();
    isRegisteredObserver_ = false;
}

void Style::setState(std::shared_ptr<CompositionRectangularState> state) {
    willChangeValueForKey("state");
    stopObservingState();
    state_ = std::move(state);
    if (state_) {
        for (const std::string& key : stateObserveKeyPaths()) {
            stateTokens_.push_back(state_->addObserver(
                key, KeyValueObservingOptions::oldValue | KeyValueObservingOptions::newValue, nullptr,
                [this](const KeyValueChange& change) { stateChanged(change); }));
        }
        isRegisteredObserver_ = true;
    }
    didChangeValueForKey("state");
    recacheAttributes();
}

// The state belongs to no object, so its changes are undone through the style's document. Every
// change reaches the style here, undo and redo included, so each is announced exactly once.
void Style::stateChanged(const KeyValueChange& change) {
    if (change.isPrior) return;
    CompositionUndoManager* manager = undoManager();
    if (manager && !undoDisabled()) {
        std::shared_ptr<CompositionRectangularState> state = state_;
        const std::string key = change.key;
        std::any old = change.oldValue;
        manager->registerUndo(state.get(), [state, key, old] { state->setValueForKey(key, old); });
    }
    updateAfterUndo();
}

void Style::updateAfterUndo() {
    NotificationCenter::defaultCenter().post(kVisualizationDidUndoChangeNotification, this);
}

std::shared_ptr<BaseVisualization> Style::makeEmpty() const {
    return makeModelObject<TextVisualization>();
}

std::shared_ptr<BaseVisualization> Style::copy() const {
    std::shared_ptr<BaseVisualization> base = BaseVisualization::copy();
    auto* target = static_cast<TextVisualization*>(base.get());
    target->setFont(font_);
    target->setColor(fontColor_);
    target->setAlignment(alignment_);
    target->setVerticalAlignment(verticalAlignment_);
    target->setHorizontalPadding(horizontalPadding_);
    target->setVerticalPadding(verticalPadding_);
    target->setAppearMode(appearMode_);
    if (state_) target->setState(std::static_pointer_cast<CompositionRectangularState>(state_->copy()));
    target->setDocument(document());
    return base;
}

void Style::encodeWithCoder(KeyedArchiver& coder) const {
    BaseVisualization::encodeWithCoder(coder);
    coder.encodeFont("key_font", font_);
    coder.encodeColor("fontColor", fontColor_);
    coder.encodeObject("state", state_.get());
    coder.encodeInt32("key_textAlignment", alignment_);
    coder.encodeInt32("key_verticalTextAlignment", verticalAlignment_);
    coder.encodeInt32("key_textAppearMode", appearMode_);
    coder.encodeFloat("key_horizontalTextPadding", horizontalPadding_);
    coder.encodeFloat("key_verticalTextPadding", verticalPadding_);
    coder.encodeBool("key_anonymous", anonymous_);
}

void Style::initWithCoder(KeyedUnarchiver& coder) {
    BaseVisualization::initWithCoder(coder);
    if (auto font = coder.decodeFontForKey("key_font")) font_ = *font;
    if (auto color = coder.decodeColorForKey("fontColor")) fontColor_ = *color;
    setState(coder.decodeObjectOfClass<CompositionRectangularState>("state"));
    alignment_ = coder.decodeInt32ForKey("key_textAlignment");
    verticalAlignment_ = coder.decodeInt32ForKey("key_verticalTextAlignment");
    appearMode_ = coder.decodeInt32ForKey("key_textAppearMode");
    horizontalPadding_ = coder.decodeFloatForKey("key_horizontalTextPadding");
    verticalPadding_ = coder.decodeFloatForKey("key_verticalTextPadding");
    anonymous_ = coder.decodeBoolForKey("key_anonymous");
    recacheAttributes();
}

} // namespace vtl
