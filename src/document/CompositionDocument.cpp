#include "document/CompositionDocument.h"

namespace vtl {

CompositionDocument::CompositionDocument()
    : container_(makeModelObject<CompositionObjectsContainer>())
    , undoManager_(std::make_unique<CompositionUndoManager>()) {
    container_->setDocument(this);
}

CompositionDocument::CompositionDocument(std::shared_ptr<CompositionObjectsContainer> container)
    : container_(container ? std::move(container) : makeModelObject<CompositionObjectsContainer>())
    , undoManager_(std::make_unique<CompositionUndoManager>()) {
    container_->setDocument(this);
}

CompositionDocument::~CompositionDocument() {
    undoManager_.reset();
    container_->setDocument(nullptr);
}

} // namespace vtl
