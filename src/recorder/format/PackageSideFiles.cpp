#include "recorder/format/PackageSideFiles.h"

#include "recorder/format/RecordingFormat.h"

#include <cmath>
#include <filesystem>
#include <system_error>

namespace vtl {

namespace {

long long truncatedDimension(double value) {
    if (!(value > 0)) return 0; // negative, zero, NaN
    if (value > 9.0e18) return 9000000000000000000ll;
    return static_cast<long long>(value);
}

} // namespace

void PauseTimes::beginPause(double recordingTimeSeconds) {
    entries_.push_back({recordingTimeSeconds, {}, {}});
}

void PauseTimes::endPause(double durationSeconds) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
        if (!it->sizePixels && !it->durationSeconds) {
            it->durationSeconds = durationSeconds;
            return;
        }
}

void PauseTimes::addSizeChange(double recordingTimeSeconds, Size sizePixels) {
    entries_.push_back({recordingTimeSeconds, 0.0, sizePixels});
}

bool PauseTimes::hasOpenPause() const {
    for (const Entry& entry : entries_)
        if (!entry.sizePixels && !entry.durationSeconds) return true;
    return false;
}

PropertyList PauseTimes::propertyList() const {
    PropertyList list = PropertyList::array();
    for (const Entry& entry : entries_) {
        if (!entry.sizePixels && !entry.durationSeconds) continue; // still open
        PropertyList item = PropertyList::dictionary();
        item.set(std::string(kPauseTimeKey), entry.timeSeconds);
        item.set(std::string(kPauseDurationKey), entry.durationSeconds.value_or(0.0));
        if (entry.sizePixels) item.set(std::string(kPauseSizeKey), stringFromSize(*entry.sizePixels));
        list.append(std::move(item));
    }
    return list;
}

Status PauseTimes::writeToPackage(const std::string& packagePath) const {
    const PropertyList list = propertyList();
    if (list.count() == 0) return {};
    return list.writeToFile(std::filesystem::path(packagePath) / std::string(kPauseTimesFileName),
                            PropertyListFormat::Xml);
}

Status writeIOSDeviceMeta(const std::string& packagePath, std::string_view deviceName) {
    PropertyList meta = PropertyList::dictionary();
    meta.set(std::string(kDeviceNameKey), std::string(deviceName));
    return meta.writeToFile(std::filesystem::path(packagePath) / std::string(kIOSDeviceMetaFileName),
                            PropertyListFormat::Xml);
}

std::string recordingSizeText(std::optional<Size> sizePixels) {
    if (!sizePixels) return {};
    return "RecordingSize_" + std::to_string(truncatedDimension(sizePixels->width)) + "x" +
           std::to_string(truncatedDimension(sizePixels->height));
}

PropertyList doneInfoDictionary(double durationSeconds, unsigned recordMode, std::optional<Size> sizePixels) {
    PropertyList info = PropertyList::dictionary();
    info.set(std::string(kRecordingDurationKey), std::isfinite(durationSeconds) ? durationSeconds : 0.0);
    info.set(std::string(kRecordingTypeKey), recordMode);
    info.set(std::string(kRecordingSizeKey), recordingSizeText(sizePixels));
    return info;
}

Status writeStealthRecordingInfo(const std::string& packagePath, const PropertyList& doneInfo) {
    std::filesystem::path package(packagePath);
    // "folder/take.vistrelRecord/" names the same package as without the slash.
    if (!package.has_filename()) package = package.parent_path();
    const std::filesystem::path target = package.parent_path() / std::string(kStealthRecordingInfoFileName);
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    return doneInfo.writeToFile(target, PropertyListFormat::Xml);
}

} // namespace vtl
