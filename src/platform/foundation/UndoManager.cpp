#include "platform/foundation/UndoManager.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <exception>

namespace vtl {

UndoManager::UndoManager() {
    passObserver_ = MainLoop::addEndOfPassObserver([this] { endOfPass(); });
}

UndoManager::~UndoManager() {
    MainLoop::removeEndOfPassObserver(passObserver_);
}

void UndoManager::post(const char* name) const {
    NotificationCenter::defaultCenter().post(name, this);
}

void UndoManager::openGroup(bool automatic, bool keepsRedo) {
    post(checkpointNotification);
    auto group = std::make_unique<Group>();
    group->automatic = automatic;
    group->keepsRedo = keepsRedo;
    openGroups_.push_back(std::move(group));
    post(didOpenUndoGroupNotification);
}

void UndoManager::closeGroup() {
    post(checkpointNotification);
    post(willCloseUndoGroupNotification);
    // Observers of the notification above may have dropped everything.
    if (openGroups_.empty()) return;
    std::unique_ptr<Group> group = std::move(openGroups_.back());
    openGroups_.pop_back();
    // Kept only in case the group was discarded; released on return.
    Stack droppedRedo;
    droppedRedo.swap(group->droppedRedo);
    if (!group->entries.empty()) {
        if (!openGroups_.empty()) {
            Entry entry;
            entry.group = std::move(group);
            openGroups_.back()->entries.push_back(std::move(entry));
        } else {
            Stack& stack = stackBeingBuilt();
            stack.push_back(std::move(group));
            trim(stack);
        }
    }
    post(didCloseUndoGroupNotification);
}

void UndoManager::closeAllGroups() {
    while (!openGroups_.empty())
        closeGroup();
}

void UndoManager::endOfPass() {
    if (undoing_ || redoing_) return;
    if (openGroups_.size() == 1 && openGroups_.front()->automatic) closeGroup();
}

void UndoManager::registerUndo(const void* target, Action action) {
    if (disabledCount_ > 0 || !action) return;
    if (refusesUndoAndRedo_.load())
        assertionFailure(__FILE__, __LINE__,
                         "An undoable change was made while the document must not change.");
    // Released on return, once the manager is consistent again (see removeAllActions).
    Stack droppedRedo;
    if (!undoing_ && !redoing_) droppedRedo.swap(redoStack_);
    if (!droppedRedo.empty()) {
        const auto keeper = std::find_if(openGroups_.begin(), openGroups_.end(),
                                         [](const auto& group) { return group->keepsRedo; });
        if (keeper != openGroups_.end()) (*keeper)->droppedRedo.swap(droppedRedo);
    }
    bool ownStep = false;
    if (openGroups_.empty()) {
        if (groupsByEvent_ && !undoing_ && !redoing_) {
            openGroup(true);
            MainLoop::wakeUp(); // make sure a pass ends to close it
        } else {
            openGroup(false);
            ownStep = true;
        }
    }
    Entry entry;
    entry.target = target;
    entry.action = std::move(action);
    openGroups_.back()->entries.push_back(std::move(entry));
    if (ownStep) closeGroup();
}

void UndoManager::beginUndoGrouping() {
    openGroup(false);
}

void UndoManager::beginUndoGroupingKeepingRedo() {
    openGroup(false, true);
}

void UndoManager::endUndoGrouping() {
    if (openGroups_.empty()) {
        assertionFailure(__FILE__, __LINE__, "endUndoGrouping without an open group");
        return;
    }
    closeGroup();
}

void UndoManager::discardUndoGrouping() {
    if (openGroups_.empty()) {
        assertionFailure(__FILE__, __LINE__, "discardUndoGrouping without an open group");
        return;
    }
    std::unique_ptr<Group> group = std::move(openGroups_.back());
    openGroups_.pop_back();
    ++disabledCount_;
    runBack(*group);
    --disabledCount_;
    if (group->keepsRedo && !group->droppedRedo.empty() && redoStack_.empty())
        redoStack_.swap(group->droppedRedo);
}

bool UndoManager::canUndo() const {
    if (refusesUndoAndRedo_.load()) return false;
    if (!undoStack_.empty()) return true;
    if (undoing_ || redoing_) return false;
    return std::any_of(openGroups_.begin(), openGroups_.end(),
                       [](const auto& g) { return !g->entries.empty(); });
}

bool UndoManager::canRedo() const {
    return !refusesUndoAndRedo_.load() && !redoStack_.empty();
}

void UndoManager::runBack(Group& group) {
    for (auto it = group.entries.rbegin(); it != group.entries.rend(); ++it) {
        if (it->group) {
            runBack(*it->group);
            continue;
        }
        try {
            it->action();
        } catch (const std::exception& error) {
            logMessage(std::string("An undo action threw: ") + error.what());
        } catch (...) {
            logMessage("An undo action threw an unknown exception.");
        }
    }
}

void UndoManager::performStep(bool undoing) {
    if (undoing_ || redoing_ || refusesUndoAndRedo_.load()) return;
    closeAllGroups();
    Stack& source = undoing ? undoStack_ : redoStack_;
    if (source.empty()) return;
    post(undoing ? willUndoChangeNotification : willRedoChangeNotification);
    if (source.empty()) return; // an observer dropped the steps
    std::unique_ptr<Group> step = std::move(source.back());
    source.pop_back();
    (undoing ? undoing_ : redoing_) = true;
    openGroup(false);
    openGroups_.front()->actionName = step->actionName; // the inverse step keeps the name
    runBack(*step);
    closeAllGroups();
    (undoing ? undoing_ : redoing_) = false;
    post(undoing ? didUndoChangeNotification : didRedoChangeNotification);
}

void UndoManager::undo() {
    performStep(true);
}
void UndoManager::redo() {
    performStep(false);
}

void UndoManager::trim(Stack& stack) {
    if (levelsOfUndo_ == 0 || stack.size() <= levelsOfUndo_) return;
    const auto oldest = stack.begin() + static_cast<std::ptrdiff_t>(stack.size() - levelsOfUndo_);
    Stack dropped(std::make_move_iterator(stack.begin()), std::make_move_iterator(oldest));
    stack.erase(stack.begin(), oldest);
}

void UndoManager::setLevelsOfUndo(std::size_t levels) {
    levelsOfUndo_ = levels;
    trim(undoStack_);
    trim(redoStack_);
}

void UndoManager::disableUndoRegistration() {
    ++disabledCount_;
}

void UndoManager::enableUndoRegistration() {
    if (disabledCount_ == 0) {
        assertionFailure(__FILE__, __LINE__, "enableUndoRegistration without a matching disable");
        return;
    }
    --disabledCount_;
}

void UndoManager::setActionName(const std::string& name) {
    if (!openGroups_.empty())
        openGroups_.front()->actionName = name;
    else if (Stack& stack = stackBeingBuilt(); !stack.empty())
        stack.back()->actionName = name;
}

std::string UndoManager::undoActionName() const {
    bool openHasActions = std::any_of(openGroups_.begin(), openGroups_.end(),
                                      [](const auto& g) { return !g->entries.empty(); });
    if (!undoing_ && !redoing_ && openHasActions) return openGroups_.front()->actionName;
    return undoStack_.empty() ? std::string() : undoStack_.back()->actionName;
}

std::string UndoManager::redoActionName() const {
    return redoStack_.empty() ? std::string() : redoStack_.back()->actionName;
}

// Dropped actions are released only after the manager is consistent again: what they capture may,
// when destroyed, call back into it (a model object removing its own actions, say).
void UndoManager::removeAllActions() {
    Stack undoSteps, redoSteps, openGroups;
    undoSteps.swap(undoStack_);
    redoSteps.swap(redoStack_);
    openGroups.swap(openGroups_);
}

namespace {
// Removes the target's actions from the group, moving them to `dropped`; returns whether the
// group is left empty.
template <typename GroupT>
bool dropTarget(GroupT& group, const void* target, std::vector<UndoManager::Action>& dropped) {
    auto& entries = group.entries;
    for (auto& entry : entries)
        if (!entry.group && entry.target == target) dropped.push_back(std::move(entry.action));
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](auto& entry) {
                                     if (entry.group) return dropTarget(*entry.group, target, dropped);
                                     return entry.target == target;
                                 }),
                  entries.end());
    return entries.empty();
}
} // namespace

void UndoManager::removeAllActions(const void* target) {
    std::vector<Action> dropped;
    for (Stack* stack : {&undoStack_, &redoStack_})
        stack->erase(std::remove_if(stack->begin(), stack->end(),
                                    [&](auto& group) { return dropTarget(*group, target, dropped); }),
                     stack->end());
    for (auto& group : openGroups_)
        dropTarget(*group, target, dropped);
}

} // namespace vtl
