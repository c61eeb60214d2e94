// An input of the test's audio server (a tone standing in for a microphone) recorded by the
// audio-device recorder into an AAC track: the tone, steady from start to end, for as long as the
// recording ran.

#include "audio/CompositionAudioRecordDevice.h"
#include "audio/VTLAudioDeviceRecorder.h"
#include "platform/audio/PulseAudioHardware.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MovieWriterQueue.h"
#include "platform/media/PcmReader.h"
#include "support/Signals.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace vtl;

namespace {

struct Owner final : VTLAudioDeviceRecorderDelegate {
    bool recorderStartedProducingData(VTLAudioDeviceRecorder&) override {
        ++started;
        return true;
    }
    void recorderDone(VTLAudioDeviceRecorder&) override {}
    void recorderFailed(VTLAudioDeviceRecorder&, const std::string& message) override { failure = message; }
    std::atomic<int> started{0};
    std::string failure;
};

} // namespace

TEST(PulseAudio, AnInputsToneIsRecordedAsASteadyAACTrackForTheRecordingsLength) {
    auto hardware = std::make_shared<PulseAudioHardware>();
    // The server's sine source hands out its sound two seconds at a time, ahead of the clock; a
    // microphone delivers as time passes. So the tone is played into a sink of its own whose
    // monitor is offered as an ordinary input.
    std::vector<std::string> modules;
    auto load = [&](const std::string& arguments) {
        FILE* pipe = popen(("pactl load-module " + arguments + " 2>/dev/null").c_str(), "r");
        char line[64] = {};
        const bool loaded = pipe && std::fgets(line, sizeof line, pipe) != nullptr;
        if (pipe) pclose(pipe);
        if (loaded)
            modules.push_back(std::string(line).substr(0, std::string(line).find_first_not_of("0123456789")));
        return loaded;
    };
    auto unloadAll = [&] {
        for (auto it = modules.rbegin(); it != modules.rend(); ++it)
            EXPECT_EQ(std::system(("pactl unload-module " + *it).c_str()), 0);
        modules.clear();
    };
    if (!load("module-null-sink sink_name=vistrel_test_voice rate=44100 norewinds=1"))
        GTEST_SKIP() << "needs the test's audio server";
    ASSERT_TRUE(load("module-sine sink=vistrel_test_voice frequency=440"));
    ASSERT_TRUE(
        load("module-remap-source master=vistrel_test_voice.monitor source_name=vistrel_test_microphone"));
    auto device =
        CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("vistrel_test_microphone", 0, *hardware);
    ASSERT_TRUE(device);

    const std::string path = (std::filesystem::temp_directory_path() /
                              ("vistrel-microphone-" + std::to_string(::getpid()) + ".mov"))
                                 .string();
    auto writer = MovieWriterQueue::create(path, "microphone test writer");
    ASSERT_TRUE(writer);
    Owner owner;
    double recordedSeconds = 0;
    {
        VTLAudioDeviceRecorder recorder(*device, *writer, hardware);
        recorder.setCoordinator(&owner);
        ASSERT_TRUE(recorder.startProcessQueue());
        for (int i = 0; i < 500 && owner.started.load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(owner.started.load(), 1);
        ASSERT_TRUE((*writer)->start());
        const double start = monotonicSeconds();
        recorder.setWriteToMovie();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        recorder.stopRecord();
        recordedSeconds = monotonicSeconds() - start;
        recorder.finishPendingFrames();
        std::atomic<bool> finished{false};
        (*writer)->finish([&](Status s) {
            EXPECT_TRUE(s) << s.error();
            finished = true;
        });
        for (int i = 0; i < 1000 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(finished);
    }
    unloadAll();
    EXPECT_TRUE(owner.failure.empty()) << owner.failure;

    auto asset = MediaAsset::open(path);
    ASSERT_TRUE(asset) << asset.error();
    ASSERT_EQ((*asset)->tracks().size(), 1u);
    EXPECT_EQ((*asset)->tracks()[0].codecName, "aac");
    EXPECT_EQ((*asset)->tracks()[0].sampleRate, 44100);
    auto reader =
        PcmReader::open(*asset, 0, PcmFormat{44100, 1, PcmSampleType::Float32, PcmLayout::Interleaved});
    ASSERT_TRUE(reader);
    std::vector<float> sound, chunk(4096);
    for (;;) {
        auto got = (*reader)->read(chunk.data(), chunk.size());
        ASSERT_TRUE(got);
        if (*got == 0) break;
        sound.insert(sound.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*got));
    }
    EXPECT_NEAR(static_cast<double>(sound.size()) / 44100, recordedSeconds, 0.05);
    // Steady in every 50 ms window but the last (the end's few milliseconds may be filled).
    const double level = test::amplitudeAt(sound, 440, 4410, 8820);
    EXPECT_GT(level, 0.05);
    for (std::size_t at = 0; at + 2 * 2205 <= sound.size(); at += 2205)
        EXPECT_NEAR(test::amplitudeAt(sound, 440, at, at + 2205), level, 0.15 * level) << "at frame " << at;
    std::filesystem::remove(path);
}
