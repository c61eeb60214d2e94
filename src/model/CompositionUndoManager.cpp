#include "model/CompositionUndoManager.h"

#include "platform/foundation/DispatchTimer.h"

namespace vtl {

CompositionUndoManager::CompositionUndoManager() {
    passObserver_ = MainLoop::addEndOfPassObserver([this] {
        if (hasBegunCustomUndoGrouping_) passEndedSinceBegin_ = true;
    });
}

CompositionUndoManager::~CompositionUndoManager() {
    endCustomUndoIfNecessary();
    MainLoop::removeEndOfPassObserver(passObserver_);
}

void CompositionUndoManager::registerUndo(const void* target, Action action) {
    if (ignoresChanges_) return;
    endCustomUndoIfNecessary();
    UndoManager::registerUndo(target, std::move(action));
}

void CompositionUndoManager::customUndoGroupRegisterUndo(const void* target, const std::string& operation,
                                                         Action action) {
    if (target != previousTarget_ || operation != previousSelector_) {
        previousTarget_ = target;
        previousSelector_ = operation;
        endCustomUndoIfNecessary();
    }
    beginCustomUndoIfNecessary();
    UndoManager::registerUndo(target, std::move(action));
}

void CompositionUndoManager::customUndoGroupPrepare(const void* target, Action action) {
    if (target != previousTarget_) {
        previousTarget_ = target;
        previousSelector_.clear();
        endCustomUndoIfNecessary();
    }
    beginCustomUndoIfNecessary();
    UndoManager::registerUndo(target, std::move(action));
}

void CompositionUndoManager::beginCustomUndoIfNecessary() {
    if (closeUndoGroupTimer_) closeUndoGroupTimer_->cancel();
    closeUndoGroupTimer_ =
        DispatchTimer::scheduleOnce(kCoalescingIntervalSeconds, [this] { closeUndoGroupFromTimer(); });
    if (hasBegunCustomUndoGrouping_) return;
    nestedInPassGroup_ = groupingLevel() > 0;
    passEndedSinceBegin_ = false;
    beginUndoGrouping();
    hasBegunCustomUndoGrouping_ = true;
}

void CompositionUndoManager::endCustomUndoIfNecessary() {
    if (closeUndoGroupTimer_) {
        closeUndoGroupTimer_->cancel();
        closeUndoGroupTimer_.reset();
    }
    if (!hasBegunCustomUndoGrouping_) return;
    hasBegunCustomUndoGrouping_ = false;
    if (groupingLevel() == 0) return; // already closed by someone else
    endUndoGrouping();
    // The pass that opened the outer group is over; without this the next plain change would
    // join the coalesced step.
    if (nestedInPassGroup_ && passEndedSinceBegin_ && groupingLevel() == 1) endUndoGrouping();
}

void CompositionUndoManager::undo() {
    endCustomUndoIfNecessary();
    UndoManager::undo();
}

void CompositionUndoManager::redo() {
    endCustomUndoIfNecessary();
    UndoManager::redo();
}

} // namespace vtl
