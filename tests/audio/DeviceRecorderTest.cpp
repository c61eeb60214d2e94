// Recording audio inputs on the null device layer: the recorded channels of each kind of input,
// the first buffer left out, gapless times, the track kept on the recording's clock through
// pauses, silent stretches and surplus, level metering, and a writer that fails.

#include "audio/AudioLevelMeter.h"
#include "audio/CompositionAudioRecordDevice.h"
#include "audio/RecordedAudioTrack.h"
#include "audio/VTLAudioDeviceRecorder.h"
#include "audio/support/Signals.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/MovieWriterQueue.h"
#include "platform/media/PcmReader.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>
#include <thread>
#include <unistd.h>

using namespace vtl;

namespace {

namespace fs = std::filesystem;

std::string tempPath(const std::string& name) {
    return (fs::temp_directory_path() / ("vistrel-devrec-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// Every frame of the file's first sound track, interleaved, at the track's own rate and channels.
std::vector<float> decodeAll(const std::string& path, int& channels, int& rate, std::string& codec) {
    auto asset = MediaAsset::open(path);
    if (!asset || (*asset)->tracks().empty()) return {};
    const MediaTrack& track = (*asset)->tracks()[0];
    channels = track.channelCount;
    rate = track.sampleRate;
    codec = track.codecName;
    auto reader =
        PcmReader::open(*asset, 0, PcmFormat{rate, channels, PcmSampleType::Float32, PcmLayout::Interleaved});
    if (!reader) return {};
    std::vector<float> all, chunk(4096 * static_cast<std::size_t>(channels));
    for (;;) {
        auto got = (*reader)->read(chunk.data(), 4096);
        if (!got || *got == 0) break;
        all.insert(all.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*got * channels));
    }
    return all;
}

bool waitFor(const std::function<bool()>& condition, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Coordinator final : VTLAudioDeviceRecorderDelegate, PeakDelegate {
    bool recorderStartedProducingData(VTLAudioDeviceRecorder&) override {
        ++started;
        return true;
    }
    void recorderDone(VTLAudioDeviceRecorder&) override { ++done; }
    void recorderFailed(VTLAudioDeviceRecorder&, const std::string& message) override {
        failures.push_back(message);
        ++failed;
    }
    void deviceRecorder(VTLAudioDeviceRecorder&, float p, float h) override {
        peak = p;
        hold = h;
        ++levels;
    }
    std::atomic<int> started{0}, done{0}, failed{0}, levels{0};
    std::atomic<float> peak{0}, hold{0};
    std::vector<std::string> failures;
};

AudioDeviceDescription inputDevice(std::uint32_t id, std::uint32_t channels,
                                   std::vector<std::uint32_t> rates) {
    AudioDeviceDescription d;
    d.deviceID = id;
    d.name = "Input " + std::to_string(id);
    d.persistentUID = "uid-" + std::to_string(id);
    d.inputChannelCount = channels;
    d.inputStreams.push_back({id * 100, 1u});
    d.nominalSampleRates = std::move(rates);
    return d;
}

// Frames whose device channel k carries a sine of 300 (k + 1) Hz, from frame `start` on.
std::vector<float> channelTones(std::size_t start, std::size_t frames, std::uint32_t channels, double rate) {
    std::vector<float> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (std::uint32_t k = 0; k < channels; ++k)
            out[i * channels + k] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 300.0 * (k + 1) *
                                                                      static_cast<double>(start + i) / rate));
    return out;
}

std::vector<float> channelOf(const std::vector<float>& interleaved, int channels, int k) {
    std::vector<float> out;
    for (std::size_t i = static_cast<std::size_t>(k); i < interleaved.size();
         i += static_cast<std::size_t>(channels))
        out.push_back(interleaved[i]);
    return out;
}

} // namespace

TEST(AudioDeviceRecorder, RecordsTheInputsChannelsFromTheSecondBufferOnWithoutGaps) {
    struct Case {
        const char* name;
        std::uint32_t deviceChannels;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> stereoPair;
        std::vector<std::uint32_t> rates;
        int trackRate;
        const char* codec;
        std::vector<double> channelFrequencies; // of the recorded channels, in order
    };
    const std::vector<Case> cases = {
        {"stereo", 2, std::pair{1u, 2u}, {44100, 48000}, 44100, "aac", {300, 600}},
        {"mono", 1, std::nullopt, {44100}, 44100, "aac", {300}},
        {"eight channels, preferred pair 3 and 4", 8, std::pair{3u, 4u}, {44100}, 44100, "aac", {900, 1200}},
        {"a rate the device insists on", 2, std::pair{1u, 2u}, {48000}, 48000, "pcm_s16be", {300, 600}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto hardware = std::make_shared<NullAudioHardware>();
        AudioDeviceDescription description = inputDevice(7, c.deviceChannels, c.rates);
        description.preferredStereoPair = c.stereoPair;
        hardware->setDevices({description}, 0, 7);
        auto device = CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("uid-7", 0, *hardware);
        ASSERT_TRUE(device);
        const std::string path = tempPath("channels.mov");
        auto writer = MovieWriterQueue::create(path, "test writer");
        ASSERT_TRUE(writer) << writer.error();
        std::atomic<double> clock{100.0};
        VTLAudioDeviceRecorderOptions options;
        options.clockSeconds = [&] { return clock.load(); };
        options.drainIntervalSeconds = 0.005;
        VTLAudioDeviceRecorder recorder(*device, *writer, hardware, options);
        Coordinator coordinator;
        recorder.setCoordinator(&coordinator);
        ASSERT_TRUE(recorder.startProcessQueue());
        EXPECT_EQ(recorder.samplingRate(), static_cast<std::uint32_t>(c.trackRate));

        // The first buffer (a loud 5 kHz) only announces the input.
        std::vector<float> first(2048 * c.deviceChannels);
        for (std::size_t i = 0; i < first.size(); ++i)
            first[i] =
                static_cast<float>(0.9 * std::sin(2 * std::numbers::pi * 5000.0 *
                                                  static_cast<double>(i / c.deviceChannels) / c.trackRate));
        hardware->capture(7, first.data(), 2048, c.deviceChannels);
        ASSERT_TRUE(waitFor([&] { return coordinator.started.load() == 1; }));
        ASSERT_TRUE((*writer)->start());
        recorder.setWriteToMovie();
        // Buffers of changing sizes; the clock moves with them.
        std::size_t frames = 0;
        for (int round = 0; round < 8; ++round)
            for (std::size_t n : {480u, 1024u, 7u, 4096u, 333u}) {
                const auto buffer = channelTones(frames, n, c.deviceChannels, c.trackRate);
                hardware->capture(7, buffer.data(), n, c.deviceChannels);
                frames += n;
                clock = 100.0 + static_cast<double>(frames) / c.trackRate;
            }
        recorder.stopRecord();
        recorder.finishPendingFrames();
        std::atomic<bool> finished{false};
        (*writer)->finish([&](Status s) {
            EXPECT_TRUE(s) << s.error();
            finished = true;
        });
        ASSERT_TRUE(waitFor([&] { return finished.load(); }));
        recorder.finalizeRecord();
        EXPECT_EQ(coordinator.done.load(), 1);
        EXPECT_EQ(coordinator.failed.load(), 0);

        int channels = 0, rate = 0;
        std::string codec;
        std::vector<float> sound = decodeAll(path, channels, rate, codec);
        EXPECT_EQ(codec, c.codec);
        EXPECT_EQ(channels, static_cast<int>(c.channelFrequencies.size()));
        EXPECT_EQ(rate, c.trackRate);
        const std::size_t got = sound.size() / static_cast<std::size_t>(std::max(channels, 1));
        if (codec == "aac")
            EXPECT_NEAR(static_cast<double>(got), static_cast<double>(frames), 2048.0) << "every frame once";
        else
            EXPECT_EQ(got, frames) << "every frame once, no gap";
        ASSERT_GT(got, 8192u);
        for (int k = 0; k < channels; ++k) {
            SCOPED_TRACE(k);
            const std::vector<float> channel = channelOf(sound, channels, k);
            EXPECT_LT(test::amplitudeAt(channel, 5000, 0, 2048, rate), 0.02)
                << "the first buffer is not written";
            // A phase jump (a gap or a repeated buffer) would spread the tone over other frequencies;
            // AAC itself moves the level a little.
            const double tolerance = codec == "aac" ? 0.12 : 0.01;
            for (std::size_t at = 2048; at + 4096 < got; at += 4096) {
                EXPECT_NEAR(test::amplitudeAt(channel, c.channelFrequencies[static_cast<std::size_t>(k)], at,
                                              at + 4096, rate),
                            0.5, tolerance);
                for (double other : {300.0, 600.0, 900.0, 1200.0}) {
                    if (other != c.channelFrequencies[static_cast<std::size_t>(k)]) {
                        EXPECT_LT(test::amplitudeAt(channel, other, at, at + 4096, rate), 0.02);
                    }
                }
            }
        }
        fs::remove(path);
    }
}

namespace {

// A stereo track on a clock the test moves; drained on the test's thread into linear PCM.
struct ClockedTrack {
    explicit ClockedTrack(const std::string& name)
        : path(tempPath(name)) {
        RecordedAudioTrack::Options options;
        options.clockSeconds = [this] { return clock; };
        track = std::make_unique<RecordedAudioTrack>(options);
        auto made = MovieWriter::create(path);
        EXPECT_TRUE(made) << made.error();
        writer = std::move(made).value();
        AudioTrackSettings settings;
        settings.codec = AudioCodec::PcmInt16LittleEndian;
        settings.inputLayout = PcmLayout::Interleaved;
        index = *writer->addAudioTrack(settings);
        EXPECT_TRUE(writer->start());
    }
    ~ClockedTrack() { fs::remove(path); }

    // `seconds` of 0.5 at the capture side while the clock moves by `clockSeconds`.
    void play(double seconds, double clockSeconds) {
        const auto frames = static_cast<std::size_t>(seconds * 44100);
        const std::vector<float> samples(frames * 2, 0.5f);
        for (std::size_t at = 0; at < frames; at += 441) {
            const std::size_t n = std::min<std::size_t>(441, frames - at);
            track->capture(samples.data() + at * 2, n);
            clock += clockSeconds * static_cast<double>(n) / static_cast<double>(frames);
            if (at % 4410 == 0) {
                EXPECT_TRUE(track->drain(*writer, index, false));
            }
        }
    }
    void wait(double seconds) {
        for (int i = 0; i < 100; ++i) {
            clock += seconds / 100;
            EXPECT_TRUE(track->drain(*writer, index, false));
        }
    }
    std::vector<float> finish() {
        EXPECT_TRUE(track->drain(*writer, index, true));
        EXPECT_TRUE(writer->finish());
        int channels = 0, rate = 0;
        std::string codec;
        return decodeAll(path, channels, rate, codec);
    }

    std::string path;
    double clock = 50;
    std::unique_ptr<RecordedAudioTrack> track;
    std::unique_ptr<MovieWriter> writer;
    std::size_t index = 0;
};

std::size_t countFrames(const std::vector<float>& stereo, bool loud) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < stereo.size(); i += 2)
        if ((stereo[i] > 0.25f) == loud) ++n;
    return n;
}

} // namespace

