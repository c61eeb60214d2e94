#pragma once
// Byte-order helpers for the recording package's binary files, which are little-endian throughout.
// Shared by the recorder's writer and the application's reader.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vtl {

inline void storeU64LE(std::uint8_t* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t loadU64LE(const std::uint8_t* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

inline void storeI64LE(std::uint8_t* out, std::int64_t value) {
    storeU64LE(out, static_cast<std::uint64_t>(value));
}
inline std::int64_t loadI64LE(const std::uint8_t* in) {
    return static_cast<std::int64_t>(loadU64LE(in));
}

inline void storeU32LE(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t loadU32LE(const std::uint8_t* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

inline void storeF32LE(std::uint8_t* out, float value) {
    storeU32LE(out, std::bit_cast<std::uint32_t>(value));
}
inline float loadF32LE(const std::uint8_t* in) {
    return std::bit_cast<float>(loadU32LE(in));
}
inline void storeF64LE(std::uint8_t* out, double value) {
    storeU64LE(out, std::bit_cast<std::uint64_t>(value));
}
inline double loadF64LE(const std::uint8_t* in) {
    return std::bit_cast<double>(loadU64LE(in));
}

} // namespace vtl
