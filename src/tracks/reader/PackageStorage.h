#pragma once
// Read-only access to the files of one recording package. The reader works through this
// interface so that a package can come from a folder on disk or, in tests and fuzzing, from
// memory. Files are read by position, so one open file serves several threads.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class PackageFile {
public:
    virtual ~PackageFile() = default;
    // Current length of the file (a file still being written can grow).
    virtual std::uint64_t sizeBytes() const = 0;
    // Reads up to length bytes at offset; answers how many were read (0 at or past the end).
    virtual std::size_t readAt(std::uint64_t offsetBytes, void* destination, std::size_t length) const = 0;
};

class PackageStorage {
public:
    virtual ~PackageStorage() = default;
    // The package's path (or a name for a package in memory).
    virtual const std::string& path() const = 0;
    // Opens one file of the package for reading; null when it does not exist or cannot be opened.
    virtual std::unique_ptr<PackageFile> openFile(const std::string& name) const = 0;
    // The whole file, or nothing when it is missing or larger than limitBytes.
    bool readWholeFile(const std::string& name, std::vector<std::uint8_t>& contents,
                       std::uint64_t limitBytes = std::uint64_t(1) << 32) const;
};

// A package folder on disk.
class DirectoryPackageStorage final : public PackageStorage {
public:
    explicit DirectoryPackageStorage(std::string path)
        : path_(std::move(path)) {}
    const std::string& path() const override { return path_; }
    std::unique_ptr<PackageFile> openFile(const std::string& name) const override;

private:
    std::string path_;
};

// A package held in memory: file name → contents.
class MemoryPackageStorage final : public PackageStorage {
public:
    explicit MemoryPackageStorage(std::string name = "memory.vistrelRecord")
        : path_(std::move(name)) {}
    void setFile(const std::string& name, std::vector<std::uint8_t> contents);
    void removeFile(const std::string& name);
    const std::string& path() const override { return path_; }
    std::unique_ptr<PackageFile> openFile(const std::string& name) const override;

private:
    std::string path_;
    std::map<std::string, std::shared_ptr<const std::vector<std::uint8_t>>> files_;
};

} // namespace vtl
