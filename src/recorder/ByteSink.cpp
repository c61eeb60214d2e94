#include "recorder/ByteSink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace vtl {

namespace {

std::string describe(const std::string& action, const std::string& path, int code) {
    return action + " \"" + path + "\" failed: " + std::strerror(code) + ".";
}

// Writes every byte, at the file offset when one is given (the descriptor's position stays), else
// at the descriptor's position; short writes continue and interrupted ones are retried.
bool writeAll(int fd, const std::string& path, const std::uint8_t* data, std::size_t sizeBytes,
              std::optional<std::uint64_t> offsetBytes, std::string& error) {
    while (sizeBytes > 0) {
        const ssize_t written = offsetBytes ? ::pwrite(fd, data, sizeBytes, static_cast<off_t>(*offsetBytes))
                                            : ::write(fd, data, sizeBytes);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = describe("Writing", path, errno);
            return false;
        }
        if (written == 0) {
            error = describe("Writing", path, ENOSPC);
            return false;
        }
        data += written;
        if (offsetBytes) *offsetBytes += static_cast<std::uint64_t>(written);
        sizeBytes -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::unique_ptr<FileByteSink> FileByteSink::create(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = describe("Creating", path, errno);
        return nullptr;
    }
    return std::unique_ptr<FileByteSink>(new FileByteSink(fd, path));
}

FileByteSink::~FileByteSink() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileByteSink::append(const std::uint8_t* data, std::size_t sizeBytes, std::string& error) {
    return writeAll(fd_, path_, data, sizeBytes, std::nullopt, error);
}

bool FileByteSink::writeAt(std::uint64_t offsetBytes, const std::uint8_t* data, std::size_t sizeBytes,
                           std::string& error) {
    return writeAll(fd_, path_, data, sizeBytes, offsetBytes, error);
}

bool FileByteSink::truncate(std::uint64_t sizeBytes, std::string& error) {
    if (::ftruncate(fd_, static_cast<off_t>(sizeBytes)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(sizeBytes), SEEK_SET) < 0) {
        error = describe("Truncating", path_, errno);
        return false;
    }
    return true;
}

bool FileByteSink::close(std::string& error) {
    if (fd_ < 0) return true;
    bool ok = true;
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        error = describe("Saving", path_, errno);
        ok = false;
    }
    if (::close(fd_) != 0 && ok) {
        error = describe("Closing", path_, errno);
        ok = false;
    }
    fd_ = -1;
    return ok;
}

ByteSinkFactory fileByteSinkFactory() {
    return [](const std::string& path, std::string& error) -> std::unique_ptr<ByteSink> {
        return FileByteSink::create(path, error);
    };
}

} // namespace vtl
