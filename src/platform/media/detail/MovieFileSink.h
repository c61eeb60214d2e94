#pragma once
// The file a MovieWriter writes through: a temporary file beside the target, written at the
// positions the muxer asks for with every write checked, renamed onto the target only when the
// movie is complete, removed otherwise. Owned by its writer.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl::detail {

// Names of the temporaries start with this; one older than the running program is a leftover of a
// killed run and goes when the next movie is written into its folder.
inline constexpr const char* movieTemporaryPrefix = ".vistrel-exporting-";

class MovieFileSink {
public:
    using WriteHook = std::function<Status(std::int64_t offsetBytes, std::size_t sizeBytes)>;
    static Result<std::unique_ptr<MovieFileSink>> createBeside(const std::string& targetPath, WriteHook hook);
    ~MovieFileSink();
    MovieFileSink(const MovieFileSink&) = delete;
    MovieFileSink& operator=(const MovieFileSink&) = delete;

    const std::string& temporaryPath() const { return temporaryPath_; }
    // The first failure, in a plain sentence; empty while all went well.
    const std::string& failure() const { return failure_; }

    // AVIO callbacks: bytes written, or a negative error code.
    static int writeCallback(void* opaque, std::uint8_t* bytes, int size);
    static std::int64_t seekCallback(void* opaque, std::int64_t offset, int whence);

    // Flushes the file to the disk, closes it and renames it onto the target.
    Status commit(const std::string& targetPath);
    // Closes and removes the temporary file.
    void discard();

private:
    MovieFileSink() = default;
    int write(const std::uint8_t* bytes, std::size_t size);
    std::int64_t seek(std::int64_t offset, int whence);
    void noteFailure(std::string sentence);

    int descriptor_ = -1;
    std::string temporaryPath_;
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
    std::string failure_;
    WriteHook hook_;
};

} // namespace vtl::detail
