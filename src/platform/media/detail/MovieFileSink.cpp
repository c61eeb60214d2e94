#include "platform/media/detail/MovieFileSink.h"

#include "platform/foundation/StaleTemporaries.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace vtl::detail {

namespace {

constexpr std::size_t maximumNameInTemporary = 160;

std::string writeErrorSentence(int error) {
    if (error == ENOSPC || error == EDQUOT) return "There is not enough space on the disk for the movie.";
    return std::string("The movie file could not be written (") + std::strerror(error) + ").";
}

} // namespace

Result<std::unique_ptr<MovieFileSink>> MovieFileSink::createBeside(const std::string& targetPath,
                                                                   WriteHook hook) {
    if (targetPath.empty()) return fail("No file name was given for the movie.");
    const std::size_t slash = targetPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : targetPath.substr(0, slash);
    const std::string name = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
    if (name.empty()) return fail("No file name was given for the movie.");
    struct stat info {};
    if (::stat(folder.empty() ? "/" : folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return fail("The folder for the movie does not exist.");

    // What runs killed before this one started left here goes first.
    removeStaleTemporaries(folder.empty() ? "/" : folder, movieTemporaryPrefix);

    std::unique_ptr<MovieFileSink> sink(new MovieFileSink);
    // The target's name only helps a person tell the temporary apart; it is cut so the whole name
    // stays within what a folder entry may hold.
    const std::string suffix = "-" + name.substr(0, maximumNameInTemporary);
    std::string pattern = folder + "/" + movieTemporaryPrefix + "XXXXXX" + suffix;
    const int descriptor = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (descriptor < 0) {
        const int error = errno;
        if (error == EACCES || error == EROFS) return fail("The folder for the movie cannot be written to.");
        return fail(std::string("The movie file could not be created (") + std::strerror(error) + ").");
    }
    ::fchmod(descriptor, 0644);
    sink->descriptor_ = descriptor;
    sink->temporaryPath_ = pattern;
    sink->hook_ = std::move(hook);
    return sink;
}

MovieFileSink::~MovieFileSink() {
    discard();
}

void MovieFileSink::noteFailure(std::string sentence) {
    if (failure_.empty()) failure_ = std::move(sentence);
}

int MovieFileSink::writeCallback(void* opaque, std::uint8_t* bytes, int size) {
    if (size < 0) return AVERROR(EINVAL);
    return static_cast<MovieFileSink*>(opaque)->write(bytes, static_cast<std::size_t>(size));
}

std::int64_t MovieFileSink::seekCallback(void* opaque, std::int64_t offset, int whence) {
    return static_cast<MovieFileSink*>(opaque)->seek(offset, whence);
}

int MovieFileSink::write(const std::uint8_t* bytes, std::size_t size) {
    if (descriptor_ < 0) return AVERROR(EBADF);
    if (!failure_.empty()) return AVERROR(EIO);
    if (hook_) {
        if (Status allowed = hook_(position_, size); !allowed) {
            noteFailure(allowed.error());
            return AVERROR(EIO);
        }
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = ::pwrite(descriptor_, bytes + written, size - written,
                                       static_cast<off_t>(position_ + static_cast<std::int64_t>(written)));
        if (count < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            noteFailure(writeErrorSentence(error));
            return AVERROR(error);
        }
        if (count == 0) {
            noteFailure(writeErrorSentence(ENOSPC));
            return AVERROR(ENOSPC);
        }
        written += static_cast<std::size_t>(count);
    }
    position_ += static_cast<std::int64_t>(size);
    if (position_ > size_) size_ = position_;
    return static_cast<int>(size);
}

std::int64_t MovieFileSink::seek(std::int64_t offset, int whence) {
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size_;
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = position_;
        break;
    case SEEK_END:
        base = size_;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) || base + offset < 0)
        return AVERROR(EINVAL);
    position_ = base + offset;
    return position_;
}

Status MovieFileSink::commit(const std::string& targetPath) {
    if (descriptor_ < 0) return fail("The movie file is already closed.");
    if (!failure_.empty()) return fail(failure_);
    if (::fdatasync(descriptor_) != 0) {
        noteFailure(writeErrorSentence(errno));
        return fail(failure_);
    }
    const int closed = ::close(descriptor_);
    descriptor_ = -1;
    if (closed != 0) {
        noteFailure(writeErrorSentence(errno));
        ::unlink(temporaryPath_.c_str());
        return fail(failure_);
    }
    if (::rename(temporaryPath_.c_str(), targetPath.c_str()) != 0) {
        noteFailure(std::string("The finished movie could not be put in place (") + std::strerror(errno) +
                    ").");
        ::unlink(temporaryPath_.c_str());
        return fail(failure_);
    }
    temporaryPath_.clear();
    return {};
}

void MovieFileSink::discard() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

} // namespace vtl::detail
