#include "recorder/MouseVisualization.h"

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <cstdio>
#include <random>

namespace vtl {

namespace {

std::string freshUid() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t a = generator(), b = generator();
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-4%03X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xffff), static_cast<unsigned>(a & 0xfff),
                  static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3fff)),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}

} // namespace

MouseVisualization::MouseVisualization()
    : uid(freshUid()) {}

void MouseVisualization::encodeWithCoder(KeyedArchiver& coder) const {
    if (!name_.empty())
        coder.encodeString("name", name_);
    else
        coder.encodeObject("name", ArchivedValue());
    coder.encodeBool("isVistrelOwn", vistrelOwn);
    coder.encodeString("key_uid", uid);
    coder.encodeBool("documentSpecific", documentSpecific);
    if (originalVisualizationUID)
        coder.encodeString("key_originalVisualizationUID", *originalVisualizationUID);
    coder.encodeBool("key_isProjectCopy", isProjectCopy);

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

void MouseVisualization::initWithCoder(KeyedUnarchiver& coder) {
    // Decoding keeps the stored uid; a fresh one is not made.
    uid.clear();
    name_ = coder.decodeStringForKey("name").value_or("");
    vistrelOwn = coder.decodeBoolForKey("isVistrelOwn");
    documentSpecific = coder.decodeBoolForKey("documentSpecific");
    uid = coder.decodeStringForKey("key_uid").value_or("");
    if (auto original = coder.decodeStringForKey("key_originalVisualizationUID"))
        originalVisualizationUID = *original;
    isProjectCopy = coder.decodeBoolForKey("key_isProjectCopy");

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

void MouseVisualization::registerClasses(ArchiveClassRegistry& registry) {
    if (!registry.contains("CompositionUndoObject"))
        registry.registerClass("CompositionUndoObject", "NSObject", nullptr);
    registry.registerClass("BaseVisualization", "CompositionUndoObject", nullptr);
    registry.registerClass<MouseVisualization>("MouseVisualization", "BaseVisualization");
}

Result<std::shared_ptr<MouseVisualization>>
MouseVisualization::unarchive(std::span<const std::uint8_t> bytes) {
    registerClasses();
    return KeyedUnarchiver::unarchive<MouseVisualization>(bytes);
}

Result<PlistBytes> MouseVisualization::archivedData() const {
    registerClasses();
    KeyedArchiver archiver;
    archiver.encodeObject(KeyedArchiver::rootKey, this);
    return archiver.finishEncoding();
}

bool MouseVisualization::sameStoredValues(const MouseVisualization& o) const {
    return name_ == o.name_ && uid == o.uid && vistrelOwn == o.vistrelOwn &&
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

} // namespace vtl
