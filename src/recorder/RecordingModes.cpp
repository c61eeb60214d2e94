#include "recorder/RecordingModes.h"

namespace vtl {

bool isKnownRecordMode(RecordMode mode) {
    return mode >= RecordMode::FullScreen && mode <= RecordMode::IOSDevice;
}

bool isKnownRecordQuality(RecordQuality quality) {
    return quality >= RecordQuality::Highest && quality <= RecordQuality::Medium;
}

} // namespace vtl
