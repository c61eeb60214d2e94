#include "platform/foundation/DiskSpace.h"

#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vtl {

Result<std::uint64_t> freeDiskSpaceBytes(const std::string& path) {
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0)
        return fail("Cannot read the free space of the disk holding " + path + ": " + std::strerror(errno));
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

Status checkFolderWritable(const std::string& folder) {
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0)
        return fail("The folder " + folder + " cannot be used: " + std::strerror(errno) + ".");
    if (info.f_flag & ST_RDONLY) return fail("The folder " + folder + " is on a read-only disk.");
    if (::access(folder.c_str(), W_OK) != 0) {
        if (errno == EROFS) return fail("The folder " + folder + " is on a read-only disk.");
        return fail("The folder " + folder + " cannot be written to: " + std::strerror(errno) + ".");
    }
    return {};
}

} // namespace vtl
