// The recorder executable under remote control, as the main application uses it: availability,
// prepare, start, pause, resume, stop, the result and the finished package; a main application
// that dies or asks the recorder to terminate mid-recording; callers that are not the main
// application.

#include "capture/PrivateXServer.h"
#include "ipc/PrivateSessionBus.h"
#include "platform/capture/Screens.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/RemoteObjectProxy.h"
#include "platform/ipc/VistrelBusNames.h"
#include "recorder/RecordingSettings.h"
#include "recorder/format/RecordingFormat.h"
#include "recordui/RemoteRecorderClient.h"
#include "tracks/reader/VistrelRecording.h"

#include <QProcess>
#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using vtl::testing::processEventsFor;
using vtl::testing::processEventsUntil;

// Generous: the test machine may be small and run with sanitizers.
constexpr double kStartSeconds = 60;
constexpr double kFinishSeconds = 120;
// Carrying 63 MiB through the bus and back, on a loaded machine: a bound against hanging only.
// How soon the refusal comes is measured by the bus benchmark.
constexpr int kLargeCallMilliseconds = 120000;

struct PackageCheck {
    bool opened = false;
    std::string error;
    std::uint64_t frames = 0;
    std::uint64_t decodedFrames = 0;
    double durationSeconds = 0;
};

// Opens the package with the reader and decodes every frame of it.
PackageCheck checkPackage(const std::string& path) {
    PackageCheck check;
    VistrelRecording recording(path);
    check.opened = recording.open();
    if (!check.opened) {
        check.error = recording.openError();
        return check;
    }
    check.frames = recording.numberOfFrames();
    check.durationSeconds = recording.duration();
    auto decoder = recording.makeDecompressionInfo();
    if (!decoder) {
        check.error = decoder.error();
        return check;
    }
    DecompressionInfo& info = **decoder;
    // The last entry is the stop frame, which holds no picture.
    for (std::uint64_t i = 0; i + 1 < check.frames; ++i) {
        if (info.decompressFrame(i))
            ++check.decodedFrames;
        else
            check.error = info.lastError();
    }
    info.release();
    return check;
}

// Whether the recorder has written the first frame of the package: the recording is under way.
bool hasFirstFrame(const std::string& package) {
    std::error_code error;
    return fs::file_size(fs::path(package) / "vtldirectory", error) > 0 && !error;
}

// The recorder runs detached: once it has ended it is gone or a zombie of no parent of ours.
bool processEnded(std::int64_t pid) {
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

class RecorderProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!vtl::testing::startPrivateSessionBus(error)) GTEST_SKIP() << error;
        auto screens = listScreens();
        if (!screens || screens->empty())
            GTEST_SKIP() << "needs an X display: " << (screens ? "no screens" : screens.error());
        screen = screens->front();
        vtl::testing::ensureApplication();
        bus = &BusConnection::session();
        folder =
            fs::temp_directory_path() / ("vistrel-recorder-program-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }

    void TearDown() override {
        if (client && bus->hasOwner(kRecorderServiceName)) client->quitWithoutRecording();
        if (bus && !processEventsUntil([&] { return !bus->hasOwner(kRecorderServiceName); }, 30) && client &&
            client->recorderProcessId() > 0)
            ::kill(pid_t(client->recorderProcessId()), SIGKILL);
        client.reset();
        fs::remove_all(folder);
    }

    // Takes the main application's name, starts the recorder and waits for its announcement.
    void launchRecorder() {
        VistrelCallbacksRecord& r = record;
        VistrelCallbacks callbacks;
        callbacks.remoteRecorderAvailable = [&r] { ++r.available; };
        callbacks.showFinishingRecord = [&r] { ++r.finishing; };
        callbacks.recordDoneWithInfo = [&r](const std::optional<PropertyList>& info) {
            r.done.push_back(info);
        };
        callbacks.setRecordingError = [&r](int code) { r.errors.push_back(code); };
        client = std::make_unique<RemoteRecorderClient>(callbacks);
        std::string error;
        ASSERT_TRUE(client->vend(error)) << error;
        ASSERT_TRUE(client->launchRecorder(VISTREL_RECORDER_PATH, error)) << error;
        ASSERT_TRUE(processEventsUntil([&] { return record.available > 0; }, kStartSeconds))
            << "the recorder did not announce itself";
    }

    // A fresh recorder recording the full screen into a package named after `name`.
    void startFullScreenRecording(const std::string& name, RecordingSettings& settings) {
        record = {};
        launchRecorder();
        if (::testing::Test::HasFatalFailure()) return;
        settings = fullScreenSettings();
        settings.path += name;
        ASSERT_TRUE(client->prepareMovieWithInfoDictionary(settings.toDictionary())) << name;
        ASSERT_TRUE(client->startRecording()) << name;
    }

    RecordingSettings fullScreenSettings() {
        RecordingSettings settings;
        settings.recordMode = RecordMode::FullScreen;
        settings.frameRate = 10;
        settings.path = (folder / "take").string();
        return settings;
    }

    bool recorderGone() {
        return processEventsUntil([&] { return !bus->hasOwner(kRecorderServiceName); }, kFinishSeconds);
    }

    struct VistrelCallbacksRecord {
        int available = 0;
        int finishing = 0;
        std::vector<std::optional<PropertyList>> done;
        std::vector<int> errors;
    };

    ScreenDescription screen;
    BusConnection* bus = nullptr;
    fs::path folder;
    VistrelCallbacksRecord record;
    std::unique_ptr<RemoteRecorderClient> client;
};

