// Keyed-archive form of the visual objects, and their class registrations. Decoding writes the
// fields directly, so reading an archive registers no undo and posts nothing.

#include "objects/RectangularObjectArchiving.h"

#include "model/CompositionModelArchiving.h"
#include "objects/CompositionImageObject.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/CompositionTransition.h"
#include "objects/MouseVisualization.h"
#include "objects/TextVisualization.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

namespace vtl {

namespace {

// The one member of an archived mask set, or none. A set of several, the object itself or an
// object without a frame is a damaged relation: it is dropped and the rest of the document opens.
std::shared_ptr<CompositionBaseObject> decodeMaskRelation(KeyedUnarchiver& coder, std::string_view key,
                                                          const CompositionBaseObject* self) {
    std::optional<ArchivedArray> members = coder.decodeArrayForKey(key);
    if (!members || members->empty()) return nullptr;
    if (members->size() > 1) {
        logMessage("A mask relation of the archive names more than one object; it is dropped.");
        return nullptr;
    }
    const ArchivedValue& member = members->front();
    if (member.isNil()) return nullptr;
    std::shared_ptr<CompositionBaseObject> object = member.objectAs<CompositionBaseObject>();
    if (!object || !object->asVisual()) {
        logMessage("A mask relation of the archive names an object that cannot mask; it is dropped.");
        return nullptr;
    }
    if (object.get() == self) {
        logMessage("An object of the archive masks itself; the relation is dropped.");
        return nullptr;
    }
    return object;
}

std::shared_ptr<CompositionBaseObject> decodeTransition(KeyedUnarchiver& coder, std::string_view key) {
    if (!coder.containsValueForKey(key)) return nullptr;
    ArchivedValue value = coder.decodeObjectForKey(key);
    if (value.isNil()) return nullptr;
    std::shared_ptr<CompositionBaseObject> object = value.objectAs<CompositionBaseObject>();
    if (!object || !object->asTransition()) {
        logMessage("A transition link of the archive names no transition; it is dropped.");
        return nullptr;
    }
    return object;
}

} // namespace

void CompositionRectangularObject::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionBaseObject::encodeWithCoder(coder);
    // A copy leaves out what belongs to the original's place in the composition.
    if (serializationMode() != SerializationMode::Copy) {
        if (auto from = fromTransition()) coder.encodeObject("key_fromObjectTransition", ArchivedValue(from));
        if (auto to = toTransition()) coder.encodeObject("key_toObjectTransition", ArchivedValue(to));
        coder.encodeArray("key_maskObjects", maskObjects());
        coder.encodeArray("key_maskForObjects", maskForObjects());
    }
    coder.encodeObject("key_timeCantManuallyBeSet", ArchivedValue(timeCantManuallyBeSet_));
    coder.encodeBool("key_usesGlobalShadow", usesGlobalShadow_);
    // Only an order the user set is stored; without it the keyframes decide, as they always did.
    if (!userEffectOrder_.empty()) {
        ArchivedArray order;
        for (const std::string& name : namesOfAllUsedEffects())
            order.push_back(ArchivedValue(name));
        coder.encodeObject("key_effectOrder", ArchivedValue(std::move(order)));
    }
}

void CompositionRectangularObject::initWithCoder(KeyedUnarchiver& coder) {
    CompositionBaseObject::initWithCoder(coder);
    maskObject_ = decodeMaskRelation(coder, "key_maskObjects", this);
    maskForObject_ = decodeMaskRelation(coder, "key_maskForObjects", this);
    if (!maskObject_.expired()) setupMaskFilter();
    std::optional<double> locked = coder.decodeNumberForKey("key_timeCantManuallyBeSet");
    timeCantManuallyBeSet_ = locked && *locked != 0;
    usesGlobalShadow_ = coder.decodeBoolForKey("key_usesGlobalShadow");
    fromObjectTransition_ = decodeTransition(coder, "key_fromObjectTransition");
    toObjectTransition_ = decodeTransition(coder, "key_toObjectTransition");
    userEffectOrder_.clear();
    if (std::optional<ArchivedArray> order = coder.decodeArrayForKey("key_effectOrder")) {
        // Bounded, and only names: a damaged list cannot grow the object or carry other values.
        for (const ArchivedValue& entry : *order) {
            if (userEffectOrder_.size() >= 1024) break;
            if (const std::string* name = entry.stringValue()) userEffectOrder_.push_back(*name);
        }
        recacheNamesOfAllUsedEffects();
    }
    observeTransition(fromTransition(), "endTime", fromTransitionObservation_);
    observeTransition(toTransition(), "startTime", toTransitionObservation_);
}

void registerVisualObjectClasses(ArchiveClassRegistry& registry) {
    registerCompositionModelClasses(registry);
    MouseVisualization::registerClasses(registry);
    TextVisualization::registerClasses(registry);
    registry.registerClass("CompositionRectangularObject", "CompositionBaseObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionRectangularObject>(nullptr));
    });
    CompositionShapeObject::registerClasses(registry);
    CompositionImageObject::registerClasses(registry);
    CompositionTextObject::registerClasses(registry);
    CompositionTransition::registerClasses(registry);
}

} // namespace vtl
