#pragma once
// A composition document: owns the objects container and the undo manager that every model
// change of the composition registers with. So far only that ownership.

#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"

#include <memory>

namespace vtl {

class CompositionDocument : public CompositionDocumentServices {
public:
    CompositionDocument();
    // Around a container read from a package.
    explicit CompositionDocument(std::shared_ptr<CompositionObjectsContainer> container);
    ~CompositionDocument() override;
    CompositionDocument(const CompositionDocument&) = delete;
    CompositionDocument& operator=(const CompositionDocument&) = delete;

    CompositionUndoManager* undoManager() override { return undoManager_.get(); }
    const std::shared_ptr<CompositionObjectsContainer>& objectsContainer() const { return container_; }

private:
    std::shared_ptr<CompositionObjectsContainer> container_;
    // Declared last so it goes first: its steps may hold the last references to model objects.
    std::unique_ptr<CompositionUndoManager> undoManager_;
};

} // namespace vtl
