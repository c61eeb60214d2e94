// The recording coordinator with stand-in recorders, clock, timers and screens: preparing, the
// real start, the minimum length, pauses and the pause list, stops that must not hang, the result.

#include "recorder/RecordingCoordinator.h"

#include "FakePointerMonitor.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/capture/Camera.h"
#include "platform/capture/MobileDevice.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/PropertyList.h"
#include "platform/media/MediaAsset.h"
#include "recorder/format/MouseFileKeys.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;

struct FakeDelegate final : RecordingCoordinatorDelegate {
    void showFinishingRecord() override { ++finishingShown; }
    void recordDoneWithInfo(const std::optional<PropertyList>&) override {}
    void setSurfaceID(std::uint32_t id) override { surfaceIDs.push_back(id); }
    void setWaitingForUnpause(bool) override {}
    void setRecordingError(int) override {}
    void presentRecordError(const std::string& message) override { presentedErrors.push_back(message); }
    void disableIOSAudioPreviewFromRecorder() override {}
    void disableIOSVideoPreviewFromRecorder() override {}
    void doneRecordingWithInfo(const std::optional<PropertyList>& info) override { results.push_back(info); }
    void unregisterHotkeys() override { ++hotkeysUnregistered; }

    int finishingShown = 0;
    int hotkeysUnregistered = 0;
    std::vector<std::uint32_t> surfaceIDs;
    std::vector<std::optional<PropertyList>> results;
    std::vector<std::string> presentedErrors;
};

class FakeScreenRecorder final : public CoordinatedScreenRecorder {
public:
    FakeScreenRecorder(RecorderDelegate& delegate, std::vector<std::string>& log, bool producesData,
                       const double& recordedSeconds)
        : delegate_(delegate)
        , log_(log)
        , producesData_(producesData)
        , recordedSeconds_(recordedSeconds) {}
    void startProcessQueue() override {
        log_.push_back("startProcessQueue");
        if (producesData_) delegate_.recorderStartedProducingData(*this);
    }
    void startRecord() override { log_.push_back("startRecord"); }
    void setWriteToMovie() override {
        log_.push_back("setWriteToMovie");
        takeTime("setWriteToMovie");
    }
    void setPaused(bool paused) override {
        log_.push_back(paused ? "setPaused(1)" : "setPaused(0)");
        takeTime(log_.back());
    }
    void stopRecord() override {
        log_.push_back("stopRecord");
        takeTime("stopRecord");
    }
    void finishPendingFrames() override { log_.push_back("finishPendingFrames"); }
    void finalizeRecord() override {
        log_.push_back("finalizeRecord");
        delegate_.recorderDone(*this);
    }
    double durationSeconds() const override { return recordedSeconds_; }
    std::optional<Size> sizePixels() const override { return Size{640, 480}; }
    std::uint64_t bytesWrittenSoFar() const override { return 1234; }

    // Seconds of the clock a call takes (a capture thread to start or join on a busy machine).
    std::map<std::string, double> callSeconds;
    double* clock = nullptr;

private:
    void takeTime(const std::string& call) {
        auto found = callSeconds.find(call);
        if (found != callSeconds.end() && clock) *clock += found->second;
    }

    RecorderDelegate& delegate_;
    std::vector<std::string>& log_;
    bool producesData_;
    const double& recordedSeconds_;
};

struct FakeStatusItem final : RecorderStatusItem {
    explicit FakeStatusItem(RecorderStatusItemActions menuActions)
        : actions(std::move(menuActions)) {}
    ~FakeStatusItem() override { *alive = false; }
    void setTitle(const std::string& t) override { titles.push_back(t); }
    // What a real item's menu holds and calls.
    RecorderStatusItemActions actions;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    void setPaused(bool paused) override { pausedStates.push_back(paused); }
    std::vector<std::string> titles;
    std::vector<bool> pausedStates;
};

class RecordingCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("vistrel-coordinator-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        screens = {
            {1, "left", Rect(0, 0, 1280, 720), Rect(0, 0, 1280, 720), 1.0, true},
            {2, "right", Rect(1280, 0, 1024, 768), Rect(1280, 0, 1024, 768), 1.0, false},
        };
    }
    void TearDown() override {
        coordinator.reset();
        while (runMainLoopOnce()) {
        }
        fs::remove_all(folder);
    }

    RecordingCoordinator::Services services() {
        RecordingCoordinator::Services s;
        s.clockSeconds = [this] { return clock; };
        s.screens = [this]() -> Result<std::vector<ScreenDescription>> { return screens; };
        s.makeScreenRecorder = [this](RecordingCoordinator& c, const ScreenRecorderOptions& options)
            -> Result<std::unique_ptr<CoordinatedScreenRecorder>> {
            options_ = options;
            if (recorderFails) return fail("no display");
            auto recorder =
                std::make_unique<FakeScreenRecorder>(c, log, recorderProducesData, recordedSeconds);
            recorder->callSeconds = screenCallSeconds;
            recorder->clock = &clock;
            return std::unique_ptr<CoordinatedScreenRecorder>(std::move(recorder));
        };
        s.scheduleAfter = [this](double delay, std::function<void()> task) {
            auto entry = std::make_shared<Scheduled>(Scheduled{clock + delay, std::move(task), false});
            scheduled.push_back(entry);
            return std::function<void()>([entry] { entry->cancelled = true; });
        };
        s.postNotification = [this](std::string_view name) { notifications.emplace_back(name); };
        // Only where a test asks for one: it reports its data from a thread of its own.
        s.makeMouseRecorder = [this](RecordingCoordinator& c, int fps) {
            return makeMouse ? makeMouse(c, fps) : std::unique_ptr<MouseRecorder>();
        };
        s.makeFrontWindowSource = [this] { return frontWindowSource; };
        s.makeStatusItem = [this](RecorderStatusItemActions actions) {
            statusActions = actions;
            auto item = std::make_unique<FakeStatusItem>(std::move(actions));
            statusItem = item.get();
            return std::unique_ptr<RecorderStatusItem>(std::move(item));
        };
        s.audioHardware = audioHardware;
        // No camera on the test machine.
        s.openCamera = [](const std::string&) -> Result<std::unique_ptr<Camera>> {
            return fail("There is no camera.");
        };
        s.suppressScreenSaver = [this](bool hold) {
            screenSaverCalls.push_back(hold);
            return true;
        };
        return s;
    }

    RecordingSettings settingsFor(RecordMode mode = RecordMode::FullScreen) {
        RecordingSettings s;
        s.recordMode = mode;
        s.frameRate = 10;
        s.path = (folder / "take").string();
        return s;
    }

    bool prepare(const RecordingSettings& settings, std::string* errorOut = nullptr) {
        coordinator = std::make_unique<RecordingCoordinator>(delegate, services());
        Status prepared = coordinator->prepareWithInfoDictionary(settings.toDictionary());
        if (errorOut) *errorOut = prepared.error();
        return prepared.ok();
    }

    // Prepared and really started at clock 1000.
    void startRecording(RecordingSettings settings) {
        ASSERT_TRUE(prepare(settings));
        coordinator->startRecording();
        while (runMainLoopOnce()) {
        }
    }

    // Moves the clock on, running the timers that come due and the main queue.
    void advance(double seconds) {
        double end = clock + seconds;
        for (;;) {
            std::shared_ptr<Scheduled> next;
            for (auto& entry : scheduled)
                if (!entry->cancelled && !entry->ran && entry->at <= end && (!next || entry->at < next->at))
                    next = entry;
            if (!next) break;
            clock = std::max(clock, next->at);
            next->ran = true;
            next->task();
            while (runMainLoopOnce()) {
            }
        }
        clock = end;
        while (runMainLoopOnce()) {
        }
    }

    int pendingTimers() const {
        return static_cast<int>(std::count_if(scheduled.begin(), scheduled.end(),
                                              [](const auto& e) { return !e->cancelled && !e->ran; }));
    }

    struct Scheduled {
        double at;
        std::function<void()> task;
        bool cancelled;
        bool ran = false;
    };

    fs::path folder;
    std::vector<ScreenDescription> screens;
    double clock = 1000;
    std::vector<std::shared_ptr<Scheduled>> scheduled;
    std::vector<std::string> notifications;
    std::vector<std::string> log;
    std::vector<bool> screenSaverCalls;
    ScreenRecorderOptions options_;
    RecorderStatusItemActions statusActions;
    FakeStatusItem* statusItem = nullptr;
    std::shared_ptr<NullAudioHardware> audioHardware = std::make_shared<NullAudioHardware>();
    bool recorderFails = false;
    bool recorderProducesData = true;
    double recordedSeconds = 7.5; // what the package holds when the recording ends
    std::function<std::unique_ptr<MouseRecorder>(RecordingCoordinator&, int)> makeMouse;
    WindowFrameReader::FrameSource frontWindowSource;
    std::map<std::string, double> screenCallSeconds;
    FakeDelegate delegate;
    std::unique_ptr<RecordingCoordinator> coordinator;
};

