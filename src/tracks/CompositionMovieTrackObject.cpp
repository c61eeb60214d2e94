#include "tracks/CompositionMovieTrackObject.h"

#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionRectangularState.h"
#include "model/CompositionTrackState.h"
#include "model/SharedMediaManager.h"
#include "objects/MouseVisualization.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIImage.h"
#include "tracks/CompositionMovieTrackObjectPlaybackContext.h"
#include "tracks/MovieFrameRenderer.h"
#include "tracks/VTL3AssetTrackSequentialBufferReader.h"

#include <algorithm>
#include <cmath>

namespace vtl {

using Track = CompositionMovieTrackObject;

namespace {

constexpr const char* kMovieImageCachePath = "image";
constexpr const char* kMovieExportImageCachePath = "exportImage";
// Scrubbing seeks only when the player stands further than this from the time.
constexpr double kScrubSeekThresholdSeconds = 0.01;

// A size a decoder can produce as whole pixels; zero otherwise.
Size decodableSize(Size size) {
    if (!(size.width >= 1) || !(size.height >= 1) || size.width > 16384 || size.height > 16384) return Size();
    return Size{std::floor(size.width), std::floor(size.height)};
}

VideoDecodeOptions decodeOptionsForSize(Size size) {
    VideoDecodeOptions options;
    const Size whole = decodableSize(size);
    options.outputWidthPixels = static_cast<int>(whole.width);
    options.outputHeightPixels = static_cast<int>(whole.height);
    return options;
}

std::int64_t movieCacheKey(const MediaTime& time, double xFactor, double yFactor) {
    const double key = std::floor(static_cast<double>(time.value) * 100.0 * xFactor * yFactor);
    if (!std::isfinite(key) || std::fabs(key) > 9.0e18) return 0;
    return static_cast<std::int64_t>(key);
}

} // namespace

// One thumbnail run. Its fields are touched only on the generator's thread until the run hands
// them to the main thread; `scope` keeps the track alive and marked as the extracting track until
// the main thread ends the run.
struct CompositionMovieTrackObject::ThumbnailRun {
    std::weak_ptr<CompositionUndoObject> self;
    const CompositionMovieTrackObject* track = nullptr; // alive while `scope` is
    std::unique_ptr<ExtractionScope> scope;
    std::size_t requested = 0;
    std::size_t copiesPerImage = 1;
    std::size_t handled = 0;
    bool stopped = false;
    ThumbnailList images;
};

void Track::registerClasses(ArchiveClassRegistry& registry) {
    CompositionQTTrack::registerClasses(registry);
    registry.registerClass("CompositionMovieTrackObject", "CompositionQTTrack", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionMovieTrackObject>(nullptr));
    });
}

Track::CompositionMovieTrackObject(CompositionObjectsContainer* container)
    : CompositionQTTrack(container) {
    movieStartTime_ = 0;
    startTime_ = 0;
}

Track::CompositionMovieTrackObject(CompositionObjectsContainer* container,
                                   std::shared_ptr<CompositionBaseState> baseState)
    : CompositionQTTrack(container, std::move(baseState)) {}

Track::~CompositionMovieTrackObject() {
    stopObservingThumbnails();
    // Joins the generator's thread; its handler only posts to the main queue, so it never waits
    // for this thread.
    imageGenerator_.reset();
}

void Track::didConstruct() {
    CompositionQTTrack::didConstruct();
    setAudiblizesMouseClicks(true);
    observeThumbnailsOfOriginal();
}

std::shared_ptr<CompositionBaseState> Track::newStateOfStateClass() {
    return makeModelObject<CompositionMovieTrackState>(this);
}

std::shared_ptr<CompositionBaseTriggeredState> Track::newTriggeredState(double start, double end) const {
    return makeModelObject<CompositionEventTriggeredState>(start, end);
}

std::shared_ptr<CompositionBaseObject>
Track::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionMovieTrackObject>(compositionObjectsContainer(), std::move(baseState));
}

// --- Track and picture