TEST_F(RecorderProgramTest, AFullScreenRecordingWithAPauseEndsInAResultAndAPackageThatDecodes) {
    launchRecorder();
    RecordingSettings settings = fullScreenSettings();
    IpcReply prepared = client->prepareMovieWithInfoDictionary(settings.toDictionary());
    ASSERT_TRUE(prepared) << prepared.error;
    EXPECT_TRUE(fs::is_directory(settings.recordPath()));
    EXPECT_EQ(client->isPaused(), false);

    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->startRecording());
    ASSERT_TRUE(processEventsUntil([&] { return hasFirstFrame(settings.recordPath()); }, kStartSeconds));
    ASSERT_TRUE(client->pauseResumeRecord());
    ASSERT_TRUE(processEventsUntil([&] { return client->isPaused() == true; }, kStartSeconds));
    processEventsFor(1.0); // the pause itself
    ASSERT_TRUE(client->pauseResumeRecord());
    ASSERT_TRUE(processEventsUntil([&] { return client->isPaused() == false; }, kStartSeconds));
    // A stop before the shortest recording is put off by the recorder until then.
    ASSERT_TRUE(client->stopRecord());

    ASSERT_TRUE(processEventsUntil([&] { return !record.done.empty(); }, kFinishSeconds));
    double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(recorderGone()) << "the recorder quits once the result is delivered";
    EXPECT_EQ(record.finishing, 1);
    EXPECT_TRUE(record.errors.empty());
    ASSERT_EQ(record.done.size(), 1u);
    ASSERT_TRUE(record.done[0]);
    const PropertyList& info = *record.done[0];
    std::optional<double> duration = info.numberForKey("RecordingDuration");
    ASSERT_TRUE(duration);
    EXPECT_GT(*duration, 0);
    EXPECT_LT(*duration, wallSeconds) << "the pause is not part of the recording";
    EXPECT_EQ(info.integerForKey("RecordingType"), 0);
    ASSERT_TRUE(info.stringForKey("RecordingSize"));
    EXPECT_EQ(*info.stringForKey("RecordingSize"), "RecordingSize_" +
                                                       std::to_string(int(screen.frame.width())) + "x" +
                                                       std::to_string(int(screen.frame.height())));

    PackageCheck check = checkPackage(settings.recordPath());
    ASSERT_TRUE(check.opened) << check.error;
    EXPECT_GE(check.frames, 2u);
    EXPECT_EQ(check.decodedFrames, check.frames - 1) << check.error;
    EXPECT_DOUBLE_EQ(check.durationSeconds, *duration);

    auto pauses = PropertyList::fromFile(fs::path(settings.recordPath()) / "pauseTimes");
    ASSERT_TRUE(pauses) << pauses.error();
    ASSERT_EQ(pauses.value().count(), 1u);
    EXPECT_GT(pauses.value().at(0)->numberForKey("time").value_or(0), 0);
    EXPECT_GT(pauses.value().at(0)->numberForKey("duration").value_or(0), 0);
}