TEST_F(RecordingCoordinatorTest, PrepareRefusesWhatCannotBeRecordedAndLeavesNothingBehind) {
    struct Case {
        const char* name;
        std::function<void(RecordingSettings&)> change;
    };
    const Case cases[] = {
        {"iOS device mode", [](RecordingSettings& s) { s.recordMode = RecordMode::IOSDevice; }},
        {"unknown mode", [](RecordingSettings& s) { s.recordMode = static_cast<RecordMode>(7); }},
        {"frame rate too low", [](RecordingSettings& s) { s.frameRate = 1; }},
        {"frame rate too high", [](RecordingSettings& s) { s.frameRate = 1000; }},
        {"relative path", [](RecordingSettings& s) { s.path = "take"; }},
        {"no path", [](RecordingSettings& s) { s.path.clear(); }},
        {"no such screen", [](RecordingSettings& s) { s.recordScreenIndex = 2; }},
        {"area off the screen",
         [](RecordingSettings& s) {
             s.recordMode = RecordMode::Area;
             s.recordRect = Rect(5000, 5000, 100, 100);
         }},
        {"parent folder missing",
         [this](RecordingSettings& s) { s.path = (folder / "missing" / "take").string(); }},
        {"screen recorder fails", [this](RecordingSettings&) { recorderFails = true; }},
    };
    for (const Case& c : cases) {
        RecordingSettings settings = settingsFor();
        recorderFails = false;
        c.change(settings);
        std::string error;
        EXPECT_FALSE(prepare(settings, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::created) << c.name;
        EXPECT_FALSE(fs::exists(settings.recordPath())) << c.name;
    }

    // An earlier recording at the path is never replaced.
    RecordingSettings settings = settingsFor();
    fs::create_directory(settings.recordPath());
    std::ofstream(fs::path(settings.recordPath()) / "vtldata") << "earlier";
    recorderFails = false;
    EXPECT_FALSE(prepare(settings));
    EXPECT_TRUE(fs::exists(fs::path(settings.recordPath()) / "vtldata"));
}

TEST_F(RecordingCoordinatorTest, PrepareWorksOutTheScreenAndTheAreaOnIt) {
    struct Case {
        RecordMode mode;
        int screenIndex;
        Rect recordRect;
        std::uint32_t displayID;
        Rect area; // relative to the screen, y up
    };
    const Case cases[] = {
        {RecordMode::FullScreen, 0, Rect(), 1, Rect(0, 0, 1280, 720)},
        {RecordMode::FullScreen, 1, Rect(), 2, Rect(0, 0, 1024, 768)},
        {RecordMode::Area, 1, Rect(1380, 100, 200, 150), 2, Rect(100, 100, 200, 150)},
        // Only the part on the screen, in whole points.
        {RecordMode::Area, 0, Rect(1200.5, 600, 200, 200), 1, Rect(1200, 600, 80, 120)},
    };
    for (const Case& c : cases) {
        RecordingSettings settings = settingsFor(c.mode);
        settings.recordScreenIndex = c.screenIndex;
        settings.recordRect = c.recordRect;
        ASSERT_TRUE(prepare(settings));
        EXPECT_EQ(coordinator->displayID(), c.displayID);
        EXPECT_EQ(coordinator->logicalAreaOnRecordingScreenRect(), c.area) << stringFromRect(c.recordRect);
        EXPECT_EQ(coordinator->physicalAreaOnRecordingScreenRect(), c.area);
        EXPECT_EQ(coordinator->logicalRecordingScreenRect(), screens[c.screenIndex].frame);
        EXPECT_TRUE(fs::is_directory(settings.recordPath()));
        coordinator.reset();
        fs::remove_all(settings.recordPath());
    }
}

TEST_F(RecordingCoordinatorTest, TheGrabberGetsTheRawQualityAndTheFrameRate) {
    for (RecordQuality quality : {RecordQuality::Highest, RecordQuality::High, RecordQuality::Medium}) {
        RecordingSettings settings = settingsFor(RecordMode::Window);
        settings.recordQuality = quality;
        settings.frameRate = 25;
        settings.windowNumber = 77;
        settings.recordRect = Rect(10, 10, 300, 200);
        ASSERT_TRUE(prepare(settings));
        EXPECT_EQ(options_.recordQuality, quality);
        EXPECT_EQ(options_.frameRate, 25);
        EXPECT_EQ(options_.recordMode, RecordMode::Window);
        EXPECT_EQ(options_.windowNumber, 77);
        coordinator.reset();
        fs::remove_all(settings.recordPath());
    }
}

TEST_F(RecordingCoordinatorTest, TheRealStartComesOnTheMainThreadOnceTheRecorderDeliversData) {
    ASSERT_TRUE(prepare(settingsFor()));
    EXPECT_EQ(coordinator->recordStartTime(), 0);
    coordinator->stopRecording(); // before the start: nothing
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::prepared);

    coordinator->startRecording();
    EXPECT_EQ(log, (std::vector<std::string>{"startProcessQueue", "startRecord"}));
    EXPECT_EQ(coordinator->recordStartTime(), 1000);
    while (runMainLoopOnce()) {
    }
    EXPECT_EQ(log.back(), "setWriteToMovie");
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::running);
}

TEST_F(RecordingCoordinatorTest, AStopInTheFirstFiveSecondsIsPutOffOnceAndThenFinishesTheRecording) {
    startRecording(settingsFor(RecordMode::FullScreen));
    advance(2);
    coordinator->stopRecording();
    coordinator->stopRecording();
    EXPECT_EQ(pendingTimers(), 1);
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::running);
    advance(2.9);
    EXPECT_TRUE(delegate.results.empty());
    advance(0.1);

    ASSERT_EQ(delegate.results.size(), 1u);
    const std::optional<PropertyList>& info = delegate.results[0];
    ASSERT_TRUE(info);
    EXPECT_EQ(info->numberForKey("RecordingDuration"), 7.5);
    EXPECT_EQ(info->integerForKey("RecordingType"), static_cast<int>(RecordMode::FullScreen));
    ASSERT_TRUE(info->stringForKey("RecordingSize"));
    EXPECT_EQ(*info->stringForKey("RecordingSize"), "RecordingSize_640x480");
    EXPECT_EQ(delegate.hotkeysUnregistered, 1);
    EXPECT_EQ(delegate.finishingShown, 1);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"stopRecord", "finishPendingFrames", "finalizeRecord"}));
    EXPECT_EQ(notifications, std::vector<std::string>{"VistrelMovieFinishedNotification"});
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::done);
    // No pauses: no pause list.
    EXPECT_FALSE(fs::exists(fs::path(coordinator->recordPath()) / "pauseTimes"));
}

TEST_F(RecordingCoordinatorTest, PausesMoveTheTimeBaseAndEndUpInThePauseList) {
    startRecording(settingsFor());
    advance(1);
    coordinator->pauseResumeRecord();
    EXPECT_TRUE(coordinator->isPaused());
    EXPECT_EQ(log.back(), "setPaused(1)");
    coordinator->promotePaused(true); // already paused: nothing
    advance(2);
    coordinator->pauseResumeRecord();
    EXPECT_FALSE(coordinator->isPaused());
    EXPECT_EQ(log.back(), "setPaused(0)");
    EXPECT_EQ(coordinator->recordStartTime(), 1002);
    advance(3); // 4 recorded seconds
    coordinator->stopRecording();
    EXPECT_TRUE(delegate.results.empty()) << "recorded time, not wall time, counts";
    advance(1);
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_EQ(notifications, (std::vector<std::string>{"VistrelRemoteRecorderDidPauseRecording",
                                                       "VistrelRemoteRecorderDidResumeRecording",
                                                       "VistrelMovieFinishedNotification"}));

    auto stored = PropertyList::fromFile(fs::path(coordinator->recordPath()) / "pauseTimes");
    ASSERT_TRUE(stored) << stored.error();
    ASSERT_EQ(stored.value().count(), 1u);
    EXPECT_EQ(stored.value().at(0)->numberForKey("time"), 1.0);
    EXPECT_EQ(stored.value().at(0)->numberForKey("duration"), 2.0);
}

