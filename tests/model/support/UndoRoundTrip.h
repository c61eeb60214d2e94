#pragma once
// Checks an undoable operation against keyed archives of an object graph: archives the graph
// before the operation and after it (the operation is one event-loop pass, so one undo step),
// then expects undo to bring back byte-equal archives of the "before" graph and redo those of the
// "after" graph, twice over so the redo step is checked to register its own undo correctly.

#include "model/CompositionUndoManager.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/KeyedArchiveDump.h"
#include "platform/foundation/KeyedArchiver.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace vtl::test {

// The keyed archive of the graph reachable from root.
inline PlistBytes archiveOf(const std::shared_ptr<Archivable>& root) {
    Result<PlistBytes> archived = KeyedArchiver::archivedData(root);
    EXPECT_TRUE(archived.ok()) << archived.error();
    return std::move(archived).valueOr({});
}

// The readable form of an archive, for failure messages.
inline std::string describeArchive(const PlistBytes& bytes) {
    Result<std::string> text = dumpKeyedArchive(bytes);
    return text.ok() ? text.value() : text.error();
}

class UndoRoundTrip {
public:
    UndoRoundTrip(CompositionUndoManager& manager, std::shared_ptr<Archivable> root)
        : manager_(manager)
        , root_(std::move(root)) {}

    void check(const std::string& what, const std::function<void()>& operation) {
        SCOPED_TRACE(what);
        runMainLoopOnce(0);
        const std::size_t stepsBefore = manager_.undoStepCount();
        const PlistBytes before = archiveOf(root_);
        operation();
        runMainLoopOnce(0);
        const PlistBytes after = archiveOf(root_);
        ASSERT_NE(before, after) << "the operation changed nothing that is archived";
        ASSERT_EQ(manager_.undoStepCount(), stepsBefore + 1) << "one operation, one undo step";
        for (int round = 0; round < 2; ++round) {
            manager_.undo();
            PlistBytes undone = archiveOf(root_);
            EXPECT_EQ(undone, before) << "undo, round " << round << "\nexpected:\n"
                                      << describeArchive(before) << "\nfound:\n"
                                      << describeArchive(undone);
            manager_.redo();
            PlistBytes redone = archiveOf(root_);
            EXPECT_EQ(redone, after) << "redo, round " << round << "\nexpected:\n"
                                     << describeArchive(after) << "\nfound:\n"
                                     << describeArchive(redone);
        }
    }

private:
    CompositionUndoManager& manager_;
    std::shared_ptr<Archivable> root_;
};

} // namespace vtl::test
