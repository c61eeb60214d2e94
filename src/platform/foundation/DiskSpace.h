#pragma once
// Free space of the file system that holds a path, as an unprivileged user may use it.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <string>

namespace vtl {

// Bytes available to this process on the file system holding `path`; fails when the file system
// cannot be asked (missing path, no permission).
Result<std::uint64_t> freeDiskSpaceBytes(const std::string& path);

} // namespace vtl
