#include "objects/MouseVisualization.h"

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <cstdio>

namespace vtl {

namespace {
using Style = MouseVisualization;
} // namespace

const ModelKeyTable<MouseVisualization>& MouseVisualization::keyValueTable() {
    static const auto table =
        ModelKeyTable<Style>()
            .property("duration", &Style::duration, &Style::setDuration)
            .property("strength", &Style::strength, &Style::setStrength)
            .property("size", &Style::size, &Style::setSize)
            .property("filled", &Style::filled, &Style::setFilled)
            .property("visualizesClicks", &Style::visualizesClicks, &Style::setVisualizesClicks)
            .property("visualizeMouseCursor", &Style::visualizeMouseCursor, &Style::setVisualizeMouseCursor)
            .property("leftClickColor", &Style::leftClickColor, &Style::setLeftClickColor)
            .property("rightClickColor", &Style::rightClickColor, &Style::setRightClickColor)
            .property("clickFont", &Style::clickFont, &Style::setClickFont)
            .property("clickFontColor", &Style::clickFontColor, &Style::setClickFontColor)
            .property("showClickCount", &Style::showClickCount, &Style::setShowClickCount)
            .property("showMouseWheel", &Style::showMouseWheel, &Style::setShowMouseWheel)
            .property("showButtonName", &Style::showButtonName, &Style::setShowButtonName)
            .property("clickBump", &Style::clickBump, &Style::setClickBump)
            .property("clickBumpWidth", &Style::clickBumpWidth, &Style::setClickBumpWidth)
            .property("clickBumpExtent", &Style::clickBumpExtent, &Style::setClickBumpExtent);
    return table;
}

void Style::setDuration(double seconds) {
    setObservedValue("duration", duration, seconds);
}
void Style::setStrength(std::int32_t value) {
    setObservedValue("strength", strength, value);
}
void Style::setSize(float value) {
    setObservedValue("size", size, value);
}
void Style::setFilled(bool value) {
    setObservedValue("filled", filled, value);
}
void Style::setVisualizesClicks(bool value) {
    setObservedValue("visualizesClicks", visualizesClicks, value);
}
void Style::setVisualizeMouseCursor(bool value) {
    setObservedValue("visualizeMouseCursor", visualizeMouseCursor, value);
}
// Colours here are RGB already, which is the form the style keeps.
void Style::setLeftClickColor(const ArchivedColor& color) {
    setObservedValue("leftClickColor", leftClickColor, color);
}
void Style::setRightClickColor(const ArchivedColor& color) {
    setObservedValue("rightClickColor", rightClickColor, color);
}
void Style::setClickFont(const ArchivedFont& font) {
    setObservedValue("clickFont", clickFont, font);
}
void Style::setClickFontColor(const ArchivedColor& color) {
    setObservedValue("clickFontColor", clickFontColor, color);
}
void Style::setShowClickCount(bool value) {
    setObservedValue("showClickCount", showClickCount, value);
}
void Style::setShowMouseWheel(bool value) {
    setObservedValue("showMouseWheel", showMouseWheel, value);
}
void Style::setShowButtonName(bool value) {
    setObservedValue("showButtonName", showButtonName, value);
}
void Style::setClickBump(bool value) {
    setObservedValue("clickBump", clickBump, value);
}
void Style::setClickBumpWidth(float value) {
    setObservedValue("clickBumpWidth", clickBumpWidth, value);
}
void Style::setClickBumpExtent(float value) {
    setObservedValue("clickBumpExtent", clickBumpExtent, value);
}

void Style::encodeWithCoder(KeyedArchiver& coder) const {
    BaseVisualization::encodeWithCoder(coder);
    coder.encodeDouble("duration", duration);
    coder.encodeInt32("strength", strength);
    coder.encodeFloat("size", size);
    coder.encodeColor("leftClickColor", leftClickColor);
    coder.encodeColor("rightClickColor", rightClickColor);
    coder.encodeFont("clickFont", clickFont);
    coder.encodeColor("clickFontColor", clickFontColor);
    coder.encodeBool("filled", filled);
    coder.encodeBool("key_clickBump", clickBump);
    coder.encodeFloat("key_clickBumpWidth", clickBumpWidth);
    coder.encodeFloat("key_clickBumpExtent", clickBumpExtent);
    coder.encodeBool("key_showButtonName", showButtonName);
    coder.encodeBool("key_showClickCount", showClickCount);
    coder.encodeBool("key_showMouseWheel", showMouseWheel);
    coder.encodeObject("key_visualizesClicks", ArchivedValue(visualizesClicks));
    coder.encodeObject("key_visualizeMouseCursor", ArchivedValue(visualizeMouseCursor));
}

void Style::initWithCoder(KeyedUnarchiver& coder) {
    BaseVisualization::initWithCoder(coder);
    duration = coder.decodeDoubleForKey("duration");
    strength = coder.decodeInt32ForKey("strength");
    size = coder.decodeFloatForKey("size");
    if (auto color = coder.decodeColorForKey("leftClickColor")) leftClickColor = *color;
    if (auto color = coder.decodeColorForKey("rightClickColor")) rightClickColor = *color;
    if (auto font = coder.decodeFontForKey("clickFont")) clickFont = *font;
    if (auto color = coder.decodeColorForKey("clickFontColor")) clickFontColor = *color;
    filled = coder.decodeBoolForKey("filled");
    clickBump = coder.decodeBoolForKey("key_clickBump");
    clickBumpWidth = coder.decodeFloatForKey("key_clickBumpWidth");
    clickBumpExtent = coder.decodeFloatForKey("key_clickBumpExtent");
    showButtonName = coder.decodeBoolForKey("key_showButtonName");
    showClickCount = coder.decodeBoolForKey("key_showClickCount");
    showMouseWheel = coder.decodeBoolForKey("key_showMouseWheel");
    // Stored as number objects; a missing one means on.
    ArchivedValue clicks = coder.decodeObjectForKey("key_visualizesClicks");
    visualizesClicks = clicks.isNil() ? true : clicks.boolValue().value_or(true);
    ArchivedValue cursor = coder.decodeObjectForKey("key_visualizeMouseCursor");
    visualizeMouseCursor = cursor.isNil() ? true : cursor.boolValue().value_or(true);
}

std::shared_ptr<BaseVisualization> Style::makeEmpty() const {
    return makeModelObject<MouseVisualization>();
}

std::shared_ptr<BaseVisualization> Style::copy() const {
    std::shared_ptr<BaseVisualization> base = BaseVisualization::copy();
    auto* target = static_cast<MouseVisualization*>(base.get());
    target->setDuration(duration);
    target->setStrength(strength);
    target->setSize(size);
    target->setFilled(filled);
    target->setLeftClickColor(leftClickColor);
    target->setRightClickColor(rightClickColor);
    target->setClickFont(clickFont);
    target->setShowClickCount(showClickCount);
    target->setShowMouseWheel(showMouseWheel);
    target->setShowButtonName(showButtonName);
    return base;
}

std::string Style::description() const {
    char text[512];
    std::snprintf(text, sizeof text, "<%s: %p> name: \"%s\" ID: %s size %f strength %d, duration %f",
                  className().c_str(), static_cast<const void*>(this),
                  storedName().empty() ? "(null)" : storedName().c_str(), uid.c_str(), double(size), strength,
                  duration);
    return text;
}

void Style::registerClasses(ArchiveClassRegistry& registry) {
    BaseVisualization::registerClasses(registry);
    registry.registerClass("MouseVisualization", "BaseVisualization", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<MouseVisualization>());
    });
}

