#pragma once
// The names under which the main application and the recorder program meet on the session bus,
// and the names of the notifications they broadcast. Both programs and outside tools use these.

#include <string_view>

namespace vtl {

inline constexpr std::string_view kObjectPath = "/";

// The recorder program: its well-known name and the interface of its remote-recorder operations.
inline constexpr std::string_view kRecorderServiceName = "com.morlunesoftware.vistrel3.vistrelrecorder";
inline constexpr std::string_view kRemoteRecorderInterface = "com.morlunesoftware.vistrel3.RemoteRecorder";

// The main application: its well-known name and the interface of its `Vistrel` operations.
inline constexpr std::string_view kMainApplicationServiceName = "com.morlunesoftware.vistrel3";
inline constexpr std::string_view kVistrelInterface = "com.morlunesoftware.vistrel3.Vistrel";

// Broadcast notifications: a signal of this interface on kObjectPath, named after the
// notification, with one "ay" argument (the user info as a binary property list, empty for none).
inline constexpr std::string_view kNotificationsInterface = "com.morlunesoftware.vistrel3.Notifications";

inline constexpr std::string_view kRemoteRecorderAvailableNotification =
    "VistrelRemoteRecorderAvailableNotification";
inline constexpr std::string_view kRemoteRecorderEndNotification = "VistrelRemoteRecorderEndNotification";
inline constexpr std::string_view kRemoteRecorderTerminateNotification =
    "VistrelRemoteRecorderTerminateNotification";
inline constexpr std::string_view kDidLaunchNotification = "VistrelDidLaunchNotification";
inline constexpr std::string_view kOpenLastRecordingNotification = "VistrelOpenLastRecordingNotification";
inline constexpr std::string_view kRemoteRecorderDidPauseNotification =
    "VistrelRemoteRecorderDidPauseRecording";
inline constexpr std::string_view kRemoteRecorderDidResumeNotification =
    "VistrelRemoteRecorderDidResumeRecording";
inline constexpr std::string_view kMovieFinishedNotification = "VistrelMovieFinishedNotification";

} // namespace vtl
