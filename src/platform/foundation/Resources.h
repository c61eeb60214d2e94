#pragma once
// Where the program's own resources (string tables, images, sounds, presets) are found.

#include <filesystem>

namespace vtl {

// $VISTREL_RESOURCES when set, else "resources" beside the executable's folder, else the source tree's.
std::filesystem::path resourcesDirectory();

} // namespace vtl
