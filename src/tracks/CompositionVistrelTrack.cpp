#include "tracks/CompositionVistrelTrack.h"

#include "drawing/GeometryFunctions.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionRectangularState.h"
#include "model/SharedMediaManager.h"
#include "objects/MouseVisualization.h"
#include "objects/ObjectImageRequest.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/imaging/CIImageTools.h"
#include "tracks/CompositionTrackObjectEventZoom.h"
#include "tracks/CompositionTrackObjectMouseImages.h"
#include "tracks/RecordingFrameCacheProvider.h"
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

// --- Drawing

namespace {

std::shared_ptr<CompositionEventTriggeredState> lastTrackEventState(const CompositionVistrelTrack& track,
                                                                    double m) {
    const TriggeredStateList states = track.triggeredStatesAtObjectTime(m);
    if (states.empty()) return nullptr;
    return std::dynamic_pointer_cast<CompositionEventTriggeredState>(states.back());
}

// How far a focus-highlight state is on at m (0 … 1); none once it has faded out after its end.
std::optional<float> focusHighlightStrength(const CompositionEventTriggeredState& state, double m) {
    const double zoomTime = std::isfinite(state.zoomTime()) && state.zoomTime() > 0 ? state.zoomTime() : 0.0;
    const double dEnd = m - state.endTime();
    if (!(dEnd <= zoomTime)) return std::nullopt;
    const double lead = state.startTime() - m;
    double f = 1.0;
    // A zoom time of zero or less switches at once.
    if (lead > 0)
        f = zoomTime > 0 ? 1.0 - lead / zoomTime : 0.0;
    else if (dEnd > 0)
        f = zoomTime > 0 ? 1.0 - dEnd / zoomTime : 0.0;
    if (!std::isfinite(f)) return std::nullopt;
    return std::clamp(float(f), 0.0f, 1.0f);
}

} // namespace

CIImage Track::createImageAtTime(const ObjectImageRequest& request) {
    takeInvalidateCachedVersionNextRun();
    RecordingFrameCacheProvider* frames =
        request.renderer ? request.renderer->recordingFrameCaches() : nullptr;
    if (!movie_ || !frames) return {};
    const double t = request.compositionTime;
    const double m = t - startTime();
    const BitmapImage frame = movie_->createImageAtTime(m, frames);
    if (frame.isEmpty()) return {};
    CIImage image = request.renderer->cachedAndUploadPixelBuffer(frame, *this);
    if (image.isNull() || image.isEmpty()) return {};

    const Size original = originalSize();
    if (const auto state = lastTrackEventState(*this, m); state && state->kind() == 3) {
        const std::optional<float> strength = focusHighlightStrength(*state, m);
        if (!strength) return scaledForRequest(image, request);
        const float f = *strength;
        std::vector<Rect> sources, targets;
        std::vector<float> alphas;
        bool valid = false;
        focusRectAtTime(m, &valid);
        if (valid) {
            if (const auto entries = focusEntriesValidAtTime(m)) {
                const float qx = float(size().width / original.width);
                const float qy = float(size().height / original.height);
                for (const FocusRectEntry& entry : *entries) {
                    float a = 0;
                    Rect r, u;
                    if (!focusedZoomTransformFromEntry(*this, entry, m, state->maximumZoomFactor(), size(),
                                                       &a, &r, &u, state->zoomTime()))
                        continue;
                    const Rect target(u.origin.x / qx, u.origin.y / qy, u.size.width / qx,
                                      u.size.height / qy);
                    if (!std::isfinite(target.origin.x) || !std::isfinite(target.size.width) ||
                        !std::isfinite(target.origin.y) || !std::isfinite(target.size.height))
                        continue;
                    sources.push_back(r);
                    targets.push_back(target);
                    alphas.push_back(a * f);
                }
            }
        }
        image = imageByGeneratingOverlayOfRects(sources, targets, alphas, Color::deviceRGB(0, 0, 0, 1),
                                                0.5 * f, image);
    } else if (state && state->kind() != 1 && state->kind() != 5) {
        if (const std::optional<AffineTransform> zoom =
                eventTransformForTime(*this, m, *state, rectForTime(t))) {
            // The zoomed picture covers the frame's own extent: what the zoom pushes beyond it is
            // cut away after the transform, which also keeps the edge pixels whole.
            const Rect extent = image.extent();
            image = image.imageByApplyingTransform(*zoom).imageByCroppingToRect(extent);
        }
    }
    return scaledForRequest(image, request);
}

CIImage Track::scaledForRequest(const CIImage& image, const ObjectImageRequest& request) {
    if (request.xFactor == 1.0 && request.yFactor == 1.0f) return image;
    return imageScaledBy(image, request.xFactor, request.yFactor);
}

bool Track::isInsideTriggeredStateAnimationAtTime(double m) const {
    const auto state = lastTrackEventState(*this, m);
    return state && state->kind() == 3 && m - state->endTime() <= 0.5;
}

