#include "tracks/CompositionVistrelTrack.h"

#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionRectangularState.h"
#include "model/SharedMediaManager.h"
#include "objects/MouseVisualization.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "tracks/metadata/RecordedMouseData.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

using Track = CompositionVistrelTrack;

CompositionVistrelTrack::MouseVisualizationProvider& provider() {
    static CompositionVistrelTrack::MouseVisualizationProvider installed;
    return installed;
}

constexpr const char* kMouseVisualizationPane = "MouseVisualization.nib";

} // namespace

void Track::setMouseVisualizationProvider(MouseVisualizationProvider provider) {
    ::vtl::provider() = std::move(provider);
}

std::shared_ptr<MouseVisualization> Track::defaultMouseVisualization() {
    if (provider()) {
        if (std::shared_ptr<MouseVisualization> style = provider()()) return style;
    }
    auto style = makeModelObject<MouseVisualization>();
    style->vistrelOwn = true;
    return style;
}

void Track::registerClasses(ArchiveClassRegistry& registry) {
    CompositionTrackObject::registerClasses(registry);
    CompositionVistrelMovie::registerClasses(registry);
    registry.registerClass("CompositionVistrelTrack", "CompositionTrackObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionVistrelTrack>(nullptr));
    });
}

Track::~CompositionVistrelTrack() = default;

std::shared_ptr<CompositionBaseObject>
Track::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionVistrelTrack>(compositionObjectsContainer(), std::move(baseState));
}

// --- The recording

void Track::setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    auto movie = std::make_shared<CompositionVistrelMovie>(entry);
    movie->loadResources();
    setMovie(std::move(movie));
}

std::shared_ptr<CompositionMediaEntry> Track::mediaEntry() const {
    return movie_ ? movie_->mediaEntry() : nullptr;
}

void Track::giveUpMediaEntry() {
    if (movie_ && movie_->mediaEntry())
        movie_->mediaEntry()->sharedManager().removedMediaEntry(movie_->mediaEntry());
}

// One use of the entry per attached movie: attaching counts one up, replacing or deleting one
// down, so a copy (which attaches its own movie) counts exactly once.
void Track::setMovie(std::shared_ptr<CompositionVistrelMovie> movie) {
    if (movie != movie_) {
        giveUpMediaEntry();
        movie_ = std::move(movie);
        if (movie_ && movie_->mediaEntry()) movie_->mediaEntry()->addToUsageCounter(1);
    }
    if (!movie_) return;
    if (!movie_->loadResources()) logMessage("loading movie resources failed");
    const double movieDuration = movie_->duration();
    if (movieEndTime_ == 0) movieEndTime_ = movieDuration;
    if (endTime_ == 0) endTime_ = movieDuration;
    readMetadata();
}

void Track::readMetadata() {
    setSize(movie_->recordingDimensions());
    PreparedMouseMetadata prepared = prepareRecordingMouseMetadata(movie_->recording().get());
    if (prepared.hasRecordedEvents && !mouseVisualizationStyle())
        setMouseVisualization(defaultMouseVisualization());
    TrackMetadata lists;
    lists.mouseLocations = std::move(prepared.locations);
    lists.mouseClicks = std::move(prepared.clicks);
    lists.mouseWheelEvents = std::move(prepared.wheelEvents);
    lists.focusedWindowRects = std::move(prepared.focusRects);
    lists.mouseCursorImages = std::move(prepared.cursorImages);
    const bool hasLocations = !lists.mouseLocations->empty();
    setMetadata(lists);
    if (hasLocations) addPropertyName(kMouseVisualizationPane);
    if (hasTriggeredStates()) {
        const PlistArray clicks = plistArrayOfClicks(*lists.mouseClicks);
        const PlistArray focus = plistArrayOfFocusRects(*lists.focusedWindowRects);
        for (const auto& state : triggeredStates()) {
            auto* event = dynamic_cast<CompositionEventTriggeredState*>(state.get());
            if (!event) continue;
            event->setMouseEvents(clicks);
            event->setFocusEvents(focus);
            event->recacheMouseEnterLeaveEvents();
        }
    }
    recacheMouseEventsToVisualize();
}

