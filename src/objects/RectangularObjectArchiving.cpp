#include "objects/RectangularObjectArchiving.h"

#include "model/CompositionModelArchiving.h"
#include "objects/CompositionRectangularObject.h"

namespace vtl {

void registerVisualObjectClasses(ArchiveClassRegistry& registry) {
    registerCompositionModelClasses(registry);
    registry.registerClass("CompositionRectangularObject", "CompositionBaseObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionRectangularObject>(nullptr));
    });
}

} // namespace vtl
