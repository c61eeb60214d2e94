#include "platform/foundation/PathExchange.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace vtl {

Status exchangePaths(const std::string& first, const std::string& second) {
    if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) != 0)
        return fail("Cannot exchange " + first + " and " + second + ": " + std::strerror(errno) + ".");
    return {};
}

} // namespace vtl
