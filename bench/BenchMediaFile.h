#pragma once
// A media file a benchmark reads, made once per process by the ffmpeg tool in the temporary
// folder and removed at exit. The process ends with a message when the tool fails.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace vtl::bench {

// `ffmpegArguments` go between "ffmpeg -nostdin -v error -y" and the output path.
inline std::string makeBenchMediaFile(const std::string& name, const std::string& ffmpegArguments) {
    const std::string path =
        (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name)).string();
    const std::string command = "ffmpeg -nostdin -v error -y " + ffmpegArguments + " '" + path + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "could not make the benchmark file %s\n", name.c_str());
        std::exit(1);
    }
    return path;
}

// Removes the file when the process exits.
inline void removeAtExit(const std::string& path) {
    static std::vector<std::string>* paths = [] {
        auto* list = new std::vector<std::string>;
        std::atexit([] {
            for (const std::string& p : *paths)
                std::filesystem::remove(p);
        });
        return list;
    }();
    paths->push_back(path);
}

// Two sines in stereo, AAC at 44.1 kHz, of the given length.
inline std::string makeBenchSound(const std::string& name, double seconds) {
    return makeBenchMediaFile(name, "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)*sin(2*PI*0.3*t)|"
                                    "0.3*sin(2*PI*660*t):s=44100:d=" +
                                        std::to_string(seconds) + "' -c:a aac -b:a 192k");
}

// Runs the ffmpeg tool with `arguments` (its input, filters and output) under its own -benchmark
// and answers the real time it reports, in seconds; -1 when it fails.
inline double ffmpegBenchmarkSeconds(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -benchmark " + arguments + " 2>&1 | grep -o 'rtime=[0-9.]*'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    const double seconds = read ? std::atof(line + 6) : -1;
    return seconds > 0 ? seconds : -1;
}

} // namespace vtl::bench
