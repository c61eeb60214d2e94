#pragma once
// Base of every persistent model class of a composition. A subclass lists the key paths of its
// undoable properties (undoKeyPaths); the object observes its own changes to them and registers
// the inverse change with its undo manager, so setters never write undo code themselves.
// Objects are made with makeModelObject and held by std::shared_ptr; main thread only.

#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/ObservableObject.h"

#include <any>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vtl {

class CompositionUndoManager;

class CompositionUndoObject : public ObservableObject,
                              public Archivable,
                              public std::enable_shared_from_this<CompositionUndoObject> {
public:
    ~CompositionUndoObject() override;

    // The class name stored in keyed archives.
    virtual std::string className() const = 0;
    std::string archivedClassName() const override { return className(); }
    // The base writes and reads no keys.
    void encodeWithCoder(KeyedArchiver&) const override {}
    void initWithCoder(KeyedUnarchiver&) override {}

    // Hooks, in the order subclasses override them.
    virtual CompositionUndoManager* undoManager() const { return nullptr; }
    virtual std::vector<std::string> undoKeyPaths() const { return {}; }
    // Called after an undo or redo changed a property.
    virtual void updateAfterUndo() {}
    // The object is about to leave the composition / its removal was undone.
    virtual void prepareForDeletion() {}
    virtual void awakeAfterUndelete() {}

    bool undoDisabled() const { return undoDisabled_; }
    // Kinds that own further undoable parts pass the flag on to them.
    virtual void setUndoDisabled(bool disabled) { undoDisabled_ = disabled; }

    // Starts / stops observing the undo key paths (and the additional ones, on stopping).
    void registerUndoKeyPaths();
    void deregisterUndoKeyPaths();
    // Observes one more key path (old value only) for the life of the object.
    void addUndoKeyPath(const std::string& keyPath);
    void removeUndoKeyPath(const std::string& keyPath);
    const std::vector<std::string>& additionalObservedUndoProperties() const {
        return additionalObservedUndoProperties_;
    }

    // The inverse of a plain change: sets the value by key, then updateAfterUndo.
    void changeKeyPath(const std::string& keyPath, const std::any& value);

    // The one context every undo observation carries; other observations pass the rule untouched.
    static const void* undoContext();

    // Runs after construction, when virtual hooks reach the most derived class: starts observing.
    virtual void didConstruct() { registerUndoKeyPaths(); }

protected:
    CompositionUndoObject() = default;
    // Copies start with their own observations (made by didConstruct), never the source's.
    CompositionUndoObject(const CompositionUndoObject&) = delete;
    CompositionUndoObject& operator=(const CompositionUndoObject&) = delete;

    // Whether a change reaches the registration rule; timeline objects add their container's flags.
    virtual bool acceptsUndoRegistration() const { return !undoDisabled_; }

    // The registration rule, run on every observed change.
    void registerUndoForChange(const KeyValueChange& change);

private:
    std::vector<std::string> additionalObservedUndoProperties_;
    std::vector<std::string> observedKeyPaths_;
    bool undoDisabled_ = false;
};

// Makes a model object and starts its observations once it is whole.
template <typename T, typename... Args> std::shared_ptr<T> makeModelObject(Args&&... args) {
    auto object = std::make_shared<T>(std::forward<Args>(args)...);
    object->didConstruct();
    return object;
}

} // namespace vtl
