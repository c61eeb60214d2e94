#include "model/AudioCapability.h"
#include "model/CompositionExtractionQueues.h"
#include "model/CompositionObjectsContainer.h"
#include "model/MediaTrackCapability.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "support/ModelFixture.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace vtl {
namespace {

// An object that may serve as a mask and may anchor to others, like a track object.
class ServiceObject : public CompositionRectangularObject, public MediaTrackCapability {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    MediaTrackCapability* mediaTrackCapability() override { return this; }
    bool canBeUsedAsMask() const override { return true; }
    std::shared_ptr<CompositionBaseObject> beforeAnchoredObject() const override { return before.lock(); }
    bool usesGlobalShadow() const override { return shadowed; }
    void invalidateCachedImage() override { ++cacheInvalidations; }
    std::weak_ptr<CompositionBaseObject> before;
    bool shadowed = false;
    int cacheInvalidations = 0;
};

class TestPreset : public BaseVisualization {
public:
    TestPreset(std::string uid, std::string name) {
        this->uid = std::move(uid);
        setName(std::move(name));
    }
    bool anonymous() const override { return anonymous_; }
    void setAnonymous(bool anonymous) { anonymous_ = anonymous; }

protected:
    std::shared_ptr<BaseVisualization> makeEmpty() const override {
        return makeModelObject<TestPreset>("", "");
    }

private:
    bool anonymous_ = false;
};

// A text object drawing with a preset.
class TextObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    std::shared_ptr<BaseVisualization> textVisualization() const override { return preset; }
    std::shared_ptr<BaseVisualization> preset;
};

// A media track that extracts in the background; the test finishes its work by hand.
class ExtractingTrack : public CompositionRectangularObject,
                        public MediaTrackCapability,
                        public AudioCapability {
public:
    ExtractingTrack(CompositionObjectsContainer* container, std::vector<std::string>* log, std::string name)
        : CompositionRectangularObject(container)
        , log_(log)
        , name_(std::move(name)) {}
    MediaTrackCapability* mediaTrackCapability() override { return this; }
    AudioCapability* audioCapability() override { return this; }
    bool waveformExtractionDone() const override { return waveformDone; }
    void extractWaveFormAndNotify() override { log_->push_back("waveform " + name_); }
    bool previewThumbnailsGenerated() const override { return thumbnailsDone; }
    void generateThumbnails() override { log_->push_back("thumbnails " + name_); }
    bool waveformDone = false;
    bool thumbnailsDone = false;

private:
    std::vector<std::string>* log_;
    std::string name_;
};

class ServicesDocument : public CompositionDocument {
public:
    void updateSequencer() override {
        // Reading the queues here would block if a caller waited for the main thread holding their lock.
        (void)CompositionExtractionQueues::shared().audioTracks();
        ++sequencerUpdates;
    }
    void hideCopyMediaProgress() override { ++hiddenProgress; }
    void prepareToShowAudioExtractionProgress() override { ++preparedProgress; }
    std::atomic<int> sequencerUpdates{0};
    int hiddenProgress = 0;
    int preparedProgress = 0;
};

class ContainerServices : public test::ModelFixture {
protected:
    std::shared_ptr<ServiceObject> add(double start, double end) {
        auto object = makeModelObject<ServiceObject>(container());
        object->setStartTimeEndTime(start, end);
        container()->addObject(object);
        return object;
    }
};

TEST_F(ContainerServices, MaskRulesAndRelations) {
    auto mask = add(0, 5), masked = add(0, 5), anchor = add(0, 5), anchored = add(0, 5);
    anchored->before = anchor;
    EXPECT_TRUE(container()->canUseObjectAsMaskForObject(*mask, *masked));
    EXPECT_FALSE(container()->canUseObjectAsMaskForObject(*mask, *mask)) << "not itself";
    EXPECT_FALSE(container()->canUseObjectAsMaskForObject(*anchor, *masked))
        << "an anchored object cannot mask";
    EXPECT_FALSE(container()->canUseObjectAsMaskForObject(*mask, *anchor)) << "nor be masked";
    EXPECT_EQ(container()->objectTrackIsAnchoredToBefore(*anchor), anchored);
    EXPECT_TRUE(container()->objectIsAnchoredObject(*anchor));

    settle();
    container()->establishMaskRelation(mask, masked);
    endPass();
    EXPECT_EQ(masked->maskObject(), mask);
    EXPECT_EQ(mask->maskForObject(), masked);
    EXPECT_FALSE(container()->canUseObjectAsMaskForObject(*mask, *add(6, 7))) << "a mask masks one object";
    endPass();
    undoManager().undo(); // the added object
    undoManager().undo();
    EXPECT_FALSE(masked->hasMask());
    EXPECT_FALSE(mask->isAMask());
    undoManager().redo();
    EXPECT_EQ(masked->maskObject(), mask);
}

TEST_F(ContainerServices, GlobalShadowAndBackground) {
    auto shadowed = add(0, 1), plain = add(2, 3);
    shadowed->shadowed = true;
    container()->setGlobalShadowOpacity(0.3f);
    EXPECT_EQ(shadowed->cacheInvalidations, 1);
    EXPECT_EQ(plain->cacheInvalidations, 0);

    const uint64_t generation = container()->backgroundGeneration();
    container()->setBackgroundKind(BackgroundKind::LinearGradient);
    EXPECT_EQ(container()->backgroundGeneration(), generation) << "an unchanged kind rebuilds nothing";
    container()->setCanvasSize({0, 0});
    EXPECT_EQ(container()->backgroundGeneration(), generation) << "an empty canvas keeps the old background";
    container()->setBackgroundKind(BackgroundKind::RadialGradient);
    EXPECT_EQ(container()->backgroundGeneration(), generation);
    container()->setCanvasSize({100, 100});
    EXPECT_EQ(container()->backgroundGeneration(), generation + 1);
}

