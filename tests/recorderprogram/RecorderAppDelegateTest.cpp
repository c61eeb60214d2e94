// The recorder's application delegate in this process, on connections of a private bus: stealth
// recordings that relaunch only the installed main application, and who may end a recording.

#include "ipc/PrivateSessionBus.h"
#include "platform/foundation/Log.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/DistributedNotificationCenter.h"
#include "platform/ipc/VistrelBusNames.h"
#include "recorder/app/VistrelRecorderAppDelegate.h"
#include "recordui/RemoteRecorderClient.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using vtl::testing::processEventsFor;
using vtl::testing::processEventsUntil;

class InstantScreenRecorder final : public CoordinatedScreenRecorder {
public:
    explicit InstantScreenRecorder(RecorderDelegate& delegate)
        : delegate_(delegate) {}
    void startProcessQueue() override { delegate_.recorderStartedProducingData(*this); }
    void finalizeRecord() override { delegate_.recorderDone(*this); }
    double durationSeconds() const override { return 6; }
    std::optional<Size> sizePixels() const override { return Size{320, 200}; }
    std::uint64_t bytesWrittenSoFar() const override { return 0; }

private:
    RecorderDelegate& delegate_;
};

class RecorderAppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!vtl::testing::startPrivateSessionBus(error)) GTEST_SKIP() << error;
        vtl::testing::ensureApplication();
        recorderBus = BusConnection::openSeparate(error);
        mainBus = BusConnection::openSeparate(error);
        strangerBus = BusConnection::openSeparate(error);
        ASSERT_TRUE(recorderBus && mainBus && strangerBus) << error;
        ASSERT_TRUE(mainBus->requestName(kMainApplicationServiceName, error)) << error;
        folder =
            fs::temp_directory_path() / ("vistrel-app-delegate-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);

        VistrelRecorderAppDelegate::Services services;
        services.bus = recorderBus.get();
        services.quitApplication = [this] { ++quits; };
        services.installedMainApplicationPath = "/opt/vistrel/bin/vistrel";
        services.launchApplication = [this](const std::string& path) {
            launched.push_back(path);
            return true;
        };
        auto& c = services.coordinatorServices;
        c.clockSeconds = [this] { return clock; };
        c.screens = []() -> Result<std::vector<ScreenDescription>> {
            return std::vector<ScreenDescription>{
                {1, "screen", Rect(0, 0, 320, 200), Rect(0, 0, 320, 200), 1.0, true}};
        };
        c.makeScreenRecorder =
            [](RecordingCoordinator& coordinator,
               const ScreenRecorderOptions&) -> Result<std::unique_ptr<CoordinatedScreenRecorder>> {
            return std::unique_ptr<CoordinatedScreenRecorder>(new InstantScreenRecorder(coordinator));
        };
        c.scheduleAfter = [](double, std::function<void()>) { return std::function<void()>([] {}); };
        c.postNotification = [](std::string_view) {};
        delegate = std::make_unique<VistrelRecorderAppDelegate>(std::move(services));
        Status vended = delegate->awakeFromNib();
        ASSERT_TRUE(vended) << vended.error();
        ASSERT_TRUE(delegate->applicationDidFinishLaunching());
        // The subscriptions reach the bus before anything is posted.
        recorderBus->flush();
        ASSERT_TRUE(processEventsUntil([&] { return delegate->knowsMainApplication(); }, 30));
    }

    void TearDown() override {
        delegate.reset();
        fs::remove_all(folder);
    }

    PropertyList settings(bool stealth) {
        RecordingSettings s;
        s.frameRate = 10;
        s.path = (folder / "take").string();
        s.restartGUIApp = stealth;
        s.GUIAppPath = "/tmp/not-vistrel";
        return s.toDictionary();
    }

    // Prepared, started and stopped after six seconds of recording.
    void record(bool stealth) {
        std::string error;
        error = delegate->prepareMovieWithInfoDictionary(settings(stealth)).error();
        ASSERT_TRUE(error.empty()) << error;
        delegate->startRecording();
        processEventsUntil(
            [&] { return delegate->coordinator()->state() == RecordingCoordinator::State::running; }, 30);
        clock += 6;
        delegate->stopRecord();
    }

    std::unique_ptr<BusConnection> recorderBus, mainBus, strangerBus;
    std::unique_ptr<VistrelRecorderAppDelegate> delegate;
    fs::path folder;
    double clock = 100;
    int quits = 0;
    std::vector<std::string> launched;
};

TEST_F(RecorderAppDelegateTest,
       AStealthRecordingLeavesItsResultBesideThePackageAndRelaunchesOnlyTheInstalledProgram) {
    record(true);
    EXPECT_FALSE(delegate->hasGuiApp());
    EXPECT_EQ(delegate->coordinator()->state(), RecordingCoordinator::State::done);
    EXPECT_EQ(launched, std::vector<std::string>{"/opt/vistrel/bin/vistrel"});
    auto info = PropertyList::fromFile(folder / "StealthRecordingInfo");
    ASSERT_TRUE(info) << info.error();
    EXPECT_EQ(info.value().numberForKey("RecordingDuration"), 6.0);

    DistributedNotificationCenter mainNotifications(*mainBus);
    int openLast = 0;
    mainNotifications.addObserver(std::string(kOpenLastRecordingNotification),
                                  [&](const DistributedNotification&) { ++openLast; });
    mainBus->flush();
    // Only the main application's own announcement counts.
    DistributedNotificationCenter(*strangerBus).post(kDidLaunchNotification);
    processEventsFor(0.3);
    EXPECT_EQ(quits, 0);
    mainNotifications.post(kDidLaunchNotification);
    EXPECT_TRUE(processEventsUntil([&] { return quits == 1 && openLast == 1; }, 30));
}

