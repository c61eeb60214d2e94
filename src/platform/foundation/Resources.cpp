#include "platform/foundation/Resources.h"

#include <cstdlib>
#include <system_error>

namespace vtl {

std::filesystem::path resourcesDirectory() {
    if (const char* env = std::getenv("VISTREL_RESOURCES"); env && *env) return env;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto beside = exe.parent_path().parent_path() / "resources";
        if (std::filesystem::is_directory(beside, ec)) return beside;
    }
    return VISTREL_SOURCE_RESOURCES;
}

} // namespace vtl
