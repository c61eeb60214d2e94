#include "tracks/CompositionQTTrack.h"

#include "model/CompositionExtractionQueues.h"
#include "model/CompositionObjectsContainer.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

namespace vtl {

using Track = CompositionQTTrack;

void Track::registerClasses(ArchiveClassRegistry& registry) {
    CompositionTrackObject::registerClasses(registry);
    CompositionQTMovie::registerClasses(registry);
    // Never archived on its own: only its kinds are made from archives.
    registry.registerClass("CompositionQTTrack", "CompositionTrackObject", nullptr);
}

Track::~CompositionQTTrack() = default;

// --- The movie

std::shared_ptr<const MediaAsset> Track::assetMovie() const {
    return movie_ ? movie_->assetMovie() : nullptr;
}

std::shared_ptr<CompositionMediaEntry> Track::mediaEntry() const {
    return movie_ ? movie_->mediaEntry() : nullptr;
}

std::string Track::mediaPathForSerialization() const {
    const auto entry = mediaEntry();
    return entry ? entry->dataPath() : std::string();
}

void Track::setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    setMovie(std::make_shared<CompositionQTMovie>(entry));
    setTrackIndex(trackIndex_);
}

void Track::giveUpMediaEntry() {
    if (movie_ && movie_->mediaEntry())
        movie_->mediaEntry()->sharedManager().removedMediaEntry(movie_->mediaEntry());
}

void Track::setMovie(std::shared_ptr<CompositionQTMovie> movie) {
    if (movie != movie_) {
        giveUpMediaEntry();
        movie_ = std::move(movie);
        if (movie_ && movie_->mediaEntry()) movie_->mediaEntry()->addToUsageCounter(1);
    }
    const double longest = movie_ ? movie_->longestTrackDuration() : 0.0;
    movieEndTime_ = longest;
    endTime_ = longest;
}

// --- The track

void Track::setTrackIndex(std::uint32_t index) {
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    if (!asset || asset->trackCount() == 0) {
        logMessage("The movie has no tracks to show.");
        return;
    }
    if (index >= asset->trackCount()) {
        logMessage("The movie " + asset->path() + " has no track " + std::to_string(index) + ".");
        return;
    }
    CompositionTrackObject::setTrackIndex(index);
    assetTrack_ = *asset->track(index);
    const double length = duration();
    movieEndTime_ = length;
    endTime_ = length;
}

void Track::prepareWithTrackIndex(std::uint32_t index) {
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    if (!asset || index >= asset->trackCount()) return;
    trackIndex_ = index;
    assetTrack_ = *asset->track(index);
}

double Track::duration() const {
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    return asset && assetTrack_ ? asset->duration().seconds() : 0.0;
}

std::uint32_t Track::timeScale() const {
    return assetTrack_ && assetTrack_->timeScale > 0 ? static_cast<std::uint32_t>(assetTrack_->timeScale)
                                                     : 600;
}

std::optional<std::string> Track::underlyingTrackName() const {
    if (!assetTrack_ || assetTrack_->title.empty()) return std::nullopt;
    return assetTrack_->title;
}

bool Track::isVideoTrack() const {
    return assetTrack_ && assetTrack_->type == MediaType::Video;
}

bool Track::loadResources() {
    if (!movie_) return false;
    const double start = startTime_, end = endTime_;
    const double movieStart = movieStartTime_, movieEnd = movieEndTime_;
    if (!movie_->loadResources()) return false;
    // A stored index the file does not have (a replaced or damaged file) leaves the object
    // without a track instead of showing another one.
    if (trackIndex_ >= movie_->numberOfTracks()) {
        logMessage("The movie " + mediaPathForSerialization() + " has no track " +
                   std::to_string(trackIndex_) + ".");
        return false;
    }
    setMovie(movie_);
    setTrackIndex(trackIndex_);
    startTime_ = start;
    endTime_ = end;
    setMovieStartTimeMovieEndTime(movieStart, movieEnd);
    return true;
}

void Track::prepareForDeletion() {
    // By kind, not by the selected track: a movie track whose file is gone has no track but may
    // still wait in the thumbnail queue. A track is only ever in its own kind's queue.
    CompositionExtractionQueues::shared().removeVideoTrack(this);
    CompositionExtractionQueues::shared().removeAudioTrack(this);
    if (currentlyExtractingTrack().get() == this) {
        if (CompositionObjectsContainer* container = compositionObjectsContainer())
            container->resumeExtraction();
        cancelTrackExtraction();
    }
    CompositionTrackObject::prepareForDeletion();
}

void Track::copyValuesInto(CompositionBaseObject& base) const {
    CompositionTrackObject::copyValuesInto(base);
    auto* target = dynamic_cast<CompositionQTTrack*>(&base);
    if (!target) return;
    if (movie_) target->setMovie(movie_->copy());
    target->setTrackIndex(trackIndex_);
    target->setMovieStartTimeMovieEndTime(movieStartTime_, movieEndTime_);
}

// --- Archive

void Track::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionTrackObject::encodeWithCoder(coder);
    if (movie_) coder.encodeObject("movie", ArchivedValue(movie_));
}

void Track::initWithCoder(KeyedUnarchiver& coder) {
    CompositionTrackObject::initWithCoder(coder);
    movie_ = coder.decodeObjectOfClass<CompositionQTMovie>("movie");
}

} // namespace vtl