TEST_F(RecorderProgramTest, CallsFromAnyoneButTheMainApplicationAreRefused) {
    launchRecorder();
    // Another client of the bus: its own connection, without the main application's name.
    std::string error;
    auto stranger = BusConnection::openSeparate(error);
    ASSERT_TRUE(stranger) << error;
    RemoteObjectProxy proxy(*stranger, std::string(kRecorderServiceName),
                            std::string(kRemoteRecorderInterface));
    RecordingSettings settings = fullScreenSettings();
    auto bytes = settings.toDictionary().toBytes(PropertyListFormat::Binary);
    for (const char* method :
         {"prepareMovieWithInfoDictionary", "startRecording", "isPaused", "quitWithoutRecording"}) {
        IpcArguments arguments;
        if (std::string(method) == "prepareMovieWithInfoDictionary") arguments.push_back(bytes.value());
        IpcReply reply = proxy.call(method, arguments);
        EXPECT_FALSE(reply) << method;
        EXPECT_EQ(reply.errorName, "org.freedesktop.DBus.Error.AccessDenied") << method;
    }
    EXPECT_FALSE(fs::exists(settings.recordPath())) << "the refused prepare made nothing";

    // Another process altogether.
    QString sender = QStandardPaths::findExecutable(QStringLiteral("dbus-send"));
    if (!sender.isEmpty()) {
        QProcess process;
        process.start(sender,
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=com.morlunesoftware.vistrel3.vistrelrecorder"),
                       QStringLiteral("/"),
                       QStringLiteral("com.morlunesoftware.vistrel3.RemoteRecorder.quitWithoutRecording")});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_NE(process.exitCode(), 0);
        EXPECT_TRUE(process.readAllStandardError().contains("AccessDenied"));
    }

    // The recorder is still there for the main application.
    EXPECT_TRUE(bus->hasOwner(kRecorderServiceName));
    EXPECT_EQ(client->isPaused(), false);
    EXPECT_TRUE(client->quitWithoutRecording());
    EXPECT_TRUE(recorderGone());
}

// One call of 63 MiB used to leave the recorder deaf for good: the owner could no longer stop the
// recording and a terminated recorder never ended.
TEST_F(RecorderProgramTest, ALargeCallIsRefusedAtOnceAndTheRecordingStaysUnderControl) {
    struct Case {
        const char* name;
        bool stopBySignal;
    };
    const Case cases[] = {{"stopRecord", false}, {"signal", true}};
    for (const Case& c : cases) {
        RecordingSettings settings;
        startFullScreenRecording(c.name, settings);
        ASSERT_FALSE(HasFatalFailure());

        std::string error;
        auto strangerBus = BusConnection::openSeparate(error);
        ASSERT_TRUE(strangerBus) << error;
        RemoteObjectProxy owner(*bus, std::string(kRecorderServiceName),
                                std::string(kRemoteRecorderInterface));
        RemoteObjectProxy stranger(*strangerBus, std::string(kRecorderServiceName),
                                   std::string(kRemoteRecorderInterface));
        const IpcArguments large = {IpcBytes(std::size_t{63} << 20, 0x42)};
        // The call that used to leave the recorder deaf, so that it never ended.
        IpcReply refused = stranger.call("prepareMovieWithInfoDictionary", large, kLargeCallMilliseconds);
        EXPECT_EQ(refused.errorName, "org.freedesktop.DBus.Error.AccessDenied") << refused.error;
        EXPECT_NE(refused.error.find("does not own com.morlunesoftware.vistrel3"), std::string::npos)
            << refused.error;
        if (!c.stopBySignal) {
            refused = owner.call("prepareMovieWithInfoDictionary", large, kLargeCallMilliseconds);
            EXPECT_EQ(refused.errorName, "org.freedesktop.DBus.Error.LimitsExceeded");
            EXPECT_NE(refused.error.find("take 66060288 bytes; it accepts at most 1048576."),
                      std::string::npos)
                << refused.error;
        }

        // Still under the owner's control.
        EXPECT_EQ(client->isPaused(), false) << c.name;
        ASSERT_TRUE(client->pauseResumeRecord());
        EXPECT_TRUE(processEventsUntil([&] { return client->isPaused() == true; }, kStartSeconds)) << c.name;
        ASSERT_TRUE(client->pauseResumeRecord());
        EXPECT_TRUE(processEventsUntil([&] { return client->isPaused() == false; }, kStartSeconds)) << c.name;
        if (c.stopBySignal)
            ::kill(pid_t(client->recorderProcessId()), SIGTERM);
        else
            ASSERT_TRUE(client->stopRecord());
        ASSERT_TRUE(processEventsUntil([&] { return !record.done.empty(); }, kFinishSeconds)) << c.name;
        EXPECT_TRUE(recorderGone()) << c.name;
        EXPECT_TRUE(
            processEventsUntil([&] { return processEnded(client->recorderProcessId()); }, kFinishSeconds))
            << c.name << ": the recorder ends after finishing";
        PackageCheck check = checkPackage(settings.recordPath());
        ASSERT_TRUE(check.opened) << c.name << ": " << check.error;
        EXPECT_EQ(check.decodedFrames, check.frames - 1) << c.name << ": " << check.error;
        client.reset();
    }
}