void Track::setTrackIndex(std::uint32_t index) {
    {
        MutexLock lock(frameMutex_);
        stillGenerator_.reset();
    }
    CompositionQTTrack::setTrackIndex(index);
    const MediaTrack* track = assetTrack();
    if (track)
        setSize(Size{static_cast<double>(track->widthPixels), static_cast<double>(track->heightPixels)});
    if (auto* state = dynamic_cast<CompositionRectangularState*>(noneAnimationState().get())) {
        if (state->rect().width() <= 0 || state->rect().height() <= 0) setNoneAnimationStateFromTrackMatrix();
    }
    // Movie files carry no pointer metadata that this system writes: the lists stay empty, and
    // triggered states follow the (empty) events like those of any track.
    setMetadata({});
    if (hasTriggeredStates()) {
        for (const auto& state : triggeredStates()) {
            auto* event = dynamic_cast<CompositionEventTriggeredState*>(state.get());
            if (!event) continue;
            event->setMouseEvents({});
            event->setFocusEvents({});
            event->recacheMouseEnterLeaveEvents();
        }
    }
    recacheMouseEventsToVisualize();
    invalidate();
    isInitialRead_ = false;
}

Size Track::originalSize() const {
    return hasOverrideSize_ ? overrideSize_ : size();
}

void Track::setOverrideSize(Size size) {
    overrideSize_ = size;
    hasOverrideSize_ = true;
    const double start = startTime_, end = endTime_;
    const double movieStart = movieStartTime_, movieEnd = movieEndTime_;
    setTrackIndex(trackIndex_);
    setNoneAnimationStateFromTrackMatrix();
    startTime_ = start;
    endTime_ = end;
    setMovieStartTimeMovieEndTime(movieStart, movieEnd);
}

void Track::setNoneAnimationStateOriginalSize() {
    auto* state = dynamic_cast<CompositionRectangularState*>(noneAnimationState().get());
    if (!state || !qtMovieWrapper()) return;
    const Size movie = qtMovieWrapper()->movieSize();
    state->setRect(Rect(0, 0, movie.width, movie.height));
}

void Track::setNoneAnimationStateFromTrackMatrix() {
    const Size picture =
        hasOverrideSize_ ? overrideSize_ : (qtMovieWrapper() ? qtMovieWrapper()->movieSize() : Size());
    CompositionObjectsContainer* container = compositionObjectsContainer();
    auto* state = dynamic_cast<CompositionRectangularState*>(noneAnimationState().get());
    if (!container || !state) return;
    const Size canvas = container->canvasSize();
    // Without both sizes there is nothing to fit; the frame stays as it is.
    if (!(picture.width > 0 && picture.height > 0 && canvas.width > 0 && canvas.height > 0)) return;
    const double factor = std::max(picture.width / canvas.width, picture.height / canvas.height);
    if (!(factor > 0) || !std::isfinite(factor)) return;
    const Size fitted{picture.width / factor, picture.height / factor};
    const float originX = static_cast<float>((canvas.width - fitted.width) * 0.5);
    const float originY = static_cast<float>((canvas.height - fitted.height) * 0.5);
    state->setRect(Rect(originX, originY, fitted.width, fitted.height));
}

// --- Frames

std::shared_ptr<MediaImageGenerator> Track::stillImageGenerator() const {
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    if (!asset || !assetTrack()) return nullptr;
    const Size size = decodableSize(originalSize());
    if (stillGenerator_ && stillGeneratorTrack_ == trackIndex_ && stillGeneratorSize_ == size)
        return stillGenerator_;
    stillGenerator_.reset();
    auto generator = MediaImageGenerator::create(asset, trackIndex_, decodeOptionsForSize(size));
    if (!generator) {
        logMessage("The movie track's pictures cannot be decoded: " + generator.error());
        return nullptr;
    }
    stillGenerator_ = std::move(generator).value();
    stillGeneratorTrack_ = trackIndex_;
    stillGeneratorSize_ = size;
    return stillGenerator_;
}

BitmapImage Track::imageAtTime(double mediaSeconds) const {
    MutexLock lock(frameMutex_);
    std::shared_ptr<MediaImageGenerator> generator = stillImageGenerator();
    if (!generator) return BitmapImage();
    const MediaTime time = MediaTime::fromSeconds(mediaSeconds, MediaTime::defaultTimeScale);
    if (!time.isValid()) return BitmapImage();
    auto frame = generator->imageAtTime(time);
    return frame ? frame->image : BitmapImage();
}

