#include "editing/EditTransaction.h"

#include "editing/ExportFreeze.h"
#include "model/support/ModelFixture.h"
#include "model/support/UndoRoundTrip.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

class EditTransactionTest : public test::ModelFixture {
protected:
    EditTransactionTest() {
        container()->addObject(clip);
        settle();
    }
    std::shared_ptr<CompositionObjectsContainer> root() { return document.objectsContainer(); }
    Status addClip(double start, double end) {
        auto added = makeObject(start, end);
        container()->addObject(added);
        if (!container()->containsObject(added.get())) return fail("The clip was not added.");
        return {};
    }
    Status moveClip(double start, double end) {
        clip->setStartTimeEndTime(start, end);
        return {};
    }

    std::shared_ptr<CompositionRectangularObject> clip = makeObject(0, 2);
};

TEST_F(EditTransactionTest, StepsThatSucceedAreOneNamedUndoStep) {
    test::UndoRoundTrip roundTrip(undoManager(), root());
    roundTrip.check("add and move", [&] {
        EditTransaction edit(*container(), "Arrange");
        EXPECT_TRUE(edit.step([&] { return addClip(4, 6); }));
        EXPECT_TRUE(edit.step([&] { return moveClip(1, 3); }));
        EXPECT_TRUE(edit.commit());
        EXPECT_FALSE(edit.isOpen());
    });
    EXPECT_EQ(undoManager().undoActionName(), "Arrange");
}

TEST_F(EditTransactionTest, AFailingStepLeavesTheModelAndBothStacksAsTheyWere) {
    // One step to undo and one to redo, which a failed change must not lose.
    container()->addObject(makeObject(8, 9));
    endPass();
    clip->setStartTimeEndTime(5, 7);
    endPass();
    undoManager().undo();
    ASSERT_EQ(undoManager().undoStepCount(), 1u);
    ASSERT_EQ(undoManager().redoStepCount(), 1u);

    struct Case {
        const char* what;
        bool commit; // else the transaction just ends
    };
    for (const Case c : {Case{"commit", true}, Case{"end without commit", false}}) {
        SCOPED_TRACE(c.what);
        const PlistBytes before = test::archiveOf(root());
        bool lateStepRan = false;
        {
            EditTransaction edit(*container());
            EXPECT_TRUE(edit.step([&] { return addClip(10, 12); }));
            EXPECT_TRUE(edit.step([&] { return moveClip(3, 4); }));
            EXPECT_FALSE(edit.step([] { return Status(fail("The clips overlap.")); }));
            EXPECT_FALSE(edit.step([&] {
                lateStepRan = true;
                return Status();
            }));
            if (c.commit) {
                const Status done = edit.commit();
                ASSERT_FALSE(done);
                EXPECT_EQ(done.error(), "The clips overlap.");
            }
        }
        endPass();
        EXPECT_FALSE(lateStepRan);
        EXPECT_EQ(test::archiveOf(root()), before);
        EXPECT_EQ(undoManager().undoStepCount(), 1u);
        EXPECT_EQ(undoManager().redoStepCount(), 1u);
    }
    undoManager().redo();
    EXPECT_EQ(clip->startTime(), 5) << "the redo step is the one from before";
}

TEST_F(EditTransactionTest, AnEndedTransactionRunsNoMoreSteps) {
    EditTransaction edit(*container());
    ASSERT_TRUE(edit.commit());
    bool ran = false;
    EXPECT_FALSE(edit.step([&] {
        ran = true;
        return Status();
    }));
    EXPECT_FALSE(ran);
    EXPECT_FALSE(edit.commit());
}

TEST_F(EditTransactionTest, NothingChangesWhileAnExportReadsTheComposition) {
    EXPECT_FALSE(container()->isInExport()) << "a new composition is not being exported";
    clip->setStartTimeEndTime(1, 2);
    endPass();
    ASSERT_TRUE(undoManager().canUndo());
    const PlistBytes before = test::archiveOf(root());
    const std::size_t objects = container()->countOfObjects();
    auto extra = makeObject(3, 4);
    {
        ExportFreeze freeze(root());
        ExportFreeze overlapping(root());
        EXPECT_TRUE(container()->isInExport());

        EditTransaction edit(*container());
        EXPECT_FALSE(edit.status());
        bool ran = false;
        EXPECT_FALSE(edit.step([&] {
            ran = true;
            return Status();
        }));
        EXPECT_FALSE(ran);

        const int assertionsBefore = assertionFailureCount();
        container()->addObject(extra);
        container()->removeObject(clip.get());
        container()->setCanvasSize({100, 100});
        EXPECT_EQ(container()->createChapterMarkAtTime(1), nullptr);
        EXPECT_EQ(assertionFailureCount() - assertionsBefore, 4) << "each change is a programming error";
        EXPECT_EQ(container()->countOfObjects(), objects);

        EXPECT_FALSE(undoManager().canUndo());
        undoManager().undo();
        EXPECT_EQ(clip->startTime(), 1) << "undo is refused";
        EXPECT_EQ(test::archiveOf(root()), before);
    }
    EXPECT_FALSE(container()->isInExport()) << "the last freeze ends the export";
    EXPECT_TRUE(undoManager().canUndo());
    EditTransaction edit(*container());
    EXPECT_TRUE(edit.step([&] { return addClip(3, 4); }));
    EXPECT_TRUE(edit.commit());
    EXPECT_EQ(container()->countOfObjects(), objects + 1);
}

} // namespace
} // namespace vtl