TEST_F(ContainerServices, ProjectCopiesOfVisualizationPresets) {
    auto userPreset = std::make_shared<TestPreset>("U1", "Zoom");
    auto builtIn = std::make_shared<TestPreset>("B1", "Plain");
    builtIn->vistrelOwn = true;
    auto copy = container()->projectTextVisualizationForVisualization(userPreset);
    ASSERT_NE(copy, userPreset);
    EXPECT_TRUE(copy->isProjectCopy);
    EXPECT_EQ(copy->originalVisualizationUID, "U1");
    EXPECT_NE(copy->uid, "U1");
    EXPECT_EQ(container()->projectTextVisualizationForVisualization(userPreset), copy)
        << "one copy per preset";
    EXPECT_EQ(container()->projectTextVisualizationForVisualization(copy), copy);
    EXPECT_EQ(container()->projectTextVisualizationForVisualization(builtIn), builtIn);
    EXPECT_EQ(CompositionObjectsContainer::visualizationWithOriginalVisualizationUID(
                  "U1", container()->projectTextVisualizations()),
              copy);

    auto unused =
        container()->projectTextVisualizationForVisualization(std::make_shared<TestPreset>("U2", "Alpha"));
    auto kept = std::make_shared<TestPreset>("U3", "Beta");
    auto anonymousCopy = container()->projectTextVisualizationForVisualization(kept);
    std::static_pointer_cast<TestPreset>(anonymousCopy)->setAnonymous(true);
    auto text = makeModelObject<TextObject>(container());
    text->preset = copy;
    container()->addObject(text);
    container()->recacheVisualizations();
    const auto& remaining = container()->projectTextVisualizations();
    ASSERT_EQ(remaining.size(), 2u) << "the unused copy goes, the anonymous one stays";
    EXPECT_EQ(remaining[0], anonymousCopy) << "sorted by name";
    EXPECT_EQ(remaining[1], copy);
}

TEST(ExtractionQueues, WaveformsRunBeforeThumbnailsOneAtATime) {
    ServicesDocument document;
    auto& queues = CompositionExtractionQueues::shared();
    queues.addOpenDocument(&document);
    std::vector<std::string> log;
    auto container = document.objectsContainer();
    auto audio = makeModelObject<ExtractingTrack>(container.get(), &log, "A");
    auto movie = makeModelObject<ExtractingTrack>(container.get(), &log, "M");
    audio->thumbnailsDone = true;
    queues.addAudioTrack(audio);
    queues.addAudioTrack(audio);
    queues.addVideoTrack(movie);
    EXPECT_EQ(queues.audioTracks().size(), 1u) << "queued once";

    container->waveformExtractionDone(nullptr);
    EXPECT_EQ(log, std::vector<std::string>{"waveform A"});
    EXPECT_EQ(document.preparedProgress, 1);

    audio->waveformDone = true;
    container->waveformExtractionDone(audio);
    EXPECT_EQ(log, (std::vector<std::string>{"waveform A", "thumbnails M"}));
    EXPECT_TRUE(queues.audioTracks().empty());
    EXPECT_EQ(document.hiddenProgress, 0);

    movie->thumbnailsDone = true;
    container->thumbnailGenerationDone(movie);
    EXPECT_TRUE(queues.videoTracks().empty());
    EXPECT_EQ(document.hiddenProgress, 1) << "both queues empty: the progress is hidden";
    EXPECT_EQ(document.sequencerUpdates.load(), 1);

    // From an extraction thread the wait for the main thread happens outside the queue lock.
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        queues.thumbnailGenerationDone(nullptr);
        finished = true;
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return finished.load(); }, 10));
    worker.join();
    EXPECT_EQ(document.sequencerUpdates.load(), 2);
    queues.removeOpenDocument(&document);
}

// A finished movie track that says when the queue lock is held while it is asked.
class SignallingTrack : public CompositionRectangularObject, public MediaTrackCapability {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    MediaTrackCapability* mediaTrackCapability() override { return this; }
    bool previewThumbnailsGenerated() const override {
        askedUnderLock = true;
        return true;
    }
    mutable std::atomic<bool> askedUnderLock{false};
};

class CountingDocument : public CompositionDocument {
public:
    explicit CountingDocument(std::atomic<int>* updates)
        : updates_(updates) {}
    void updateSequencer() override { ++*updates_; }

private:
    std::atomic<int>* updates_;
};

TEST(ExtractionQueues, DocumentClosedWhileTheMainThreadIsAwaitedIsNotReached) {
    auto& queues = CompositionExtractionQueues::shared();
    ASSERT_TRUE(queues.audioTracks().empty());
    std::atomic<int> updates{0};
    auto document = std::make_unique<CountingDocument>(&updates);
    queues.addOpenDocument(document.get());
    auto track = makeModelObject<SignallingTrack>(nullptr);
    queues.addVideoTrack(track);

    std::atomic<bool> finished{false};
    std::thread worker([&] {
        queues.thumbnailGenerationDone(nullptr);
        finished = true;
    });
    // The worker is inside the queue lock; the document closes before the main loop runs again.
    while (!track->askedUnderLock.load())
        std::this_thread::yield();
    queues.removeOpenDocument(document.get());
    document.reset();
    EXPECT_TRUE(runMainLoopUntil([&] { return finished.load(); }, 10));
    worker.join();
    EXPECT_EQ(updates.load(), 0);
}

} // namespace
} // namespace vtl