MovieTrackFrame Track::createImageAtTime(double time, MovieFrameUse use, MovieFrameRenderer& renderer,
                                         double xFactor, double yFactor) {
    MutexLock lock(frameMutex_);
    MovieTrackFrame result;
    result.xScale = xFactor;
    result.yScale = yFactor;
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    if (!asset || !assetTrack()) return result;

    CompositionMovieTrackObjectPlaybackContext* context = renderer.movieContextForObject(*this);
    if (!context) {
        renderer.setMovieContext(std::make_unique<CompositionMovieTrackObjectPlaybackContext>(
                                     asset, trackIndex_, decodableSize(originalSize())),
                                 *this);
        context = renderer.movieContextForObject(*this);
        if (!context) return result;
    }
    const double stamp = timePlayersNeedToBePreparedFor_.load();
    if (context->playerPlaying() && context->preparedForTime() != stamp) {
        if (context->player()) context->player()->pause();
        context->setPlayerPlaying(false);
        context->setPreparedForTime(stamp);
    }

    const double mediaSeconds = time - startTime();
    PlaybackContext* player = context->player();
    const std::int32_t scale =
        std::max<std::int32_t>(MediaTime::defaultTimeScale, player ? player->currentTime().timeScale : 0);
    const MediaTime mediaTime = MediaTime::fromSeconds(mediaSeconds, scale);
    if (!mediaTime.isValid()) return result;
    const std::int64_t key = movieCacheKey(mediaTime, xFactor, yFactor);
    const std::string cachePath =
        use == MovieFrameUse::Export ? kMovieExportImageCachePath : kMovieImageCachePath;

    if (!takeInvalidateCachedVersionNextRun()) {
        std::optional<CachedMovieImage> cached = renderer.cachedMovieImage(*this, cachePath);
        if (cached && cached->key == key && !cached->image.isEmpty()) {
            result.image = cached->image;
            return result;
        }
    }

    if (use == MovieFrameUse::Export) {
        if (context->playerPlaying()) {
            if (player) player->pause();
            context->setPlayerPlaying(false);
        }
        if (sequentialExportReader_) {
            if (const VideoFrame* frame = sequentialExportReader_->copyPixelBufferAtTime(mediaSeconds)) {
                result.image = frame->image;
                return result;
            }
        }
    } else if (player) {
        if (use == MovieFrameUse::Playback) {
            if (!context->playerPlaying()) {
                player->play(mediaTime);
                context->setPlayerPlaying(true);
                context->setPlayerPositioned();
            }
        } else if (context->playerPlaying() || !context->playerPositioned() ||
                   std::fabs(mediaTime.seconds() - player->currentTime().seconds()) >
                       kScrubSeekThresholdSeconds) {
            // The seek's end is heard on the main queue, where the track asks to be drawn again.
            std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
            player->pause();
            player->seek(mediaTime, [weakSelf] {
                if (auto self = weakSelf.lock())
                    static_cast<CompositionMovieTrackObject&>(*self).invalidate();
            });
            context->setPlayerPlaying(false);
            context->setPlayerPositioned();
        }
    }

    if (player) {
        if (std::optional<VideoFrame> frame = player->frameForTime(mediaTime)) {
            const MediaTime shown = frame->time.convertedToScale(scale, MediaTime::Rounding::Down);
            renderer.setCachedMovieImage(frame->image, *this, cachePath,
                                         movieCacheKey(shown, xFactor, yFactor));
            result.image = std::move(frame->image);
            return result;
        }
    }

    // The player has no picture yet: the last one drawn, else the exact still image.
    if (std::optional<CachedMovieImage> cached = renderer.cachedMovieImage(*this, cachePath);
        cached && !cached->image.isEmpty()) {
        result.image = cached->image;
        return result;
    }
    if (std::shared_ptr<MediaImageGenerator> generator = stillImageGenerator()) {
        if (auto frame = generator->imageAtTime(mediaTime)) {
            renderer.setCachedMovieImage(frame->image, *this, cachePath, key);
            result.image = std::move(frame->image);
        }
    }
    return result;
}

