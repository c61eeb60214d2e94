#pragma once
// What the export tests share: reading a written movie back with ffprobe, and the folder a test
// writes into (with a look at what else is left there).

#include "MediaFixtures.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vtl::test {

// "key=value" lines of ffprobe on the file, the keys prefixed by section: one map per stream in
// order, plus the format's in `format`.
struct ProbedMovie {
    std::vector<std::map<std::string, std::string>> streams;
    std::map<std::string, std::string> format;
    std::vector<std::string> chapterTitles;
};

inline ProbedMovie probeExportedMovie(const std::string& path) {
    ProbedMovie probed;
    const std::vector<std::uint8_t> out = commandOutput(
        "ffprobe -v error -count_frames -show_entries "
        "stream=index,codec_type,codec_name,codec_tag_string,width,height,r_frame_rate,nb_read_frames,"
        "sample_rate,channels:stream_tags=language,handler_name:format=duration,format_name:"
        "chapter_tags=title -of default=nw=0 '" +
        path + "' 2>/dev/null");
    std::string text(out.begin(), out.end());
    std::map<std::string, std::string>* section = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line == "[STREAM]") {
            probed.streams.emplace_back();
            section = &probed.streams.back();
        } else if (line == "[FORMAT]") {
            section = &probed.format;
        } else if (line == "[CHAPTER]") {
            section = nullptr;
        } else if (line.rfind("[/", 0) == 0) {
            section = nullptr;
        } else if (const std::size_t equals = line.find('='); equals != std::string::npos) {
            const std::string key = line.substr(0, equals);
            const std::string value = line.substr(equals + 1);
            if (key == "TAG:title" && !section)
                probed.chapterTitles.push_back(value);
            else if (section)
                (*section)[key] = value;
        }
    }
    return probed;
}

// Names of the files in a folder.
inline std::vector<std::string> exportFolderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace vtl::test
