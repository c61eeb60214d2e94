#include "platform/capture/Camera.h"
#include "platform/foundation/MonotonicClock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace vtl {

namespace {

class TestPatternCamera final : public Camera {
public:
    TestPatternCamera(int width, int height, double frameRate, std::string name)
        : width_(width)
        , height_(height)
        , frameRate_(frameRate) {
        description_.uniqueID = "test-pattern";
        description_.localizedName = std::move(name);
        pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4, 0);
    }
    ~TestPatternCamera() override { stop(); }

    const CameraDescription& description() const override { return description_; }
    int widthPixels() const override { return width_; }
    int heightPixels() const override { return height_; }
    double frameRate() const override { return frameRate_; }

    Status start(CameraFrameCallback callback) override {
        if (thread_.joinable()) return fail("The camera is running already.");
        running_ = true;
        thread_ = std::thread([this, callback = std::move(callback)] { run(callback); });
        return {};
    }

    void stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    // Eight bars that move by one bar width a second; a white bar counts frames in binary.
    void draw(std::uint64_t frame, double seconds) {
        static constexpr std::uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0},
                                                    {0, 255, 0},     {255, 0, 255}, {0, 0, 255},
                                                    {255, 0, 0},     {0, 0, 0}};
        const int barWidth = std::max(1, width_ / 8);
        const int shift = static_cast<int>(std::fmod(seconds, 8.0) * barWidth);
        for (int y = 0; y < height_; ++y) {
            std::uint8_t* row = pixels_.data() + static_cast<std::size_t>(y) * width_ * 4;
            for (int x = 0; x < width_; ++x) {
                const std::uint8_t* c = bars[((x + shift) / barWidth) % 8];
                bool bit = false;
                if (y < 16 && x < 32 * 8) bit = (frame >> (x / 8)) & 1;
                row[x * 4 + 0] = bit ? 255 : c[2];
                row[x * 4 + 1] = bit ? 255 : c[1];
                row[x * 4 + 2] = bit ? 255 : c[0];
                row[x * 4 + 3] = 255;
            }
        }
    }

    void run(const CameraFrameCallback& callback) {
        const double start = monotonicSeconds();
        for (std::uint64_t frame = 0; running_; ++frame) {
            const double due = start + static_cast<double>(frame) / frameRate_;
            for (double wait = due - monotonicSeconds(); wait > 0 && running_;
                 wait = due - monotonicSeconds())
                std::this_thread::sleep_for(std::chrono::duration<double>(std::min(wait, 0.1)));
            if (!running_) break;
            draw(frame, due - start);
            CameraFrame out;
            out.pixels = pixels_.data();
            out.widthPixels = width_;
            out.heightPixels = height_;
            out.bytesPerRow = static_cast<std::size_t>(width_) * 4;
            out.captureTimeSeconds = monotonicSeconds();
            if (callback) callback(out);
        }
    }

    CameraDescription description_;
    int width_;
    int height_;
    double frameRate_;
    std::vector<std::uint8_t> pixels_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace

std::unique_ptr<Camera> makeTestPatternCamera(int widthPixels, int heightPixels, double frameRate,
                                              std::string name) {
    return std::make_unique<TestPatternCamera>(std::max(widthPixels, 2), std::max(heightPixels, 2),
                                               frameRate > 0 ? frameRate : 30.0, std::move(name));
}

} // namespace vtl
