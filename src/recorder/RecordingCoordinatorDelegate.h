#pragma once
// The main application's operations that the recorder program calls (protocol `Vistrel`), and what
// the recording coordinator further needs of the recorder's application delegate, which
// implements both and outlives the coordinator.

#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vtl {

class Vistrel {
public:
    virtual ~Vistrel() = default;

    virtual void showFinishingRecord() = 0;
    // The done-info dictionary, or nullopt when an error is to be shown instead.
    virtual void recordDoneWithInfo(const std::optional<PropertyList>& doneInfo) = 0;
    // 0: no live picture.
    virtual void setSurfaceID(std::uint32_t surfaceID) = 0;
    virtual void setWaitingForUnpause(bool waiting) = 0;
    // 1: the disk is full.
    virtual void setRecordingError(int errorCode) = 0;
    virtual void presentRecordError(const std::string& message) = 0;
    virtual void disableIOSAudioPreviewFromRecorder() = 0;
    virtual void disableIOSVideoPreviewFromRecorder() = 0;
};

class RecordingCoordinatorDelegate : public Vistrel {
public:
    // The last recorder is done: the recording's result (nullopt when an error is to be shown).
    virtual void doneRecordingWithInfo(const std::optional<PropertyList>& doneInfo) = 0;
    // The recording stops: the hot keys are no longer wanted.
    virtual void unregisterHotkeys() = 0;
};

} // namespace vtl
