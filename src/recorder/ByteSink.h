#pragma once
// Where a buffered writer's bytes end up: a file, or in tests a file that fails like a full disk.
// Every operation reports failure with a plain-sentence message.

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
    virtual bool append(const std::uint8_t* data, std::size_t sizeBytes, std::string& error) = 0;
    // Overwrites bytes at an offset inside what was written.
    virtual bool writeAt(std::uint64_t offsetBytes, const std::uint8_t* data, std::size_t sizeBytes,
                         std::string& error) = 0;
    // Cuts the sink back to `sizeBytes`; later appends continue there.
    virtual bool truncate(std::uint64_t sizeBytes, std::string& error) = 0;
    // Makes what was written durable and closes; the sink is unusable afterwards.
    virtual bool close(std::string& error) = 0;
};

// A file created (or truncated) for writing.
class FileByteSink final : public ByteSink {
public:
    static std::unique_ptr<FileByteSink> create(const std::string& path, std::string& error);
    ~FileByteSink() override;

    bool append(const std::uint8_t* data, std::size_t sizeBytes, std::string& error) override;
    bool writeAt(std::uint64_t offsetBytes, const std::uint8_t* data, std::size_t sizeBytes,
                 std::string& error) override;
    bool truncate(std::uint64_t sizeBytes, std::string& error) override;
    bool close(std::string& error) override;

private:
    FileByteSink(int fd, std::string path)
        : fd_(fd)
        , path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

// Opens the sink for one file of a package (tests hand in failing sinks).
using ByteSinkFactory = std::function<std::unique_ptr<ByteSink>(const std::string& path, std::string& error)>;
ByteSinkFactory fileByteSinkFactory();

} // namespace vtl
