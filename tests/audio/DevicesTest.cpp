#include "audio/AudioPlayer.h"
#include "audio/BuiltInAudioPlayer.h"
#include "audio/CompositionAudioRecordDevice.h"
#include "audio/MemoryPcmSource.h"
#include "audio/PcmFileOpener.h"
#include "audio/VTLAudioTools.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

using namespace vtl;

namespace {

AudioDeviceDescription inputDevice(std::uint32_t id, std::string name, std::uint32_t channels,
                                   std::vector<std::optional<std::uint32_t>> streamStarts) {
    AudioDeviceDescription d;
    d.deviceID = id;
    d.name = std::move(name);
    d.persistentUID = "uid-" + std::to_string(id);
    d.inputChannelCount = channels;
    for (std::size_t k = 0; k < streamStarts.size(); ++k)
        d.inputStreams.push_back({id * 100 + static_cast<std::uint32_t>(k), streamStarts[k]});
    for (std::uint32_t c = 1; c <= channels; ++c)
        d.inputChannelNames.push_back(c == 4 ? "" : "Input " + std::to_string(c));
    return d;
}

struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~LogCapture() { setLogSink(nullptr); }
    bool contains(std::string_view text) const {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

} // namespace

TEST(RecordDevices, ChannelsOfEachInput) {
    NullAudioHardware hardware;
    auto eight = inputDevice(20, "Interface", 8, {1});
    eight.preferredStereoPair = std::make_pair(3u, 4u);
    hardware.setDevices({inputDevice(10, "Stereo Mic", 2, {1}), eight,
                         inputDevice(30, "Two Streams", 4, {1, 3}),
                         inputDevice(40, "Unreadable Start", 6, {std::nullopt})},
                        0, 10);
    LogCapture log;
    const auto devices = CompositionAudioRecordDevice::recordDevices(hardware);
    ASSERT_EQ(devices.size(), 5u);

    struct Expected {
        std::uint32_t deviceID, channels, first, streamIndex;
        bool reduced;
        std::vector<std::string> names;
    };
    const Expected expected[] = {
        {10, 2, 1, 0, false, {"Input 1", "Input 2"}},
        {20, 2, 3, 0, true, {"Input 3", "4"}}, // a channel without a name is called by its number
        {30, 2, 1, 0, false, {"Input 1", "Input 2"}},
        {30, 2, 3, 1, false, {"Input 3", "4"}},
        {40, 6, 0, 0, false, {"0", "Input 1", "Input 2", "Input 3", "4", "Input 5"}},
    };
    for (std::size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(devices[i].description());
        EXPECT_EQ(devices[i].deviceID(), expected[i].deviceID);
        EXPECT_EQ(devices[i].streamNumberOfChannels(), expected[i].channels);
        EXPECT_EQ(devices[i].firstChannel(), expected[i].first);
        EXPECT_EQ(devices[i].streamIndex(), expected[i].streamIndex);
        EXPECT_EQ(devices[i].needsChannelReductionForStereo(), expected[i].reduced);
        EXPECT_EQ(devices[i].channelNames(), expected[i].names);
    }
    EXPECT_TRUE(log.contains("stereo channels 3 + 4"));
    EXPECT_EQ(devices[1].deviceNumberOfChannels(), 8u);
}

TEST(RecordDevices, EqualityFindingAndStoredForm) {
    NullAudioHardware hardware;
    hardware.setDevices({inputDevice(10, "Mic", 2, {1}), inputDevice(30, "Two Streams", 4, {1, 3})}, 0, 10);
    // A one-stream device is the same device whatever stream ID was remembered.
    EXPECT_EQ(CompositionAudioRecordDevice(10, "Mic", "uid-10", 1000, 1),
              CompositionAudioRecordDevice(10, "Mic", "uid-10", 1001, 1));
    EXPECT_FALSE(CompositionAudioRecordDevice(30, "A", "uid-30", 3000, 2) ==
                 CompositionAudioRecordDevice(30, "A", "uid-30", 3001, 2));

    EXPECT_TRUE(CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("uid-10", 999, hardware));
    auto second = CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("uid-30", 3001, hardware);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->firstChannel(), 3u);
    EXPECT_FALSE(CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("uid-30", 9, hardware));
    EXPECT_FALSE(CompositionAudioRecordDevice::deviceWithPersistentDeviceUID("gone", 0, hardware));
    EXPECT_TRUE(CompositionAudioRecordDevice::deviceWithDeviceID(30, 3000, hardware));
    auto first = CompositionAudioRecordDevice::firstStreamOfDeviceWithDevicePersistentUID("uid-30", hardware);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->audioStreamID(), 3000u);
    EXPECT_EQ(first->totalNumberOfStreamsInDevice(), 2u);

    const auto all = CompositionAudioRecordDevice::recordDevices(hardware);
    PropertyList stored = VTLAudioTools::persistentUIDDictionariesForAudioDevices(all);
    ASSERT_EQ(stored.count(), 3u);
    EXPECT_EQ(*stored.at(2)->stringForKey("persistentUID"), "uid-30");
    EXPECT_EQ(stored.at(2)->integerForKey("audioStreamID"), 3001);
    // A device that went away and malformed entries are left out.
    stored.append(PropertyList::dictionary({{"persistentUID", "gone"}, {"audioStreamID", 1}}));
    stored.append(PropertyList::dictionary({{"persistentUID", "uid-10"}, {"audioStreamID", -4}}));
    stored.append("junk");
    EXPECT_EQ(VTLAudioTools::devicesForAudioPersistentUIDs(stored, hardware), all);
}

