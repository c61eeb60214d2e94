#pragma once
// Free space of the file system that holds a path, as an unprivileged user may use it.

#include <cstdint>
#include <optional>
#include <string>

namespace vtl {

// Bytes available to this process on the file system holding `path`, or nullopt with a message in
// `error` when the file system cannot be asked (missing path, no permission).
std::optional<std::uint64_t> freeDiskSpaceBytes(const std::string& path, std::string* error = nullptr);

} // namespace vtl
