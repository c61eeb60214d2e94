// vistrel-synthetic-recording FOLDER [--seconds S] [--fps N] [--size WxH] [--quality Q]
// Writes a recording package from a synthetic screen through the real encode pipeline, so the
// package files can be examined or fed to the reader.

#include "recorder/format/RecordingFormat.h"
#include "recorder/synthetic/SyntheticRecording.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* usageText =
    "usage: vistrel-synthetic-recording FOLDER [--seconds S] [--fps N] [--size WxH] [--quality Q]\n"
    "       [--moved-blocks] [--frame-number] [--threads N]\n"
    "  FOLDER   the package folder to create (its parent must exist)\n"
    "  S        recorded seconds (default 10)\n"
    "  N        frames per second, 2 or more (default 30)\n"
    "  WxH      picture size in pixels (default 1920x1080)\n"
    "  Q        record quality: 1 best, 2 normal, 3 smallest (default 2)\n"
    "  --frame-number  a block at the top-left codes each frame's number\n";

int usage() {
    std::fputs(usageText, stderr);
    return 2;
}

bool parseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end && *end == '\0' && end != text;
}

} // namespace

int main(int argc, char** argv) {
    vtl::SyntheticRecordingSettings settings;
    settings.screen.movedBlocks = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        }
        const bool hasValue = i + 1 < argc;
        double number = 0;
        if (arg == "--seconds" && hasValue && parseNumber(argv[i + 1], number) && number > 0 &&
            number < 86400) {
            settings.seconds = number;
            ++i;
        } else if (arg == "--fps" && hasValue && parseNumber(argv[i + 1], number) && number >= 2 &&
                   number <= 240) {
            settings.framesPerSecond = static_cast<std::uint32_t>(number);
            ++i;
        } else if (arg == "--quality" && hasValue && parseNumber(argv[i + 1], number) && number >= 1 &&
                   number <= 3) {
            settings.recordQuality = static_cast<vtl::RecordQuality>(static_cast<int>(number));
            ++i;
        } else if (arg == "--threads" && hasValue && parseNumber(argv[i + 1], number) && number >= 1 &&
                   number <= 64) {
            settings.encodeThreads = static_cast<unsigned>(number);
            ++i;
        } else if (arg == "--size" && hasValue) {
            unsigned w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(argv[i + 1], "%ux%u%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 16384 ||
                h > 16384)
                return usage();
            settings.screen.width = w;
            settings.screen.height = h;
            ++i;
        } else if (arg == "--moved-blocks") {
            settings.screen.movedBlocks = true;
        } else if (arg == "--frame-number") {
            settings.screen.frameNumberBlock = true;
        } else if (!arg.empty() && arg[0] != '-' && folder.empty()) {
            folder = arg;
        } else if (arg.rfind("--", 0) == 0 && arg != "--seconds" && arg != "--fps" && arg != "--quality" &&
                   arg != "--threads" && arg != "--size") {
            std::fprintf(stderr, "vistrel-synthetic-recording: unknown option %s\n", arg.c_str());
            return usage();
        } else {
            return usage();
        }
    }
    if (folder.empty()) return usage();
    // Writing into a folder that holds other things would mix a package into them.
    std::error_code error;
    if (std::filesystem::is_directory(folder, error) && !std::filesystem::is_empty(folder, error) &&
        !std::filesystem::is_regular_file(std::filesystem::path(folder) / vtl::kMetaFileName, error)) {
        std::fprintf(stderr,
                     "vistrel-synthetic-recording: %s holds other files and is not a recording package.\n",
                     folder.c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    const auto result = vtl::writeSyntheticRecording(folder, settings);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!result) {
        std::fprintf(stderr, "vistrel-synthetic-recording: %s\n", result.error().c_str());
        return 1;
    }
    std::printf("%s: %llu frames (%llu key frames), %llu thumbnails, %.3f s, %llu bytes, written in %.2f s\n",
                folder.c_str(), static_cast<unsigned long long>(result->framesWritten),
                static_cast<unsigned long long>(result->keyFrames),
                static_cast<unsigned long long>(result->thumbnails), result->durationSeconds,
                static_cast<unsigned long long>(result->bytesWritten), elapsed);
    return 0;
}
