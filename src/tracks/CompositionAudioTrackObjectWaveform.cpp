// The waveform of an audio track: the background run that decodes the track to mono samples and
// keeps one peak per 10 ms, and the peaks' display heights and drawing.

#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/media/PcmReader.h"
#include "tracks/AudioWaveform.h"
#include "tracks/CompositionAudioTrackObject.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace vtl {

using Track = CompositionAudioTrackObject;

namespace {

constexpr std::size_t kFramesPerStep = 512;
constexpr double kProgressStep = 0.05;

} // namespace

// One extraction. The thread shares ownership of the track and of its container, so neither goes
// while it decodes; both are let go on the main thread when the run ends there.
struct CompositionAudioTrackObject::WaveformRun {
    std::shared_ptr<CompositionAudioTrackObject> track;
    std::shared_ptr<CompositionObjectsContainer> container;
    std::unique_ptr<ExtractionScope> scope;
    std::unique_ptr<PcmReader> reader;
    std::int64_t expectedFrames = 0;
    std::thread thread;
    // Written by the thread before it hands the run to the main queue, read there afterwards.
    std::vector<float> peaks;
    bool failed = false;
    bool cancelled = false;
};

void Track::extractWaveFormAndNotify() {
    if (currentlyExtractingTrack() || waveformRun_) return;
    auto self = std::dynamic_pointer_cast<CompositionAudioTrackObject>(shared_from_this());
    const auto nothingToExtract = [&](const std::string& why) {
        logMessage("The waveform of the track cannot be made: " + why);
        waveformExtractionDone_ = true;
        std::weak_ptr<CompositionUndoObject> weakSelf = self;
        DispatchQueue::mainQueue()->async([weakSelf] {
            auto strong = std::dynamic_pointer_cast<CompositionBaseObject>(weakSelf.lock());
            if (strong && strong->compositionObjectsContainer())
                strong->compositionObjectsContainer()->waveformExtractionDone(strong);
        });
    };
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    const MediaTrack* track = assetTrack();
    if (!asset || !track || track->type != MediaType::Audio) {
        nothingToExtract("it has no sound.");
        return;
    }
    PcmFormat format;
    format.sampleRate = waveform::sampleRate;
    format.channelCount = 1;
    format.sampleType = PcmSampleType::Float32;
    format.layout = PcmLayout::Interleaved;
    auto reader = PcmReader::open(asset, trackIndex_, format);
    if (!reader) {
        nothingToExtract(reader.error());
        return;
    }
    auto run = std::make_shared<WaveformRun>();
    run->track = self;
    if (CompositionObjectsContainer* container = compositionObjectsContainer())
        run->container =
            std::dynamic_pointer_cast<CompositionObjectsContainer>(container->weak_from_this().lock());
    run->scope = std::make_unique<ExtractionScope>(self);
    run->reader = std::move(*reader);
    const double seconds = asset->duration().seconds();
    run->expectedFrames = (std::isfinite(seconds) && seconds > 0 ? static_cast<std::int64_t>(seconds) : 0) *
                              waveform::sampleRate +
                          2 * waveform::sampleRate;
    waveformRun_ = run;
    run->thread = std::thread([run]() mutable {
        doExtract(*run);
        // The main thread may be waiting for the run to end (a cancel): hand it over, never wait.
        std::shared_ptr<WaveformRun> handed = std::move(run);
        DispatchQueue::mainQueue()->async([handed] { finishExtraction(handed); });
    });
}

