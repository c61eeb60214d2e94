#include "objects/RectangularObjectArchiving.h"

#include "model/CompositionModelArchiving.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/MouseVisualization.h"
#include "objects/TextVisualization.h"

namespace vtl {

void registerVisualObjectClasses(ArchiveClassRegistry& registry) {
    registerCompositionModelClasses(registry);
    MouseVisualization::registerClasses(registry);
    TextVisualization::registerClasses(registry);
    registry.registerClass("CompositionRectangularObject", "CompositionBaseObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionRectangularObject>(nullptr));
    });
}

} // namespace vtl