TEST_F(RecordingCoordinatorTest, AStopWhilePausedLeavesTheOpenPauseOut) {
    startRecording(settingsFor());
    advance(6);
    coordinator->pauseRecording();
    advance(1);
    coordinator->stopRecording();
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_FALSE(fs::exists(fs::path(coordinator->recordPath()) / "pauseTimes"));
}

TEST_F(RecordingCoordinatorTest, APauseWhileAStopIsPutOffDoesNotLoseTheStop) {
    startRecording(settingsFor());
    advance(2);
    coordinator->stopRecording();
    advance(1);
    coordinator->pauseRecording();
    advance(2);
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::done);
}

TEST_F(RecordingCoordinatorTest, AStopWaitsForTheFirstDataOnlyForAWhile) {
    recorderProducesData = false;
    ASSERT_TRUE(prepare(settingsFor()));
    coordinator->startRecording();
    while (runMainLoopOnce()) {
    }
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::started);
    coordinator->stopRecording();
    advance(RecordingCoordinator::kStartWaitSeconds - 0.5);
    EXPECT_TRUE(delegate.results.empty());
    advance(0.5);
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_TRUE(std::find(log.begin(), log.end(), "setWriteToMovie") == log.end());
    EXPECT_EQ(log.back(), "finalizeRecord");
}

// An error (a full disk, say) ends the recording; what was recorded up to then is still the
// result, so the main application can open it. Only a recording that holds nothing has none.
TEST_F(RecordingCoordinatorTest, AnErrorToShowKeepsTheResultOfWhatWasRecordedAndTheTimeoutStopsTheRecording) {
    for (double recorded : {7.5, 0.0}) {
        SCOPED_TRACE(recorded);
        recordedSeconds = recorded;
        delegate.results.clear();
        screenSaverCalls.clear();
        RecordingSettings settings = settingsFor();
        settings.path += std::to_string(int(recorded));
        settings.recordTimeoutSeconds = 8;
        settings.suppressScreensaver = true;
        startRecording(settings);
        EXPECT_EQ(screenSaverCalls, std::vector<bool>{true});
        coordinator->showError(1);
        advance(7.9);
        EXPECT_TRUE(delegate.results.empty());
        advance(0.1);
        ASSERT_EQ(delegate.results.size(), 1u);
        EXPECT_EQ(coordinator->errorToShow(), 1);
        EXPECT_EQ(screenSaverCalls, (std::vector<bool>{true, false}));
        if (recorded > 0) {
            ASSERT_TRUE(delegate.results[0]);
            EXPECT_EQ(delegate.results[0]->numberForKey("RecordingDuration"), recorded);
            const std::string* size = delegate.results[0]->stringForKey("RecordingSize");
            ASSERT_TRUE(size);
            EXPECT_EQ(*size, "RecordingSize_640x480");
        } else {
            EXPECT_FALSE(delegate.results[0]);
        }
    }
}

TEST_F(RecordingCoordinatorTest, WhatCannotBeRecordedIsListedAndTheRestIsRecorded) {
    // What prepare finds missing is listed for the main application, which is told it in one
    // message; the recording is prepared all the same.
    struct Case {
        const char* name;
        std::function<void(RecordingSettings&)> change;
        const char* listed;    // empty: nothing listed
        const char* presented; // empty: no error shown
    };
    const Case cases[] = {
        {"nothing extra", [](RecordingSettings&) {}, "", ""},
        {"camera", [](RecordingSettings& s) { s.recordISight = true; }, "camera", ""},
        {"missing sound device",
         [](RecordingSettings& s) {
             s.audioDevicesToRecord = {{"gone-mic", 2}};
         },
         "gone-mic", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSettings settings = settingsFor();
        settings.path += c.name;
        c.change(settings);
        RecordingCoordinator::Services s = services();
        s.findAudioDevice = [](std::string_view, std::uint32_t) {
            return std::optional<CompositionAudioRecordDevice>();
        };
        delegate.presentedErrors.clear();
        coordinator = std::make_unique<RecordingCoordinator>(delegate, std::move(s));
        ASSERT_TRUE(coordinator->prepareWithInfoDictionary(settings.toDictionary()));
        while (runMainLoopOnce()) {
        }
        const auto& listed = coordinator->unrecordedRequests();
        if (std::string(c.listed).empty()) {
            EXPECT_TRUE(listed.empty());
        } else {
            ASSERT_EQ(listed.size(), 1u);
            EXPECT_NE(listed[0].find(c.listed), std::string::npos) << listed[0];
        }
        if (std::string(c.presented).empty()) {
            EXPECT_TRUE(delegate.presentedErrors.empty());
        } else {
            ASSERT_EQ(delegate.presentedErrors.size(), 1u);
            EXPECT_NE(delegate.presentedErrors[0].find(c.presented), std::string::npos)
                << delegate.presentedErrors[0];
        }
    }
}

TEST_F(RecordingCoordinatorTest, DiscardingAPreparedRecordingRemovesWhatPrepareMade) {
    // A folder prepare made goes; an empty folder that was there before stays, emptied.
    for (bool folderWasThere : {false, true}) {
        SCOPED_TRACE(folderWasThere);
        RecordingSettings settings = settingsFor();
        settings.path += folderWasThere ? "-there" : "-new";
        const fs::path package = settings.recordPath();
        if (folderWasThere) fs::create_directory(package);
        ASSERT_TRUE(prepare(settings));
        std::ofstream(package / "vtldata") << ""; // as the real grabber makes its files
        coordinator->discardPreparedRecording();
        EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::created);
        EXPECT_EQ(fs::exists(package), folderWasThere);
        EXPECT_FALSE(fs::exists(package / "vtldata"));
    }
    // Once started, nothing is discarded.
    RecordingSettings settings = settingsFor();
    startRecording(settings);
    coordinator->discardPreparedRecording();
    EXPECT_TRUE(fs::exists(settings.recordPath()));
    EXPECT_NE(coordinator->state(), RecordingCoordinator::State::created);
}

