#pragma once
// Makes the picture of a video track shown at any time, exactly (the frame whose display interval
// holds the time), as a B, G, R, A image. Requests in increasing order decode forward while the
// target lies before the next key frame, so thumbnails along a movie cost about one sequential
// decode. Thread-safe: calls are serialised; background generation runs on a thread the
// generator owns and stops when it is destroyed.

#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/VideoDecodeOptions.h"
#include "platform/media/VideoFrame.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vtl {

namespace detail {
class VideoDecoder;
class FrameLocator;
} // namespace detail

enum class ImageGenerationStatus { Succeeded, Failed, Cancelled };

struct GeneratedImage {
    MediaTime requestedTime;
    ImageGenerationStatus status = ImageGenerationStatus::Failed;
    VideoFrame frame;  // when Succeeded
    std::string error; // when Failed
};

class MediaImageGenerator {
public:
    static Result<std::unique_ptr<MediaImageGenerator>> create(std::shared_ptr<const MediaAsset> asset,
                                                               std::size_t trackIndex,
                                                               const VideoDecodeOptions& options = {});
    ~MediaImageGenerator();
    MediaImageGenerator(const MediaImageGenerator&) = delete;
    MediaImageGenerator& operator=(const MediaImageGenerator&) = delete;

    // The picture shown at `time`; fails before the first picture and past the end of the last.
    Result<VideoFrame> imageAtTime(MediaTime time) VTL_EXCLUDES(decodeMutex_);

    // Generates the images for the times in order on the generator's thread; the handler runs
    // there once per time (Cancelled for those left when generation is cancelled).
    using Handler = std::function<void(GeneratedImage)>;
    void generateImagesAsynchronously(std::vector<MediaTime> times, Handler handler)
        VTL_EXCLUDES(queueMutex_);
    // Stops background generation at its next image; waits for nothing. Destroying the generator
    // drops what is left without calling the handler.
    void cancelAllImageGeneration() VTL_EXCLUDES(queueMutex_);

    // Decoder work so far (for tests and benchmarks): seeks made and pictures decoded.
    int seekCount() const VTL_EXCLUDES(decodeMutex_);
    int decodeCount() const VTL_EXCLUDES(decodeMutex_);

private:
    MediaImageGenerator() = default;
    void runQueue();

    struct Request {
        MediaTime time;
        std::shared_ptr<Handler> handler;
        std::uint64_t cancelGeneration = 0;
    };

    std::shared_ptr<const MediaAsset> asset_;
    mutable Mutex decodeMutex_;
    std::unique_ptr<detail::VideoDecoder> decoder_ VTL_GUARDED_BY(decodeMutex_);
    std::unique_ptr<detail::FrameLocator> locator_ VTL_GUARDED_BY(decodeMutex_);

    Mutex queueMutex_;
    std::condition_variable_any queueChanged_;
    std::deque<Request> queue_ VTL_GUARDED_BY(queueMutex_);
    bool stopping_ VTL_GUARDED_BY(queueMutex_) = false;
    std::uint64_t cancelGeneration_ VTL_GUARDED_BY(queueMutex_) = 0;
    std::thread worker_;
};

} // namespace vtl
