#include "recorder/RecordingSettings.h"

#include <cmath>
#include <limits>

namespace vtl {

namespace keys = settings_keys;

namespace {

// Reads typed values from the dictionary, noting every value of the wrong type.
class Reader {
public:
    Reader(const PropertyList& dictionary, std::vector<std::string>& problems)
        : dictionary_(dictionary)
        , problems_(problems) {}

    void readInt(std::string_view key, int& out) {
        const PropertyList* value = dictionary_.get(key);
        if (!value) return;
        std::optional<double> number = value->numberValue();
        if (!number) {
            if (auto flag = value->boolValue()) number = *flag ? 1.0 : 0.0;
        }
        if (!number || !std::isfinite(*number) || *number < std::numeric_limits<int>::min() ||
            *number > std::numeric_limits<int>::max()) {
            wrongType(key, "an integer");
            return;
        }
        out = static_cast<int>(*number);
    }

    // An enumeration keeps the number as stored; whoever uses it judges it.
    template <class Enum> void readEnum(std::string_view key, Enum& out) {
        int number = static_cast<int>(out);
        readInt(key, number);
        out = static_cast<Enum>(number);
    }

    void readUInt32(std::string_view key, std::uint32_t& out, const PropertyList& from) {
        const PropertyList* value = from.get(key);
        if (!value) return;
        std::optional<std::int64_t> number = value->integerValue();
        if (!number || *number < 0 || *number > std::numeric_limits<std::uint32_t>::max()) {
            wrongType(key, "an unsigned 32-bit integer");
            return;
        }
        out = static_cast<std::uint32_t>(*number);
    }

    void readDouble(std::string_view key, double& out) {
        const PropertyList* value = dictionary_.get(key);
        if (!value) return;
        std::optional<double> number = value->numberValue();
        if (!number || !std::isfinite(*number)) {
            wrongType(key, "a number");
            return;
        }
        out = *number;
    }

    void readBool(std::string_view key, bool& out) {
        const PropertyList* value = dictionary_.get(key);
        if (!value) return;
        if (auto flag = value->boolValue()) {
            out = *flag;
        } else if (auto number = value->numberValue()) {
            out = *number != 0;
        } else {
            wrongType(key, "a boolean");
        }
    }

    void readString(std::string_view key, std::string& out) {
        const PropertyList* value = dictionary_.get(key);
        if (!value) return;
        if (const std::string* text = value->stringValue())
            out = *text;
        else
            wrongType(key, "a string");
    }

    void readData(std::string_view key, PlistBytes& out) {
        const PropertyList* value = dictionary_.get(key);
        if (!value) return;
        if (const PlistBytes* bytes = value->dataValue())
            out = *bytes;
        else
            wrongType(key, "data");
    }

    void readRect(std::string_view key, Rect& out) {
        const PropertyList* value = dictionary_.get(key);
        if (!value) return;
        const std::string* text = value->stringValue();
        std::optional<Rect> rect = text ? parseRect(*text) : std::nullopt;
        if (!rect || !std::isfinite(rect->minX()) || !std::isfinite(rect->minY()) ||
            !std::isfinite(rect->width()) || !std::isfinite(rect->height())) {
            wrongType(key, "a rectangle \"{{x, y}, {w, h}}\"");
            return;
        }
        out = *rect;
    }

    void wrongType(std::string_view key, const char* expected) {
        problems_.push_back("The recording setting \"" + std::string(key) + "\" is not " + expected + ".");
    }

