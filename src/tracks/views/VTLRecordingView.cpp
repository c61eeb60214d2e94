#include "tracks/views/VTLRecordingView.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/graphics/GraphicsContext.h"
#include "tracks/views/RecordingFrameSource.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace vtl {

// What the decode tasks share with the view: the package's frame source and the display image.
// The view replaces the whole decoder when it opens another package; a task that is still running
// keeps the old one alive until it ends.
struct VTLRecordingView::Decoder {
    explicit Decoder(std::unique_ptr<RecordingFrameSource> s)
        : source(std::move(s))
        , width(source->widthPixels())
        , height(source->heightPixels())
        , duration(source->durationSeconds())
        , framesPerSecond(source->framesPerSecond()) {}

    // Decode queue only: decodes the frame and copies it, scaled to the display size, into the
    // spare image, which then becomes the display image.
    bool decode(std::int64_t index, bool rewind, int targetWidth, int targetHeight) {
        if (cancelled.load()) return false;
        const bool sized = targetWidth > 0 && targetHeight > 0;
        if (sized && (!spare || spare->width() != targetWidth || spare->height() != targetHeight))
            spare = std::make_shared<Bitmap>(targetWidth, targetHeight, Bitmap::AlphaInfo::NoneSkipFirst);
        const bool decoded = source->decodeFrame(index, rewind, [&](const RecordingFrameSource::Pixels& p) {
            if (!sized) return;
            if (p.width == targetWidth && p.height == targetHeight) {
                for (int y = 0; y < p.height; ++y)
                    std::memcpy(spare->data() + std::size_t(y) * spare->bytesPerRow(),
                                p.bgrx + std::size_t(y) * p.bytesPerRow, std::size_t(p.width) * 4);
                return;
            }
            const QImage picture(p.bgrx, p.width, p.height, qsizetype(p.bytesPerRow), QImage::Format_RGB32);
            QImage target(spare->data(), targetWidth, targetHeight, qsizetype(spare->bytesPerRow()),
                          QImage::Format_RGB32);
            QPainter painter(&target);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(QRect(0, 0, targetWidth, targetHeight), picture);
        });
        if (!decoded) return false;
        MutexLock lock(imageAccessMutex);
        if (sized) std::swap(displayImage, spare);
        displayedIndex = index;
        return true;
    }

    std::unique_ptr<RecordingFrameSource> source;
    const int width;
    const int height;
    const double duration;
    const double framesPerSecond;
    std::atomic<bool> cancelled{false};

    Mutex imageAccessMutex;
    std::shared_ptr<Bitmap> displayImage VTL_GUARDED_BY(imageAccessMutex);
    std::int64_t displayedIndex VTL_GUARDED_BY(imageAccessMutex) = -1;
    std::shared_ptr<Bitmap> spare; // the decode queue's own
};

VTLRecordingView::VTLRecordingView(const Rect& frame)
    : View(frame)
    , clock_([] { return monotonicSeconds(); }) {
    stepTimer_.setSingleShot(true);
    stepTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stepTimer_, &QTimer::timeout, this, [this] { showNextFrame(); });
    redoDrawRect();
}

VTLRecordingView::~VTLRecordingView() {
    stepTimer_.stop();
    isPlaying_ = false;
    closeRecording();
}

void VTLRecordingView::setClock(std::function<double()> clock) {
    clock_ = clock ? std::move(clock) : std::function<double()>([] { return monotonicSeconds(); });
    lastTime_ = now();
}

void VTLRecordingView::closeRecording() {
    if (!decoder_) return;
    decoder_->cancelled = true;
    // Wait for a decode in flight, so the reader is not released under it.
    if (dispatchQueue_) dispatchQueue_->sync([] {});
    decoder_.reset();
    decodeInFlight_ = false;
    decodeWaiting_ = false;
}

