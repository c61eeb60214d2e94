#pragma once
// What the model needs of the document that owns a composition: its undo manager. The document
// (a higher layer) implements it; the objects container keeps a non-owning pointer to it.

namespace vtl {

class CompositionUndoManager;

class CompositionDocumentServices {
public:
    virtual ~CompositionDocumentServices() = default;
    virtual CompositionUndoManager* undoManager() = 0;
};

} // namespace vtl
