#pragma once
// The keys of the package's "mouse" property list, for its writer (the mouse recorder) and its
// readers.

#include <string_view>

namespace vtl::mouse_keys {

inline constexpr std::string_view kMouseVisible = "mouseVisible";
inline constexpr std::string_view kEventsVisible = "eventsVisible";
inline constexpr std::string_view kMousePositions = "mousePositions";
inline constexpr std::string_view kMouseEvents = "mouseEvents";
inline constexpr std::string_view kMouseCursorImages = "mouseCursorImages";
inline constexpr std::string_view kFocusWindowRects = "focusWindowRects";

inline constexpr std::string_view kPoint = "point";
inline constexpr std::string_view kTime = "time";
inline constexpr std::string_view kEventType = "eventType";
inline constexpr std::string_view kButton = "button";
inline constexpr std::string_view kWheelX = "wheelX";
inline constexpr std::string_view kWheelY = "wheelY";
inline constexpr std::string_view kMouseTIFFData = "mouseTIFFData";
inline constexpr std::string_view kHotspot = "hotspot";
inline constexpr std::string_view kCursorVisible = "cursorVisible";
inline constexpr std::string_view kFocusRect = "focusRect";

// "eventType" values.
inline constexpr int kButtonDown = 1;
inline constexpr int kButtonUp = 2;
inline constexpr int kWheel = 10;

} // namespace vtl::mouse_keys
