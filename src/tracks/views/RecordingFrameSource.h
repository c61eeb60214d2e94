#pragma once
// The recording view's one way into a recording package: opening it, its size, duration and frame
// rate, the frame shown at a time, and decoding a frame into pixels the view copies at once.
// Everything the view knows of the package reader is here, so that a change of the reader touches
// only this file. Owned by the view's decoder; after open, used from one thread at a time.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class VistrelRecording;
class DecompressionInfo;

class RecordingFrameSource {
public:
    // Opens the package and its frame data, ready to decode from the first frame.
    static Result<std::unique_ptr<RecordingFrameSource>> open(const std::string& path);
    // Releases the decoding state before the reader.
    ~RecordingFrameSource();
    RecordingFrameSource(const RecordingFrameSource&) = delete;
    RecordingFrameSource& operator=(const RecordingFrameSource&) = delete;

    const std::shared_ptr<VistrelRecording>& recording() const { return recording_; }
    int widthPixels() const { return width_; }
    int heightPixels() const { return height_; }
    double durationSeconds() const { return duration_; }
    // Frames per second the recording was made at (what playback is paced to).
    double framesPerSecond() const { return framesPerSecond_; }
    // The frame shown at a time; times past the end give the last frame.
    std::int64_t indexOfTime(double seconds) const;

    // Pixels of a decoded frame: B, G, R, X bytes, rows top to bottom.
    struct Pixels {
        const std::uint8_t* bgrx = nullptr;
        int width = 0;
        int height = 0;
        std::size_t bytesPerRow = 0;
    };
    // Decodes the frame (from the key frame before it when `rewind` is set, else forward from the
    // last one where that is shorter) and hands its pixels to `use` while they are held still.
    // Answers false, with the reason in lastError(), when nothing could be decoded.
    bool decodeFrame(std::int64_t index, bool rewind, const std::function<void(const Pixels&)>& use);
    const std::string& lastError() const { return lastError_; }

private:
    RecordingFrameSource() = default;

    std::shared_ptr<VistrelRecording> recording_;
    std::unique_ptr<DecompressionInfo> info_;
    int width_ = 0;
    int height_ = 0;
    double duration_ = 0;
    double framesPerSecond_ = 30;
    std::int64_t frameCount_ = 0;
    std::string lastError_;
    // The last decoded picture, copied out of the decoder so it holds still while `use` reads it.
    std::vector<std::uint8_t> picture_;
};

} // namespace vtl