TEST_F(RecorderProgramTest, AMainApplicationThatDiesMidRecordingStillLeavesAFinishedPackage) {
    // The main application is a process of its own here, so it can be killed.
    QProcess mainApplication;
    const std::string package = (folder / "killed").string();
    mainApplication.start(QStringLiteral(VISTREL_REMOTE_RECORD_PATH),
                          {QStringLiteral("--recorder"), QStringLiteral(VISTREL_RECORDER_PATH),
                           QStringLiteral("--package"), QString::fromStdString(package),
                           QStringLiteral("--seconds"), QStringLiteral("0")});
    ASSERT_TRUE(mainApplication.waitForStarted(30000));
    QByteArray output;
    ASSERT_TRUE(processEventsUntil(
        [&] {
            output += mainApplication.readAllStandardOutput();
            return output.contains("recording ") || mainApplication.state() == QProcess::NotRunning;
        },
        kStartSeconds))
        << "the recording did not start";
    ASSERT_TRUE(output.contains("recording ")) << mainApplication.readAllStandardError().toStdString();
    ASSERT_TRUE(processEventsUntil([&] { return hasFirstFrame(package + ".vistrelRecord"); }, kStartSeconds));
    mainApplication.kill();
    ASSERT_TRUE(mainApplication.waitForFinished(30000));

    ASSERT_TRUE(recorderGone()) << "the recorder finishes and quits without its main application";
    PackageCheck check = checkPackage(package + ".vistrelRecord");
    ASSERT_TRUE(check.opened) << check.error;
    EXPECT_GE(check.frames, 2u);
    EXPECT_EQ(check.decodedFrames, check.frames - 1) << check.error;
    EXPECT_GT(check.durationSeconds, 0);
}

TEST_F(RecorderProgramTest, ATerminateRequestMidRecordingFinishesThePackageFirst) {
    struct Case {
        const char* name;
        std::function<void()> terminate;
    };
    const Case cases[] = {
        {"notification", [this] { client->postTerminate(); }},
        {"signal", [this] { ::kill(pid_t(client->recorderProcessId()), SIGTERM); }},
    };
    for (const Case& c : cases) {
        RecordingSettings settings;
        startFullScreenRecording(c.name, settings);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(processEventsUntil([&] { return hasFirstFrame(settings.recordPath()); }, kStartSeconds))
            << c.name;
        c.terminate();
        ASSERT_TRUE(processEventsUntil([&] { return !record.done.empty(); }, kFinishSeconds)) << c.name;
        EXPECT_TRUE(recorderGone()) << c.name;
        ASSERT_TRUE(record.done[0]) << c.name;
        PackageCheck check = checkPackage(settings.recordPath());
        ASSERT_TRUE(check.opened) << c.name << ": " << check.error;
        EXPECT_EQ(check.decodedFrames, check.frames - 1) << c.name << ": " << check.error;
        client.reset();
    }
}

// Whether the last entry of a package's directory is the stop record.
bool endsWithStopRecord(const std::string& package, std::string& why) {
    VistrelRecording recording(package);
    if (!recording.open()) {
        why = recording.openError();
        return false;
    }
    const DirectoryEntry* last = recording.directoryEntryAtIndex(recording.numberOfFrames() - 1);
    std::ifstream meta(package + "/vtlmeta", std::ios::binary);
    meta.seekg(std::streamoff(last->metaOffsetBytes));
    std::vector<std::uint8_t> bytes(4096);
    meta.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    bytes.resize(std::size_t(meta.gcount()));
    FrameMetaRecord record;
    if (!parseFrameMetaRecord(bytes, record)) {
        why = "the last record cannot be read";
        return false;
    }
    why = "the last record is a picture";
    return record.isStopFrame();
}

