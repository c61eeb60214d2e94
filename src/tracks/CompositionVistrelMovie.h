#pragma once
// The movie of a recording track: the recording package of a media entry opened with the package
// reader, a decoder of its own for still images, and the way to the renderer's decode-ahead cache
// for playback and export. Owned by its track. Still images and rendering images may be asked for
// from render threads: the decoder serialises its requests, the reader is read-only once open.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "tracks/CompositionBaseMovie.h"
#include "tracks/reader/DecompressionInfo.h"
#include "tracks/reader/VistrelRecording.h"

#include <memory>
#include <string>

namespace vtl {

class RecordingFrameCacheProvider;

class CompositionVistrelMovie : public CompositionBaseMovie {
public:
    CompositionVistrelMovie() = default;
    explicit CompositionVistrelMovie(std::shared_ptr<CompositionMediaEntry> mediaEntry)
        : CompositionBaseMovie(std::move(mediaEntry)) {}
    ~CompositionVistrelMovie() override;

    std::string archivedClassName() const override { return "CompositionVistrelMovie"; }
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // Opens the package once; answers whether it opened. A decoder for still images comes with it.
    bool loadResources() override;
    // The entry's path changed: the package is opened again from there.
    void reinitializeAfterPathChanged();
    // A movie on the same entry, loaded.
    std::shared_ptr<CompositionVistrelMovie> copy() const;

    const std::shared_ptr<VistrelRecording>& recording() const { return recording_; }
    DecompressionInfo* playbackDecompressionInfo() const { return playbackDecompressionInfo_.get(); }
    double duration() const;
    double longestTrackDuration() const override { return duration(); }
    Size recordingDimensions() const;

    // The next still image decodes from a key frame again.
    void invalidate();
    void prepareForPlayBackAtTime(double mediaSeconds);
    // The frame shown at that media time (B, G, R, X); empty without a package.
    BitmapImage imageAtTime(double mediaSeconds, const std::string& colorSpace = "sRGB") const;
    // The frame from the renderer's decode-ahead cache; empty without a package or a renderer.
    BitmapImage createImageAtTime(double mediaSeconds, RecordingFrameCacheProvider* renderer) const;
    void releaseCachedResources() {}

private:
    void releaseDecoder();

    std::shared_ptr<VistrelRecording> recording_;
    std::unique_ptr<DecompressionInfo> playbackDecompressionInfo_;
};

} // namespace vtl
