#include "platform/foundation/DiskSpace.h"

#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>

namespace vtl {

Result<std::uint64_t> freeDiskSpaceBytes(const std::string& path) {
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0)
        return fail("Cannot read the free space of the disk holding " + path + ": " + std::strerror(errno));
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

} // namespace vtl
