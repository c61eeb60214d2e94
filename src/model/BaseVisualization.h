#pragma once
// Base of the named, shareable drawing styles (mouse and text visualizations). Presets live in the
// application's preset stores, a composition keeps its own project copies (owned by the objects
// container, each remembering the preset it was copied from), and a recording carries the mouse
// style it was made with. The keyed-archive form is shared by both programs and every stored
// recording and document. Held by std::shared_ptr; the document is not owned. Main thread only.
//
// The stored identity fields are plain members: the recorder program reads and writes them
// directly, with nobody observing.

#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"
#include "platform/foundation/KeyedArchiveRegistry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class CompositionDocumentServices;

// Posted with the style as object when an undo changed one of its drawing values.
inline constexpr const char* kVisualizationDidUndoChangeNotification =
    "VistrelVisualizationDidUndoChangeNotification";

class BaseVisualization : public ModelKeyCoding<BaseVisualization, CompositionUndoObject> {
public:
    // A new style with a fresh globally unique uid.
    BaseVisualization();

    std::string className() const override { return "BaseVisualization"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    // Keeps the stored uid (a decoded style gets no fresh one).
    void initWithCoder(KeyedUnarchiver& coder) override;

    std::string uid;
    // A preset that comes with the application.
    bool vistrelOwn = false;
    bool documentSpecific = false;
    bool isProjectCopy = false;
    // Set on project copies: the uid of the preset they were copied from.
    std::optional<std::string> originalVisualizationUID;

    // The name, or the uid for a style without one.
    std::string name() const { return name_.empty() ? uid : name_; }
    const std::string& storedName() const { return name_; }
    void setName(std::string name);

    // A style made for one object only, never offered in the preset lists.
    virtual bool anonymous() const { return false; }

    CompositionDocumentServices* document() const { return document_; }
    void setDocument(CompositionDocumentServices* document) { document_ = document; }
    // The document's undo manager; none without a document.
    CompositionUndoManager* undoManager() const override;

    // A new style of the same kind with a fresh uid and the name; not a built-in one. The kinds
    // add the values they copy.
    virtual std::shared_ptr<BaseVisualization> copy() const;
    // A copy for a composition: it remembers this style's uid.
    std::shared_ptr<BaseVisualization> projectCopy() const;

    virtual std::string description() const;

    static const ModelKeyTable<BaseVisualization>& keyValueTable();
    // Registers BaseVisualization with its base classes (MouseVisualization and TextVisualization
    // register themselves on top of it).
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

protected:
    // A new, empty style of the receiver's kind.
    virtual std::shared_ptr<BaseVisualization> makeEmpty() const;

private:
    std::string name_;
    CompositionDocumentServices* document_ = nullptr;
};

using VisualizationList = std::vector<std::shared_ptr<BaseVisualization>>;

} // namespace vtl