CIImage Track::createImageAtTime(const ObjectImageRequest& request) {
    ObjectRendererResources* resources = request.renderer;
    MovieFrameRenderer* frames = resources ? resources->movieFrameRenderer() : nullptr;
    if (!frames) return {};
    const MovieFrameUse use = request.forExport()     ? MovieFrameUse::Export
                              : request.forPlayback() ? MovieFrameUse::Playback
                                                      : MovieFrameUse::Scrubbing;
    MovieTrackFrame frame =
        createImageAtTime(request.compositionTime, use, *frames, request.xFactor, double(request.yFactor));
    if (frame.image.isEmpty()) return {};
    const CIImage picture = resources->cachedAndUploadPixelBuffer(frame.image, *this);
    if (picture.isNull() || picture.isEmpty()) return {};
    if (frame.xScale == 1.0 && frame.yScale == 1.0) return picture;
    return imageScaledBy(picture, frame.xScale, float(frame.yScale));
}

void Track::beginExport() {
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    MutexLock lock(frameMutex_);
    sequentialExportReader_.reset();
    if (!asset || !assetTrack()) return;
    sequentialExportReader_ = std::make_unique<VTL3AssetTrackSequentialBufferReader>(
        asset, trackIndex_, decodableSize(originalSize()));
    sequentialExportReader_->beginReading();
}

void Track::endExport() {
    MutexLock lock(frameMutex_);
    if (sequentialExportReader_) sequentialExportReader_->endReading();
    sequentialExportReader_.reset();
}

void Track::prepareForPlayBackAtTime(double globalTime) {
    const double stored = timePlayersNeedToBePreparedFor_.load();
    timePlayersNeedToBePreparedFor_.store(stored == globalTime ? -globalTime : globalTime);
}

// --- Thumbnails

bool Track::previewThumbnailsGenerated() const {
    return previewThumbnailsGenerated_.load();
}

void Track::setPreviewThumbnailsGenerated(bool generated) {
    previewThumbnailsGenerated_.store(generated);
}

std::shared_ptr<const Track::ThumbnailList> Track::previewThumbnails() const {
    MutexLock lock(thumbnailsMutex_);
    return previewThumbnails_;
}

Size Track::currentBitmapImageSize() const {
    MutexLock lock(thumbnailsMutex_);
    return thumbSize_;
}

void Track::setPreviewThumbnails(ThumbnailList thumbnails) {
    {
        MutexLock lock(thumbnailsMutex_);
        for (const BitmapImage& image : thumbnails) {
            if (image.isEmpty()) continue;
            thumbSize_ = Size{static_cast<double>(image.width()), static_cast<double>(image.height())};
            break;
        }
        previewThumbnails_ = std::make_shared<const ThumbnailList>(std::move(thumbnails));
    }
    previewThumbnailsGenerated_.store(true);
    auto self = std::dynamic_pointer_cast<CompositionBaseObject>(shared_from_this());
    NotificationCenter::defaultCenter().post(kThumbnailsPartiallyGeneratedNotification,
                                             compositionObjectsContainer(), {{kExtractedTrackKey, self}});
}

void Track::observeThumbnailsOfOriginal() {
    if (thumbnailObserver_) return;
    thumbnailObserver_ = NotificationCenter::defaultCenter().addObserver(
        kThumbnailsPartiallyGeneratedNotification, nullptr, [this](const Notification& notification) {
            auto found = notification.userInfo.find(kExtractedTrackKey);
            if (found == notification.userInfo.end()) return;
            const auto* other = std::any_cast<std::shared_ptr<CompositionBaseObject>>(&found->second);
            auto* movie = other ? dynamic_cast<CompositionMovieTrackObject*>(other->get()) : nullptr;
            if (!movie || movie == this || originalObjectUniqueID().empty() ||
                movie->uniqueID() != originalObjectUniqueID())
                return;
            std::shared_ptr<const ThumbnailList> thumbnails = movie->previewThumbnails();
            if (thumbnails) setPreviewThumbnails(*thumbnails);
        });
}