Status VTLRecordingView::setPath(const std::string& path) {
    setIsPlaying(false);
    closeRecording();
    recordingPath_ = path;
    lastError_.clear();
    lastDrawnIndex_ = -1;
    requestIndex_ = 0;
    rewindRequested_ = true;
    timeToSetIsValid_ = false;
    setObservedValue("currentTime", currentTime_, 0.0);
    auto source = RecordingFrameSource::open(path);
    if (!source) {
        lastError_ = source.error();
        redoDrawRect();
        update();
        return source.asFailure();
    }
    decoder_ = std::make_shared<Decoder>(std::move(source).value());
    if (!dispatchQueue_) dispatchQueue_ = DispatchQueue::createSerial("com.morlune.vistrel3.recordingView");
    redoDrawRect();
    decompressNextFrame();
    update();
    return {};
}

std::shared_ptr<VistrelRecording> VTLRecordingView::recording() const {
    return decoder_ ? decoder_->source->recording() : nullptr;
}

double VTLRecordingView::recordingDuration() const {
    return decoder_ ? decoder_->duration : 0.0;
}

Size VTLRecordingView::recordingSizePixels() const {
    return decoder_ ? Size{double(decoder_->width), double(decoder_->height)} : Size{};
}

std::int64_t VTLRecordingView::displayedFrameIndex() const {
    if (!decoder_) return -1;
    MutexLock lock(decoder_->imageAccessMutex);
    return decoder_->displayedIndex;
}

BitmapRef VTLRecordingView::displayImage() const {
    if (!decoder_) return nullptr;
    MutexLock lock(decoder_->imageAccessMutex);
    if (!decoder_->displayImage) return nullptr;
    return std::make_shared<Bitmap>(*decoder_->displayImage);
}

// Geometry -----------------------------------------------------------------------------------

void VTLRecordingView::setFrame(const Rect& frame) {
    View::setFrame(frame);
    redoDrawRect();
}

void VTLRecordingView::redoDrawRect() {
    const Size before = pictureRect_.size;
    if (!decoder_ || decoder_->width <= 0 || decoder_->height <= 0) {
        pictureRect_ = Rect();
        updateOpaqueness();
        return;
    }
    const double W = frame().width(), H = frame().height();
    const double w = decoder_->width, h = decoder_->height;
    const float s = std::min(static_cast<float>(W / w), static_cast<float>(H / h));
    const double dw = w * s, dh = h * s;
    pictureRect_ = Rect(static_cast<float>((W - dw) / 2), static_cast<float>((H - dh) / 2), dw, dh);
    updateOpaqueness();
    // A new size needs the shown frame copied again at that size (playback does it at its next step).
    const std::int64_t shown = displayedFrameIndex();
    if (pictureRect_.size != before && !isPlaying_ && shown >= 0) {
        requestIndex_ = shown;
        decompressNextFrame();
    }
    update();
}

