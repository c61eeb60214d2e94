#include "platform/capture/Camera.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/jpeg/JpegDecompression.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace vtl {

namespace fs = std::filesystem;

namespace detail {

void convertYUYVToBGRA(const std::uint8_t* yuyv, std::size_t yuyvBytesPerRow, int widthPixels,
                       int heightPixels, std::uint8_t* bgra, std::size_t bgraBytesPerRow) {
    auto clamp = [](int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); };
    for (int y = 0; y < heightPixels; ++y) {
        const std::uint8_t* in = yuyv + static_cast<std::size_t>(y) * yuyvBytesPerRow;
        std::uint8_t* out = bgra + static_cast<std::size_t>(y) * bgraBytesPerRow;
        for (int x = 0; x < widthPixels; x += 2) {
            const int u = in[1] - 128, v = in[3] - 128;
            // BT.601 in 16.16 fixed point.
            const int r = (91881 * v) >> 16, g = (-22554 * u - 46802 * v) >> 16, b = (116130 * u) >> 16;
            for (int k = 0; k < 2 && x + k < widthPixels; ++k) {
                const int luma = ((in[k * 2] - 16) * 76309) >> 16;
                out[0] = clamp(luma + b);
                out[1] = clamp(luma + g);
                out[2] = clamp(luma + r);
                out[3] = 255;
                out += 4;
            }
            in += 4;
        }
    }
}

} // namespace detail

