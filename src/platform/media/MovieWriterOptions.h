#pragma once
// The container a MovieWriter writes and how it works. Plain value.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vtl {

enum class MovieContainer {
    FromExtension, // .mov, .m4v, .mp4, .m4a, .aif / .aiff
    QuickTime,     // .mov
    Mpeg4Video,    // .m4v
    Mpeg4,         // .mp4
    Mpeg4Audio,    // .m4a
    Aiff,          // .aiff: PCM sound only
};

struct MovieWriterOptions {
    MovieContainer container = MovieContainer::FromExtension;
    // Encoder and conversion threads; 0: one per core.
    int threadCount = 0;
    // Called before every write to the file with its offset and size; a failure fails the write
    // (tests use it to fail a write mid-way).
    std::function<Status(std::int64_t offsetBytes, std::size_t sizeBytes)> beforeWrite;
};

} // namespace vtl
