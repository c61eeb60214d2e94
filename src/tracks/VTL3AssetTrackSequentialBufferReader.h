#pragma once
// The export's way through a movie track: reads the pictures once, in order, keeping the two most
// recent, and answers each (increasing) time with the nearer of the two. Owned by the movie
// track between beginExport and endExport; used under the track's lock.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/VideoFrame.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace vtl {

class MediaFrameReader;

class VTL3AssetTrackSequentialBufferReader {
public:
    // The next picture, nullopt after the last one.
    using FrameSource = std::function<Result<std::optional<VideoFrame>>()>;

    // A reader of the file's track `trackIndex` with pictures at `size` (zero: the track's own);
    // one that cannot be opened gives no pictures (logged).
    VTL3AssetTrackSequentialBufferReader(std::shared_ptr<const MediaAsset> asset, std::size_t trackIndex,
                                         Size size = Size());
    // Over any source of pictures in display order.
    explicit VTL3AssetTrackSequentialBufferReader(FrameSource source);
    ~VTL3AssetTrackSequentialBufferReader();
    VTL3AssetTrackSequentialBufferReader(const VTL3AssetTrackSequentialBufferReader&) = delete;
    VTL3AssetTrackSequentialBufferReader& operator=(const VTL3AssetTrackSequentialBufferReader&) = delete;

    // Reads the first two pictures.
    void beginReading();
    // The picture nearer to `seconds` of the two around it (ties: the later one); after the last
    // picture, the last one. Null without pictures. Valid until the next call.
    const VideoFrame* copyPixelBufferAtTime(double seconds);
    // The reader stops when it is destroyed.
    void endReading() {}

private:
    std::optional<VideoFrame> next();

    std::unique_ptr<MediaFrameReader> reader_;
    FrameSource source_;
    std::optional<VideoFrame> previous_;
    std::optional<VideoFrame> current_;
};

} // namespace vtl