TEST_F(RecorderAppDelegateTest, OnlyTheMainApplicationEndsARecordingAndATerminateFinishesItFirst) {
    std::string error;
    error = delegate->prepareMovieWithInfoDictionary(settings(false)).error();
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_TRUE(delegate->hasGuiApp());
    delegate->startRecording();
    ASSERT_TRUE(processEventsUntil(
        [&] { return delegate->coordinator()->state() == RecordingCoordinator::State::running; }, 30));
    clock += 6;

    DistributedNotificationCenter(*strangerBus).post(kRemoteRecorderTerminateNotification);
    DistributedNotificationCenter(*strangerBus).post(kRemoteRecorderEndNotification);
    processEventsFor(0.3);
    EXPECT_EQ(delegate->coordinator()->state(), RecordingCoordinator::State::running);
    EXPECT_EQ(quits, 0);

    DistributedNotificationCenter(*mainBus).post(kRemoteRecorderTerminateNotification);
    ASSERT_TRUE(processEventsUntil([&] { return quits == 1; }, 30));
    EXPECT_EQ(delegate->coordinator()->state(), RecordingCoordinator::State::done);
}

TEST_F(RecorderAppDelegateTest, AQuitWithoutRecordingDuringARecordingFinishesItFirst) {
    std::string error;
    error = delegate->prepareMovieWithInfoDictionary(settings(false)).error();
    ASSERT_TRUE(error.empty()) << error;
    delegate->startRecording();
    ASSERT_TRUE(processEventsUntil(
        [&] { return delegate->coordinator()->state() == RecordingCoordinator::State::running; }, 30));
    clock += 6;
    delegate->quitWithoutRecording();
    ASSERT_TRUE(processEventsUntil([&] { return quits == 1; }, 30));
    EXPECT_EQ(delegate->coordinator()->state(), RecordingCoordinator::State::done);
}

TEST_F(RecorderAppDelegateTest, AMainApplicationGoneBeforeTheStartEndsTheRecorderAndLeavesNoPackage) {
    std::string error;
    error = delegate->prepareMovieWithInfoDictionary(settings(false)).error();
    ASSERT_TRUE(error.empty()) << error;
    const fs::path package = delegate->coordinator()->recordPath();
    EXPECT_TRUE(fs::is_directory(package));
    EXPECT_FALSE(delegate->prepareMovieWithInfoDictionary(settings(false))) << "one recording per recorder";
    mainBus.reset();
    EXPECT_TRUE(processEventsUntil([&] { return quits == 1; }, 30));
    EXPECT_FALSE(delegate->hasGuiApp());
    EXPECT_EQ(delegate->coordinator()->state(), RecordingCoordinator::State::created);
    EXPECT_FALSE(fs::exists(package)) << "a package without frames cannot be opened";
}

// The main application's side, served on its own connection in this same thread: the recorder
// must not wait for it while handing over the result, or neither side could answer the other.
class RecorderAppDelegateWithMainApplicationTest : public RecorderAppDelegateTest {
protected:
    void SetUp() override {
        RecorderAppDelegateTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        VistrelCallbacks callbacks;
        callbacks.recordDoneWithInfo = [this](const std::optional<PropertyList>& info) {
            done.push_back(info);
        };
        callbacks.presentRecordError = [this](const std::string& message) { messages.push_back(message); };
        mainApplication = std::make_unique<RemoteRecorderClient>(callbacks, mainBus.get());
        std::string error;
        ASSERT_TRUE(mainApplication->vend(error)) << error;
        previousSink = setLogSink([this](std::string_view line) { log.emplace_back(line); });
    }
    void TearDown() override {
        setLogSink(previousSink);
        mainApplication.reset();
        RecorderAppDelegateTest::TearDown();
    }

    std::unique_ptr<RemoteRecorderClient> mainApplication;
    std::vector<std::optional<PropertyList>> done;
    std::vector<std::string> messages;
    std::vector<std::string> log;
    LogSink previousSink;
};

TEST_F(RecorderAppDelegateWithMainApplicationTest, TheResultIsHandedOverWithoutWaitingForTheMainApplication) {
    record(false);
    // Handed over but not yet taken: the main application has not had a turn.
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(quits, 0) << "the recorder ends only once the result was taken";
    ASSERT_TRUE(processEventsUntil([&] { return quits == 1; }, 5));
    ASSERT_EQ(done.size(), 1u);
    ASSERT_TRUE(done[0]);
    EXPECT_EQ(done[0]->numberForKey("RecordingDuration"), 6.0);
    for (const std::string& line : log)
        EXPECT_EQ(line.find("did not take"), std::string::npos) << line;
}

TEST_F(RecorderAppDelegateWithMainApplicationTest, WhatCannotBeRecordedIsToldToTheMainApplication) {
    RecordingSettings s;
    s.frameRate = 10;
    s.path = (folder / "take").string();
    s.recordISight = true;
    s.audioDevicesToRecord = {{"no-such-microphone", 3}};
    Status prepared = delegate->prepareMovieWithInfoDictionary(s.toDictionary());
    ASSERT_TRUE(prepared) << prepared.error();
    ASSERT_TRUE(processEventsUntil([&] { return !messages.empty(); }, 5));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("camera"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("no-such-microphone"), std::string::npos) << messages[0];
}

} // namespace
} // namespace vtl