// The extraction thread. Every step of decoding holds the container's extraction lock; while
// playback holds it the run waits in short sleeps, and a cancel is seen at the next step.
void Track::doExtract(WaveformRun& run) VTL_NO_THREAD_SAFETY_ANALYSIS {
    CompositionAudioTrackObject& track = *run.track;
    CompositionObjectsContainer* container = run.container.get();
    waveform::PeakAccumulator peaks;
    peaks.reserve(static_cast<std::size_t>(std::max<std::int64_t>(run.expectedFrames, 0)));
    float buffer[kFramesPerStep];
    double lastPromotedProgress = -1;
    bool warnedAboutLength = false;
    const std::weak_ptr<CompositionUndoObject> weakTrack = run.track;
    while (true) {
        if (!track.extractionOK()) {
            run.cancelled = true;
            break;
        }
        if (container) {
            bool stop = false;
            while (container->extractionInterrupted() || !container->extractionPlayMutex().try_lock()) {
                if (!track.extractionOK()) {
                    stop = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (stop) {
                run.cancelled = true;
                break;
            }
        }
        const double progress = run.expectedFrames > 0 ? static_cast<double>(peaks.frameCount()) /
                                                             static_cast<double>(run.expectedFrames)
                                                       : 0.0;
        if (progress > lastPromotedProgress + kProgressStep) {
            lastPromotedProgress = progress;
            DispatchQueue::mainQueue()->async([weakTrack, progress] {
                auto strong = std::dynamic_pointer_cast<CompositionBaseObject>(weakTrack.lock());
                if (strong && strong->compositionObjectsContainer())
                    strong->compositionObjectsContainer()->takeAudioExtractionProgress(progress);
            });
        }
        Result<std::size_t> got = run.reader->read(buffer, kFramesPerStep);
        if (got && *got > 0) {
            if (!warnedAboutLength &&
                static_cast<std::int64_t>(peaks.frameCount() + *got) > run.expectedFrames) {
                logMessage("more samples than expected!");
                warnedAboutLength = true;
            }
            peaks.add(std::span<const float>(buffer, *got));
        }
        if (container) container->extractionPlayMutex().unlock();
        if (!got) {
            logMessage("The waveform of the track could not be decoded: " + got.error());
            run.failed = true;
            break;
        }
        if (*got == 0) break;
    }
    if (!run.failed && !run.cancelled && track.extractionOK()) run.peaks = peaks.finish();
}

// Main thread: the run ended (decoded, failed or cancelled).
void Track::finishExtraction(const std::shared_ptr<WaveformRun>& run) {
    if (run->thread.joinable()) run->thread.join();
    // Held to the end of this call: the run may hold the last reference.
    const std::shared_ptr<CompositionAudioTrackObject> track = run->track;
    if (run->failed) {
        track->setNumberSamples({}, {}, 0, 0, true);
    } else if (!run->cancelled && track->extractionOK() && !run->peaks.empty()) {
        track->setSamples(std::move(run->peaks));
    }
    track->waveformExtractionDone_ = true;
    if (track->waveformRun_ == run) track->waveformRun_.reset();
    run->reader.reset();
    run->scope.reset();
    const std::shared_ptr<CompositionObjectsContainer> container = std::move(run->container);
    run->track.reset();
    if (CompositionObjectsContainer* owner = track->compositionObjectsContainer())
        owner->waveformExtractionDone(track);
}

void Track::cancelTrackExtraction() {
    cancelExtraction();
}

// --- Peaks and heights

void Track::setSamples(std::vector<float> peaks) {
    originalWaveformExtents_ = std::move(peaks);
    waveformExtents_.assign(originalWaveformExtents_.size(), 0.0f);
    rescaleSamplesWithScale(waveform::defaultScale);
}

void Track::rescaleSamplesWithScale(float scale) {
    if (originalWaveformExtents_.empty()) return;
    waveform::Scaled scaled = waveform::rescale(originalWaveformExtents_, scale);
    waveformExtents_ = std::move(scaled.extents);
    maxWaveExtent_ = scaled.maxExtent;
    minWaveExtent_ = scaled.minExtent;
}

void Track::setAudioScale(float scale) {
    rescaleSamplesWithScale(scale);
    invalidate();
}

void Track::setNumberSamples(std::vector<float> extents, std::vector<float> originalExtents, float maxExtent,
                             float minExtent, bool extractionDone) {
    const std::size_t count = std::min(extents.size(), originalExtents.size());
    extents.resize(count);
    originalExtents.resize(count);
    waveformExtents_ = std::move(extents);
    originalWaveformExtents_ = std::move(originalExtents);
    maxWaveExtent_ = maxExtent;
    minWaveExtent_ = minExtent;
    waveformExtractionDone_ = extractionDone;
}

void Track::setWaveFormInOtherTrack(CompositionAudioTrackObject& other) const {
    other.setNumberSamples(waveformExtents_, originalWaveformExtents_, maxWaveExtent_, minWaveExtent_, true);
}

bool Track::drawPoints(GraphicsContext& context, Size size, double fromSecond, double durationSeconds,
                       double pixelsPerSecond, Point origin) const {
    return waveform::drawBand(context, waveformExtents_, size, fromSecond, durationSeconds, pixelsPerSecond,
                              origin);
}

} // namespace vtl