void Track::stopObservingThumbnails() {
    if (thumbnailObserver_) NotificationCenter::defaultCenter().removeObserver(*thumbnailObserver_);
    thumbnailObserver_.reset();
}

BitmapImage Track::thumbAtTime(double seconds, std::size_t* index) const {
    const std::size_t at = thumbIndexAtTime(seconds);
    if (index) *index = at;
    return thumbAtMovieIndex(at);
}

BitmapImage Track::thumbAtMovieIndex(std::size_t index) const {
    std::shared_ptr<const ThumbnailList> thumbnails = previewThumbnails();
    if (!thumbnails || index >= thumbnails->size()) return BitmapImage();
    return (*thumbnails)[index];
}

std::vector<ThumbnailPlacement> Track::thumbPlacements(Size size, double fromSecond, double pixelsPerSecond,
                                                       Point origin, double scrubTime) const {
    std::shared_ptr<const ThumbnailList> thumbnails = previewThumbnails();
    if (!thumbnails || thumbnails->empty()) return {};
    // The first thumbnail gives the size; slots of failed pictures are empty.
    Size first;
    for (const BitmapImage& image : *thumbnails) {
        if (image.isEmpty()) continue;
        first = Size{static_cast<double>(image.width()), static_cast<double>(image.height())};
        break;
    }
    return thumbnailPlacements(size, fromSecond, pixelsPerSecond, origin, scrubTime, first,
                               thumbnails->size());
}

void Track::generateThumbnails() {
    // A cancelled (deleted) track starts nothing: its run would stop at once and be asked again.
    if (previewThumbnailsGenerated() || currentlyExtractingTrack() || !extractionOK()) return;
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    const MediaTrack* track = assetTrack();
    const ThumbnailSchedule schedule = thumbnailSchedule(duration());
    const ThumbnailSize size =
        track ? thumbnailSizeForPicture(track->widthPixels, track->heightPixels) : ThumbnailSize{};
    std::unique_ptr<MediaImageGenerator> generator;
    if (asset && track && track->type == MediaType::Video && size.width > 0 && !schedule.times.empty()) {
        VideoDecodeOptions options;
        options.outputWidthPixels = size.width;
        options.outputHeightPixels = size.height;
        auto made = MediaImageGenerator::create(asset, trackIndex_, options);
        if (made)
            generator = std::move(made).value();
        else
            logMessage("Thumbnails of the movie track cannot be made: " + made.error());
    }
    auto self = std::dynamic_pointer_cast<CompositionTrackObject>(shared_from_this());
    if (!generator) {
        // Nothing to make: the track counts as done so that the queue moves on.
        setPreviewThumbnails({});
        std::weak_ptr<CompositionUndoObject> weakSelf = self;
        DispatchQueue::mainQueue()->async([weakSelf] {
            auto strong = std::dynamic_pointer_cast<CompositionBaseObject>(weakSelf.lock());
            if (!strong || !strong->compositionObjectsContainer()) return;
            strong->compositionObjectsContainer()->thumbnailGenerationDone(strong);
        });
        return;
    }
    {
        MutexLock lock(thumbnailsMutex_);
        thumbSize_ = Size{static_cast<double>(size.width), static_cast<double>(size.height)};
    }
    auto run = std::make_shared<ThumbnailRun>();
    run->self = self;
    run->track = this;
    run->scope = std::make_unique<ExtractionScope>(self);
    run->requested = schedule.times.size();
    run->copiesPerImage = schedule.copiesPerImage;
    run->images.reserve(schedule.times.size() * schedule.copiesPerImage);
    thumbnailRun_ = run;
    imageGenerator_ = std::move(generator);
    imageGenerator_->generateImagesAsynchronously(
        schedule.times, [run](GeneratedImage image) { handleGeneratedThumbnail(run, std::move(image)); });
}

