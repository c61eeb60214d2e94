#include "tracks/CompositionQTMovie.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <filesystem>

namespace vtl {

CompositionQTMovie::CompositionQTMovie(std::shared_ptr<CompositionMediaEntry> mediaEntry)
    : CompositionBaseMovie(std::move(mediaEntry)) {
    openAsset();
}

void CompositionQTMovie::registerClasses(ArchiveClassRegistry& registry) {
    CompositionBaseMovie::registerClasses(registry);
    registry.registerClass<CompositionQTMovie>("CompositionQTMovie", "CompositionBaseMovie");
}

std::shared_ptr<CompositionQTMovie> CompositionQTMovie::copy() const {
    return std::make_shared<CompositionQTMovie>(mediaEntry());
}

bool CompositionQTMovie::openAsset() {
    const std::string path = mediaEntry() ? mediaEntry()->dataPath() : std::string();
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error)) {
        logMessage("MediaEntry dataPath was nil or the file did not exist: " + path);
        return false;
    }
    // The precise-timing test only decides how much the original framework trusted a file's
    // times; our readers always take the times the file stores, so opening does not wait for it.
    auto asset = MediaAsset::open(path);
    if (!asset) {
        logMessage("The movie " + path + " cannot be opened: " + asset.error());
        return false;
    }
    asset_ = std::move(asset).value();
    return true;
}

bool CompositionQTMovie::loadResources() {
    if (asset_) return true;
    return openAsset();
}

std::uint32_t CompositionQTMovie::numberOfTracks() const {
    return asset_ ? static_cast<std::uint32_t>(asset_->trackCount()) : 0;
}

std::uint32_t CompositionQTMovie::timeScale() const {
    return asset_ ? static_cast<std::uint32_t>(asset_->duration().timeScale) : 0;
}

double CompositionQTMovie::msDurationForAssetTrack(const MediaTrack*) const {
    return asset_ ? asset_->duration().seconds() : 0.0;
}

Size CompositionQTMovie::movieSize() const {
    Size size;
    if (!asset_) return size;
    for (const MediaTrack& track : asset_->tracks()) {
        if (track.type != MediaType::Video) continue;
        size.width = std::max(size.width, static_cast<double>(track.widthPixels));
        size.height = std::max(size.height, static_cast<double>(track.heightPixels));
    }
    return size;
}

double CompositionQTMovie::longestTrackDuration() const {
    if (!asset_) return 0.0;
    double longest = 0.0;
    for (const MediaTrack& track : asset_->tracks()) {
        if (track.type == MediaType::Video) longest = std::max(longest, msDurationForAssetTrack(&track));
    }
    return longest;
}

bool CompositionQTMovie::supportsPreciseTiming() {
    // Not cached before the asset is open: a decoded movie asked early would keep a wrong answer.
    if (!hasCheckedForPreciseTiming_ && asset_) {
        supportsPreciseTiming_ = asset_->supportsPreciseTiming();
        hasCheckedForPreciseTiming_ = true;
    }
    return supportsPreciseTiming_;
}

} // namespace vtl
