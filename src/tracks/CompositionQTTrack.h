#pragma once
// A track object backed by one track of an imported movie or sound file: it owns the file's
// movie (one use of the media entry per attached movie) and knows which of the file's tracks it
// shows. The movie track and the audio track objects are its kinds. Held by std::shared_ptr like
// every timeline object. Main thread.

#include "platform/media/MediaTrack.h"
#include "tracks/CompositionQTMovie.h"
#include "tracks/CompositionTrackObject.h"

#include <memory>
#include <optional>
#include <string>

namespace vtl {

class CompositionQTTrack : public CompositionTrackObject {
public:
    using CompositionTrackObject::CompositionTrackObject;
    ~CompositionQTTrack() override;

    std::string className() const override { return "CompositionQTTrack"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    // Keeps the decoded movie; loadResources opens it and selects the track.
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // --- The movie
    const std::shared_ptr<CompositionQTMovie>& qtMovieWrapper() const { return movie_; }
    // Attaches the movie (its entry counts one use more, the previous one's one use less); the
    // end times follow the movie's longest video track.
    void setMovie(std::shared_ptr<CompositionQTMovie> movie);
    std::shared_ptr<const MediaAsset> assetMovie() const;
    // The selected track of the file; null before one is selected.
    const MediaTrack* assetTrack() const { return assetTrack_ ? &*assetTrack_ : nullptr; }
    std::shared_ptr<CompositionMediaEntry> mediaEntry() const override;
    std::string mediaPathForSerialization() const;
    // A new movie on the entry, with the current track index selected again.
    void setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) override;

    // --- The track
    // Selects the file's track `index` (of all its tracks); an index the file does not have is
    // refused and changes nothing.
    void setTrackIndex(std::uint32_t index) override;
    // Selects without any other effect (objects prepared before they join a composition).
    void prepareWithTrackIndex(std::uint32_t index) override;
    double duration() const override;
    std::uint32_t timeScale() const override;
    std::optional<std::string> underlyingTrackName() const override;
    bool isVideoTrack() const override;

    // Opens a decoded object's movie and selects its track, keeping the decoded times; false
    // when the file cannot be opened or lacks the decoded track.
    bool loadResources() override;
    void prepareForDeletion() override;

protected:
    void copyValuesInto(CompositionBaseObject& target) const override;
    // Stops this track's background extraction (thumbnails or waveform) and waits for it to let go.
    virtual void cancelTrackExtraction() { cancelExtraction(); }
    // Hands the media entry's use back to the shared manager.
    void giveUpMediaEntry();

private:
    std::shared_ptr<CompositionQTMovie> movie_;
    std::optional<MediaTrack> assetTrack_;
};

} // namespace vtl
