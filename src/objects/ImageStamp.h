#pragma once
// Builds the 64-bit stamp under which an object caches an image: every input's exact value
// (the bit pattern of each number, so neighbouring values never share a stamp and negatives are
// fine) mixed into one hash. A plain value used on one thread.

#include <bit>
#include <cstdint>

namespace vtl {

class ImageStamp {
public:
    // Distinct tags keep stamps of different images apart.
    explicit ImageStamp(std::uint64_t tag) { add(tag); }

    ImageStamp& add(std::uint64_t value) {
        // FNV-1a over the eight bytes, then a final avalanche in value().
        for (int i = 0; i < 8; ++i) {
            hash_ ^= (value >> (i * 8)) & 0xff;
            hash_ *= 0x100000001b3ull;
        }
        return *this;
    }
    // +0 and −0 draw alike; every NaN is one value.
    ImageStamp& add(double value) {
        if (value == 0) value = 0;
        if (value != value) return add(std::uint64_t(0x7ff8000000000000ull));
        return add(std::bit_cast<std::uint64_t>(value));
    }
    ImageStamp& add(float value) { return add(double(value)); }
    ImageStamp& add(bool value) { return add(std::uint64_t(value ? 1 : 2)); }

    std::uint64_t value() const {
        std::uint64_t z = hash_;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        // The all-ones value stands for a missing entry.
        return z == ~std::uint64_t(0) ? z - 1 : z;
    }

private:
    std::uint64_t hash_ = 0xcbf29ce484222325ull;
};

} // namespace vtl
