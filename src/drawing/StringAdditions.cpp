#include "drawing/StringAdditions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

namespace vtl {

void removePrefixRepeatedly(const std::string& prefix, std::string& text) {
    if (prefix.empty()) return;
    while (text.compare(0, prefix.size(), prefix) == 0)
        text.erase(0, prefix.size());
}

std::string validFileName(const std::string& name) {
    std::string out = name;
    removePrefixRepeatedly(".", out);
    removePrefixRepeatedly("~", out);
    std::replace(out.begin(), out.end(), '/', '-');
    return out;
}

bool isValidFilename(const std::string& name) {
    return !name.empty() && name == validFileName(name);
}

std::optional<std::string> typeOfFile(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return std::nullopt;
    if (std::filesystem::is_directory(status)) return std::string("public.folder");
    static const std::map<std::string, std::string> kTypes = {
        {"png", "public.png"},
        {"jpg", "public.jpeg"},
        {"jpeg", "public.jpeg"},
        {"tif", "public.tiff"},
        {"tiff", "public.tiff"},
        {"gif", "com.compuserve.gif"},
        {"mov", "com.apple.quicktime-movie"},
        {"mp4", "public.mpeg-4"},
        {"m4v", "com.apple.m4v-video"},
        {"m4a", "com.apple.m4a-audio"},
        {"mp3", "public.mp3"},
        {"wav", "com.microsoft.waveform-audio"},
        {"aif", "public.aiff-audio"},
        {"aiff", "public.aiff-audio"},
        {"txt", "public.plain-text"},
        {"rtf", "public.rtf"},
        {"pdf", "com.adobe.pdf"},
        {"plist", "com.apple.property-list"},
    };
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (auto it = kTypes.find(ext); it != kTypes.end()) return it->second;
    return std::string("public.data");
}

std::string hoursMinutesSecondsFramesFromTime(double t) {
    int hours = static_cast<int>(t * (1.0 / 3600.0));
    int s = static_cast<int>(t);
    int minutes = (s % 3600) / 60;
    int seconds = s % 60;
    int hundredths = static_cast<int>(t * 100) % 100;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%02d", hours, minutes, seconds, hundredths);
    return buf;
}

std::string hoursMinutesSecondsFromTime(bool omitZeroHours, double t) {
    double v = t < 0 ? -std::floor(t) : std::floor(t);
    int s = static_cast<int>(v);
    int hours = static_cast<int>(v * (1.0 / 3600.0));
    int minutes = (s % 3600) / 60;
    int seconds = s % 60;
    const char* sign = t < 0 ? "-" : "";
    char buf[64];
    if (omitZeroHours && hours == 0)
        std::snprintf(buf, sizeof buf, "%s%02d:%02d", sign, minutes, seconds);
    else
        std::snprintf(buf, sizeof buf, "%s%02d:%02d:%02d", sign, hours, minutes, seconds);
    return buf;
}

} // namespace vtl
