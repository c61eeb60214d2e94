#include "model/CompositionObjectsContainer.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"

namespace vtl {

CompositionUndoManager* CompositionObjectsContainer::undoManager() const {
    return document_ ? document_->undoManager() : nullptr;
}

std::string CompositionObjectsContainer::nameOfCopyForObject(const CompositionBaseObject& object) const {
    return object.name();
}

} // namespace vtl
