#pragma once
// The 64-bit key a visual object computes from every input of its picture: each value is
// quantised as the object states (value × scale, truncated) and mixed in order, so that no two
// inputs can cancel each other out as they would in a sum. Plain value.

#include <cstdint>
#include <string_view>

namespace vtl {

class ImageCacheKey {
public:
    void add(std::uint64_t value) {
        // The finaliser of a 64-bit mixing generator, over the running state and the next input.
        std::uint64_t z = state_ ^ (value + 0x9e3779b97f4a7c15ULL + (state_ << 6) + (state_ >> 2));
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        state_ = z ^ (z >> 31);
    }
    void addFlag(bool value) { add(value ? 1 : 0); }
    // value × scale, truncated; values that are not finite or do not fit get tags of their own.
    void addScaled(double value, double scale);
    void addText(std::string_view text);

    std::uint64_t value() const { return state_; }

private:
    std::uint64_t state_ = 0x243f6a8885a308d3ULL;
};

} // namespace vtl