    const PropertyList& dictionary() const { return dictionary_; }

private:
    const PropertyList& dictionary_;
    std::vector<std::string>& problems_;
};

std::optional<HotKeyRecord> hotKeyFrom(const PropertyList* entry) {
    if (!entry || !entry->isDictionary()) return std::nullopt;
    std::optional<std::int64_t> keyCode = entry->integerForKey(keys::kKeyCode);
    std::optional<std::int64_t> modifiers = entry->integerForKey(keys::kModifiers);
    if (!keyCode || !modifiers || *keyCode < 0 || *modifiers < 0 || *keyCode > 0xffffffffLL ||
        *modifiers > 0xffffffffLL)
        return std::nullopt;
    return HotKeyRecord{static_cast<std::uint32_t>(*keyCode), static_cast<std::uint32_t>(*modifiers)};
}

PropertyList hotKeyEntry(const HotKeyRecord& key) {
    return PropertyList::dictionary({{std::string(keys::kKeyCode), PropertyList(key.keyCode)},
                                     {std::string(keys::kModifiers), PropertyList(key.modifiers)}});
}

} // namespace

PropertyList RecordingHotKeys::toPropertyList() const {
    PropertyList dictionary = PropertyList::dictionary();
    if (stop) dictionary.set(std::string(keys::kHotkeyStop), hotKeyEntry(*stop));
    if (pauseResume) dictionary.set(std::string(keys::kHotkeyPauseResume), hotKeyEntry(*pauseResume));
    return dictionary;
}

RecordingHotKeys RecordingHotKeys::fromPropertyList(const PropertyList& dictionary) {
    RecordingHotKeys hotKeys;
    hotKeys.stop = hotKeyFrom(dictionary.get(keys::kHotkeyStop));
    hotKeys.pauseResume = hotKeyFrom(dictionary.get(keys::kHotkeyPauseResume));
    return hotKeys;
}

PropertyList RecordingSettings::toDictionary() const {
    PropertyList d = PropertyList::dictionary();
    auto put = [&d](std::string_view key, PropertyList value) { d.set(std::string(key), std::move(value)); };
    auto putString = [&put](std::string_view key, const std::string& value) {
        if (!value.empty()) put(key, PropertyList(value));
    };
    auto putData = [&put](std::string_view key, const PlistBytes& value) {
        if (!value.empty()) put(key, PropertyList(value));
    };
    put(keys::kRecordMode, static_cast<int>(recordMode));
    put(keys::kRecordScreenIndex, recordScreenIndex);
    put(keys::kRecordRect, stringFromRect(recordRect));
    put(keys::kRecordMouse, recordMouse);
    put(keys::kFrameRate, frameRate);
    putData(keys::kDesktopFillColor, desktopFillColor);
    put(keys::kRecordTimeout, recordTimeoutSeconds);
    put(keys::kRecordQuality, static_cast<int>(recordQuality));
    put(keys::kShowRecordAreaWhileRecording, showRecordAreaWhileRecording);
    put(keys::kWindowNumber, windowNumber);
    putString(keys::kPath, path);
    putData(keys::kMouseVisualization, mouseVisualization);
    if (buttonNames.isDictionary()) put(keys::kButtonNames, buttonNames);
    putString(keys::kIOSDeviceID, iOSDeviceID);
    put(keys::kIOSPreviewAudio, iosPreviewAudio);
    put(keys::kIOSPreviewVideo, iosPreviewVideo);
    put(keys::kRecordISight, recordISight);
    putString(keys::kCameraDeviceUniqueID, cameraDeviceUniqueID);
    put(keys::kShowISightOnSecondaryMonitor, showISightOnSecondaryMonitor);
    put(keys::kHideDesktop, hideDesktop);
    put(keys::kHideDesktopIcons, hideDesktopIcons);
    putString(keys::kDesktopBackgroundImage, desktopBackgroundImage);
    put(keys::kDesktopImageStretchMode, desktopImageStretchMode);
    put(keys::kSuppressScreensaver, suppressScreensaver);
    put(keys::kRecorderDisplayMode, static_cast<int>(recorderDisplayMode));
    put(keys::kShowStatusItem, showStatusItem);
    PropertyList devices = PropertyList::array();
    for (const AudioDeviceToRecord& device : audioDevicesToRecord)
        devices.append(PropertyList::dictionary(
            {{std::string(keys::kPersistentUID), PropertyList(device.persistentUID)},
             {std::string(keys::kAudioStreamID), PropertyList(device.audioStreamID)}}));
    put(keys::kAudioDevicesToRecord, std::move(devices));
    put(keys::kHotkeys, hotkeys.toPropertyList());
    put(keys::kRestartGUIApp, restartGUIApp);
    putString(keys::kGUIAppPath, GUIAppPath);
    return d;
}

RecordingSettings RecordingSettings::fromDictionary(const PropertyList& dictionary,
                                                    std::vector<std::string>& problems) {
    RecordingSettings s;
    if (!dictionary.isDictionary()) {
        problems.push_back("The recording settings are not a dictionary.");
        return s;
    }
    Reader r(dictionary, problems);
    r.readEnum(keys::kRecordMode, s.recordMode);
    r.readInt(keys::kRecordScreenIndex, s.recordScreenIndex);
    r.readRect(keys::kRecordRect, s.recordRect);
    r.readBool(keys::kRecordMouse, s.recordMouse);
    r.readInt(keys::kFrameRate, s.frameRate);
    r.readData(keys::kDesktopFillColor, s.desktopFillColor);
    r.readDouble(keys::kRecordTimeout, s.recordTimeoutSeconds);
    r.readEnum(keys::kRecordQuality, s.recordQuality);
    r.readBool(keys::kShowRecordAreaWhileRecording, s.showRecordAreaWhileRecording);
    r.readInt(keys::kWindowNumber, s.windowNumber);
    r.readString(keys::kPath, s.path);
    r.readData(keys::kMouseVisualization, s.mouseVisualization);
    if (const PropertyList* names = dictionary.get(keys::kButtonNames)) {
        if (names->isDictionary())
            s.buttonNames = *names;
        else
            r.wrongType(keys::kButtonNames, "a dictionary");
    }
    r.readString(keys::kIOSDeviceID, s.iOSDeviceID);
    r.readBool(keys::kIOSPreviewAudio, s.iosPreviewAudio);
    r.readBool(keys::kIOSPreviewVideo, s.iosPreviewVideo);
    r.readBool(keys::kRecordISight, s.recordISight);
    r.readString(keys::kCameraDeviceUniqueID, s.cameraDeviceUniqueID);
    r.readBool(keys::kShowISightOnSecondaryMonitor, s.showISightOnSecondaryMonitor);
    r.readBool(keys::kHideDesktop, s.hideDesktop);
    r.readBool(keys::kHideDesktopIcons, s.hideDesktopIcons);
    r.readString(keys::kDesktopBackgroundImage, s.desktopBackgroundImage);
    r.readInt(keys::kDesktopImageStretchMode, s.desktopImageStretchMode);
    r.readBool(keys::kSuppressScreensaver, s.suppressScreensaver);
    r.readEnum(keys::kRecorderDisplayMode, s.recorderDisplayMode);
    r.readBool(keys::kShowStatusItem, s.showStatusItem);
    if (const PropertyList* devices = dictionary.get(keys::kAudioDevicesToRecord)) {
        const PlistArray* list = devices->arrayValue();
        if (!list) r.wrongType(keys::kAudioDevicesToRecord, "an array");
        for (std::size_t i = 0; list && i < list->size(); ++i) {
            const PropertyList& entry = (*list)[i];
            const std::string* uid = entry.stringForKey(keys::kPersistentUID);
            if (!uid) {
                problems.push_back("Audio device entry " + std::to_string(i) + " has no \"persistentUID\".");
                continue;
            }
            AudioDeviceToRecord device{*uid, 0};
            r.readUInt32(keys::kAudioStreamID, device.audioStreamID, entry);
            s.audioDevicesToRecord.push_back(std::move(device));
        }
    }
    if (const PropertyList* hotkeys = dictionary.get(keys::kHotkeys)) {
        if (hotkeys->isDictionary())
            s.hotkeys = RecordingHotKeys::fromPropertyList(*hotkeys);
        else
            r.wrongType(keys::kHotkeys, "a dictionary");
    }
    r.readBool(keys::kRestartGUIApp, s.restartGUIApp);
    r.readString(keys::kGUIAppPath, s.GUIAppPath);
    return s;
}

std::string RecordingSettings::recordPath() const {
    return path + "." + std::string(kRecordingPackageExtension);
}

} // namespace vtl
