#pragma once
// Memory for a drawing's short-lived pictures (a shadow's layers, a blur's padded copy), kept per
// thread so that drawing the next picture of the same size neither maps nor faults in fresh
// pages. A lease owns its buffer until it ends; buffers above `kLargestKeptBytes` are freed then.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vtl {

class ScratchPixels {
public:
    static constexpr std::size_t kLargestKeptBytes = std::size_t(4) << 20;

    // At least `bytes` bytes of uninitialised memory, or none (data() null) when out of memory.
    explicit ScratchPixels(std::size_t bytes);
    ~ScratchPixels();
    ScratchPixels(const ScratchPixels&) = delete;
    ScratchPixels& operator=(const ScratchPixels&) = delete;

    std::uint8_t* data() const { return data_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
};

} // namespace vtl
