#pragma once
// Free space of the file system that holds a path, as an unprivileged user may use it, and
// whether a folder can be written to at all.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <string>

namespace vtl {

// Bytes available to this process on the file system holding `path`; fails when the file system
// cannot be asked (missing path, no permission).
Result<std::uint64_t> freeDiskSpaceBytes(const std::string& path);

// Whether new files can be made in the folder: fails saying why not (a read-only disk, no
// permission, no such folder).
Status checkFolderWritable(const std::string& folder);

} // namespace vtl