namespace {

int retryIoctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

std::string errnoText() {
    return std::strerror(errno);
}

bool isCaptureDevice(int fd, std::string& card) {
    v4l2_capability capability{};
    if (retryIoctl(fd, VIDIOC_QUERYCAP, &capability) < 0) return false;
    const std::uint32_t caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    card.assign(reinterpret_cast<const char*>(capability.card),
                strnlen(reinterpret_cast<const char*>(capability.card), sizeof capability.card));
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

class V4L2Camera final : public Camera {
public:
    ~V4L2Camera() override {
        stop();
        for (auto& buffer : buffers_)
            if (buffer.start != MAP_FAILED) ::munmap(buffer.start, buffer.length);
        if (fd_ >= 0) ::close(fd_);
    }

    static Result<std::unique_ptr<Camera>> open(const CameraDescription& description) {
        std::unique_ptr<V4L2Camera> camera(new V4L2Camera);
        camera->description_ = description;
        camera->fd_ = ::open(description.devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (camera->fd_ < 0)
            return fail("The camera " + description.localizedName + " cannot be opened: " + errnoText() +
                        ".");
        std::string card;
        if (!isCaptureDevice(camera->fd_, card))
            return fail("The device " + description.devicePath + " is no camera.");
        if (Status set = camera->chooseFormat(); !set) return set.asFailure();
        if (Status mapped = camera->mapBuffers(); !mapped) return mapped.asFailure();
        return std::unique_ptr<Camera>(std::move(camera));
    }

    const CameraDescription& description() const override { return description_; }
    int widthPixels() const override { return width_; }
    int heightPixels() const override { return height_; }
    double frameRate() const override { return frameRate_; }

    Status start(CameraFrameCallback callback) override {
        if (thread_.joinable()) return fail("The camera is running already.");
        for (std::uint32_t i = 0; i < buffers_.size(); ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (retryIoctl(fd_, VIDIOC_QBUF, &buffer) < 0)
                return fail("The camera refused its buffers: " + errnoText() + ".");
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (retryIoctl(fd_, VIDIOC_STREAMON, &type) < 0)
            return fail("The camera does not start: " + errnoText() + ".");
        running_ = true;
        thread_ = std::thread([this, callback = std::move(callback)] { run(callback); });
        return {};
    }

    void stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (fd_ >= 0) retryIoctl(fd_, VIDIOC_STREAMOFF, &type);
    }

private:
    V4L2Camera() = default;

    // YUYV where the device has it (no decoding), else motion-JPEG; the largest size up to 1080p.
    Status chooseFormat() {
        struct Choice {
            std::uint32_t format = 0;
            std::uint32_t width = 0, height = 0;
        } best;
        for (std::uint32_t format : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}) {
            v4l2_frmsizeenum size{};
            size.pixel_format = format;
            for (size.index = 0; retryIoctl(fd_, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
                std::uint32_t w = 0, h = 0;
                if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                    w = size.discrete.width;
                    h = size.discrete.height;
                } else {
                    w = std::min(size.stepwise.max_width, 1920u);
                    h = std::min(size.stepwise.max_height, 1080u);
                }
                if (w > 1920 || h > 1080 || w < 2 || h < 2) continue;
                if (static_cast<std::uint64_t>(w) * h > static_cast<std::uint64_t>(best.width) * best.height)
                    best = {format, w, h};
            }
        }
        if (best.format == 0) best = {V4L2_PIX_FMT_YUYV, 640, 480};
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = best.width;
        format.fmt.pix.height = best.height;
        format.fmt.pix.pixelformat = best.format;
        format.fmt.pix.field = V4L2_FIELD_NONE;
        if (retryIoctl(fd_, VIDIOC_S_FMT, &format) < 0)
            return fail("The camera's picture format cannot be set: " + errnoText() + ".");
        pixelFormat_ = format.fmt.pix.pixelformat;
        if (pixelFormat_ != V4L2_PIX_FMT_YUYV && pixelFormat_ != V4L2_PIX_FMT_MJPEG)
            return fail("The camera delivers neither YUYV nor motion-JPEG pictures.");
        // Sizes and strides come from the driver: checked before any picture is read with them.
        if (format.fmt.pix.width < 2 || format.fmt.pix.height < 2 || format.fmt.pix.width > 8192 ||
            format.fmt.pix.height > 8192)
            return fail("The camera's picture size is not usable.");
        width_ = static_cast<int>(format.fmt.pix.width);
        height_ = static_cast<int>(format.fmt.pix.height);
        sourceBytesPerRow_ =
            std::max<std::size_t>(format.fmt.pix.bytesperline, static_cast<std::size_t>(width_) * 2);
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (retryIoctl(fd_, VIDIOC_G_PARM, &parameters) == 0) {
            const v4l2_fract& t = parameters.parm.capture.timeperframe;
            if (t.numerator > 0 && t.denominator > 0)
                frameRate_ = static_cast<double>(t.denominator) / t.numerator;
        }
        frameRate_ = std::clamp(frameRate_, 1.0, 240.0);
        pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4, 0);
        return {};
    }

    Status mapBuffers() {
        v4l2_requestbuffers request{};
        request.count = 4;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (retryIoctl(fd_, VIDIOC_REQBUFS, &request) < 0 || request.count < 2)
            return fail("The camera cannot stream: " + errnoText() + ".");
        for (std::uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (retryIoctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0)
                return fail("The camera's buffers cannot be had.");
            void* start =
                ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
            if (start == MAP_FAILED)
                return fail("The camera's buffers cannot be mapped: " + errnoText() + ".");
            buffers_.push_back({start, buffer.length});
        }
        return {};
    }

    void run(const CameraFrameCallback& callback) {
        while (running_) {
            pollfd wait{fd_, POLLIN, 0};
            const int ready = ::poll(&wait, 1, 100);
            if (ready <= 0) continue;
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            if (retryIoctl(fd_, VIDIOC_DQBUF, &buffer) < 0) {
                if (errno == EAGAIN) continue;
                logOnce("camera.dequeue", "The camera " + description_.localizedName +
                                              " stopped delivering: " + errnoText() + ".");
                return;
            }
            const double captured = monotonicSeconds();
            if (buffer.index < buffers_.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
                const auto* data = static_cast<const std::uint8_t*>(buffers_[buffer.index].start);
                const std::size_t used =
                    std::min<std::size_t>(buffer.bytesused, buffers_[buffer.index].length);
                if (deliver(data, used) && callback) {
                    CameraFrame frame;
                    frame.pixels = pixels_.data();
                    frame.widthPixels = width_;
                    frame.heightPixels = height_;
                    frame.bytesPerRow = static_cast<std::size_t>(width_) * 4;
                    frame.captureTimeSeconds = captured;
                    callback(frame);
                }
            }
            retryIoctl(fd_, VIDIOC_QBUF, &buffer);
        }
    }

    // Converts one device picture into pixels_; false (logged once) for one that is cut short or damaged.
    bool deliver(const std::uint8_t* data, std::size_t size) {
        if (pixelFormat_ == V4L2_PIX_FMT_YUYV) {
            if (size < sourceBytesPerRow_ * static_cast<std::size_t>(height_ - 1) +
                           static_cast<std::size_t>(width_) * 2) {
                logOnce("camera.short", "The camera delivered a picture cut short; it is left out.");
                return false;
            }
            detail::convertYUYVToBGRA(data, sourceBytesPerRow_, width_, height_, pixels_.data(),
                                      static_cast<std::size_t>(width_) * 4);
            return true;
        }
        JPEGDestination destination;
        destination.topLeft = pixels_.data();
        destination.expectedWidth = static_cast<std::size_t>(width_);
        destination.expectedHeight = static_cast<std::size_t>(height_);
        if (Status decoded = decompressCompleteJPEG(data, size, destination); !decoded) {
            logOnce("camera.jpeg",
                    "The camera delivered a damaged picture (" + decoded.error() + "); it is left out.");
            return false;
        }
        return true;
    }

    struct Mapped {
        void* start;
        std::size_t length;
    };

    CameraDescription description_;
    int fd_ = -1;
    std::uint32_t pixelFormat_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::size_t sourceBytesPerRow_ = 0;
    double frameRate_ = 30;
    std::vector<Mapped> buffers_;
    std::vector<std::uint8_t> pixels_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace

std::vector<CameraDescription> listCameras() {
    std::vector<CameraDescription> cameras;
    std::error_code ec;
    // Stable names, where udev made them.
    std::vector<std::pair<fs::path, std::string>> byID;
    for (const auto& entry : fs::directory_iterator("/dev/v4l/by-id", ec))
        byID.emplace_back(fs::canonical(entry.path(), ec), entry.path().filename().string());
    std::vector<fs::path> devices;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) == 0 && name.size() > 5 &&
            std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            devices.push_back(entry.path());
    }
    std::sort(devices.begin(), devices.end(), [](const fs::path& a, const fs::path& b) {
        return std::stoul(a.filename().string().substr(5)) < std::stoul(b.filename().string().substr(5));
    });
    for (const fs::path& device : devices) {
        const int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        std::string card;
        const bool capture = isCaptureDevice(fd, card);
        ::close(fd);
        if (!capture) continue;
        CameraDescription d;
        d.devicePath = device.string();
        d.localizedName = card.empty() ? device.filename().string() : card;
        d.uniqueID = d.devicePath;
        for (const auto& [target, name] : byID)
            if (target == fs::canonical(device, ec)) d.uniqueID = name;
        cameras.push_back(std::move(d));
    }
    return cameras;
}

Result<std::unique_ptr<Camera>> openCamera(const std::string& uniqueID) {
    const std::vector<CameraDescription> cameras = listCameras();
    if (cameras.empty()) return fail("There is no camera.");
    if (uniqueID.empty()) return V4L2Camera::open(cameras.back());
    for (const CameraDescription& camera : cameras)
        if (camera.uniqueID == uniqueID || camera.devicePath == uniqueID) return V4L2Camera::open(camera);
    return fail("The camera " + uniqueID + " is not connected.");
}

} // namespace vtl