TEST(RecordedAudioTrack, FollowsTheRecordingsClockThroughPausesSilenceAndSurplus) {
    struct Case {
        const char* name;
        std::function<void(ClockedTrack&)> run;
        double seconds;               // the track's length
        double loudSeconds;           // of it, captured sound
        bool mended;                  // silence filled or surplus dropped
        double startedSecondsAgo = 0; // the owner's start, already passed when writing begins
    };
    const std::vector<Case> cases = {
        {"a pause leaves no gap",
         [](ClockedTrack& t) {
             t.play(1.0, 1.0);
             t.track->setPaused(true);
             t.play(3.0, 3.0); // not recorded
             t.track->setPaused(false);
             t.play(1.0, 1.0);
             t.track->stopWriting();
         },
         2.0, 2.0, false},
        {"a source that falls silent is filled with silence",
         [](ClockedTrack& t) {
             t.play(0.5, 0.5);
             t.wait(2.0);
             t.play(0.5, 0.5);
             t.track->stopWriting();
         },
         3.0, 1.0, true},
        {"a source running ahead of the clock loses its surplus",
         [](ClockedTrack& t) {
             t.play(6.0, 1.0);
             t.track->stopWriting();
         },
         1.0, 1.0, true},
        {"a recording stopped while paused ends where the pause began",
         [](ClockedTrack& t) {
             t.play(1.5, 1.5);
             t.track->setPaused(true);
             t.wait(2.0);
             t.track->stopWriting();
         },
         1.5, 1.5, false},
        {"a start already passed comes first as silence and a given stop ends the track",
         [](ClockedTrack& t) {
             t.play(1.0, 1.0);
             t.track->stopWriting(t.clock - 0.25);
         },
         1.25, 0.75, true, 0.5},
        {"pauses take the owner's instants, not the moments the calls come",
         [](ClockedTrack& t) {
             t.play(1.0, 1.0);
             t.track->setPaused(true, t.clock - 0.2);
             t.wait(2.0);
             t.track->setPaused(false, t.clock - 0.5);
             t.play(1.0, 1.0);
             t.track->stopWriting(t.clock);
         },
         2.3, 2.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClockedTrack t("clock.mov");
        t.track->startWriting(t.clock - c.startedSecondsAgo);
        c.run(t);
        const std::vector<float> sound = t.finish();
        const RecordedAudioTrack::Statistics s = t.track->statistics();
        EXPECT_EQ(sound.size() / 2, s.framesWritten);
        EXPECT_NEAR(static_cast<double>(s.framesWritten), c.seconds * 44100, 2)
            << "the track lasts the recording";
        // Within the drains' granularity, the captured sound is all there and in one piece.
        EXPECT_NEAR(static_cast<double>(countFrames(sound, true)), c.loudSeconds * 44100, 0.26 * 44100);
        EXPECT_EQ(s.silenceFrames > 441 || s.droppedFrames > 441, c.mended)
            << s.silenceFrames << " silent, " << s.droppedFrames << " dropped";
        const auto firstLoud = std::find_if(sound.begin(), sound.end(), [](float v) { return v > 0.25f; });
        EXPECT_NEAR(static_cast<double>(firstLoud - sound.begin()) / 2, c.startedSecondsAgo * 44100, 441)
            << "the sound keeps its place on the clock";
    }
}

TEST(AudioLevelMeter, PeaksAndAHoldThatFallsHalfASecondAfterItRose) {
    AudioLevelMeter meter;
    struct Step {
        float sample;
        double time;
        float peak;
        float hold;
    };
    const std::vector<Step> steps = {
        {0.0f, 0.0, 0.0f, 0.0f}, {0.6f, 1.0, 0.6f, 0.6f},   {-0.8f, 1.1, 0.8f, 0.8f},
        {0.1f, 1.5, 0.1f, 0.8f}, {0.1f, 1.61, 0.1f, 0.79f}, {0.1f, 1.62, 0.1f, 0.78f},
        {0.9f, 1.7, 0.9f, 0.9f}, {0.0f, 2.0, 0.0f, 0.9f},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.time);
        const std::vector<float> buffer(64, step.sample);
        const AudioLevels levels = meter.measure(buffer.data(), buffer.size(), step.time);
        EXPECT_FLOAT_EQ(levels.peak, std::abs(step.sample));
        EXPECT_NEAR(levels.hold, step.hold, 1e-6);
    }
    // A silent input after the hold time: down by 0.01 a buffer, then 0 from 0.01 or less.
    AudioLevelMeter quiet;
    const std::vector<float> loud(16, 0.025f), silent(16, 0.0f);
    quiet.measure(loud.data(), loud.size(), 0.0);
    EXPECT_NEAR(quiet.measure(silent.data(), silent.size(), 0.6).hold, 0.015f, 1e-6);
    EXPECT_NEAR(quiet.measure(silent.data(), silent.size(), 0.7).hold, 0.005f, 1e-6);
    EXPECT_EQ(quiet.measure(silent.data(), silent.size(), 0.8).hold, 0.0f);
}

