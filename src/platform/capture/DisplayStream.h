#pragma once
// A stream of pictures of one area of a screen: after start, whenever something in the area
// changed, it grabs the area at the next tick of the frame interval (fixed ticks from the start)
// into one of a ring of shared surfaces and calls the handler with the surface and the changed
// rectangles; content that scrolled since the last picture comes as moved rectangles instead,
// so only the newly exposed strip counts as changed. The handler runs on
// the stream's own thread, one call at a time. Owned by whoever records; the surfaces it hands
// out stay valid for as long as someone holds them.

#include "platform/capture/CaptureSurface.h"
#include "platform/capture/DisplayStreamUpdate.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

struct DisplayStreamConfiguration {
    std::uint32_t displayID = 0; // a screen's displayID (listScreens)
    Rect sourceRect; // points relative to the screen, y up from its bottom-left; empty: the whole screen
    std::uint32_t outputWidth = 0; // pixels; must be the source size × the backing scale factor
    std::uint32_t outputHeight = 0;
    double minimumFrameTimeSeconds = 0; // the tick interval; 0: one sixtieth of a second
    int queueDepth = 8;                 // surfaces in the ring
    std::size_t maximumChangedRects = 16;
};

// status, display time (monotonic nanoseconds: the tick the picture was taken at), surface
// (frameComplete only), update (frameComplete only).
using DisplayStreamHandler =
    std::function<void(DisplayStreamFrameStatus, std::uint64_t displayTimeNanoseconds,
                       const std::shared_ptr<CaptureSurface>& surface,
                       const std::shared_ptr<const DisplayStreamUpdate>& update)>;

class DisplayStream {
public:
    // Connects to the X display (nullptr: DISPLAY) and prepares the ring of surfaces; fails when
    // there is no display, an extension (MIT-SHM, DAMAGE) is missing, the screen is unknown, the
    // area lies off the screen or the pixel format is not 32-bit.
    static Result<std::unique_ptr<DisplayStream>> create(const DisplayStreamConfiguration& configuration,
                                                         DisplayStreamHandler handler,
                                                         const char* displayName = nullptr);
    ~DisplayStream();
    DisplayStream(const DisplayStream&) = delete;
    DisplayStream& operator=(const DisplayStream&) = delete;

    // Starts delivering; the first picture after a start reports the whole area as changed.
    // Starting a running stream does nothing.
    Status start();
    // Stops delivering; the handler's last call has the status `stopped`. May be called from the
    // handler itself; from any other thread it returns once the handler's last call has
    // finished, also when the handler stopped the stream itself just before.
    void stop();
    bool isRunning() const;

    // One picture of the area now, taken on the caller's thread into a free surface of the ring,
    // for still grabs while the stream is not running.
    Result<std::shared_ptr<CaptureSurface>> grabStill();

    // The recorded area in X11 root pixels.
    Rect areaX11() const;

private:
    struct Impl;
    explicit DisplayStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
