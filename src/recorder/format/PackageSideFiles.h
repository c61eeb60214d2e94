#pragma once
// The property-list files around the frame stream: the pause list ("pauseTimes"), the iOS device
// name ("iOSDeviceMeta.plist") and the done-info dictionary that stealth mode leaves beside the
// package ("StealthRecordingInfo"). Writers for the recorder, key names for the reader.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl {

inline constexpr std::string_view kPauseTimeKey = "time";
inline constexpr std::string_view kPauseDurationKey = "duration";
inline constexpr std::string_view kPauseSizeKey = "size";
inline constexpr std::string_view kDeviceNameKey = "DeviceName";
inline constexpr std::string_view kRecordingDurationKey = "RecordingDuration";
inline constexpr std::string_view kRecordingTypeKey = "RecordingType";
inline constexpr std::string_view kRecordingSizeKey = "RecordingSize";

// Pauses and iOS picture size changes of one recording, in the order they happened. Times are
// recording seconds with earlier pauses excluded. Owned by the recording coordinator.
class PauseTimes {
public:
    struct Entry {
        double timeSeconds = 0;
        std::optional<double> durationSeconds; // unset while the pause is open
        std::optional<Size> sizePixels;        // set for a size change
        bool operator==(const Entry&) const = default;
    };

    void beginPause(double recordingTimeSeconds);
    // Closes the open pause; nothing happens when none is open.
    void endPause(double durationSeconds);
    void addSizeChange(double recordingTimeSeconds, Size sizePixels);
    bool hasOpenPause() const;
    const std::vector<Entry>& entries() const { return entries_; }

    // The stored array; a pause still open is left out.
    PropertyList propertyList() const;
    // Writes "pauseTimes" into the package atomically, only when there is something to store.
    Status writeToPackage(const std::string& packagePath) const;

private:
    std::vector<Entry> entries_;
};

// Writes "iOSDeviceMeta.plist" with the capture device's name.
Status writeIOSDeviceMeta(const std::string& packagePath, std::string_view deviceName);

// The done-info dictionary of a finished recording. The size text is "RecordingSize_<w>x<h>" with
// the pixel size truncated, or empty when no size is known.
PropertyList doneInfoDictionary(double durationSeconds, unsigned recordMode, std::optional<Size> sizePixels);
std::string recordingSizeText(std::optional<Size> sizePixels);

// Replaces "StealthRecordingInfo" in the folder holding the package with the done-info dictionary.
Status writeStealthRecordingInfo(const std::string& packagePath, const PropertyList& doneInfo);

} // namespace vtl