// Disks of this test alone (a small file system in a user and mount namespace). One is nearly
// full from the start: the first frame is kept and the recording ends there. The other fills
// while recording (another process fills it once the recording runs, with more than 1 GB free at
// the first frame): the recording stops at once. Either way the package ends with its stop
// record and the main application learns why.
TEST_F(RecorderProgramTest, AFullOrNearlyFullDiskStopsTheRecordingAtOnceWithAStopRecordAndTheReason) {
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("true")});
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "needs unprivileged user and mount namespaces (unshare -rm)";
    // The large window it opens goes on an X server of this test's own, where it covers no other
    // test program's windows.
    std::string serverError;
    if (!vtl::testing::startPrivateXServer(serverError)) GTEST_SKIP() << serverError;
    struct Case {
        const char* name;
        const char* size;
        bool fillWhileRecording;
        std::vector<const char*> reasonParts;
    };
    const Case cases[] = {
        {"nearly-full", "64m", false, {"less than 1 GB left on disk"}},
        {"fills", "980m", true, {"could not be written", "No space left on device"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        record = {};
        const fs::path disk = folder / c.name / "disk";
        const fs::path out = folder / c.name / "out";
        fs::create_directories(disk);
        fs::create_directories(out);

        VistrelCallbacksRecord& r = record;
        std::vector<std::string> reasons;
        VistrelCallbacks callbacks;
        callbacks.remoteRecorderAvailable = [&r] { ++r.available; };
        callbacks.showFinishingRecord = [&r] { ++r.finishing; };
        callbacks.recordDoneWithInfo = [&r](const std::optional<PropertyList>& info) {
            r.done.push_back(info);
        };
        callbacks.setRecordingError = [&r](int code) { r.errors.push_back(code); };
        callbacks.presentRecordError = [&](const std::string& message) { reasons.push_back(message); };
        client = std::make_unique<RemoteRecorderClient>(callbacks);
        std::string error;
        ASSERT_TRUE(client->vend(error)) << error;

        // Filling leaves 16 KiB free: room for a stop record, not for the next large frame.
        const char* script = R"(mount -t tmpfs -o size="$4" tmpfs "$1" || exit 3
"$2" & recorder=$!
if [ "$5" = fill ]; then
  n=0; while [ ! -s "$1/take.vistrelRecord/vtldirectory" ] && [ $n -lt 6000 ]; do sleep 0.02; n=$((n+1)); done
  dd if=/dev/zero of="$1/filler" bs=1M 2>/dev/null
  truncate -s -16K "$1/filler"
  touch "$3/filled"
fi
wait $recorder
cp -a "$1/take.vistrelRecord" "$3/"
touch "$3/copied")";
        ASSERT_TRUE(QProcess::startDetached(
            QStringLiteral("unshare"),
            {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), QString::fromUtf8(script),
             QStringLiteral("sh"), QString::fromStdString(disk.string()),
             QStringLiteral(VISTREL_RECORDER_PATH), QString::fromStdString(out.string()),
             QString::fromLatin1(c.size), QString::fromLatin1(c.fillWhileRecording ? "fill" : "no")}));
        ASSERT_TRUE(processEventsUntil([&] { return record.available > 0; }, kStartSeconds));

        RecordingSettings settings = fullScreenSettings();
        settings.path = (disk / "take").string();
        ASSERT_TRUE(client->prepareMovieWithInfoDictionary(settings.toDictionary()));
        const auto startedAt = std::chrono::steady_clock::now();
        auto stopCauseAt = startedAt;
        ASSERT_TRUE(client->startRecording());
        QProcess window;
        if (c.fillWhileRecording) {
            // The disk fills once the first frame is written (its free-space check passed).
            ASSERT_TRUE(processEventsUntil([&] { return fs::exists(out / "filled"); }, kStartSeconds));
            // A large window appears: its picture no longer fits.
            window.start(QStringLiteral("xeyes"),
                         {QStringLiteral("-geometry"), QStringLiteral("1600x900+10+10")});
            ASSERT_TRUE(window.waitForStarted(30000));
            stopCauseAt = std::chrono::steady_clock::now();
        }
        ASSERT_TRUE(processEventsUntil([&] { return !record.done.empty(); }, kFinishSeconds));
        if (window.state() != QProcess::NotRunning) {
            window.kill();
            window.waitForFinished(30000);
        }
        ASSERT_TRUE(processEventsUntil([&] { return fs::exists(out / "copied"); }, kFinishSeconds));

        // That the stop came at once is read from the package (its stop record and length), not
        // from the wall clock of a machine that may be busy.
        EXPECT_EQ(record.finishing, 1);
        const double causeSeconds = std::chrono::duration<double>(stopCauseAt - startedAt).count();
        ASSERT_EQ(reasons.size(), 1u);
        for (const char* part : c.reasonParts)
            EXPECT_NE(reasons[0].find(part), std::string::npos) << reasons[0];
        EXPECT_EQ(record.errors, std::vector<int>{1});

        const std::string package = (out / "take.vistrelRecord").string();
        PackageCheck check = checkPackage(package);
        ASSERT_TRUE(check.opened) << check.error;
        EXPECT_EQ(check.decodedFrames, check.frames - 1) << check.error;
        // Waiting out the minimum length would have put the stop record at 5 s or later.
        if (causeSeconds < 3.5) {
            EXPECT_LT(check.durationSeconds, 5.0) << "the stop waited for the minimum length";
        }
        if (!c.fillWhileRecording) {
            EXPECT_EQ(check.frames, 2u) << "the first frame and the stop record";
        }
        std::string why;
        EXPECT_TRUE(endsWithStopRecord(package, why)) << why;
        client.reset();
    }
}