void VTLRecordingView::updateOpaqueness() {
    // A picture that fills the whole view hides everything behind it: nothing there is painted.
    const QRect picture = qtRectFromRect(pictureRect_, height(), isFlipped());
    const bool opaque = displayedFrameIndex() >= 0 && picture.contains(rect());
    if (testAttribute(Qt::WA_OpaquePaintEvent) != opaque) setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

Size VTLRecordingView::displayPixelSize() const {
    if (pictureRect_.isEmpty()) return Size{0, 0};
    return Size{std::max(1.0, std::round(pictureRect_.width())),
                std::max(1.0, std::round(pictureRect_.height()))};
}

// Drawing ------------------------------------------------------------------------------------

void VTLRecordingView::drawRect(GraphicsContext& context, const Rect&) {
    if (!decoder_) return;
    MutexLock lock(decoder_->imageAccessMutex);
    if (!decoder_->displayImage) return;
    context.drawBitmap(*decoder_->displayImage, pictureRect_, Rect(), BlendMode::SourceOver, 1.0);
    if (decoder_->displayedIndex != lastDrawnIndex_) {
        lastDrawnIndex_ = decoder_->displayedIndex;
        ++drawnFrameCount_;
    }
}

// Decoding -----------------------------------------------------------------------------------

void VTLRecordingView::decompressNextFrame() {
    if (!decoder_ || !inWindow_ || !dispatchQueue_) return;
    if (decodeInFlight_) {
        decodeWaiting_ = true;
        return;
    }
    decodeInFlight_ = true;
    const std::int64_t index = requestIndex_;
    const bool rewind = rewindRequested_;
    rewindRequested_ = false;
    const Size target = displayPixelSize();
    const int targetWidth = static_cast<int>(target.width), targetHeight = static_cast<int>(target.height);
    std::shared_ptr<Decoder> decoder = decoder_;
    QPointer<VTLRecordingView> self(this);
    dispatchQueue_->async([decoder, self, index, rewind, targetWidth, targetHeight] {
        const bool decoded = decoder->decode(index, rewind, targetWidth, targetHeight);
        DispatchQueue::mainQueue()->async([decoder, self, decoded] {
            if (self && self->decoder_ == decoder) self->decodeFinished(decoded);
        });
    });
}

void VTLRecordingView::decodeFinished(bool decoded) {
    decodeInFlight_ = false;
    if (decoded) {
        updateOpaqueness();
        setNeedsDisplayInRect(pictureRect_);
    }
    if (decodeWaiting_) {
        decodeWaiting_ = false;
        decompressNextFrame();
        return;
    }
    if (isPlaying_) scheduleNextStep();
}

// Playback -----------------------------------------------------------------------------------

void VTLRecordingView::scheduleNextStep() {
    if (!decoder_) return;
    const double interval = 1.0 / decoder_->framesPerSecond;
    const double t = now();
    double delay = lastTime_ + interval - t;
    // The last step lands on the end instead of up to a frame past it.
    const double untilEnd = decoder_->duration - (currentTime_ + (t - lastTime_));
    delay = std::min(delay, untilEnd);
    stepTimer_.start(static_cast<int>(std::max(0.0, std::round(delay * 1000))));
}

void VTLRecordingView::showNextFrame() {
    if (!isPlaying_ || !decoder_) return;
    willChangeValueForKey("currentTime");
    const double t = now();
    currentTime_ += t - lastTime_;
    lastTime_ = t;
    if (timeToSetIsValid_) {
        currentTime_ = timeToSet_;
        timeToSetIsValid_ = false;
        rewindRequested_ = true;
    }
    const bool atEnd = currentTime_ >= decoder_->duration;
    if (atEnd) currentTime_ = decoder_->duration;
    const std::int64_t previous = requestIndex_;
    requestIndex_ = decoder_->source->indexOfTime(currentTime_);
    didChangeValueForKey("currentTime");
    if (atEnd) setIsPlaying(false);
    if (requestIndex_ == previous && !rewindRequested_ && !decodeInFlight_) {
        // The same frame is still the one to show: wait for the next step, decode nothing.
        if (isPlaying_) scheduleNextStep();
        return;
    }
    decompressNextFrame();
}

void VTLRecordingView::setIsPlaying(bool playing) {
    if (playing == isPlaying_) return;
    if (playing && !decoder_) return;
    if (playing && currentTime_ >= recordingDuration()) setObservedValue("currentTime", currentTime_, 0.0);
    setObservedValue("isPlaying", isPlaying_, playing);
    if (playing) {
        lastTime_ = now();
        requestIndex_ = decoder_->source->indexOfTime(currentTime_);
        rewindRequested_ = true;
        decompressNextFrame();
    } else {
        stepTimer_.stop();
    }
}

void VTLRecordingView::setCurrentTime(double seconds) {
    double t = std::isfinite(seconds) && seconds > 0 ? seconds : 0.0;
    t = std::min(t, recordingDuration());
    if (isPlaying_) {
        timeToSet_ = t;
        timeToSetIsValid_ = true;
        return;
    }
    setObservedValue("currentTime", currentTime_, t);
    if (!decoder_) return;
    requestIndex_ = decoder_->source->indexOfTime(t);
    rewindRequested_ = true;
    decompressNextFrame();
}

// View life ----------------------------------------------------------------------------------

void VTLRecordingView::viewDidMoveToWindow() {
    inWindow_ = hostWindow() != nullptr;
    if (!inWindow_) {
        setIsPlaying(false);
        return;
    }
    lastTime_ = now();
    redoDrawRect();
    decompressNextFrame();
}

void VTLRecordingView::viewDidMoveToSuperview() {
    if (!parentWidget()) setIsPlaying(false);
}

std::any VTLRecordingView::valueForKey(const std::string& key) const {
    if (key == "currentTime") return currentTime_;
    if (key == "isPlaying") return isPlaying_;
    return View::valueForKey(key);
}

} // namespace vtl
