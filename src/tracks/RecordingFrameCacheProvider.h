#pragma once
// What a recording movie asks of a renderer to draw a frame: the renderer's decode-ahead cache
// for the recording, made on first use and kept while the recording is in the composition. The
// renderer implements it; a movie without one has no picture to give. Called on render threads.

#include "tracks/reader/VistrelDecoderCachedBuffer.h"

#include <memory>
#include <string>

namespace vtl {

class VistrelRecording;

class RecordingFrameCacheProvider {
public:
    virtual ~RecordingFrameCacheProvider() = default;
    // The renderer's cache for the recording; null only by a programming error.
    virtual VistrelDecoderCachedBuffer*
    decoderCachedBufferForRecording(const std::shared_ptr<VistrelRecording>& recording) = 0;
    // The colour space the renderer draws in, and what the cache hands decoded frames to.
    virtual std::string colorSpace() const { return "sRGB"; }
    virtual VistrelDecoderCachedBuffer::UploadHook uploadHook() { return {}; }
};

} // namespace vtl