// A full disk's frames after the failure would all be lost: no waiting for the minimum length.
TEST_F(RecordingCoordinatorTest, AFailureStopsAtOnceAndTellsTheMainApplicationWhyOnce) {
    startRecording(settingsFor());
    advance(2);
    std::thread([this] {
        coordinator->showError(1);
        coordinator->stopRecordingAfterFailure("Recording stopped, the disk is full.");
    }).join();
    while (runMainLoopOnce()) {
    }
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::done);
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_TRUE(delegate.results[0]) << "what was recorded goes to the main application with the error";
    coordinator->stopRecordingAfterFailure("Recording stopped, a second failure.");
    EXPECT_EQ(delegate.presentedErrors, std::vector<std::string>{"Recording stopped, the disk is full."});
    EXPECT_EQ(delegate.finishingShown, 1);
}

TEST_F(RecordingCoordinatorTest, StopRequestsFromOtherThreadsAreCarriedOutOnTheMainThread) {
    startRecording(settingsFor());
    advance(6);
    std::thread([this] { coordinator->stopRecording(); }).join();
    EXPECT_TRUE(delegate.results.empty());
    while (runMainLoopOnce()) {
    }
    EXPECT_EQ(delegate.results.size(), 1u);
}

TEST_F(RecordingCoordinatorTest, TheStatusItemShowsTheRecordedTimeAndItsMenuControlsTheRecording) {
    RecordingSettings settings = settingsFor();
    settings.showStatusItem = true;
    settings.recorderDisplayMode = RecorderDisplayMode::ElapsedTime;
    ASSERT_TRUE(prepare(settings));
    ASSERT_TRUE(statusItem);
    coordinator->updateStatusItem();
    EXPECT_EQ(statusItem->titles.back(), "") << "no time before the real start";
    coordinator->startRecording();
    while (runMainLoopOnce()) {
    }
    advance(65);
    coordinator->updateStatusItem();
    EXPECT_EQ(statusItem->titles.back(), "01:05");
    statusActions.pause();
    advance(10);
    coordinator->updateStatusItem();
    EXPECT_EQ(statusItem->titles.back(), "01:05") << "the time stands still while paused";
    statusActions.resume();
    EXPECT_EQ(statusItem->pausedStates, (std::vector<bool>{true, false}));
    statusActions.stop();
    EXPECT_EQ(delegate.results.size(), 1u);
    EXPECT_FALSE(coordinator->hasStatusItem()) << "gone with the recording";
}

TEST_F(RecordingCoordinatorTest, StoppingFromTheStatusItemsMenuLeavesTheItemUntilTheChoiceIsDelivered) {
    RecordingSettings settings = settingsFor();
    settings.showStatusItem = true;
    startRecording(settings);
    advance(6);
    ASSERT_TRUE(statusItem);
    std::shared_ptr<bool> itemAlive = statusItem->alive;
    statusItem->actions.stop();
    EXPECT_EQ(delegate.results.size(), 1u);
    EXPECT_FALSE(coordinator->hasStatusItem());
    EXPECT_TRUE(*itemAlive) << "destroyed while its own menu was delivering the stop";
    while (runMainLoopOnce()) {
    }
    EXPECT_FALSE(*itemAlive);
}

