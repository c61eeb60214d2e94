#pragma once
// Device IDs on PulseAudio: sinks and sources have separate index spaces that both start at 0, so
// the ID carries the kind in its top bits and 0 stays "no device".

#include <cstdint>
#include <optional>

namespace vtl::pulse {

constexpr std::uint32_t sinkIDFlag = 0x80000000u;
constexpr std::uint32_t sourceIDFlag = 0x40000000u;
constexpr std::uint32_t indexMask = 0x3FFFFFFFu;

constexpr std::uint32_t sinkDeviceID(std::uint32_t index) {
    return sinkIDFlag | (index & indexMask);
}
constexpr std::uint32_t sourceDeviceID(std::uint32_t index) {
    return sourceIDFlag | (index & indexMask);
}
constexpr bool isSinkDeviceID(std::uint32_t id) {
    return (id & (sinkIDFlag | sourceIDFlag)) == sinkIDFlag;
}
constexpr bool isSourceDeviceID(std::uint32_t id) {
    return (id & (sinkIDFlag | sourceIDFlag)) == sourceIDFlag;
}
constexpr std::uint32_t serverIndex(std::uint32_t id) {
    return id & indexMask;
}

} // namespace vtl::pulse
