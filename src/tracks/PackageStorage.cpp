#include "tracks/PackageStorage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vtl {

namespace {

class DiskFile final : public PackageFile {
public:
    explicit DiskFile(int descriptor)
        : descriptor_(descriptor) {}
    ~DiskFile() override { ::close(descriptor_); }

    std::uint64_t sizeBytes() const override {
        struct stat info;
        if (::fstat(descriptor_, &info) != 0 || info.st_size < 0) return 0;
        return static_cast<std::uint64_t>(info.st_size);
    }

    std::size_t readAt(std::uint64_t offsetBytes, void* destination, std::size_t length) const override {
        auto* out = static_cast<char*>(destination);
        std::size_t done = 0;
        while (done < length) {
            const std::uint64_t position = offsetBytes + done;
            if (position < offsetBytes || position > static_cast<std::uint64_t>(INT64_MAX)) break;
            const ssize_t got =
                ::pread(descriptor_, out + done, length - done, static_cast<off_t>(position));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    int descriptor_;
};

class MemoryFile final : public PackageFile {
public:
    explicit MemoryFile(std::shared_ptr<const std::vector<std::uint8_t>> bytes)
        : bytes_(std::move(bytes)) {}
    std::uint64_t sizeBytes() const override { return bytes_->size(); }
    std::size_t readAt(std::uint64_t offsetBytes, void* destination, std::size_t length) const override {
        if (length == 0 || offsetBytes >= bytes_->size()) return 0;
        const std::size_t count = std::min<std::uint64_t>(length, bytes_->size() - offsetBytes);
        std::memcpy(destination, bytes_->data() + offsetBytes, count);
        return count;
    }

private:
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
};

} // namespace

bool PackageStorage::readWholeFile(const std::string& name, std::vector<std::uint8_t>& contents,
                                   std::uint64_t limitBytes) const {
    auto file = openFile(name);
    if (!file) return false;
    const std::uint64_t size = file->sizeBytes();
    if (size > limitBytes) return false;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    bytes.resize(file->readAt(0, bytes.data(), bytes.size()));
    contents = std::move(bytes);
    return true;
}

std::unique_ptr<PackageFile> DirectoryPackageStorage::openFile(const std::string& name) const {
    const std::string full = path_ + "/" + name;
    // Non-blocking, so that a fifo or device planted in a package cannot stall the open; reads
    // of the regular files kept below are not affected by the flag.
    const int descriptor = ::open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) return nullptr;
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return nullptr;
    }
    return std::make_unique<DiskFile>(descriptor);
}

void MemoryPackageStorage::setFile(const std::string& name, std::vector<std::uint8_t> contents) {
    files_[name] = std::make_shared<const std::vector<std::uint8_t>>(std::move(contents));
}

void MemoryPackageStorage::removeFile(const std::string& name) {
    files_.erase(name);
}

std::unique_ptr<PackageFile> MemoryPackageStorage::openFile(const std::string& name) const {
    auto it = files_.find(name);
    if (it == files_.end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second);
}

} // namespace vtl
