#pragma once
// The recording settings dictionary that the main application sends with the prepare command:
// its keys, their values as the recorder reads them, and the dictionary as the main application
// builds it. Both programs use this one description, so the two sides agree.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"
#include "recorder/RecordingModes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl {

namespace settings_keys {
inline constexpr std::string_view kRecordMode = "recordMode";
inline constexpr std::string_view kRecordScreenIndex = "recordScreenIndex";
inline constexpr std::string_view kRecordRect = "recordRect";
inline constexpr std::string_view kRecordMouse = "recordMouse";
inline constexpr std::string_view kFrameRate = "frameRate";
inline constexpr std::string_view kDesktopFillColor = "desktopFillColor";
inline constexpr std::string_view kRecordTimeout = "recordTimeout";
inline constexpr std::string_view kRecordQuality = "recordQuality";
inline constexpr std::string_view kShowRecordAreaWhileRecording = "showRecordAreaWhileRecording";
inline constexpr std::string_view kWindowNumber = "windowNumber";
inline constexpr std::string_view kPath = "path";
inline constexpr std::string_view kMouseVisualization = "mouseVisualization";
inline constexpr std::string_view kButtonNames = "buttonNames";
inline constexpr std::string_view kIOSDeviceID = "iOSDeviceID";
inline constexpr std::string_view kIOSPreviewAudio = "iosPreviewAudio";
inline constexpr std::string_view kIOSPreviewVideo = "iosPreviewVideo";
inline constexpr std::string_view kRecordISight = "recordISight";
inline constexpr std::string_view kCameraDeviceUniqueID = "cameraDeviceUniqueID";
inline constexpr std::string_view kShowISightOnSecondaryMonitor = "showISightOnSecondaryMonitor";
inline constexpr std::string_view kHideDesktop = "hideDesktop";
inline constexpr std::string_view kHideDesktopIcons = "hideDesktopIcons";
inline constexpr std::string_view kDesktopBackgroundImage = "desktopBackgroundImage";
inline constexpr std::string_view kDesktopImageStretchMode = "desktopImageStretchMode";
inline constexpr std::string_view kSuppressScreensaver = "suppressScreensaver";
inline constexpr std::string_view kRecorderDisplayMode = "recorderDisplayMode";
inline constexpr std::string_view kShowStatusItem = "showStatusItem";
inline constexpr std::string_view kAudioDevicesToRecord = "IDsOfAudioDevicesToRecord";
inline constexpr std::string_view kPersistentUID = "persistentUID";
inline constexpr std::string_view kAudioStreamID = "audioStreamID";
inline constexpr std::string_view kHotkeys = "hotkeys";
inline constexpr std::string_view kHotkeyStop = "stop";
inline constexpr std::string_view kHotkeyPauseResume = "pauseResume";
inline constexpr std::string_view kKeyCode = "keyCode";
inline constexpr std::string_view kModifiers = "modifiers";
inline constexpr std::string_view kRestartGUIApp = "restartGUIApp";
inline constexpr std::string_view kGUIAppPath = "GUIAppPath";
} // namespace settings_keys

// The package folder's extension, added to "path".
inline constexpr std::string_view kRecordingPackageExtension = "vistrelRecord";

// A global hot key as stored: the original key code and modifier mask.
struct HotKeyRecord {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    bool operator==(const HotKeyRecord&) const = default;
};

// The "hotkeys" dictionary: the stop and pause/resume keys, each optional.
struct RecordingHotKeys {
    std::optional<HotKeyRecord> stop;
    std::optional<HotKeyRecord> pauseResume;
    bool operator==(const RecordingHotKeys&) const = default;

    PropertyList toPropertyList() const;
    // Entries that are missing or not of the stored shape are left unset.
    static RecordingHotKeys fromPropertyList(const PropertyList& dictionary);
};

struct AudioDeviceToRecord {
    std::string persistentUID;
    std::uint32_t audioStreamID = 0;
    bool operator==(const AudioDeviceToRecord&) const = default;
};

struct RecordingSettings {
    RecordMode recordMode = RecordMode::FullScreen;
    int recordScreenIndex = 0;
    Rect recordRect; // points, global, y up; empty in full-screen mode means the whole screen
    bool recordMouse = false;
    int frameRate = 30;
    PlistBytes desktopFillColor;
    double recordTimeoutSeconds = 0; // 0: none
    RecordQuality recordQuality = RecordQuality::High;
    bool showRecordAreaWhileRecording = false;
    int windowNumber = 0;
    std::string path;              // the package path without the extension
    PlistBytes mouseVisualization; // keyed archive of a MouseVisualization
    PropertyList buttonNames;      // a dictionary, or None
    std::string iOSDeviceID;
    bool iosPreviewAudio = false;
    bool iosPreviewVideo = false;
    bool recordISight = false;
    std::string cameraDeviceUniqueID;
    bool showISightOnSecondaryMonitor = false;
    bool hideDesktop = false;
    bool hideDesktopIcons = false;
    std::string desktopBackgroundImage;
    int desktopImageStretchMode = 0;
    bool suppressScreensaver = false;
    RecorderDisplayMode recorderDisplayMode = RecorderDisplayMode::Nothing;
    bool showStatusItem = false;
    std::vector<AudioDeviceToRecord> audioDevicesToRecord;
    RecordingHotKeys hotkeys;
    bool restartGUIApp = false;
    std::string GUIAppPath;

    // The dictionary the main application sends. Empty strings and data are left out.
    PropertyList toDictionary() const;
    // Reads the dictionary; a key that is missing keeps its default, one of the wrong type too,
    // with a line in `problems`. A value that is not a dictionary gives the defaults and a problem.
    static RecordingSettings fromDictionary(const PropertyList& dictionary,
                                            std::vector<std::string>& problems);

    // The package folder: "path" with the extension.
    std::string recordPath() const;
};

} // namespace vtl
