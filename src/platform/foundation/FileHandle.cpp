#include "platform/foundation/FileHandle.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace vtl {

namespace {

constexpr std::uint64_t maximumOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

bool offsetFits(std::uint64_t offsetBytes, std::size_t sizeBytes) {
    return offsetBytes <= maximumOffset && sizeBytes <= maximumOffset - offsetBytes;
}

} // namespace

FileHandle::~FileHandle() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : descriptor_(other.descriptor_)
    , path_(std::move(other.path_)) {
    other.descriptor_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = other.descriptor_;
        path_ = std::move(other.path_);
        other.descriptor_ = -1;
    }
    return *this;
}

Failure FileHandle::failure(const char* action, int errorNumber) const {
    return fail(std::string(action) + " \"" + path_ + "\" failed: " + std::strerror(errorNumber) + ".");
}

Result<FileHandle> FileHandle::open(const std::string& path, FileOpenMode mode) {
    int flags = O_CLOEXEC;
    const char* action = "Opening";
    switch (mode) {
    case FileOpenMode::Read:
        // Non-blocking, so that a fifo or device in its place cannot stall the open; reads of the
        // regular files kept are not affected by the flag.
        flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
        break;
    case FileOpenMode::CreateTruncate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        action = "Creating";
        break;
    case FileOpenMode::ReadWrite:
        flags |= O_RDWR | O_NOCTTY;
        break;
    }
    const int descriptor = ::open(path.c_str(), flags, 0644);
    FileHandle handle(descriptor, path);
    if (descriptor < 0) return handle.failure(action, errno);
    if (mode != FileOpenMode::CreateTruncate) {
        struct stat info {};
        if (::fstat(descriptor, &info) != 0) return handle.failure(action, errno);
        if (!S_ISREG(info.st_mode)) return fail("\"" + path + "\" is not a regular file.");
    }
    return handle;
}

Result<std::vector<std::uint8_t>> FileHandle::readWholeFile(const std::string& path,
                                                            std::uint64_t limitBytes) {
    auto file = open(path, FileOpenMode::Read);
    if (!file) return file.asFailure();
    auto size = file->size();
    if (!size) return size.asFailure();
    if (*size > limitBytes) return fail("\"" + path + "\" is too large to be read whole.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*size));
    auto read = file->readAt(0, bytes.data(), bytes.size());
    if (!read) return read.asFailure();
    bytes.resize(*read); // the file shrank meanwhile
    return bytes;
}

Result<std::uint64_t> FileHandle::size() const {
    struct stat info {};
    if (::fstat(descriptor_, &info) != 0) return failure("Reading the size of", errno);
    return info.st_size < 0 ? std::uint64_t{0} : static_cast<std::uint64_t>(info.st_size);
}

Result<std::size_t> FileHandle::readAt(std::uint64_t offsetBytes, void* destination,
                                       std::size_t sizeBytes) const {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    // Beyond the largest offset there is nothing to read.
    if (offsetBytes > maximumOffset) return done;
    sizeBytes = static_cast<std::size_t>(std::min<std::uint64_t>(sizeBytes, maximumOffset - offsetBytes));
    while (done < sizeBytes) {
        const ssize_t got =
            ::pread(descriptor_, out + done, sizeBytes - done, static_cast<off_t>(offsetBytes + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            // What was read before the failure still counts.
            if (done > 0) break;
            return failure("Reading", errno);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

Status FileHandle::readAllAt(std::uint64_t offsetBytes, void* destination, std::size_t sizeBytes) const {
    auto read = readAt(offsetBytes, destination, sizeBytes);
    if (!read) return read.asFailure();
    if (*read != sizeBytes) return fail("\"" + path_ + "\" ends before the bytes asked for.");
    return {};
}

Status FileHandle::writeAll(const void* data, std::size_t sizeBytes) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (sizeBytes > 0) {
        const ssize_t written = ::write(descriptor_, bytes, sizeBytes);
        if (written < 0) {
            if (errno == EINTR) continue;
            return failure("Writing", errno);
        }
        // No progress and no error: the device is full.
        if (written == 0) return failure("Writing", ENOSPC);
        bytes += written;
        sizeBytes -= static_cast<std::size_t>(written);
    }
    return {};
}

Status FileHandle::writeAllAt(std::uint64_t offsetBytes, const void* data, std::size_t sizeBytes) {
    if (!offsetFits(offsetBytes, sizeBytes)) return failure("Writing", EFBIG);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (sizeBytes > 0) {
        const ssize_t written = ::pwrite(descriptor_, bytes, sizeBytes, static_cast<off_t>(offsetBytes));
        if (written < 0) {
            if (errno == EINTR) continue;
            return failure("Writing", errno);
        }
        if (written == 0) return failure("Writing", ENOSPC);
        bytes += written;
        offsetBytes += static_cast<std::uint64_t>(written);
        sizeBytes -= static_cast<std::size_t>(written);
    }
    return {};
}

Status FileHandle::truncate(std::uint64_t sizeBytes) {
    if (sizeBytes > maximumOffset) return failure("Truncating", EFBIG);
    if (::ftruncate(descriptor_, static_cast<off_t>(sizeBytes)) != 0 ||
        ::lseek(descriptor_, static_cast<off_t>(sizeBytes), SEEK_SET) < 0)
        return failure("Truncating", errno);
    return {};
}

Status FileHandle::sync() {
    if (::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) return failure("Saving", errno);
    return {};
}

Status FileHandle::syncDirectory(const std::string& path) {
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return FileHandle(-1, path).failure("Opening the folder", errno);
    FileHandle folder(descriptor, path);
    return folder.sync();
}

Status FileHandle::close() {
    if (descriptor_ < 0) return {};
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0 && errno != EINTR) return failure("Closing", errno);
    return {};
}

} // namespace vtl
