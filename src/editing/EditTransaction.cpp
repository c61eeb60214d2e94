#include "editing/EditTransaction.h"

#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "platform/foundation/Log.h"

namespace vtl {

EditTransaction::EditTransaction(CompositionObjectsContainer& container, std::string actionName)
    : container_(container)
    , actionName_(std::move(actionName)) {
    if (container_.isInExport()) {
        status_ = fail("The composition cannot be changed while it is being exported.");
        return;
    }
    open_ = true;
    manager_ = container_.undoManager();
    if (!manager_) return;
    // A coalescing group left open by earlier edits must not swallow this step.
    manager_->endCustomUndoIfNecessary();
    manager_->beginUndoGroupingKeepingRedo();
    groupLevel_ = manager_->groupingLevel();
}

EditTransaction::~EditTransaction() {
    rollback();
}

const Status& EditTransaction::step(const std::function<Status()>& change) {
    if (!open_ && status_) status_ = fail("The change has already ended.");
    if (!status_) return status_;
    status_ = change();
    return status_;
}

void EditTransaction::closeNestedGroups() {
    manager_->endCustomUndoIfNecessary();
    while (manager_->groupingLevel() > groupLevel_)
        manager_->endUndoGrouping();
    VTL_ASSERT(manager_->groupingLevel() == groupLevel_, "a step closed the undo group of its transaction");
}

Status EditTransaction::commit() {
    if (!open_) return status_ ? Status(fail("The change has already ended.")) : status_;
    if (!status_) {
        rollback();
        return status_;
    }
    open_ = false;
    if (!manager_) return {};
    closeNestedGroups();
    if (manager_->groupingLevel() != groupLevel_) return {};
    if (!actionName_.empty()) manager_->setActionName(actionName_);
    manager_->endUndoGrouping();
    return {};
}

void EditTransaction::rollback() {
    if (!open_) return;
    open_ = false;
    if (!manager_) {
        if (!status_) logMessage("A failed change could not be taken back: the composition keeps no undo.");
        return;
    }
    closeNestedGroups();
    if (manager_->groupingLevel() == groupLevel_) manager_->discardUndoGrouping();
}

} // namespace vtl