// On the generator's thread. Hands everything to the main thread without waiting for it: the
// main thread may be destroying the generator, which waits for this thread.
void Track::handleGeneratedThumbnail(const std::shared_ptr<ThumbnailRun>& run, GeneratedImage image) {
    if (run->stopped) return;
    const auto finish = [run] {
        run->stopped = true;
        DispatchQueue::mainQueue()->async([run] {
            auto self = std::dynamic_pointer_cast<CompositionMovieTrackObject>(run->self.lock());
            if (self) self->thumbExtractionDone(run);
        });
    };
    if (image.status == ImageGenerationStatus::Cancelled || !run->track->extractionOK()) {
        run->images.clear();
        finish();
        return;
    }
    // A picture that cannot be made keeps its slots empty, so thumbnail i still shows i ÷ 3 s.
    const BitmapImage picture =
        image.status == ImageGenerationStatus::Succeeded ? image.frame.image : BitmapImage();
    for (std::size_t copy = 0; copy < run->copiesPerImage; ++copy)
        run->images.push_back(picture);
    const std::size_t before = run->handled++;
    if (run->handled == run->requested) {
        finish();
        return;
    }
    if (before % 10 == 0) {
        const double progress = static_cast<double>(run->handled) / static_cast<double>(run->requested);
        DispatchQueue::mainQueue()->async([run, progress] {
            auto self = std::dynamic_pointer_cast<CompositionMovieTrackObject>(run->self.lock());
            if (!self || !self->extractionOK() || !self->compositionObjectsContainer()) return;
            self->compositionObjectsContainer()->takeVideoExtractionProgress(progress);
        });
    }
    if (before % 40 == 0) {
        DispatchQueue::mainQueue()->async([run, partial = run->images] {
            auto self = std::dynamic_pointer_cast<CompositionMovieTrackObject>(run->self.lock());
            if (!self || !self->extractionOK() || self->thumbnailRun_ != run) return;
            self->setPreviewThumbnails(partial);
        });
    }
}

// Main thread: the run ended (every picture handled, or stopped).
void Track::thumbExtractionDone(const std::shared_ptr<ThumbnailRun>& run) {
    // Held until the end of this call: ending the run may let go of the last other owner.
    auto self = std::dynamic_pointer_cast<CompositionBaseObject>(shared_from_this());
    if (thumbnailRun_ != run) {
        run->scope.reset();
        return;
    }
    if (!run->images.empty()) setPreviewThumbnails(std::move(run->images));
    run->images.clear();
    // Closing the decoder joins its threads: done off the main thread, which must not stall.
    std::shared_ptr<MediaImageGenerator> finished(std::move(imageGenerator_));
    DispatchQueue::globalQueue()->async([finished = std::move(finished)]() mutable { finished.reset(); });
    thumbnailRun_.reset();
    run->scope.reset();
    if (CompositionObjectsContainer* container = compositionObjectsContainer())
        container->thumbnailGenerationDone(self);
}

void Track::cancelTrackExtraction() {
    if (imageGenerator_) imageGenerator_->cancelAllImageGeneration();
    cancelExtraction();
}

// --- Lifecycle

void Track::prepareForDeletion() {
    stopObservingThumbnails();
    giveUpMediaEntry();
    CompositionQTTrack::prepareForDeletion();
}

void Track::awakeAfterUndelete() {
    allowExtraction();
    if (const auto entry = mediaEntry()) entry->addToUsageCounter(1);
    CompositionQTTrack::awakeAfterUndelete();
}

void Track::copyValuesInto(CompositionBaseObject& base) const {
    CompositionQTTrack::copyValuesInto(base);
    auto* target = dynamic_cast<CompositionMovieTrackObject*>(&base);
    if (!target) return;
    target->setMetadata(metadata());
    target->setMouseVisualization(mouseVisualizationStyle());
    target->recacheMouseEventsToVisualize();
    target->setMovieStartTimeMovieEndTime(movieStartTime_, movieEndTime_);
    if (hasOverrideSize_) {
        target->hasOverrideSize_ = true;
        target->overrideSize_ = overrideSize_;
    }
    if (previewThumbnailsGenerated()) {
        if (std::shared_ptr<const ThumbnailList> thumbnails = previewThumbnails())
            target->setPreviewThumbnails(*thumbnails);
        target->stopObservingThumbnails();
    }
    target->setAudiblizesMouseClicks(audiblizesMouseClicks());
}

} // namespace vtl
