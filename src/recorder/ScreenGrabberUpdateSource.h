#pragma once
// Where the screen grabber's updates come from: the capture layer's display stream in a
// recording, a source that tests drive by hand otherwise. The grabber owns its source.

#include "platform/capture/DisplayStream.h"
#include "platform/foundation/Result.h"

#include <functional>
#include <memory>
#include <string>

namespace vtl {

class ScreenGrabberUpdateSource {
public:
    virtual ~ScreenGrabberUpdateSource() = default;
    virtual Status start() = 0;
    // May be called from the source's own handler.
    virtual void stop() = 0;
};

using ScreenGrabberUpdateSourceFactory = std::function<Result<std::unique_ptr<ScreenGrabberUpdateSource>>(
    const DisplayStreamConfiguration&, DisplayStreamHandler)>;

// The display stream of the X display as a source.
Result<std::unique_ptr<ScreenGrabberUpdateSource>>
openDisplayStreamSource(const DisplayStreamConfiguration& configuration, DisplayStreamHandler handler);

} // namespace vtl