TEST_F(RecorderProgramTest, APrepareThatCannotBeRecordedIsAnsweredWithTheReason) {
    launchRecorder();
    RecordingSettings settings = fullScreenSettings();
    settings.recordScreenIndex = 99;
    IpcReply reply = client->prepareMovieWithInfoDictionary(settings.toDictionary());
    EXPECT_FALSE(reply);
    EXPECT_NE(reply.error.find("screen"), std::string::npos) << reply.error;
    EXPECT_FALSE(fs::exists(settings.recordPath()));
    EXPECT_TRUE(client->quitWithoutRecording());
    EXPECT_TRUE(recorderGone());
}

TEST_F(RecorderProgramTest, AQuitBetweenPrepareAndStartLeavesNoPackage) {
    launchRecorder();
    RecordingSettings settings = fullScreenSettings();
    ASSERT_TRUE(client->prepareMovieWithInfoDictionary(settings.toDictionary()));
    ASSERT_TRUE(fs::is_directory(settings.recordPath()));
    EXPECT_TRUE(client->quitWithoutRecording());
    EXPECT_TRUE(recorderGone());
    EXPECT_FALSE(fs::exists(settings.recordPath())) << "a package without frames cannot be opened";
}

// The main application asks the recorder something while the recorder hands over the result:
// neither may wait for the other, so every answer comes at once, and the result still arrives.
TEST_F(RecorderProgramTest, CallsDuringTheHandOverOfTheResultAreAnsweredAtOnce) {
    launchRecorder();
    RecordingSettings settings = fullScreenSettings();
    ASSERT_TRUE(client->prepareMovieWithInfoDictionary(settings.toDictionary()));
    ASSERT_TRUE(client->startRecording());
    processEventsFor(5.5); // past the shortest recording, so the stop is not put off
    ASSERT_TRUE(client->stopRecord());
    // No event handling here: the recorder's call with the result waits in our queue meanwhile.
    double slowestSeconds = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    while (std::chrono::steady_clock::now() < end) {
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(client->isPaused(), false);
        slowestSeconds = std::max(
            slowestSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Waiting for each other ends only when the recorder gives up on the result, after 10 s.
    EXPECT_LT(slowestSeconds, 5.0) << "the recorder waited for us while we waited for it";
    ASSERT_TRUE(processEventsUntil([&] { return !record.done.empty(); }, kFinishSeconds));
    ASSERT_TRUE(record.done[0]);
    EXPECT_TRUE(recorderGone());
}

TEST_F(RecorderProgramTest, TheRecorderQuitsWhenTheMainApplicationIsNotRunning) {
    QProcess recorder;
    recorder.start(QStringLiteral(VISTREL_RECORDER_PATH), {});
    ASSERT_TRUE(recorder.waitForStarted(30000));
    ASSERT_TRUE(recorder.waitForFinished(int(kStartSeconds * 1000)));
    EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(recorder.exitCode(), 0);
    EXPECT_TRUE(recorder.readAllStandardError().contains("Vistrel not running. Quitting."));
}

} // namespace
} // namespace vtl