Result<std::shared_ptr<MouseVisualization>> Style::unarchive(std::span<const std::uint8_t> bytes) {
    registerClasses();
    return KeyedUnarchiver::unarchive<MouseVisualization>(bytes);
}

Result<PlistBytes> Style::archivedData() const {
    registerClasses();
    KeyedArchiver archiver;
    archiver.encodeObject(KeyedArchiver::rootKey, this);
    return archiver.finishEncoding();
}

bool Style::sameStoredValues(const MouseVisualization& o) const {
    return storedName() == o.storedName() && uid == o.uid && vistrelOwn == o.vistrelOwn &&
           documentSpecific == o.documentSpecific && isProjectCopy == o.isProjectCopy &&
           originalVisualizationUID == o.originalVisualizationUID && duration == o.duration &&
           strength == o.strength && size == o.size && filled == o.filled &&
           visualizesClicks == o.visualizesClicks && visualizeMouseCursor == o.visualizeMouseCursor &&
           leftClickColor == o.leftClickColor && rightClickColor == o.rightClickColor &&
           clickFont == o.clickFont && clickFontColor == o.clickFontColor &&
           showClickCount == o.showClickCount && showMouseWheel == o.showMouseWheel &&
           showButtonName == o.showButtonName && clickBump == o.clickBump &&
           clickBumpWidth == o.clickBumpWidth && clickBumpExtent == o.clickBumpExtent;
}

float textAlphaForProgress(float progress) {
    // NaN fails the comparison and stays opaque.
    if (!(progress > 0.5f)) return 1.0f;
    return static_cast<float>((0.5 - double(progress)) * 2.0 + 1.0);
}

} // namespace vtl
