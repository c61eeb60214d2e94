#pragma once
// The choices a recording is made with, as the settings dictionary stores them (the numbers are
// the stored ones). Shared by the settings, the coordinator, the grabber and the frames.

namespace vtl {

// What is recorded ("recordMode"). The stored number is kept as read; the coordinator refuses
// numbers that name no mode.
enum class RecordMode : int { FullScreen = 0, Window = 1, Area = 2, IOSDevice = 3 };
bool isKnownRecordMode(RecordMode mode);

// "recordQuality": the JPEG base quality of the frames (1 the highest).
enum class RecordQuality : int { Highest = 1, High = 2, Medium = 3 };
bool isKnownRecordQuality(RecordQuality quality);

// "recorderDisplayMode": what the status item shows while recording.
enum class RecorderDisplayMode : int { Nothing = 0, ElapsedTime = 1, RecordedSize = 2 };

} // namespace vtl
