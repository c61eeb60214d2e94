#pragma once
// The model changes of one gesture or command as one undo step, all or nothing. Opened on a
// composition, it runs each step in an undo group of the composition's undo manager; commit
// closes the group as one step. When a step fails, the later ones are skipped and commit (or
// rollback, or the end of the transaction) undoes what the earlier ones did and leaves the undo
// and redo stacks as they were. Refused while an export reads the composition. Made on the stack
// by the controller that handles the gesture; main thread only.
//
//     EditTransaction edit(container, "Move");
//     edit.step([&] { return moveClips(...); });
//     edit.step([&] { return fixTransitions(...); });
//     if (Status done = edit.commit(); !done) showError(done.error());

#include "platform/foundation/Result.h"

#include <functional>
#include <string>

namespace vtl {

class CompositionObjectsContainer;
class CompositionUndoManager;

class EditTransaction {
public:
    // actionName names the undo step (empty: the name the changes give it).
    explicit EditTransaction(CompositionObjectsContainer& container, std::string actionName = {});
    // Rolls back what is neither committed nor rolled back.
    ~EditTransaction();
    EditTransaction(const EditTransaction&) = delete;
    EditTransaction& operator=(const EditTransaction&) = delete;

    // Ok while open and no step has failed; else why not.
    const Status& status() const { return status_; }
    bool isOpen() const { return open_; }

    // Runs one change unless the transaction is refused, ended or has failed; answers the status.
    const Status& step(const std::function<Status()>& change);
    // One undo step for everything done, or, after a failure, everything undone and the failure.
    Status commit();
    // Undoes everything done so far and ends the transaction.
    void rollback();

private:
    void closeNestedGroups();

    CompositionObjectsContainer& container_;
    CompositionUndoManager* manager_ = nullptr;
    std::string actionName_;
    Status status_;
    bool open_ = false;
    int groupLevel_ = 0;
};

} // namespace vtl