TEST(RecorderStatusTitle, ElapsedTimeAndSizeTexts) {
    struct Case {
        RecorderDisplayMode mode;
        std::optional<double> elapsed;
        std::uint64_t bytes;
        const char* expected;
    };
    const Case cases[] = {
        {RecorderDisplayMode::Nothing, 12.0, 5000, ""},
        {RecorderDisplayMode::ElapsedTime, std::nullopt, 0, ""},
        {RecorderDisplayMode::ElapsedTime, 59.9, 0, "00:59"},
        {RecorderDisplayMode::ElapsedTime, 3599.0, 0, "59:59"},
        {RecorderDisplayMode::ElapsedTime, 3661.0, 0, "01:01:01"},
        {RecorderDisplayMode::RecordedSize, std::nullopt, 10240, "10 KB"},
        {RecorderDisplayMode::RecordedSize, std::nullopt, 3 * 1048576 + 524288, "3.5 MB"},
        {RecorderDisplayMode::RecordedSize, std::nullopt, 5ull << 30, "5.00 GB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(recorderStatusTitle(c.mode, c.elapsed, c.bytes), c.expected)
            << static_cast<int>(c.mode) << " " << c.bytes;
}

TEST_F(RecordingCoordinatorTest, PointsFromTheTopOfTheReferenceScreenBecomeAreaPixelsFromItsBottom) {
    RecordingSettings settings = settingsFor(RecordMode::Area);
    settings.recordScreenIndex = 1;
    settings.recordRect = Rect(1380, 100, 200, 150); // area (100, 100) on the second screen
    ASSERT_TRUE(prepare(settings));
    struct Case {
        Point topDown;
        Point expected;
    };
    const Case cases[] = {
        // Global y up 100 is 620 from the top of the 720-point reference screen.
        {Point{1380, 620}, Point{0, 0}},
        {Point{1430, 570}, Point{50, 50}},
        {Point{1580, 470}, Point{200, 150}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(coordinator->convertPointFromCarbonCoordinatesToMovieCoordinates(c.topDown), c.expected)
            << stringFromPoint(c.topDown);
    EXPECT_EQ(coordinator->unscaledRecordingScreenPoint(Point{3, 4}), (Point{3, 4}));
}

TEST_F(RecordingCoordinatorTest, TheMouseVisualizationOfTheSettingsIsRead) {
    MouseVisualization style;
    style.size = 31;
    style.visualizesClicks = false;
    RecordingSettings settings = settingsFor();
    settings.mouseVisualization = style.archivedData().value();
    ASSERT_TRUE(prepare(settings));
    ASSERT_TRUE(coordinator->mouseVisualization());
    EXPECT_TRUE(coordinator->mouseVisualization()->sameStoredValues(style));

    coordinator.reset();
    fs::remove_all(settings.recordPath());
    settings.mouseVisualization = {1, 2, 3};
    ASSERT_TRUE(prepare(settings)) << "an unreadable style is logged, the recording goes on";
    EXPECT_FALSE(coordinator->mouseVisualization());
}

// An input of the null device layer, recordable under "mic".
AudioDeviceDescription microphone() {
    AudioDeviceDescription d;
    d.deviceID = 7;
    d.name = "Microphone";
    d.persistentUID = "mic";
    d.inputChannelCount = 2;
    d.inputStreams.push_back({700, 1u});
    d.nominalSampleRates = {44100};
    return d;
}

TEST_F(RecordingCoordinatorTest, AnInputThatNeverDeliversIsLeftOutAndReportedAndTheRecordingGoesOn) {
    audioHardware->setDevices({microphone()}, 0, 7);
    RecordingSettings settings = settingsFor();
    settings.audioDevicesToRecord = {{"mic", 700}, {"gone", 1}};
    ASSERT_TRUE(prepare(settings));
    coordinator->startRecording();
    while (runMainLoopOnce()) {
    }
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::started) << "the input holds the start";
    advance(RecordingCoordinator::kSilentRecorderSeconds);
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::running);
    ASSERT_EQ(delegate.presentedErrors.size(), 1u);
    EXPECT_NE(std::find(log.begin(), log.end(), "setWriteToMovie"), log.end());
    coordinator->stopRecording();
    advance(RecordingCoordinator::kMinimumRecordingSeconds);
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.results.empty(); }, 10));
    EXPECT_TRUE(delegate.results[0]);
    EXPECT_FALSE(fs::exists(fs::path(settings.recordPath()) / "additionalAudioAndVideo.mov"))
        << "a movie that never started leaves nothing behind";
}

TEST_F(RecordingCoordinatorTest, AnInputsSoundGoesIntoTheAdditionalMovieStartedAtTheRealStart) {
    audioHardware->setDevices({microphone()}, 0, 7);
    RecordingSettings settings = settingsFor();
    settings.audioDevicesToRecord = {{"mic", 700}};
    ASSERT_TRUE(prepare(settings));
    coordinator->startRecording();
    const std::vector<float> buffer(441 * 2, 0.25f);
    // The screen delivered at once; the input's first buffer completes the start.
    ASSERT_TRUE(runMainLoopUntil(
        [&] {
            audioHardware->capture(7, buffer.data(), 441, 2);
            return coordinator->state() == RecordingCoordinator::State::running;
        },
        10));
    for (int i = 0; i < 20; ++i)
        audioHardware->capture(7, buffer.data(), 441, 2);
    EXPECT_TRUE(delegate.presentedErrors.empty());
    advance(RecordingCoordinator::kMinimumRecordingSeconds);
    ASSERT_TRUE(runMainLoopUntil([&] { return coordinator->sizeOfAdditionalAudioAndVideo() > 0; }, 10));
    EXPECT_GT(coordinator->sizeOfEntireRecordingSoFar(),
              1234u + coordinator->sizeOfAdditionalAudioAndVideo() - 1);
    coordinator->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.results.empty(); }, 10));
    EXPECT_EQ(log.back(), "finalizeRecord") << "the movie is finished before the recorders are finalized";

    auto asset = MediaAsset::open((fs::path(settings.recordPath()) / "additionalAudioAndVideo.mov").string());
    ASSERT_TRUE(asset) << asset.error();
    ASSERT_EQ((*asset)->tracks().size(), 1u);
    EXPECT_EQ((*asset)->tracks()[0].codecName, "aac");
    EXPECT_EQ((*asset)->tracks()[0].channelCount, 2);
    // The track lasts the recording on the coordinator's clock.
    EXPECT_NEAR((*asset)->tracks()[0].duration.seconds(), RecordingCoordinator::kMinimumRecordingSeconds,
                0.1);
}

TEST_F(RecordingCoordinatorTest, AnInputsSoundLastsTheRecordingHoweverLongTheScreenTakesToStartPauseAndStop) {
    // The screen is started, paused, resumed and stopped first; on a busy machine each call
    // holds the main thread while the clock goes on. The sound keeps the coordinator's instants.
    screenCallSeconds = {
        {"setWriteToMovie", 0.25}, {"setPaused(1)", 0.3}, {"setPaused(0)", 0.05}, {"stopRecord", 0.4}};
    audioHardware->setDevices({microphone()}, 0, 7);
    RecordingSettings settings = settingsFor();
    settings.audioDevicesToRecord = {{"mic", 700}};
    ASSERT_TRUE(prepare(settings));
    coordinator->startRecording();
    const std::vector<float> buffer(441 * 2, 0.25f);
    ASSERT_TRUE(runMainLoopUntil(
        [&] {
            audioHardware->capture(7, buffer.data(), 441, 2);
            return coordinator->state() == RecordingCoordinator::State::running;
        },
        10));
    const double start = coordinator->recordStartTime();
    advance(3);
    const double pauseAt = clock;
    coordinator->pauseRecording();
    advance(2);
    const double resumeAt = clock;
    coordinator->resumeRecording();
    advance(3);
    ASSERT_TRUE(runMainLoopUntil([&] { return coordinator->sizeOfAdditionalAudioAndVideo() > 0; }, 10));
    const double stopAt = clock;
    coordinator->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.results.empty(); }, 10));
    EXPECT_TRUE(delegate.presentedErrors.empty());

    auto asset = MediaAsset::open((fs::path(settings.recordPath()) / "additionalAudioAndVideo.mov").string());
    ASSERT_TRUE(asset) << asset.error();
    ASSERT_EQ((*asset)->tracks().size(), 1u);
    const double recorded = (pauseAt - start) + (stopAt - resumeAt);
    // Within one AAC frame.
    EXPECT_NEAR((*asset)->tracks()[0].duration.seconds(), recorded, 1024.0 / 44100.0);
}

