// The document's life: what a new document holds, the observation of its container, the hand-over
// to its window, tear-down, undo announcements, and the controller's export progress.

#include "DocumentTestSupport.h"
#include "document/CompositionDocumentController.h"
#include "model/CompositionModelNotifications.h"
#include "model/SharedMediaManager.h"
#include "model/support/ModelFixture.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "platform/foundation/DispatchMainLoop.h"

namespace vtl::test {
namespace {

class DocumentLife : public ::testing::Test {
protected:
    DocumentLife()
        : folder_(documentScratchFolder("life"))
        , media_(folder_ / "TemporaryResources") {
        registerVisualObjectClasses();
        document_.setSharedMediaManager(&media_);
        document_.setStatistics(&statistics_);
    }
    ~DocumentLife() override {
        document_.tearDown();
        docfs::remove_all(folder_);
    }

    std::shared_ptr<CompositionShapeObject> addShape() {
        auto shape = makeModelObject<CompositionShapeObject>(document_.objectsContainer().get(),
                                                             int32_t(ShapeKind::Rectangle));
        shape->setStartTimeEndTime(0, 3);
        document_.objectsContainer()->addObject(shape);
        return shape;
    }

    docfs::path folder_;
    SharedMediaManager media_;
    CountingStatistics statistics_;
    CompositionDocument document_;
};

TEST_F(DocumentLife, ANewDocumentHasTwoTracksAStepTimeAndNoUndo) {
    std::unique_ptr<CompositionDocument> made = CompositionDocument::makeNewDocument();
    EXPECT_EQ(made->objectsContainer()->countOfTracks(), 2u);
    EXPECT_EQ(made->timeScale(), 0.04);
    EXPECT_TRUE(made->canChangeStats());
    EXPECT_FALSE(made->undoManager()->canUndo());
    made->tearDown();
    EXPECT_FALSE(document_.hasIdentifier());
    const std::string identifier = document_.identifier();
    EXPECT_FALSE(identifier.empty());
    EXPECT_EQ(document_.identifier(), identifier) << "made once";
}

TEST_F(DocumentLife, RemovedObjectsAreForgottenAndSnippetPreviewsDropped) {
    auto shape = addShape();
    auto text = makeModelObject<CompositionTextObject>(document_.objectsContainer().get());
    text->setStartTimeEndTime(0, 3);
    document_.objectsContainer()->addObject(text);
    document_.setLastAddedShape(shape);
    document_.setLastAddedText(text);
    document_.snippetPreviewCache().set("snippet", PropertyList(1.0));
    document_.objectsContainer()->removeObject(shape.get());
    EXPECT_FALSE(document_.lastAddedShape());
    EXPECT_EQ(document_.lastAddedText(), text);
    EXPECT_TRUE(runMainLoopUntil([&] { return document_.snippetPreviewCache().empty(); }, 2))
        << "a moment after the change";

    document_.snippetPreviewCache().set("snippet", PropertyList(1.0));
    document_.objectsContainer()->setCanvasSize({100, 100});
    EXPECT_TRUE(document_.snippetPreviewCache().empty()) << "at once for the canvas";
}

TEST_F(DocumentLife, AnUndoAnnouncesTheChangeAndUpdatesTheTimeline) {
    FakeDocumentWindow window;
    document_.makeWindowControllers(&window);
    runMainLoopOnce(0);
    document_.undoManager()->removeAllActions();
    int changes = 0;
    auto& center = NotificationCenter::defaultCenter();
    ScopedNotificationObserver observer(center, center.addObserver(kObjectChangedNotification,
                                                                   document_.objectsContainer().get(),
                                                                   [&](const Notification&) { ++changes; }));
    addShape();
    runMainLoopOnce(0);
    ASSERT_TRUE(document_.undoManager()->canUndo());
    const int updatesBefore = window.sequencerUpdates;
    changes = 0;
    document_.undoManager()->undo();
    EXPECT_GE(changes, 1);
    EXPECT_GT(window.sequencerUpdates, updatesBefore);
    document_.tearDown();
    EXPECT_EQ(window.tearDowns, 1);
}

TEST_F(DocumentLife, TearDownEndsEverythingOnceAndCountsUnsavedDocuments) {
    struct Case {
        const char* name;
        bool saved;
        int cancelledCount;
    };
    for (const Case& c : {Case{"unsaved", false, 1}, Case{"saved", true, 0}}) {
        SCOPED_TRACE(c.name);
        CountingStatistics statistics;
        auto document = std::make_unique<CompositionDocument>();
        document->setSharedMediaManager(&media_);
        document->setStatistics(&statistics);
        if (c.saved) {
            ASSERT_TRUE(
                document->writeSafelyToURL((folder_ / "saved.vistrelcomposition").string(), PackageIcon::Skip)
                    .ok());
        }
        FakeDocumentWindow window;
        window.playing = true;
        window.editing.setCurrentTime(2.5);
        document->makeWindowControllers(&window);
        double stoppedAt = -1;
        auto& center = NotificationCenter::defaultCenter();
        ScopedNotificationObserver observer(
            center, center.addObserver("didStopPlay", document->objectsContainer().get(),
                                       [&](const Notification& note) {
                                           if (auto* t = note.value<double>("currentTime")) stoppedAt = *t;
                                       }));
        (void)document->identifier();
        document->tearDown();
        document->tearDown();
        EXPECT_EQ(statistics.counts["Recording_InitialSavedCancelled"], c.cancelledCount);
        EXPECT_EQ(statistics.counts["Recording_InitialSaved"], c.saved ? 1 : 0);
        EXPECT_EQ(stoppedAt, 2.5);
        EXPECT_FALSE(window.playing);
        EXPECT_EQ(window.inspectorClears, 1);
        EXPECT_EQ(window.menusHidden, 1);
        EXPECT_EQ(window.tearDowns, 1);
        EXPECT_FALSE(document->window());
        EXPECT_FALSE(document->hasIdentifier());
        EXPECT_TRUE(media_.entriesForDocument(document.get()).empty());
        EXPECT_FALSE(document->objectsContainer()->extractionInterrupted());
        runMainLoopOnce(0); // the deferred chapter-mark announcement finds the document torn down
    }
}

TEST_F(DocumentLife, ANewWindowWithoutSavedStateGetsItsGoodSizeAndTheChapterMarksAnnouncement) {
    FakeDocumentWindow window;
    int announcements = 0;
    auto& center = NotificationCenter::defaultCenter();
    ScopedNotificationObserver observer(
        center, center.addObserver("Vistrel_ChapterMarksChangedNotification", &document_,
                                   [&](const Notification&) { ++announcements; }));
    document_.makeWindowControllers(&window);
    EXPECT_EQ(window.goodInitialSizes, 1);
    EXPECT_FALSE(window.frameRestored);
    EXPECT_EQ(document_.objectsContainer()->languageScript(), -1);
    EXPECT_EQ(announcements, 0) << "deferred to a later turn";
    runMainLoopOnce(0);
    EXPECT_EQ(announcements, 1);
    document_.tearDown();
}

class FakeProgressDisplay : public ExportProgressDisplay {
public:
    void setExportProgress(double p, bool s) override {
        progress = p;
        show = s;
    }
    double progress = -1;
    bool show = true;
};

TEST_F(DocumentLife, TheControllerShowsTheAverageProgressOfExportingDocuments) {
    FakeProgressDisplay display;
    CompositionDocumentController controller(&display);
    int countChanges = 0;
    auto& center = NotificationCenter::defaultCenter();
    ScopedNotificationObserver observer(center,
                                        center.addObserver(kDocumentCountChangedNotification, &controller,
                                                           [&](const Notification&) { ++countChanges; }));
    CompositionDocument first, second;
    controller.addDocument(&first);
    controller.addDocument(&second);
    EXPECT_EQ(countChanges, 2);
    struct Step {
        double firstProgress, secondProgress;
        bool firstExporting, secondExporting;
        double shown;
        bool visible;
    };
    const Step steps[] = {
        {0.2, 0.6, true, true, 0.4, true},
        {1.0, 1.0, true, true, 1.0, false},
        {1.0, 0.5, false, true, 0.5, true},
        {0.0, 0.0, false, false, 0.0, false},
    };
    for (const Step& step : steps) {
        first.objectsContainer()->setIsInExport(step.firstExporting);
        second.objectsContainer()->setIsInExport(step.secondExporting);
        first.setCurrentExportProgress(step.firstProgress);
        second.setCurrentExportProgress(step.secondProgress);
        EXPECT_DOUBLE_EQ(display.progress, step.shown);
        EXPECT_EQ(display.show, step.visible);
    }
    controller.removeDocument(&first);
    EXPECT_TRUE(first.isTornDown());
    EXPECT_EQ(controller.documents().size(), 1u);
    EXPECT_EQ(countChanges, 3);
    controller.removeDocument(&second);
}

} // namespace
} // namespace vtl::test
