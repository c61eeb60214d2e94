// Keyed-archive form of CompositionShapeObject. Reading writes the fields directly (no undo).

#include "objects/CompositionShapeObject.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <algorithm>

namespace vtl {

void CompositionShapeObject::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularObject::encodeWithCoder(coder);
    coder.encodeInt32("key_shapeKind", thisShapeKind_);
    coder.encodeBool("key_fillsAround", fillsAround_);
    coder.encodeBool("key_isDashed", isDashed_);
    coder.encodeFloat("key_dashSize", dashSize_);
    coder.encodeBool("key_usesSpecialAlphaGradient", usesSpecialAlphaGradient_);
    coder.encodeObject("key_lineJoinStyle", ArchivedValue(static_cast<std::int64_t>(lineJoinStyle_)));
}

void CompositionShapeObject::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularObject::initWithCoder(coder);
    thisShapeKind_ = coder.decodeInt32ForKey("key_shapeKind");
    // Documents from before the line-join panel get it in its place.
    if (thisShapeKind_ != 1 && thisShapeKind_ != 4) {
        std::vector<std::string> panes = propertyNames();
        if (std::find(panes.begin(), panes.end(), "ShapeLineJoinStyle.nib") == panes.end()) {
            const size_t at = std::min<size_t>(thisShapeKind_ == 2 ? 5 : 4, panes.size());
            panes.insert(panes.begin() + static_cast<std::ptrdiff_t>(at), "ShapeLineJoinStyle.nib");
            setPropertyNames(panes);
        }
    }
    fillsAround_ = coder.decodeBoolForKey("key_fillsAround");
    isDashed_ = coder.decodeBoolForKey("key_isDashed");
    dashSize_ = coder.decodeFloatForKey("key_dashSize");
    usesSpecialAlphaGradient_ = coder.decodeBoolForKey("key_usesSpecialAlphaGradient");
    lineJoinStyle_ = 1;
    if (coder.containsValueForKey("key_lineJoinStyle")) {
        std::optional<double> style = coder.decodeNumberForKey("key_lineJoinStyle");
        // A number that names no join draws round, as documents without one do.
        if (style && *style >= 0 && *style <= 2) lineJoinStyle_ = static_cast<uint64_t>(*style);
    }
}

void CompositionShapeObject::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionShapeObject", "CompositionRectangularObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionShapeObject>(nullptr));
    });
}

} // namespace vtl
