#pragma once
// The movie of an imported movie or sound file: the media entry's file opened as a media asset,
// from which the file's track objects take their tracks. Owned by one track object (copies get a
// movie of their own on the same entry). Main thread; the asset itself is immutable and shared
// with the readers the tracks make from it.

#include "platform/foundation/Geometry.h"
#include "platform/media/MediaAsset.h"
#include "tracks/CompositionBaseMovie.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vtl {

class CompositionQTMovie : public CompositionBaseMovie {
public:
    // Decoded from an archive: no asset until loadResources.
    CompositionQTMovie() = default;
    // Opens the entry's file at once (a file that cannot be opened is logged; the movie stays
    // without an asset).
    explicit CompositionQTMovie(std::shared_ptr<CompositionMediaEntry> mediaEntry);

    std::string archivedClassName() const override { return "CompositionQTMovie"; }
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // A movie on the same entry with its resources loaded.
    std::shared_ptr<CompositionQTMovie> copy() const;

    // Opens the asset when it is not open yet; false (logged) when the file is missing or unreadable.
    bool loadResources() override;
    const std::shared_ptr<const MediaAsset>& assetMovie() const { return asset_; }

    // Tracks of every media type; 0 without an asset.
    std::uint32_t numberOfTracks() const override;
    // The scale of the asset's duration; 0 without an asset.
    std::uint32_t timeScale() const override;
    // The whole asset's duration in seconds, whichever of its tracks is named.
    double msDurationForAssetTrack(const MediaTrack* track) const;
    // The largest width and, independently, the largest height of the video tracks.
    Size movieSize() const;
    // 0 for a file without pictures, else the asset's duration.
    double longestTrackDuration() const override;
    // Whether the file's times hold to the sample; tested once per movie.
    bool supportsPreciseTiming();

private:
    bool openAsset();

    std::shared_ptr<const MediaAsset> asset_;
    bool supportsPreciseTiming_ = false;
    bool hasCheckedForPreciseTiming_ = false;
};

} // namespace vtl
