#pragma once
// Where a buffered writer's bytes end up: a file, or in tests a file that fails like a full disk.
// Owned by the writer that uses it; one thread at a time.

#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends all bytes at the end of what was written so far.
    virtual Status append(const std::uint8_t* data, std::size_t sizeBytes) = 0;
    // Overwrites bytes at an offset inside what was written.
    virtual Status writeAt(std::uint64_t offsetBytes, const std::uint8_t* data, std::size_t sizeBytes) = 0;
    // Cuts the sink back to `sizeBytes`; later appends continue there.
    virtual Status truncate(std::uint64_t sizeBytes) = 0;
    // Makes what was written durable and closes; the sink is unusable afterwards.
    virtual Status close() = 0;
};

// A file created (or truncated) for writing.
class FileByteSink final : public ByteSink {
public:
    static Result<std::unique_ptr<ByteSink>> create(const std::string& path);

    Status append(const std::uint8_t* data, std::size_t sizeBytes) override;
    Status writeAt(std::uint64_t offsetBytes, const std::uint8_t* data, std::size_t sizeBytes) override;
    Status truncate(std::uint64_t sizeBytes) override;
    Status close() override;

private:
    explicit FileByteSink(FileHandle file)
        : file_(std::move(file)) {}
    FileHandle file_;
};

// Opens the sink for one file of a package (tests hand in failing sinks).
using ByteSinkFactory = std::function<Result<std::unique_ptr<ByteSink>>(const std::string& path)>;
ByteSinkFactory fileByteSinkFactory();

} // namespace vtl
