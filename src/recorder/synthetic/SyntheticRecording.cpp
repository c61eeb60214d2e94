#include "recorder/synthetic/SyntheticRecording.h"

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTLRecorderKeyFrame.h"
#include "recorder/VTLRecorderMoveChangeBlockFrame.h"
#include "recorder/VTLRecorderStopFrame.h"
#include "recorder/VTLRecorderThumbnailFrame.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <thread>

namespace vtl {

Result<SyntheticRecordingSummary> writeSyntheticRecording(const std::string& packagePath,
                                                          const SyntheticRecordingSettings& settings) {
    SyntheticRecordingSummary result;
    std::error_code error;
    // Only the package folder itself is made: a missing parent is a mistake, not a request.
    std::filesystem::create_directory(packagePath, error);
    if (error) return fail("Creating \"" + packagePath + "\" failed: " + error.message() + ".");
    const std::uint32_t fps = std::max<std::uint32_t>(settings.framesPerSecond, 2);
    SyntheticScreenSource source(settings.screen);
    const std::uint64_t width = settings.screen.width;
    const std::uint64_t height = settings.screen.height;
    const Rect area(0, 0, double(width), double(height));

    EncodeQueueSettings queueSettings;
    queueSettings.frameRate = fps;
    queueSettings.areaWidthPixels = double(width);
    queueSettings.areaHeightPixels = double(height);
    queueSettings.screenScaling = settings.screenScaling;
    queueSettings.encodeThreads = settings.encodeThreads;
    queueSettings.sinkFactory = settings.sinkFactory;
    VTL3RecordEndcodeQueue queue(queueSettings);
    if (Status prepared = queue.prepareForRecording(packagePath); !prepared) return prepared.asFailure();
    VTLMallocPool& pool = queue.pool();

    const auto frames = static_cast<std::int64_t>(std::llround(settings.seconds * fps));
    double lastThumbTime = -1e9;
    std::int64_t index = 0;
    for (std::int64_t i = 0; i < frames && !queue.failed(); ++i) {
        const double t = double(i) / fps;
        SyntheticUpdate update = source.nextFrame();
        // Thumbnails as the grabber makes them: every half maximum frame rate, or after a second.
        if (index % (fps / 2) == 0 || t - lastThumbTime > 1.0) {
            VTLRecorderThumbnailFrame thumbnail(update.surface, area, t, index);
            if (thumbnail.processSurface(pool) && queue.encodeThumbnailFrame(thumbnail)) ++result.thumbnails;
            lastThumbTime = t;
        }
        const KeyFrameDecision decision =
            VTLRecorderKeyFrame::surfaceRequiresKeyframe(width, height, update.changedRects, index, fps);
        std::unique_ptr<VTL3RecorderFrame> frame;
        if (decision != KeyFrameDecision::NotNeeded) {
            frame = std::make_unique<VTLRecorderKeyFrame>(update.surface, area, t, index);
            ++result.keyFrames;
        } else {
            frame = std::make_unique<VTLRecorderMoveChangeBlockFrame>(
                update.surface, area, t, index, update.movedRects, update.movedDeltaX, update.movedDeltaY,
                update.changedRects);
        }
        frame->setRecordQuality(settings.recordQuality);
        // The source changes its surface in place, so the copy is made before the next update.
        frame->processSurface(pool);
        queue.addRecorderFrame(std::move(frame));
        ++index;
        // Keep the backlog small instead of dropping frames, so the output is reproducible.
        while (queue.totalQueueCost() > 4.0 && !queue.failed())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(double(frames) / fps, index));
    Status finalized = queue.finalizeRecord();
    if (!finalized) return finalized.asFailure();
    result.durationSeconds = queue.duration();
    result.bytesWritten = queue.bytesWrittenSoFar();
    result.framesWritten = queue.overallFrameCounter();
    return result;
}

} // namespace vtl
