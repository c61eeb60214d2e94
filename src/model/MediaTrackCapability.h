#pragma once
// What the container, the triggered states and the extraction queues ask of a track object: a
// timeline object that shows a span of a media file (recordings, imported movies and audio,
// generated speech). The track object implements it and hands it out through
// CompositionBaseObject::asMediaTrack(); other kinds answer null. The answers below are neutral.

#include "platform/foundation/PropertyList.h"

#include <memory>

namespace vtl {

class CompositionBaseObject;

class MediaTrackCapability {
public:
    virtual ~MediaTrackCapability() = default;

    // --- The trim window into the media (seconds of media time). Splitting a track cuts its
    // media here instead of moving keyframes.
    virtual double movieStartTime() const { return 0; }
    virtual double movieEndTime() const { return 0; }
    virtual bool canSetMovieStartTimeTo(double) const { return true; }
    virtual bool canSetMovieEndTimeTo(double) const { return true; }
    virtual void setMovieStartTime(double) {}
    virtual void setMovieEndTime(double) {}

    // --- Neighbours anchored to the track, which move with it (not owned).
    virtual std::shared_ptr<CompositionBaseObject> beforeAnchoredObject() const { return nullptr; }
    virtual std::shared_ptr<CompositionBaseObject> afterAnchoredObject() const { return nullptr; }
    virtual void setBeforeAnchoredObject(const std::shared_ptr<CompositionBaseObject>&) {}
    virtual void setAfterAnchoredObject(const std::shared_ptr<CompositionBaseObject>&) {}

    // --- Recorded events: pointer positions as dictionaries with "time" and "point", ascending
    // by time; the visualized events are recached when a keyframe moves.
    virtual const PlistArray& mouseLocationsArray() const {
        static const PlistArray none;
        return none;
    }
    virtual void recacheMouseEventsToVisualize() {}

    // --- The media file
    virtual void reinitializeAfterPathChanged() {}
    virtual void setIsExporting(bool) {}
    // Timeline thumbnails, made in the background one track at a time.
    virtual bool previewThumbnailsGenerated() const { return true; }
    virtual void generateThumbnails() {}
};

} // namespace vtl
