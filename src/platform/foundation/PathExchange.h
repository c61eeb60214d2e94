#pragma once
// Swaps what two paths name in one step, so that neither is ever missing: the way a package is
// replaced by a new one written beside it. A free function.

#include "platform/foundation/Result.h"

#include <string>

namespace vtl {

// Fails (changing nothing) when either is missing, they are on different file systems, or the file
// system cannot swap entries.
Status exchangePaths(const std::string& first, const std::string& second);

} // namespace vtl
