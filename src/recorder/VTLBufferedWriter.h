#pragma once
// Buffered, checked appends to one file of a recording package, with a commit point per frame:
// a failed frame is cut off again so the file ends with the last complete frame. Owned by the
// encode queue; used from one thread at a time.

#include "recorder/ByteSink.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class VTLBufferedWriter {
public:
    static constexpr std::size_t kDefaultBufferBytes = 256 * 1024;

    explicit VTLBufferedWriter(std::unique_ptr<ByteSink> sink, std::size_t bufferBytes = kDefaultBufferBytes);
    // Creates (or truncates) the file at `path` through the factory (plain files when empty).
    static Result<std::unique_ptr<VTLBufferedWriter>> open(const std::string& path,
                                                           const ByteSinkFactory& factory);

    // Appends bytes; false once anything failed (see error()).
    bool writeData(const void* data, std::size_t sizeBytes);
    // Bytes appended so far, committed or not.
    std::uint64_t currentPosition() const { return position_; }
    std::uint64_t committedPosition() const { return committed_; }

    // Hands everything appended to the file without marking it complete: a rollback still
    // removes it. Lets several files of one frame reach the disk before any of them commits.
    bool flush();
    // Hands everything appended to the file and marks it as complete.
    bool commit();
    // Drops everything appended since the last commit, in memory and in the file.
    bool rollback();
    // Once a rollback has cut the file back to its last commit, clears the failure so one more
    // small record may be tried. False (nothing changed) when the file is not at its commit.
    bool resumeAfterRollback();
    // Overwrites committed bytes (the header rewrite).
    bool rewriteCommitted(std::uint64_t offsetBytes, const void* data, std::size_t sizeBytes);
    // Commits, makes the file durable and closes it. Idempotent.
    bool closeFile();

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    bool flushBuffer();
    bool fail(const std::string& message);
    bool recordFailure(const Status& status);

    std::unique_ptr<ByteSink> sink_;
    std::vector<std::uint8_t> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t flushed_ = 0;
    std::uint64_t committed_ = 0;
    bool closed_ = false;
    std::string error_;
};

} // namespace vtl
