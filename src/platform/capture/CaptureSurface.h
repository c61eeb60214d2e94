#pragma once
// A picture of captured screen pixels: 32-bit B, G, R, X bytes, rows top to bottom. The display
// stream owns a ring of them and reuses one only while its use count is 0; a holder that keeps a
// surface beyond the stream's handler keeps a shared reference and raises the use count.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>

namespace vtl {

class CaptureSurface {
public:
    // A surface on memory of its own (zero-filled); for copies and tests.
    CaptureSurface(std::uint32_t width, std::uint32_t height);
    // A surface on memory someone else allocated; `release` runs when the surface goes away.
    CaptureSurface(std::uint32_t width, std::uint32_t height, std::size_t bytesPerRow, std::uint8_t* pixels,
                   std::function<void()> release);
    ~CaptureSurface();
    CaptureSurface(const CaptureSurface&) = delete;
    CaptureSurface& operator=(const CaptureSurface&) = delete;

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    std::size_t byteCount() const { return bytesPerRow_ * height_; }
    std::uint8_t* baseAddress() { return pixels_; }
    const std::uint8_t* baseAddress() const { return pixels_; }

    // Readers lock shared while copying; the stream locks exclusively while it fills the surface.
    void lockReadOnly() const { mutex_.lock_shared(); }
    void unlockReadOnly() const { mutex_.unlock_shared(); }
    void lockForWriting() { mutex_.lock(); }
    void unlockForWriting() { mutex_.unlock(); }

    void incrementUseCount() { useCount_.fetch_add(1, std::memory_order_acq_rel); }
    void decrementUseCount();
    int useCount() const { return useCount_.load(std::memory_order_acquire); }
    bool isInUse() const { return useCount() > 0; }

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::size_t bytesPerRow_;
    std::uint8_t* pixels_;
    std::unique_ptr<std::uint8_t[]> ownPixels_;
    std::function<void()> release_;
    std::atomic<int> useCount_{0};
    mutable std::shared_mutex mutex_;
};

} // namespace vtl
