// Playback and capture through the PulseAudio daemon of the test command (a null sink): what the
// players send out is recorded from the sink's monitor and measured.
#include "audio/AudioPlayer.h"
#include "audio/AudioTrackPlayer.h"
#include "audio/CompositionAudioRecordDevice.h"
#include "audio/MemoryPcmSource.h"
#include "audio/PcmFileOpener.h"
#include "audio/VTLAudioTools.h"
#include "platform/audio/PulseAudioHardware.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/Log.h"
#include "support/Signals.h"
#include "support/SinkMonitor.h"
#include "support/WaveFileSource.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace vtl;
using namespace vtl::test;

namespace {

using MonitorRecorder = SinkMonitor;

std::filesystem::path makeSound(const std::string& name, const std::string& expression, double seconds) {
    const auto path = std::filesystem::temp_directory_path() / ("vistrel-audio-test-" + name + ".wav");
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i \"aevalsrc=" + expression +
                                ":s=44100:d=" + std::to_string(seconds) + "\" -ac 1 -c:a pcm_f32le \"" +
                                path.string() + "\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

void waitSeconds(double seconds) {
    runMainLoopUntil([] { return false; }, seconds);
}

std::size_t firstAbove(const std::vector<float>& x, float threshold, std::size_t from = 0) {
    for (std::size_t i = from; i < x.size(); ++i)
        if (std::abs(x[i]) > threshold) return i;
    return x.size();
}

// First frame from `from` on where the signal stays quiet for `frames` frames.
std::size_t firstQuiet(const std::vector<float>& x, std::size_t from, std::size_t frames) {
    std::size_t run = 0;
    for (std::size_t i = from; i < x.size(); ++i) {
        run = std::abs(x[i]) < 0.01f ? run + 1 : 0;
        if (run == frames) return i + 1 - frames;
    }
    return x.size();
}

// Where a tone of `frequency` and `amplitude` is heard, [first, last) in frames, by windows of
// 50 ms stepped by 10 ms; empty when it never is.
std::pair<std::size_t, std::size_t> toneSpan(const std::vector<float>& x, double frequency,
                                             double amplitude) {
    constexpr std::size_t window = 2205, step = 441;
    std::size_t first = x.size(), last = 0;
    for (std::size_t at = 0; at + window <= x.size(); at += step) {
        if (amplitudeAt(x, frequency, at, at + window) < amplitude / 2) continue;
        first = std::min(first, at);
        last = at + window;
    }
    return {first, std::max(first, last)};
}

std::string describeGaps(const std::vector<std::pair<std::size_t, std::size_t>>& found, std::size_t onset) {
    std::string text;
    for (const auto& [at, frames] : found)
        text += " " + std::to_string(static_cast<double>(at - onset) / sampleRate) + " s (" +
                std::to_string(static_cast<double>(frames) / sampleRate * 1000) + " ms)";
    return text;
}

} // namespace

// Times are measured on the monitor's own samples, from the first one heard: what the player
// controls (the gap in the file, the mute phase) must land there to within a few frames of the
// server's periods, whatever the wall clock did meanwhile.
TEST(PulseAudio, TrackPlayerSoundsInTimeAtItsLevelAndMutesInPlace) {
    auto hardware = std::make_shared<PulseAudioHardware>();
    // 440 Hz at half scale for 0.2 s, silence to 0.5 s, then the tone again.
    const auto file = makeSound("track", "if(lt(t\\,0.2)+gte(t\\,0.5)\\,0.5*sin(2*PI*440*t)\\,0)", 3.0);
    auto source = openWaveFile(file.string());
    ASSERT_TRUE(source) << source.error();
    AudioTrackPlayer player(std::move(*source), true, hardware);
    player.setMutePhases({{1.5, 1.7}});

    MonitorRecorder recorder(*hardware, 4.0);
    waitSeconds(0.3);
    player.doStartMoviePreview(0.1);
    waitSeconds(3.1);
    player.doStopMoviePreview();
    const auto heard = recorder.stop();

    const std::size_t onset = firstAbove(heard, 0.05f);
    ASSERT_LT(onset, heard.size()) << "nothing was heard";
    constexpr double slackSeconds = 0.010;
    // Started at 0.1 s: 0.1 s of tone, the gap until 0.5 s, then the tone from 0.4 s after the onset.
    const std::size_t gap = firstQuiet(heard, onset, 2205);
    EXPECT_NEAR(static_cast<double>(gap - onset) / sampleRate, 0.1, slackSeconds);
    const std::size_t second = firstAbove(heard, 0.05f, gap);
    EXPECT_NEAR(static_cast<double>(second - onset) / sampleRate, 0.4, slackSeconds);
    // The mute phase 1.5–1.7 s is silent in place.
    const std::size_t muted = firstQuiet(heard, second, 2205);
    EXPECT_NEAR(static_cast<double>(muted - onset) / sampleRate, 1.4, slackSeconds);
    const std::size_t resumed = firstAbove(heard, 0.05f, muted);
    EXPECT_NEAR(static_cast<double>(resumed - onset) / sampleRate, 1.6, slackSeconds);
    // A stream that ran dry would be heard as a gap (and everything after it late).
    for (auto [from, to] :
         {std::pair{onset, gap}, std::pair{second, muted}, std::pair{resumed, resumed + 30870}})
        EXPECT_TRUE(gaps(heard, from, to).empty())
            << "dropouts at" << describeGaps(gaps(heard, from, to), onset);

    const std::size_t from = second + 4410, to = second + 4410 + 22050;
    EXPECT_NEAR(decibels(rms(heard, from, to)), decibels(0.5 / std::sqrt(2.0)), 0.5);
    EXPECT_NEAR(dominantFrequency(heard, 400, 480, from, to), 440, 4.4);
    EXPECT_EQ(player.underrunCount(), 0u);
    std::filesystem::remove(file);
}

TEST(PulseAudio, TwoPlayersMix) {
    auto hardware = std::make_shared<PulseAudioHardware>();
    const auto lowFile = makeSound("low", "0.25*sin(2*PI*440*t)", 2.5);
    const auto highFile = makeSound("high", "0.25*sin(2*PI*660*t)", 2.5);
    auto lowSource = openWaveFile(lowFile.string());
    auto highSource = openWaveFile(highFile.string());
    ASSERT_TRUE(lowSource && highSource);
    AudioTrackPlayer first(std::move(*lowSource), true, hardware);
    AudioTrackPlayer second(std::move(*highSource), true, hardware);
    MonitorRecorder recorder(*hardware, 4.0);
    waitSeconds(0.2);
    first.doStartMoviePreview(0.0);
    second.doStartMoviePreview(0.0);
    waitSeconds(1.2);
    first.doStopMoviePreview();
    second.doStopMoviePreview();
    const auto heard = recorder.stop();
    // Each player starts its own stream, so on a busy machine one may start a good deal after the
    // other: the mix is measured where both are heard, each tone found on its own.
    const auto low = toneSpan(heard, 440, 0.25);
    const auto high = toneSpan(heard, 660, 0.25);
    const std::size_t from = std::max(low.first, high.first) + 2205;
    const std::size_t to = std::min(low.second, high.second) - 2205;
    ASSERT_GT(to, from + 8820) << "the two tones were heard together for less than 0.2 s";
    for (double f : {440.0, 660.0})
        EXPECT_NEAR(decibels(amplitudeAt(heard, f, from, to) / 0.25), 0, 0.5) << f;
    EXPECT_TRUE(gaps(heard, from, to).empty()) << "dropouts at" << describeGaps(gaps(heard, from, to), 0);
    EXPECT_EQ(first.underrunCount() + second.underrunCount(), 0u);
    std::filesystem::remove(lowFile);
    std::filesystem::remove(highFile);
}

TEST(PulseAudio, AudioPlayerPlayedThriceSoundsThrice) {
    auto hardware = std::make_shared<PulseAudioHardware>();
    const auto click = makeSound("click", "0.5*sin(2*PI*1000*t)", 0.15);
    setPcmFileOpener([](const std::string& path) { return openWaveFile(path); });
    struct Delegate : AudioPlayerDelegate {
        int done = 0;
        void playerDone(AudioPlayer&) override { ++done; }
    } delegate;
    AudioPlayer player(click.string(), hardware);
    player.setDelegate(&delegate);
    MonitorRecorder recorder(*hardware, 3.0);
    waitSeconds(0.2);
    player.play();
    player.play();
    player.play();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate.done > 0; }, 5.0));
    waitSeconds(0.3);
    EXPECT_EQ(delegate.done, 1);
    const auto heard = recorder.stop();
    int bursts = 0;
    for (std::size_t at = firstAbove(heard, 0.05f); at < heard.size();
         at = firstAbove(heard, 0.05f, firstQuiet(heard, at, 441)))
        ++bursts;
    EXPECT_EQ(bursts, 3);
    setPcmFileOpener(nullptr);
    std::filesystem::remove(click);
}