TEST_F(RecordingCoordinatorTest, ACameraThatIsNotThereIsReportedAndTheRecordingGoesOn) {
    RecordingSettings settings = settingsFor();
    settings.recordISight = true;
    settings.cameraDeviceUniqueID = "usb-Missing_Camera-video-index0";
    ASSERT_TRUE(prepare(settings));
    EXPECT_FALSE(coordinator->cameraRecorder());
    coordinator->startRecording();
    while (runMainLoopOnce()) {
    }
    EXPECT_EQ(coordinator->state(), RecordingCoordinator::State::running);
    // Listed for the main application with whatever else prepare left out.
    ASSERT_EQ(coordinator->unrecordedRequests().size(), 1u);
    EXPECT_NE(coordinator->unrecordedRequests()[0].find("There is no camera."), std::string::npos)
        << coordinator->unrecordedRequests()[0];
    advance(RecordingCoordinator::kMinimumRecordingSeconds);
    coordinator->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.results.empty(); }, 10));
    EXPECT_TRUE(delegate.results[0]);
    EXPECT_FALSE(fs::exists(fs::path(settings.recordPath()) / "additionalAudioAndVideo.mov"));
}

TEST_F(RecordingCoordinatorTest, AnIOSDeviceRecordingResumesWhenTheDeviceDeliversAgain) {
    SyntheticMobileDevice* device = nullptr;
    RecordingSettings settings = settingsFor(RecordMode::IOSDevice);
    settings.iOSDeviceID = "device-1";
    coordinator = std::make_unique<RecordingCoordinator>(delegate, [&] {
        auto s = services();
        s.openMobileDevice = [&](const std::string& id) -> Result<std::unique_ptr<MobileDevice>> {
            EXPECT_EQ(id, "device-1");
            auto made = std::make_unique<SyntheticMobileDevice>(MobileDeviceDescription{id, "Test Phone"});
            device = made.get();
            return std::unique_ptr<MobileDevice>(std::move(made));
        };
        return s;
    }());
    ASSERT_TRUE(coordinator->prepareWithInfoDictionary(settings.toDictionary()));
    ASSERT_TRUE(device);
    auto meta = PropertyList::fromFile(fs::path(settings.recordPath()) / "iOSDeviceMeta.plist");
    ASSERT_TRUE(meta) << meta.error();
    ASSERT_TRUE(meta.value().stringForKey("DeviceName"));
    EXPECT_EQ(*meta.value().stringForKey("DeviceName"), "Test Phone");

    // Pictures of a made-up stream: the movie keeps them as they come.
    auto picture = [&](double time, bool sync) {
        MobileDeviceSample s;
        s.kind = MobileSampleKind::Video;
        s.dependsOnOthers = !sync;
        s.presentationTimeSeconds = time;
        s.durationSeconds = 0.1;
        s.widthPixels = 640;
        s.heightPixels = 1136;
        s.data = std::make_shared<const std::vector<std::uint8_t>>(
            std::vector<std::uint8_t>{0, 0, 0, 2, 0x09, 0x10});
        s.codecConfiguration = std::make_shared<const std::vector<std::uint8_t>>(
            std::vector<std::uint8_t>{1, 0x42, 0xc0, 0x1e, 0xff, 0xe0, 0x00});
        device->deliver(s);
    };
    coordinator->startRecording();
    picture(100.0, true);
    ASSERT_TRUE(
        runMainLoopUntil([&] { return coordinator->state() == RecordingCoordinator::State::running; }, 10));
    for (int i = 1; i < 20; ++i)
        picture(100.0 + i * 0.1, false);
    advance(2.0);
    coordinator->pauseRecording();
    picture(102.0, false);
    advance(3.0);
    coordinator->resumeRecording();
    EXPECT_TRUE(coordinator->waitingToBeUnpaused()) << "the device has to deliver first";
    picture(102.5, false);
    advance(1.0);
    EXPECT_TRUE(coordinator->isPaused());
    picture(103.0, true);
    ASSERT_TRUE(runMainLoopUntil([&] { return !coordinator->isPaused(); }, 10));
    ASSERT_EQ(coordinator->pauseTimes().entries().size(), 1u);
    EXPECT_NEAR(coordinator->pauseTimes().entries()[0].durationSeconds.value_or(0), 4.0, 1e-9)
        << "until the device resumed";
    for (int i = 1; i < 30; ++i)
        picture(103.0 + i * 0.1, false);
    advance(RecordingCoordinator::kMinimumRecordingSeconds);
    coordinator->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.results.empty(); }, 10));
    ASSERT_TRUE(delegate.results[0]);
    const PropertyList& info = *delegate.results[0];
    EXPECT_EQ(info.integerForKey("RecordingType"), 3);
    EXPECT_NEAR(info.numberForKey("RecordingDuration").value_or(0), 4.9, 0.15)
        << "the movie without the pause";
    ASSERT_TRUE(info.stringForKey("RecordingSize"));
    EXPECT_EQ(*info.stringForKey("RecordingSize"), "RecordingSize_640x1136");
}