AffineTransform Track::additionalMouseTransformAtTime(double m) const {
    const auto state = lastTrackEventState(*this, m);
    if (!state || state->kind() != 3) return AffineTransform::identity();
    const std::optional<float> strength = focusHighlightStrength(*state, m);
    if (!strength) return AffineTransform::identity();
    bool valid = false;
    const Rect focus = focusRectAtTime(m, &valid);
    if (!valid) return AffineTransform::identity();
    std::optional<std::pair<Rect, Rect>> lifted;
    if (const auto entries = focusEntriesValidAtTime(m)) {
        for (const FocusRectEntry& entry : *entries) {
            float a = 0;
            Rect r, u;
            if (focusedZoomTransformFromEntry(*this, entry, m, state->maximumZoomFactor(), size(), &a, &r, &u,
                                              state->zoomTime()) &&
                a * *strength == 1.0f)
                lifted = std::make_pair(r, u);
        }
    }
    if (!lifted) return AffineTransform::identity();
    bool pointerValid = false;
    const Point pointer = mouseLocationAtTime(m, &pointerValid);
    if (!pointerValid || !focus.containsPoint(pointer)) return AffineTransform::identity();
    const Rect& r = lifted->first;
    const Rect& u = lifted->second;
    const float k = float(u.size.width / r.size.width);
    const Point c{r.origin.x + 0.5 * r.size.width, r.origin.y + 0.5 * r.size.height};
    // p goes to U's centre + k × (p − c).
    AffineTransform transform = scaleAtPointTransform(c, k, k);
    transform.prepend(AffineTransform::translation((0.5 * u.size.width - c.x + u.origin.x) / k,
                                                   (0.5 * u.size.height - c.y + u.origin.y) / k));
    return isFiniteTransform(transform) ? transform : AffineTransform::identity();
}

std::vector<CIImage> Track::additionalImagesInObjectSpaceToDrawAboveImage(const ObjectImageRequest& request,
                                                                          const CIImage& baseImage) {
    std::vector<CIImage> images =
        CompositionTrackObject::additionalImagesInObjectSpaceToDrawAboveImage(request, baseImage);
    const double t = request.compositionTime;
    CIImage cursor = mouseCursorAndEventImageAtTime(*this, t, request.renderer, request.backingScalingFactor);
    if (cursor.isNull()) return images;
    const double m = t - startTime();
    if (isInsideTriggeredStateAnimationAtTime(m))
        cursor = cursor.imageByApplyingTransform(additionalMouseTransformAtTime(m));
    images.push_back(std::move(cursor));
    return images;
}

BitmapImage Track::imageAtTime(double globalTime) const {
    if (!movie_) return BitmapImage();
    return movie_->imageAtTime(globalTime - startTime());
}

std::vector<Track::ThumbTile> Track::thumbTiles(Size size, double pixelsPerSecond, Point origin,
                                                double scrubTime) const {
    std::vector<ThumbTile> tiles;
    const std::shared_ptr<VistrelRecording> recording = underlyingRecording();
    if (!recording) return tiles;
    const Size thumb = recording->thumbSize();
    const float tw = float(thumb.width), th = float(thumb.height);
    if (!(tw > 0 && th > 0) || !(pixelsPerSecond > 0) || !std::isfinite(pixelsPerSecond)) return tiles;
    const double g = std::floor(size.height) / double(th);
    const double w = std::round(double(tw) * g), h = std::round(g * double(th));
    if (!(w >= 1) || !(h >= 1) || !std::isfinite(origin.x) || !std::isfinite(size.width)) return tiles;
    const double k0 = std::floor(origin.x / w);
    const double n = std::ceil(((origin.x - k0 * w) + size.width) / w);
    // A strip wider than any screen is a caller's mistake, not a reason to loop for ever.
    if (!(n >= 0) || n > 100000) return tiles;
    for (double k = k0; k < k0 + n; ++k) {
        const double x = k * w;
        double time = x / pixelsPerSecond;
        if (scrubTime > 0 && x / pixelsPerSecond < scrubTime && scrubTime < (x + w) / pixelsPerSecond)
            time = scrubTime;
        tiles.push_back(ThumbTile{time, Rect(x, origin.y, w, h)});
    }
    return tiles;
}

void Track::drawThumbs(GraphicsContext& context, Size size, double pixelsPerSecond, Point origin,
                       double scrubTime) const {
    const std::shared_ptr<VistrelRecording> recording = underlyingRecording();
    if (!recording) return;
    const Size thumb = recording->thumbSize();
    const int tw = int(thumb.width), th = int(thumb.height);
    context.saveGState();
    for (const ThumbTile& tile : thumbTiles(size, pixelsPerSecond, origin, scrubTime)) {
        const std::span<const std::uint8_t> bytes = recording->thumbnailDataAtTime(tile.time);
        if (bytes.empty() || bytes.size() < std::size_t(tw) * std::size_t(th) * 4) break;
        // B, G, R and an unused byte, top row first.
        Bitmap bitmap(tw, th, Bitmap::AlphaInfo::NoneSkipFirst);
        for (int y = 0; y < th; ++y) {
            const std::uint8_t* from = bytes.data() + std::size_t(y) * std::size_t(tw) * 4;
            std::uint8_t* to = bitmap.data() + std::size_t(y) * bitmap.bytesPerRow();
            for (int x = 0; x < tw; ++x) {
                to[x * 4 + 0] = from[x * 4 + 0];
                to[x * 4 + 1] = from[x * 4 + 1];
                to[x * 4 + 2] = from[x * 4 + 2];
                to[x * 4 + 3] = 255;
            }
        }
        const Rect& r = tile.rect;
        context.drawImage(r, bitmap);
        context.setLineWidth(1.0);
        auto edge = [&context](Point from, Point to, const Color& color) {
            BezierPath line;
            line.moveTo(from);
            line.lineTo(to);
            context.setStrokeColor(color);
            context.stroke(line);
        };
        const Color dark = Color::deviceRGB(0, 0, 0, 0.6), light = Color::deviceRGB(1, 1, 1, 0.6);
        edge(Point{r.minX(), r.minY()}, Point{r.maxX(), r.minY()}, dark);
        edge(Point{r.minX(), r.minY()}, Point{r.minX(), r.maxY()}, dark);
        edge(Point{r.minX(), r.maxY()}, Point{r.maxX(), r.maxY()}, light);
        edge(Point{r.maxX(), r.minY()}, Point{r.maxX(), r.maxY()}, light);
    }
    context.restoreGState();
}

} // namespace vtl