TEST(PulseAudio, DevicesListTheMonitorAndNewSources) {
    PulseAudioHardware hardware;
    auto devices = CompositionAudioRecordDevice::recordDevices(hardware);
    EXPECT_TRUE(std::any_of(devices.begin(), devices.end(), [](const auto& d) {
        return d.name() == "System Audio (Vistrel)" && d.streamNumberOfChannels() == 2;
    }));
    EXPECT_NE(VTLAudioTools::defaultOutputDeviceID(hardware), 0u);

    FILE* pipe = popen("pactl load-module module-sine-source source_name=vistrel_test_sine 2>/dev/null", "r");
    ASSERT_TRUE(pipe);
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    ASSERT_TRUE(read) << "pactl could not load the sine source";
    const std::string module = std::string(line).substr(0, std::string(line).find_first_not_of("0123456789"));
    auto sine = CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("vistrel_test_sine", 0, hardware);
    EXPECT_TRUE(sine);
    if (sine) {
        EXPECT_GE(sine->streamNumberOfChannels(), 1u);
    }
    EXPECT_EQ(std::system(("pactl unload-module " + module).c_str()), 0);
    EXPECT_FALSE(
        CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("vistrel_test_sine", 0, hardware));
}

// Without a server (none running, or the address wrong): nothing is listed, streams are refused
// with a sentence, and a player stays silent and answers at once instead of hanging.
TEST(PulseAudio, WithoutAServerNothingIsListedAndPlayersStaySilent) {
    const char* previousServer = std::getenv("PULSE_SERVER");
    const std::string kept = previousServer ? previousServer : "";
    ::setenv("PULSE_SERVER", "unix:/nonexistent/vistrel-test/native", 1);
    std::vector<std::string> log;
    LogSink previousSink = setLogSink([&log](std::string_view line) { log.emplace_back(line); });

    auto hardware = std::make_shared<PulseAudioHardware>();
    EXPECT_TRUE(hardware->devices().empty());
    EXPECT_EQ(hardware->defaultOutputDeviceID(), 0u);
    EXPECT_FALSE(VTLAudioTools::loopbackDeviceID(*hardware));
    auto output = hardware->openOutputStream(0, [](float* const*, std::size_t) {});
    ASSERT_FALSE(output);
    EXPECT_NE(output.error().find("cannot be reached"), std::string::npos) << output.error();
    auto input = hardware->openInputStream(1, 2, 44100, [](const float*, std::size_t, std::uint32_t) {});
    EXPECT_FALSE(input);

    std::vector<std::vector<float>> tone(2, std::vector<float>(44100, 0.25f));
    AudioTrackPlayer player(std::make_unique<MemoryPcmSource>(std::move(tone)), true, hardware);
    player.doStartMoviePreview(0.0);
    EXPECT_FALSE(player.playerRunning());
    player.doStopMoviePreview();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.find("cannot play") != std::string::npos;
    }));

    setLogSink(previousSink);
    if (previousServer)
        ::setenv("PULSE_SERVER", kept.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
}
