#include "recorder/RecorderStatusItem.h"

#include "platform/foundation/Localization.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vtl {

namespace {

// The size formats come from a string table: only a single "%f" with an optional precision is
// used, anything else falls back to one decimal.
bool hasOneRealConversion(const std::string& format) {
    int conversions = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (j + 1 < format.size() && format[j] == '.' && format[j + 1] >= '0' && format[j + 1] <= '9') j += 2;
        if (j >= format.size() || format[j] != 'f') return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

std::string formatSize(std::string_view key, double value) {
    std::string format = localizedString(key);
    if (!hasOneRealConversion(format)) format = "%.1f";
    char text[128];
    std::snprintf(text, sizeof text, format.c_str(), value);
    return text;
}

} // namespace

std::string formatRecordSize(std::uint64_t sizeBytes) {
    const double bytes = static_cast<double>(sizeBytes);
    if (sizeBytes >= (std::uint64_t{1} << 30)) return formatSize("RecordSize_GB", bytes / double(1 << 30));
    if (sizeBytes >= (std::uint64_t{1} << 20)) return formatSize("RecordSize_MB", bytes / double(1 << 20));
    return formatSize("RecordSize_KB", bytes / double(1 << 10));
}

std::string recorderStatusTitle(RecorderDisplayMode displayMode, std::optional<double> elapsedSeconds,
                                std::uint64_t sizeBytes) {
    if (displayMode == RecorderDisplayMode::ElapsedTime) {
        if (!elapsedSeconds) return {};
        long total = std::lround(std::floor(std::max(0.0, *elapsedSeconds)));
        char text[32];
        if (total >= 3600)
            std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, (total / 60) % 60,
                          total % 60);
        else
            std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
        return text;
    }
    if (displayMode == RecorderDisplayMode::RecordedSize) return formatRecordSize(sizeBytes);
    return {};
}

} // namespace vtl