TEST(AudioDeviceRecorder, AWriterThatFailsEndsTheTrackAndIsReportedOnce) {
    auto hardware = std::make_shared<NullAudioHardware>();
    hardware->setDevices({inputDevice(7, 2, {44100})}, 0, 7);
    auto device = CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("uid-7", 0, *hardware);
    ASSERT_TRUE(device);
    MovieWriterOptions writerOptions;
    // The disk fills up once the header is out.
    writerOptions.beforeWrite = [](std::int64_t offset, std::size_t) -> Status {
        return offset > 4096 ? fail("The disk is full.") : Status{};
    };
    const std::string path = tempPath("full.mov");
    auto writer = MovieWriterQueue::create(path, "test writer", writerOptions);
    ASSERT_TRUE(writer);
    VTLAudioDeviceRecorderOptions options;
    options.drainIntervalSeconds = 0.005;
    VTLAudioDeviceRecorder recorder(*device, *writer, hardware, options);
    Coordinator coordinator;
    recorder.setCoordinator(&coordinator);
    recorder.setPeakDelegate(&coordinator);
    ASSERT_TRUE(recorder.startProcessQueue());
    const auto buffer = channelTones(0, 4410, 2, 44100);
    hardware->capture(7, buffer.data(), 4410, 2);
    ASSERT_TRUE(waitFor([&] { return coordinator.started.load() == 1; }));
    EXPECT_TRUE(waitFor([&] { return coordinator.levels.load() > 0; }));
    EXPECT_NEAR(coordinator.peak.load(), 0.5, 0.01);
    ASSERT_TRUE((*writer)->start());
    recorder.setWriteToMovie();
    for (int i = 0; i < 200 && coordinator.failed.load() == 0; ++i) {
        hardware->capture(7, buffer.data(), 4410, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(waitFor([&] { return coordinator.failed.load() > 0; }));
    recorder.stopRecord();
    recorder.finishPendingFrames();
    (*writer)->queue()->sync([] {});
    EXPECT_EQ(coordinator.failed.load(), 1);
    EXPECT_NE(coordinator.failures.front().find("The disk is full."), std::string::npos)
        << coordinator.failures.front();
    EXPECT_FALSE(fs::exists(path)) << "a failed movie leaves nothing behind";
}