TEST_F(RecordingCoordinatorTest, TheCameraIsShownInTheMiddleOfAScreenThatIsNotRecordedUntilTheStop) {
    struct Window final : CameraPreviewWindow {
        void hide() override { hidden = true; }
        bool hidden = false;
    };
    Window* window = nullptr;
    std::string title;
    Rect content;
    RecordingSettings settings = settingsFor();
    settings.recordISight = true;
    settings.showISightOnSecondaryMonitor = true;
    coordinator = std::make_unique<RecordingCoordinator>(delegate, [&] {
        auto s = services();
        s.openCamera = [](const std::string&) -> Result<std::unique_ptr<Camera>> {
            return makeTestPatternCamera(64, 48, 10);
        };
        s.makeCameraPreviewWindow = [&](const std::string& t, const Rect& r, CameraPictureSource source) {
            title = t;
            content = r;
            auto made = std::make_unique<Window>();
            window = made.get();
            std::vector<std::uint8_t> pixels;
            int w = 0, h = 0;
            EXPECT_TRUE(source);
            (void)source(pixels, w, h);
            EXPECT_EQ(w, 64);
            return std::unique_ptr<CameraPreviewWindow>(std::move(made));
        };
        return s;
    }());
    ASSERT_TRUE(coordinator->prepareWithInfoDictionary(settings.toDictionary()));
    ASSERT_TRUE(window);
    EXPECT_EQ(title, "Test Pattern Camera");
    EXPECT_EQ(content, Rect(1280 + (1024 - 640) / 2, (768 - 480) / 2, 640, 480));
    coordinator->startRecording();
    ASSERT_TRUE(
        runMainLoopUntil([&] { return coordinator->state() == RecordingCoordinator::State::running; }, 10))
        << "the camera's first picture completes the start";
    advance(RecordingCoordinator::kMinimumRecordingSeconds);
    EXPECT_FALSE(window->hidden);
    coordinator->stopRecording();
    EXPECT_TRUE(window->hidden);
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.results.empty(); }, 20));
    EXPECT_TRUE(fs::exists(fs::path(settings.recordPath()) / "additionalAudioAndVideo.mov"));
}

TEST_F(RecordingCoordinatorTest, ThePointerAndTheFrontWindowEndUpInTheMouseFileAtTheStop) {
    testing::FakePointer* pointer = nullptr;
    makeMouse = [&](RecordingCoordinator& c, int fps) {
        auto monitor = std::make_unique<testing::FakePointer>();
        pointer = monitor.get();
        return std::make_unique<MouseRecorder>(c, c, std::move(monitor), fps);
    };
    frontWindowSource = [] { return std::optional<Rect>(Rect(100, 50, 300, 200)); };
    RecordingSettings settings = settingsFor(RecordMode::FullScreen);
    settings.recordMouse = true;
    std::string red = "1;0;0;1";
    settings.desktopFillColor.assign(red.begin(), red.end());
    ASSERT_TRUE(prepare(settings));
    ASSERT_TRUE(coordinator->mouseRecorder());
    ASSERT_TRUE(coordinator->windowFrameReader());
    EXPECT_EQ(coordinator->desktopFillColor(), (DesktopFillColor{1, 0, 0, 1}));
    coordinator->startRecording();
    // The real start waits for the mouse recorder's first tick.
    ASSERT_TRUE(
        runMainLoopUntil([&] { return coordinator->state() == RecordingCoordinator::State::running; }, 10));
    clock += 1;
    pointer->handler(PointerButtonEvent{PointerButtonEvent::Kind::Down, 1, 0, 0});
    ASSERT_TRUE(runMainLoopUntil(
        [&] {
            PropertyList contents = coordinator->mouseRecorder()->mouseFileContents();
            const PlistArray* rects = contents.arrayForKey(mouse_keys::kFocusWindowRects);
            return rects && !rects->empty();
        },
        10));
    advance(RecordingCoordinator::kMinimumRecordingSeconds);
    coordinator->stopRecording();
    while (runMainLoopOnce()) {
    }
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_FALSE(coordinator->windowFrameReader()->isRunning());

    Result<PropertyList> mouse = PropertyList::fromFile(fs::path(settings.recordPath()) / "mouse");
    ASSERT_TRUE(mouse) << mouse.error();
    EXPECT_EQ(mouse->boolForKey(mouse_keys::kMouseVisible), true);
    const PlistArray* events = mouse->arrayForKey(mouse_keys::kMouseEvents);
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 1u);
    EXPECT_NEAR(*(*events)[0].numberForKey(mouse_keys::kTime), 1.0, 1e-9);
    const PlistArray* rects = mouse->arrayForKey(mouse_keys::kFocusWindowRects);
    ASSERT_TRUE(rects);
    ASSERT_EQ(rects->size(), 1u) << "reported once, then only on change";
    EXPECT_EQ(*(*rects)[0].stringForKey(mouse_keys::kFocusRect), "{{100, 50}, {300, 200}}");
    EXPECT_TRUE(fs::exists(fs::path(settings.recordPath()) / "mouseVisualization"));
}

TEST_F(RecordingCoordinatorTest, AnUnreadableDesktopColourIsBlack) {
    RecordingSettings settings = settingsFor();
    std::string text = "red";
    settings.desktopFillColor.assign(text.begin(), text.end());
    ASSERT_TRUE(prepare(settings));
    EXPECT_EQ(coordinator->desktopFillColor(), (DesktopFillColor{0, 0, 0, 1}));
}

} // namespace
} // namespace vtl
