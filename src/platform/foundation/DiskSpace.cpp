#include "platform/foundation/DiskSpace.h"

#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>

namespace vtl {

std::optional<std::uint64_t> freeDiskSpaceBytes(const std::string& path, std::string* error) {
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0) {
        if (error)
            *error = "Cannot read the free space of the disk holding " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

} // namespace vtl