TEST(AudioTools, SampleRateChoice) {
    struct Case {
        std::vector<std::uint32_t> offered;
        std::uint32_t wanted, chosen;
        bool nextBest;
    };
    const Case cases[] = {
        {{32000, 48000, 96000}, 44100, 48000, false},
        {{22050, 32000}, 44100, 32000, true},
        {{44100, 192000}, 96000, 192000, true}, // above 128 kHz counts as none
        {{}, 44100, 0, false},
    };
    for (const auto& c : cases) {
        NullAudioHardware hardware;
        auto devices = hardware.devices();
        devices[0].nominalSampleRates = c.offered;
        hardware.setDevices(devices, 1, 2);
        LogCapture log;
        EXPECT_EQ(VTLAudioTools::setDeviceSamplingRate(1, c.wanted, hardware), c.chosen);
        EXPECT_EQ(hardware.chosenSampleRate(1), c.chosen);
        EXPECT_EQ(log.contains("Using next best"), c.nextBest);
    }
}

TEST(AudioTools, DeviceQuestions) {
    NullAudioHardware hardware;
    EXPECT_EQ(VTLAudioTools::numberAudioDevices(hardware), 2u);
    EXPECT_EQ(VTLAudioTools::deviceAtIndex(1, hardware), NullAudioHardware::nullInputDeviceID);
    EXPECT_EQ(VTLAudioTools::deviceAtIndex(9, hardware), 0u);
    EXPECT_EQ(VTLAudioTools::builtInOutputDeviceID(hardware), NullAudioHardware::nullOutputDeviceID);
    EXPECT_TRUE(VTLAudioTools::deviceWithIDIsInput(NullAudioHardware::nullInputDeviceID, hardware));
    EXPECT_FALSE(VTLAudioTools::deviceWithIDIsInput(NullAudioHardware::nullOutputDeviceID, hardware));
    EXPECT_EQ(VTLAudioTools::numberOfChannelsOfDevice(NullAudioHardware::nullInputDeviceID, hardware), 2u);
    EXPECT_EQ(VTLAudioTools::deviceName(77, hardware), "");
    EXPECT_FALSE(VTLAudioTools::loopbackDeviceID(hardware));

    auto devices = hardware.devices();
    devices[1].name = "System Audio (Vistrel)";
    devices[0].builtIn = false;
    hardware.setDevices(devices, 0, 0);
    EXPECT_EQ(VTLAudioTools::loopbackDeviceID(hardware), NullAudioHardware::nullInputDeviceID);
    LogCapture log;
    EXPECT_EQ(VTLAudioTools::defaultOutputDeviceID(hardware), 0u);
    EXPECT_TRUE(log.contains("Cannot find default output device!"));
    // Without built-in speakers there is no built-in player.
    auto shared = std::make_shared<NullAudioHardware>();
    shared->setDevices(devices, 1, 2);
    EXPECT_FALSE(BuiltInAudioPlayer::create("click.wav", shared));
    EXPECT_TRUE(log.contains("built in audio device could not be determined"));
}

TEST(SoundPlayers, PlaysOwedForEveryPlayAskedForAndTellsTheEndOnce) {
    setPcmFileOpener([](const std::string&) -> Result<std::unique_ptr<PcmSource>> {
        return std::unique_ptr<PcmSource>(std::make_unique<MemoryPcmSource>(
            std::vector<std::vector<float>>{std::vector<float>(2205, 0.5f)}));
    });
    struct Delegate : AudioPlayerDelegate {
        int done = 0;
        void playerDone(AudioPlayer&) override { ++done; }
    } delegate;
    auto hardware = std::make_shared<NullAudioHardware>();
    AudioPlayer player("click.wav", hardware);
    player.setDelegate(&delegate);
    player.stopPlaying(); // never played: nothing
    EXPECT_EQ(delegate.done, 0);
    player.play();
    player.play();
    player.play();
    EXPECT_TRUE(player.currentlyPlaying());
    EXPECT_EQ(player.timesToPlayAfterDone(), 2);
    EXPECT_EQ(hardware->render(4).left[0], 0.5f);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate.done > 0; }, 5.0));
    runMainLoopUntil([] { return false; }, 0.3);
    EXPECT_EQ(delegate.done, 1);
    EXPECT_FALSE(player.currentlyPlaying());

    // Stopping with plays owed ends at once and tells the end.
    player.play();
    player.play();
    player.stopPlaying();
    EXPECT_EQ(delegate.done, 2);
    EXPECT_EQ(player.timesToPlayAfterDone(), 0);
    setPcmFileOpener(nullptr);
}