bool Track::loadResources() {
    if (!movie_) return false;
    const double start = startTime_, end = endTime_;
    const double movieStart = movieStartTime_, movieEnd = movieEndTime_;
    const bool loaded = movie_->loadResources();
    setMovie(movie_);
    setTrackIndex(trackIndex_);
    startTime_ = start;
    endTime_ = end;
    setMovieStartTimeMovieEndTime(movieStart, movieEnd);
    return loaded;
}

void Track::reinitializeAfterPathChanged() {
    if (movie_) movie_->reinitializeAfterPathChanged();
    CompositionTrackObject::reinitializeAfterPathChanged();
}

void Track::releaseAllCachedResources() {
    if (movie_) movie_->releaseCachedResources();
    CompositionTrackObject::releaseAllCachedResources();
}

void Track::invalidate() {
    if (movie_) movie_->invalidate();
    CompositionTrackObject::invalidate();
}

void Track::prepareForPlayBackAtTime(double globalTime) {
    if (movie_) movie_->prepareForPlayBackAtTime(std::max(0.0, globalTime - startTime()));
}

double Track::duration() const {
    return movie_ ? movie_->longestTrackDuration() : 0.0;
}

Size Track::originalSize() const {
    return movie_ ? movie_->recordingDimensions() : Size();
}

std::shared_ptr<VistrelRecording> Track::underlyingRecording() const {
    return movie_ ? movie_->recording() : nullptr;
}

double Track::recordingContentScale() const {
    const auto recording = underlyingRecording();
    return recording ? recording->recordingContentsScale() : 1.0;
}

std::string Track::mediaPathForSerialization() const {
    const auto recording = underlyingRecording();
    return recording ? recording->path() : std::string();
}

std::shared_ptr<CompositionBaseTriggeredState> Track::newTriggeredState(double start, double end) const {
    return makeModelObject<CompositionEventTriggeredState>(start, end);
}

void Track::setNoneAnimationStateFromTrackMatrix() {
    const Size recording = originalSize();
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return;
    const Size canvas = container->canvasSize();
    // Without both sizes there is nothing to fit; the frame stays as it is.
    if (!(recording.width > 0 && recording.height > 0 && canvas.width > 0 && canvas.height > 0)) return;
    const double factor = std::max(recording.height / canvas.height, recording.width / canvas.width);
    auto* state = dynamic_cast<CompositionRectangularState*>(noneAnimationState().get());
    if (!state || !(factor > 0) || !std::isfinite(factor)) return;
    state->setRect(Rect(0, 0, size().width / factor, size().height / factor));
    invalidate();
}

void Track::setMouseLocations(const TrackMetadata& lists, std::shared_ptr<MouseVisualization> style) {
    setMetadata(lists);
    setMouseVisualization(std::move(style));
    recacheMouseEventsToVisualize();
}

// --- Lifecycle

void Track::awakeAfterUndelete() {
    if (const auto entry = mediaEntry()) entry->addToUsageCounter(1);
    CompositionTrackObject::awakeAfterUndelete();
}

void Track::prepareForDeletion() {
    removeObservers();
    giveUpMediaEntry();
    CompositionTrackObject::prepareForDeletion();
}

void Track::copyValuesInto(CompositionBaseObject& base) const {
    CompositionTrackObject::copyValuesInto(base);
    auto* target = dynamic_cast<CompositionVistrelTrack*>(&base);
    if (!target) return;
    if (movie_) target->setMovie(movie_->copy());
    target->setMouseLocations(metadata(), mouseVisualizationStyle());
    target->setMovieStartTimeMovieEndTime(movieStartTime_, movieEndTime_);
}

// --- Archive

void Track::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionTrackObject::encodeWithCoder(coder);
    if (mouseVisualizationStyle())
        coder.encodeObject("key_mouseVisualization", ArchivedValue(mouseVisualizationStyle()));
    if (movie_) coder.encodeObject("movie", ArchivedValue(movie_));
}

void Track::initWithCoder(KeyedUnarchiver& coder) {
    CompositionTrackObject::initWithCoder(coder);
    setMouseVisualization(coder.decodeObjectOfClass<MouseVisualization>("key_mouseVisualization"));
    movie_ = coder.decodeObjectOfClass<CompositionVistrelMovie>("movie");
}

} // namespace vtl
