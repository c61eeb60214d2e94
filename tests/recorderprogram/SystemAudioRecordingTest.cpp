// The recorder program records what the machine plays ("System Audio (Vistrel)", the monitor of
// the test server's null sink) into "system.m4a": a tone before a pause, another during it and a
// third after it; the file holds the first and the third, not the second, and lasts as long as
// the recording.

#include "audio/CompositionAudioRecordDevice.h"
#include "audio/support/Signals.h"
#include "ipc/PrivateSessionBus.h"
#include "platform/audio/AudioHardware.h"
#include "platform/capture/Screens.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/VistrelBusNames.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/PcmReader.h"
#include "recorder/RecordingSettings.h"
#include "recordui/RemoteRecorderClient.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;
using vtl::testing::processEventsFor;
using vtl::testing::processEventsUntil;

constexpr double kWaitSeconds = 120;

// Plays a sine on the default output whose frequency the test switches.
class TonePlayer {
public:
    explicit TonePlayer(AudioHardware& hardware) {
        auto opened = hardware.openOutputStream(0, [this](float* const* channels, std::size_t frames) {
            const double f = frequency.load();
            for (std::size_t i = 0; i < frames; ++i) {
                phase_ += 2 * std::numbers::pi * f / 44100.0;
                if (phase_ > 2 * std::numbers::pi) phase_ -= 2 * std::numbers::pi;
                channels[0][i] = channels[1][i] = static_cast<float>(0.5 * std::sin(phase_));
            }
        });
        if (opened) stream_ = std::move(opened).value();
    }
    bool start() { return stream_ && stream_->start(); }
    std::atomic<double> frequency{1000};

private:
    double phase_ = 0;
    std::unique_ptr<AudioOutputStream> stream_;
};

TEST(SystemAudioRecording, ThePauseIsLeftOutAndTheSoundLastsAsLongAsTheRecording) {
    std::string error;
    if (!vtl::testing::startPrivateSessionBus(error)) GTEST_SKIP() << error;
    auto screens = listScreens();
    if (!screens || screens->empty()) GTEST_SKIP() << "needs an X display";
    std::shared_ptr<AudioHardware> hardware = AudioHardware::shared();
    const auto inputs = CompositionAudioRecordDevice::recordDevices(*hardware);
    auto monitor = std::find_if(inputs.begin(), inputs.end(), [](const auto& d) {
        return d.name() == AudioHardware::systemAudioDeviceName;
    });
    if (monitor == inputs.end()) GTEST_SKIP() << "needs the test's audio server with its null sink";
    vtl::testing::ensureApplication();
    BusConnection& bus = BusConnection::session();

    const fs::path folder =
        fs::temp_directory_path() / ("vistrel-system-audio-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);

    std::vector<std::optional<PropertyList>> done;
    std::vector<std::string> shown;
    int available = 0;
    VistrelCallbacks callbacks;
    callbacks.remoteRecorderAvailable = [&] { ++available; };
    callbacks.recordDoneWithInfo = [&](const std::optional<PropertyList>& info) { done.push_back(info); };
    callbacks.presentRecordError = [&](const std::string& message) { shown.push_back(message); };
    RemoteRecorderClient client(callbacks);
    ASSERT_TRUE(client.vend(error)) << error;
    ASSERT_TRUE(client.launchRecorder(VISTREL_RECORDER_PATH, error)) << error;
    ASSERT_TRUE(processEventsUntil([&] { return available > 0; }, kWaitSeconds));

    TonePlayer player(*hardware);
    ASSERT_TRUE(player.start());
    RecordingSettings settings;
    settings.frameRate = 10;
    settings.path = (folder / "take").string();
    settings.audioDevicesToRecord.push_back({monitor->persistentDeviceUID(), monitor->audioStreamID()});
    ASSERT_TRUE(client.prepareMovieWithInfoDictionary(settings.toDictionary()));
    ASSERT_TRUE(client.startAudioRouting());
    ASSERT_TRUE(client.startRecording());
    processEventsFor(3.0);
    // The tones change well inside the pause, so the sound on its way when pausing and resuming
    // is the tone of the recorded side.
    ASSERT_TRUE(client.pauseResumeRecord());
    processEventsFor(0.4);
    player.frequency = 500;
    processEventsFor(2.2);
    player.frequency = 2000;
    processEventsFor(0.4);
    ASSERT_TRUE(client.pauseResumeRecord());
    processEventsFor(3.0);
    ASSERT_TRUE(client.stopRecord());
    ASSERT_TRUE(processEventsUntil([&] { return !done.empty(); }, kWaitSeconds));
    EXPECT_TRUE(processEventsUntil([&] { return !bus.hasOwner(kRecorderServiceName); }, kWaitSeconds));
    EXPECT_TRUE(shown.empty()) << shown.front();
    ASSERT_TRUE(done[0]);
    const double recordingSeconds = done[0]->numberForKey("RecordingDuration").value_or(0);
    ASSERT_GT(recordingSeconds, 4.0);

    auto asset = MediaAsset::open((fs::path(settings.recordPath()) / "system.m4a").string());
    ASSERT_TRUE(asset) << asset.error();
    ASSERT_EQ((*asset)->tracks().size(), 1u);
    const MediaTrack& track = (*asset)->tracks()[0];
    EXPECT_EQ(track.codecName, "aac");
    EXPECT_EQ(track.sampleRate, 44100);
    EXPECT_EQ(track.channelCount, 2);
    auto reader =
        PcmReader::open(*asset, 0, PcmFormat{44100, 1, PcmSampleType::Float32, PcmLayout::Interleaved});
    ASSERT_TRUE(reader) << reader.error();
    std::vector<float> sound;
    std::vector<float> chunk(4096);
    for (;;) {
        auto got = (*reader)->read(chunk.data(), chunk.size());
        ASSERT_TRUE(got) << got.error();
        if (*got == 0) break;
        sound.insert(sound.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*got));
    }
    const double soundSeconds = static_cast<double>(sound.size()) / 44100.0;
    // The recording's length (pauses excluded), within one AAC frame and the frame stream's own
    // rounding to a video frame.
    EXPECT_NEAR(soundSeconds, recordingSeconds, 1024.0 / 44100.0 + 1.0 / settings.frameRate);

    // Each 50 ms window names its strongest tone; the 500 Hz of the pause never shows.
    std::vector<int> tones;
    const std::size_t window = 2205;
    for (std::size_t at = 0; at + window <= sound.size(); at += window) {
        double best = 0;
        int bestTone = 0;
        for (int f : {500, 1000, 2000}) {
            const double a = test::amplitudeAt(sound, f, at, at + window);
            if (a > best) {
                best = a;
                bestTone = f;
            }
        }
        tones.push_back(best > 0.05 ? bestTone : 0);
    }
    const auto count = [&](int f) { return std::count(tones.begin(), tones.end(), f); };
    EXPECT_EQ(count(500), 0);
    EXPECT_GT(count(1000), 40) << "about 3 s of 1 kHz";
    EXPECT_GT(count(2000), 40) << "about 3 s of 2 kHz";
    // 1 kHz first, then 2 kHz.
    auto last1000 = std::find(tones.rbegin(), tones.rend(), 1000);
    auto first2000 = std::find(tones.begin(), tones.end(), 2000);
    EXPECT_LT(std::distance(tones.begin(), last1000.base()) - 1, std::distance(tones.begin(), first2000));
    fs::remove_all(folder);
}

} // namespace
} // namespace vtl
