#pragma once
// An open file of the file system: one descriptor, closed when the handle goes. Reads and writes
// go to explicit offsets or to the end, retry interrupted calls and continue short ones, so a
// caller sees either every byte or a plain-sentence failure. Positional reads keep no state, so
// one handle serves several reading threads; writes are the owner's, from one thread at a time.
// Owned by whoever opened it (a byte sink, a package reader's file, a tool).

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vtl {

enum class FileOpenMode {
    // An existing regular file, read only. Anything else (a folder, a fifo, a device) is refused
    // without blocking on it.
    Read,
    // Created, or emptied when it exists; written from the start.
    CreateTruncate,
    // An existing regular file, for reading and overwriting in place.
    ReadWrite,
};

class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    static Result<FileHandle> open(const std::string& path, FileOpenMode mode);

    // The whole file, refused when it is longer than limitBytes.
    static Result<std::vector<std::uint8_t>> readWholeFile(const std::string& path,
                                                           std::uint64_t limitBytes = std::uint64_t(1) << 32);

    // Makes the entries of a folder (a file renamed into it, one removed) durable.
    static Status syncDirectory(const std::string& path);

    bool isOpen() const { return descriptor_ >= 0; }
    const std::string& path() const { return path_; }

    // The file's current length (a file being written by someone else can grow).
    Result<std::uint64_t> size() const;
    // Reads up to sizeBytes at the offset; answers how many were read, fewer only at the end.
    Result<std::size_t> readAt(std::uint64_t offsetBytes, void* destination, std::size_t sizeBytes) const;
    // Every byte, or a failure (an end of file before the last byte is one).
    Status readAllAt(std::uint64_t offsetBytes, void* destination, std::size_t sizeBytes) const;
    // Writes every byte at the handle's position, which moves past them.
    Status writeAll(const void* data, std::size_t sizeBytes);
    // Writes every byte at the offset; the handle's position stays where it was.
    Status writeAllAt(std::uint64_t offsetBytes, const void* data, std::size_t sizeBytes);
    // Cuts (or extends) the file to sizeBytes and moves the position there.
    Status truncate(std::uint64_t sizeBytes);
    // Makes what was written durable (file systems that cannot are not an error).
    Status sync();
    // Closes; the handle is empty afterwards even when closing reported a failure.
    Status close();

private:
    FileHandle(int descriptor, std::string path)
        : descriptor_(descriptor)
        , path_(std::move(path)) {}
    Failure failure(const char* action, int errorNumber) const;

    int descriptor_ = -1;
    std::string path_;
};

} // namespace vtl
