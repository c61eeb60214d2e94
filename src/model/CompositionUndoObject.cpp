#include "model/CompositionUndoObject.h"

#include "model/CompositionUndoManager.h"

#include <algorithm>

namespace vtl {

namespace {
// Compared by identity: only observations made with this marker reach the registration rule.
const char kUndoContext[] = "Composition Undo Context";
} // namespace

const void* CompositionUndoObject::undoContext() {
    return kUndoContext;
}

CompositionUndoObject::~CompositionUndoObject() {
    deregisterUndoKeyPaths();
}

void CompositionUndoObject::registerUndoKeyPaths() {
    for (const std::string& keyPath : undoKeyPaths()) {
        addObserver(keyPath, KeyValueObservingOptions::oldValue | KeyValueObservingOptions::newValue,
                    undoContext(), [this](const KeyValueChange& change) { registerUndoForChange(change); });
        observedKeyPaths_.push_back(keyPath);
    }
}

void CompositionUndoObject::deregisterUndoKeyPaths() {
    for (const std::string& keyPath : observedKeyPaths_)
        removeObservers(keyPath, undoContext());
    observedKeyPaths_.clear();
    for (const std::string& keyPath : additionalObservedUndoProperties_)
        removeObservers(keyPath, undoContext());
}

void CompositionUndoObject::addUndoKeyPath(const std::string& keyPath) {
    addObserver(keyPath, KeyValueObservingOptions::oldValue, undoContext(),
                [this](const KeyValueChange& change) { registerUndoForChange(change); });
    additionalObservedUndoProperties_.push_back(keyPath);
}

void CompositionUndoObject::removeUndoKeyPath(const std::string& keyPath) {
    auto it = std::find(additionalObservedUndoProperties_.begin(), additionalObservedUndoProperties_.end(),
                        keyPath);
    if (it == additionalObservedUndoProperties_.end()) return;
    additionalObservedUndoProperties_.erase(it);
    // Observations of the same key path made by the list above stay.
    removeObservers(keyPath, undoContext());
    bool stillObserved =
        std::find(observedKeyPaths_.begin(), observedKeyPaths_.end(), keyPath) != observedKeyPaths_.end();
    auto remaining = std::count(additionalObservedUndoProperties_.begin(),
                                additionalObservedUndoProperties_.end(), keyPath);
    for (long i = 0; i < remaining + (stillObserved ? 1 : 0); ++i) {
        addObserver(keyPath, KeyValueObservingOptions::oldValue | KeyValueObservingOptions::newValue,
                    undoContext(), [this](const KeyValueChange& change) { registerUndoForChange(change); });
    }
}

void CompositionUndoObject::changeKeyPath(const std::string& keyPath, const std::any& value) {
    // An empty value is the "no value" of the property, which setValueForKey turns into nil.
    setValueForKey(keyPath, value);
    updateAfterUndo();
}

void CompositionUndoObject::registerUndoForChange(const KeyValueChange& change) {
    if (change.context != undoContext() || change.isPrior || !acceptsUndoRegistration()) return;
    CompositionUndoManager* manager = undoManager();
    if (!manager) return;
    // The undo stack keeps the object alive for as long as a step refers to it.
    std::shared_ptr<CompositionUndoObject> self = weak_from_this().lock();
    if (!self) return;
    const std::string key = change.key;
    switch (change.kind) {
    case KeyValueChangeKind::removal: {
        if (change.indexes.empty() || change.oldElements.empty()) return;
        const std::size_t index = change.indexes.front();
        std::any element = change.oldElements.front();
        manager->registerUndo(self.get(),
                              [self, key, index, element] { self->insertValueAtIndex(key, index, element); });
        break;
    }
    case KeyValueChangeKind::insertion: {
        if (change.indexes.empty()) return;
        const std::size_t index = change.indexes.front();
        manager->registerUndo(self.get(), [self, key, index] { self->removeValueAtIndex(key, index); });
        break;
    }
    case KeyValueChangeKind::replacement: {
        // Undone as the element put back in its place; the whole list is never overwritten.
        if (change.indexes.empty() || change.oldElements.empty()) return;
        const std::size_t index = change.indexes.front();
        std::any element = change.oldElements.front();
        manager->registerUndo(self.get(), [self, key, index, element] {
            self->removeValueAtIndex(key, index);
            self->insertValueAtIndex(key, index, element);
        });
        break;
    }
    case KeyValueChangeKind::setting: {
        std::any old = change.oldValue;
        manager->registerUndo(self.get(), [self, key, old] { self->changeKeyPath(key, old); });
        break;
    }
    }
}

} // namespace vtl
