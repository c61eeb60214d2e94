#pragma once
// The undo manager of a composition document (the document owns it). Adds to the platform undo
// manager a switch that makes it ignore plain registrations, and coalescing: a run of
// registrations for the same target lands in one undo step, closed 1.0 s after the last of them,
// at once by a registration for another target or a plain one, and on undo, redo and teardown.
// Main thread only.

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/UndoManager.h"

#include <memory>
#include <string>

namespace vtl {

class DispatchTimer;

class CompositionUndoManager : public UndoManager {
public:
    static constexpr double kCoalescingIntervalSeconds = 1.0;

    CompositionUndoManager();
    ~CompositionUndoManager() override;

    // The plain registration path: nothing while ignoresChanges is set; otherwise closes an open
    // coalescing group first.
    void registerUndo(const void* target, Action action) override;

    // Coalescing forms. The first coalesces per target and operation name, the second per target.
    // Both register even while ignoresChanges is set.
    void customUndoGroupRegisterUndo(const void* target, const std::string& operation, Action action);
    void customUndoGroupPrepare(const void* target, Action action);

    void beginCustomUndoIfNecessary();
    void endCustomUndoIfNecessary();
    void closeUndoGroupFromTimer() { endCustomUndoIfNecessary(); }

    // Both close an open coalescing group first, so the group never outlives the step it is in.
    void undo() override;
    void redo() override;

    bool ignoresChanges() const { return ignoresChanges_; }
    void setIgnoresChanges(bool ignores) { ignoresChanges_ = ignores; }
    bool hasBegunCustomUndoGrouping() const { return hasBegunCustomUndoGrouping_; }

private:
    bool hasBegunCustomUndoGrouping_ = false;
    std::shared_ptr<DispatchTimer> closeUndoGroupTimer_;
    const void* previousTarget_ = nullptr;
    std::string previousSelector_;
    bool ignoresChanges_ = false;
    // The coalescing group was opened inside the automatic group of a pass, and a pass has ended
    // since: that outer group then stays open only for the coalescing group.
    bool nestedInPassGroup_ = false;
    bool passEndedSinceBegin_ = false;
    MainLoop::Token passObserver_ = 0;
};

} // namespace vtl
