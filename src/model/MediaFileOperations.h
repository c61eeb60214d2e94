#pragma once
// The file operations the media managers perform, behind an interface so that failures (an
// unwritable target, a full disk) can be reproduced. Each operation reports failure with a
// sentence; a copy is written under a temporary name and renamed into place, so a file that is
// present is always whole. The default implementation works on the real file system; it is
// stateless and safe from any thread.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace vtl {

class MediaFileOperations {
public:
    virtual ~MediaFileOperations() = default;
    virtual bool exists(const std::filesystem::path& path) const;
    // Files and folders (recursively); the target's folder must exist; an existing target fails.
    virtual Status copy(const std::filesystem::path& from, const std::filesystem::path& to);
    // A rename, or a copy followed by removal of the source across volumes.
    virtual Status move(const std::filesystem::path& from, const std::filesystem::path& to);
    virtual Status remove(const std::filesystem::path& path);
    virtual Status createDirectories(const std::filesystem::path& path);
    // A file's size, or the allocated sizes of everything inside a folder.
    virtual uint64_t sizeOfResourceAtPath(const std::filesystem::path& path) const;
    // Free bytes of the volume holding the path (or its nearest existing parent).
    virtual std::optional<uint64_t> freeBytesOfVolume(const std::filesystem::path& path) const;

    static std::shared_ptr<MediaFileOperations> standard();
};

// Whether `path` lies inside `folder`, comparing canonical path components (never string prefixes,
// so "/a/pack" does not contain "/a/package2/x"). A path equal to the folder is not inside it.
bool pathIsInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

} // namespace vtl
