#include "tracks/reader/PackageStorage.h"

#include "platform/foundation/FileHandle.h"

#include <algorithm>
#include <cstring>

namespace vtl {

namespace {

class DiskFile final : public PackageFile {
public:
    explicit DiskFile(FileHandle file)
        : file_(std::move(file)) {}

    std::uint64_t sizeBytes() const override { return file_.size().valueOr(0); }
    std::size_t readAt(std::uint64_t offsetBytes, void* destination, std::size_t length) const override {
        return file_.readAt(offsetBytes, destination, length).valueOr(0);
    }

private:
    FileHandle file_;
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
    // Only regular files: a fifo or device planted in a package is refused without waiting on it.
    auto file = FileHandle::open(path_ + "/" + name, FileOpenMode::Read);
    if (!file) return nullptr;
    return std::make_unique<DiskFile>(std::move(file).value());
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
