#pragma once
// What the audio track tests share: sound files made by the ffmpeg tool in the scratch folder,
// a document whose playback the test drives (it posts the container's play notifications and
// keeps a playhead), a fixture that makes audio tracks on the null audio backend, and a movie
// track whose recorded clicks the test sets.

#include "MediaFixtures.h"
#include "document/CompositionDocument.h"
#include "model/CompositionObjectsContainer.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vtl::test {

// A WAV (float samples) of an aevalsrc expression ("|" between channels), made once per process.
inline std::string soundFile(const std::string& name, const std::string& expression, double seconds,
                             int rate = 44100, const std::string& extra = "") {
    const std::string path = scratchFolder() + "/" + name + ".wav";
    if (std::filesystem::exists(path)) return path;
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i 'aevalsrc=" + expression +
                                ":s=" + std::to_string(rate) + ":d=" + std::to_string(seconds) + "' " +
                                extra + " -c:a pcm_f32le '" + path + "'";
    EXPECT_TRUE(runCommand(command)) << command;
    return path;
}

// Playback of a document without a window: the test moves the playhead.
class PlaybackDocument : public CompositionDocument {
public:
    bool isPlaying() const override { return playing; }
    void startPlay() override {
        playing = true;
        ++starts;
        NotificationCenter::defaultCenter().post("didStartPlay", objectsContainer().get(),
                                                 {{"currentTime", playhead}});
    }
    void stopPlay() override {
        playing = false;
        ++stops;
        NotificationCenter::defaultCenter().post("didStopPlay", objectsContainer().get());
    }
    std::optional<double> currentTime() const override {
        return keepsPlayhead ? std::optional<double>(playhead) : std::nullopt;
    }

    // Off: the document has no playhead of its own and the tracks count from the start of playback.
    bool keepsPlayhead = true;
    bool playing = false;
    double playhead = 0;
    int starts = 0;
    int stops = 0;
};

inline bool waitOnMainLoopFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        runMainLoopOnce(0.005);
    }
    return true;
}

class AudioTrackFixture : public ::testing::Test {
protected:
    AudioTrackFixture()
        : media_(std::filesystem::path(scratchFolder()) / "audio-track-media") {
        CompositionAudioTrackObject::registerClasses();
    }
    ~AudioTrackFixture() override {
        for (const auto& made : tracks_)
            made->cancelTrackExtraction();
        waitOnMainLoopFor([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 10);
    }

    std::shared_ptr<CompositionMediaEntry> entry(const std::string& path) {
        return media_.entryForResourceWithFileSystemPath(path, &document_,
                                                         SharedMediaManager::ResourceCopy::None);
    }
    // A track of the file on the timeline (its own track of the container).
    std::shared_ptr<CompositionAudioTrackObject> audioTrack(const std::string& path, bool onTimeline = true) {
        auto made = makeModelObject<CompositionAudioTrackObject>(container());
        made->setMediaEntry(entry(path));
        made->setTrackIndex(0);
        if (onTimeline) container()->addObject(made);
        tracks_.push_back(made);
        return made;
    }
    // One second of a 440 Hz tone at half scale per second asked for.
    std::string tone(double seconds = 3.0) {
        return soundFile("tone-" + std::to_string(seconds), "0.5*sin(2*PI*440*t)", seconds);
    }
    CompositionObjectsContainer* container() { return document_.objectsContainer().get(); }
    void play(double at) {
        document_.playhead = at;
        document_.startPlay();
    }

    PlaybackDocument document_;
    SharedMediaManager media_;
    std::vector<std::shared_ptr<CompositionAudioTrackObject>> tracks_;
};

// A movie track whose recorded clicks the test sets.
class ClickTrack : public CompositionMovieTrackObject {
public:
    using CompositionMovieTrackObject::CompositionMovieTrackObject;
    void setClicks(const std::vector<double>& times) {
        std::vector<MouseClickEntry> clicks;
        for (double time : times)
            clicks.push_back(MouseClickEntry{time, {10, 10}, 1, 1, 1, 0});
        TrackMetadata lists;
        lists.mouseClicks = makeMetadataSnapshot(std::move(clicks));
        setMetadata(std::move(lists));
    }
};

} // namespace vtl::test
