#pragma once
// Shared by the recording view's tests and benchmark: a synthetic package whose pictures code
// their frame number, made once and kept, and reading that number back from a picture.

#include "platform/graphics/Bitmap.h"
#include "recorder/synthetic/SyntheticRecording.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace vtl::test {

// The package at `folder` (made on first use; parallel test processes each write their own copy
// and the first rename wins).
inline std::string frameNumberedPackage(const std::string& folder, std::uint32_t width, std::uint32_t height,
                                        double seconds, std::uint32_t fps = 30) {
    namespace fs = std::filesystem;
    if (fs::exists(fs::path(folder) / "vtldirectory")) return folder;
    fs::create_directories(fs::path(folder).parent_path());
    const std::string scratch = folder + ".part" + std::to_string(std::random_device{}());
    fs::remove_all(scratch);
    SyntheticRecordingSettings settings;
    settings.screen.width = width;
    settings.screen.height = height;
    settings.screen.frameNumberBlock = true;
    settings.framesPerSecond = fps;
    settings.seconds = seconds;
    if (!writeSyntheticRecording(scratch, settings)) return {};
    std::error_code error;
    fs::rename(scratch, folder, error);
    fs::remove_all(scratch);
    return fs::exists(fs::path(folder) / "vtldirectory") ? folder : std::string();
}

// The frame number coded at the top-left of an unscaled picture; −1 when the picture is too small.
inline std::int64_t frameNumberInPicture(const Bitmap& picture) {
    constexpr int cell = static_cast<int>(SyntheticScreenSource::frameNumberCellPixels);
    constexpr int bits = static_cast<int>(SyntheticScreenSource::frameNumberBits);
    if (picture.width() < bits * cell || picture.height() < cell) return -1;
    std::int64_t number = 0;
    for (int bit = 0; bit < bits; ++bit) {
        const Bitmap::Pixel p = picture.pixelAt(bit * cell + cell / 2, cell / 2);
        if ((p.r + p.g + p.b) / 3 > 128) number |= std::int64_t(1) << bit;
    }
    return number;
}

} // namespace vtl::test
