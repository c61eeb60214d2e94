// Feeds arbitrary bytes to the decoding of timeline objects, keyframe states and objects
// containers from keyed archives (the clipboard and document files), then archives what was
// decoded again; and, as a property list, to transition settings pasted from the clipboard.

#include "FuzzGuiApplication.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionObjectsContainer.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/CompositionTransition.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/PropertyList.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/FilterRegistry.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

// The per-frame reads and the canvas geometry of a decoded visual object.
void readVisual(const vtl::CompositionBaseObject& object) {
    const auto* visual = dynamic_cast<const vtl::CompositionRectangularObject*>(&object);
    if (!visual) return;
    for (double time : {-1.0, 0.0, 0.5, 1.0, 100.0}) {
        (void)visual->rectForTime(time);
        (void)visual->opacityForTime(time);
        (void)visual->cornerRadiusForTime(time);
        (void)visual->shadowColorForTime(time);
        (void)visual->drawsFrameAtTime(time);
        (void)visual->needsToDrawAtTime(time);
        (void)visual->horizontalSnappingGuidesAtTime(time);
    }
    (void)visual->maskObjects();
    (void)visual->description();
    if (const auto* transition = dynamic_cast<const vtl::CompositionTransition*>(visual)) {
        (void)transition->serializedSettings();
        (void)transition->progressAtTime(1.0);
        (void)transition->filtersForRendering();
        double start = 1, end = 2;
        transition->validateTransitionStartEnd(start, end);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vtl::fuzz::ensureGuiApplication();
    static const bool registered = [] {
        vtl::registerVisualObjectClasses();
        vtl::registerBuiltinFilters();
        return true;
    }();
    (void)registered;
    std::span<const std::uint8_t> bytes(data, size);
    auto object = vtl::KeyedUnarchiver::unarchive<vtl::CompositionBaseObject>(bytes);
    if (object.ok() && object.value()) {
        object.value()->setSerializationMode(vtl::SerializationMode::Copy);
        (void)vtl::KeyedArchiver::archivedData(object.value());
        (void)object.value()->findStatesToInterpolateForTime(1.0);
        readVisual(*object.value());
    }
    auto state = vtl::KeyedUnarchiver::unarchive<vtl::CompositionBaseState>(bytes);
    (void)state;
    // Document files hold a whole container: its tracks, objects and chapter marks.
    auto container = vtl::KeyedUnarchiver::unarchive<vtl::CompositionObjectsContainer>(bytes);
    if (container.ok() && container.value()) {
        container.value()->recacheObjectsAndTransitionsDuringDrag(vtl::DuringDrag::No);
        (void)container.value()->usedLanguages();
        for (const auto& member : container.value()->objects())
            readVisual(*member);
        (void)vtl::KeyedArchiver::archivedData(container.value());
    }
    auto settings = vtl::PropertyList::fromBytes(bytes);
    if (settings.ok() && settings.value().dictionaryValue()) {
        auto transition = vtl::makeModelObject<vtl::CompositionTransition>(nullptr);
        transition->configureFromSerializedSettings(*settings.value().dictionaryValue());
        (void)transition->filtersForRendering();
    }
    return 0;
}
