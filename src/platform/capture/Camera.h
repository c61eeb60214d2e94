#pragma once
// A camera as the recorder uses it: a device that, once started, hands out B, G, R, A pictures of
// a fixed size on a thread of its own. Two kinds: V4L2 devices (memory-mapped streaming of YUYV or
// motion-JPEG, converted before delivery) and a test-pattern source for machines without a camera.
// Owned by whoever opened it (the camera recorder); the frame callback is never called after
// stop() or the destructor returned.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

struct CameraFrame {
    const std::uint8_t* pixels = nullptr; // B, G, R, A rows top to bottom; valid during the callback
    int widthPixels = 0;
    int heightPixels = 0;
    std::size_t bytesPerRow = 0;
    double captureTimeSeconds = 0; // on the monotonic clock
};

// Runs on the camera's own thread; must not wait.
using CameraFrameCallback = std::function<void(const CameraFrame& frame)>;

struct CameraDescription {
    std::string uniqueID; // the name under /dev/v4l/by-id, or the device path without one
    std::string localizedName;
    std::string devicePath;
};

class Camera {
public:
    virtual ~Camera() = default;
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    virtual const CameraDescription& description() const = 0;
    virtual int widthPixels() const = 0;
    virtual int heightPixels() const = 0;
    // Frames a second the device was set to.
    virtual double frameRate() const = 0;

    virtual Status start(CameraFrameCallback callback) = 0;
    virtual void stop() = 0;

protected:
    Camera() = default;
};

// The video capture devices of the machine, in the order of their device numbers.
std::vector<CameraDescription> listCameras();
// The camera with that unique id, or with an empty id the last one; set to its largest size up
// to 1920 × 1080.
Result<std::unique_ptr<Camera>> openCamera(const std::string& uniqueID);
// A source of moving colour bars with a frame counter, at that size and rate.
std::unique_ptr<Camera> makeTestPatternCamera(int widthPixels, int heightPixels, double frameRate,
                                              std::string name = "Test Pattern Camera");

namespace detail {
// YUYV (4:2:2, Y0 U Y1 V) rows to B, G, R, A, BT.601 limited range.
void convertYUYVToBGRA(const std::uint8_t* yuyv, std::size_t yuyvBytesPerRow, int widthPixels,
                       int heightPixels, std::uint8_t* bgra, std::size_t bgraBytesPerRow);
} // namespace detail

} // namespace vtl
