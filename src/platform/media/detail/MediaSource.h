#pragma once
// Where an asset's bytes come from: a file, or bytes in memory (tests and the fuzz target).
// Shared by the asset and every reader that reopens it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl::detail {

struct MediaSource {
    std::string path;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes; // used when set
};

} // namespace vtl::detail
