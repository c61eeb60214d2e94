#pragma once
// Writes an 8-bit RGB PNG file from B, G, R, X pixels. Part of the package dump tool only.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtl::tools {

// Answers false with a message in *error when the file cannot be written.
bool writeRGBPng(const std::string& path, const std::uint8_t* bgrx, std::size_t width, std::size_t height,
                 std::size_t bytesPerRow, std::string* error);

} // namespace vtl::tools
