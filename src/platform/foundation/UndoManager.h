#pragma once
// Records inverse actions in undo steps and runs them back. Every registration of one pass of the
// main event loop lands in one step: the first registration of a pass opens an automatic group,
// the end of the pass (MainLoop::endPass) closes it. Explicit groups nest inside it or, opened
// outside any group, form a step of their own that lasts until closed. Registrations made while
// undoing form the redo step, and those made while redoing a new undo step. Owned by the
// document; main thread only. Notifications go to NotificationCenter::defaultCenter() with the
// manager as the object.

#include "platform/foundation/DispatchMainLoop.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class UndoManager {
public:
    using Action = std::function<void()>;

    static constexpr const char* checkpointNotification = "VTLUndoManagerCheckpointNotification";
    static constexpr const char* didOpenUndoGroupNotification = "VTLUndoManagerDidOpenUndoGroupNotification";
    static constexpr const char* willCloseUndoGroupNotification =
        "VTLUndoManagerWillCloseUndoGroupNotification";
    static constexpr const char* didCloseUndoGroupNotification =
        "VTLUndoManagerDidCloseUndoGroupNotification";
    static constexpr const char* willUndoChangeNotification = "VTLUndoManagerWillUndoChangeNotification";
    static constexpr const char* didUndoChangeNotification = "VTLUndoManagerDidUndoChangeNotification";
    static constexpr const char* willRedoChangeNotification = "VTLUndoManagerWillRedoChangeNotification";
    static constexpr const char* didRedoChangeNotification = "VTLUndoManagerDidRedoChangeNotification";

    UndoManager();
    virtual ~UndoManager();
    UndoManager(const UndoManager&) = delete;
    UndoManager& operator=(const UndoManager&) = delete;

    // Records an action that undoes a change of the target (compared by identity, used only by
    // removeAllActions(target)). Dropped while registration is disabled. A registration outside
    // any group opens the automatic group of the pass (or, without grouping by event, forms a
    // step of its own). A registration that is neither undoing nor redoing clears the redo steps.
    virtual void registerUndo(const void* target, Action action);

    virtual void beginUndoGrouping();
    // An explicit group for an all-or-nothing change: discarding it also brings back the redo
    // steps its registrations dropped, so a change that fails leaves both stacks as they were.
    void beginUndoGroupingKeepingRedo();
    // Closes the innermost open group; an empty group is dropped. Without an open group it is a
    // programming error, reported and ignored.
    virtual void endUndoGrouping();
    // Closes the innermost open group and takes back what it recorded, leaving no step: for an
    // operation that fails part-way. Its actions run with registration disabled.
    void discardUndoGrouping();
    int groupingLevel() const { return static_cast<int>(openGroups_.size()); }
    // Whether each pass gets its automatic group (on by default).
    bool groupsByEvent() const { return groupsByEvent_; }
    void setGroupsByEvent(bool groupsByEvent) { groupsByEvent_ = groupsByEvent; }

    // Set while the document must not change (an export reads it): undo and redo do nothing and
    // cannot be done, and a registration is reported as a programming error (and kept). Any
    // thread may set it.
    void setRefusesUndoAndRedo(bool refuses) { refusesUndoAndRedo_ = refuses; }
    bool refusesUndoAndRedo() const { return refusesUndoAndRedo_.load(); }

    bool canUndo() const;
    bool canRedo() const;
    // Undo first closes every open group (the pass's group and explicit ones), then runs the last
    // step's actions in reverse order. Nothing happens while already undoing or redoing.
    virtual void undo();
    virtual void redo();
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }

    // Most steps kept on each stack; 0 means no limit. Lowering it drops the oldest steps.
    std::size_t levelsOfUndo() const { return levelsOfUndo_; }
    void setLevelsOfUndo(std::size_t levels);

    // Counted: each disable needs its enable.
    void disableUndoRegistration();
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return disabledCount_ == 0; }

    // Names the step being built (the open group, else the last step of the stack being built).
    void setActionName(const std::string& name);
    std::string undoActionName() const;
    std::string redoActionName() const;

    // Drops every step and every open group.
    void removeAllActions();
    // Drops the actions registered for the target; steps left empty go too.
    void removeAllActions(const void* target);

    std::size_t undoStepCount() const { return undoStack_.size(); }
    std::size_t redoStepCount() const { return redoStack_.size(); }

private:
    struct Group;
    struct Entry {
        const void* target = nullptr;
        Action action;
        std::unique_ptr<Group> group;
    };
    struct Group {
        std::vector<Entry> entries;
        std::string actionName;
        bool automatic = false;
        bool keepsRedo = false;
        std::vector<std::unique_ptr<Group>> droppedRedo; // with keepsRedo, until the group closes
    };
    using Stack = std::vector<std::unique_ptr<Group>>;

    void openGroup(bool automatic, bool keepsRedo = false);
    void closeGroup();
    void closeAllGroups();
    void endOfPass();
    void runBack(Group& group);
    void performStep(bool undoing);
    void trim(Stack& stack);
    void post(const char* name) const;
    Stack& stackBeingBuilt() { return undoing_ ? redoStack_ : undoStack_; }
    const Stack& stackBeingBuilt() const { return undoing_ ? redoStack_ : undoStack_; }

    Stack undoStack_;
    Stack redoStack_;
    std::vector<std::unique_ptr<Group>> openGroups_; // innermost last
    bool groupsByEvent_ = true;
    bool undoing_ = false;
    bool redoing_ = false;
    int disabledCount_ = 0;
    std::atomic<bool> refusesUndoAndRedo_ = false;
    std::size_t levelsOfUndo_ = 0;
    MainLoop::Token passObserver_ = 0;
};

} // namespace vtl
