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

namespace {
// Times come from stored documents: NaN and values beyond any real duration must not reach an
// integer conversion. A trillion seconds keeps every count below in 64-bit range.
double representableSeconds(double t) {
    if (!(t == t)) return 0;
    return std::clamp(t, -1e12, 1e12);
}
} // namespace

std::string hoursMinutesSecondsFramesFromTime(double t) {
    t = representableSeconds(t);
    long long hours = static_cast<long long>(t * (1.0 / 3600.0));
    long long s = static_cast<long long>(t);
    long long minutes = (s % 3600) / 60;
    long long seconds = s % 60;
    long long hundredths = static_cast<long long>(t * 100) % 100;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%02lld", hours, minutes, seconds, hundredths);
    return buf;
}

std::string hoursMinutesSecondsFromTime(bool omitZeroHours, double t) {
    t = representableSeconds(t);
    double v = t < 0 ? -std::floor(t) : std::floor(t);
    long long s = static_cast<long long>(v);
    long long hours = static_cast<long long>(v * (1.0 / 3600.0));
    long long minutes = (s % 3600) / 60;
    long long seconds = s % 60;
    const char* sign = t < 0 ? "-" : "";
    char buf[96];
    if (omitZeroHours && hours == 0)
        std::snprintf(buf, sizeof buf, "%s%02lld:%02lld", sign, minutes, seconds);
    else
        std::snprintf(buf, sizeof buf, "%s%02lld:%02lld:%02lld", sign, hours, minutes, seconds);
    return buf;
}

} // namespace vtl
