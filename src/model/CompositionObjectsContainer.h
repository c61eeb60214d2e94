#pragma once
// The container of a composition's timeline objects; the document owns it. So far only what the
// objects ask of their container: the document (and through it the undo manager), the switches
// that keep changes from registering undo, and the names of copies.

#include "model/CompositionUndoObject.h"

#include <string>

namespace vtl {

class CompositionBaseObject;
class CompositionDocumentServices;

class CompositionObjectsContainer : public CompositionUndoObject {
public:
    CompositionObjectsContainer() = default;

    std::string className() const override { return "CompositionObjectsContainer"; }

    // Not owned: the document owns the container.
    CompositionDocumentServices* document() const { return document_; }
    void setDocument(CompositionDocumentServices* document) { document_ = document; }

    CompositionUndoManager* undoManager() const override;

    // A container used only for offscreen rendering or previews registers no undo.
    bool isOffscreen() const { return isOffscreen_; }
    void setIsOffscreen(bool offscreen) { isOffscreen_ = offscreen; }

    // The name a copy of the object is given.
    virtual std::string nameOfCopyForObject(const CompositionBaseObject& object) const;

private:
    CompositionDocumentServices* document_ = nullptr;
    bool isOffscreen_ = false;
};

} // namespace vtl
