#include "platform/filetypes/FileTypes.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <filesystem>

namespace vtl {

namespace fs = std::filesystem;

namespace {

void addType(FileType& type, const std::string& identifier) {
    if (std::find(type.conformingTypes.begin(), type.conformingTypes.end(), identifier) ==
        type.conformingTypes.end())
        type.conformingTypes.push_back(identifier);
}

// The shared database knows no copy-protected kinds; such sound files are known by their name.
bool isProtectedSoundName(const std::string& extension) {
    return extension == ".m4p";
}

} // namespace

bool FileType::conformsTo(const std::string& type) const {
    return std::find(conformingTypes.begin(), conformingTypes.end(), type) != conformingTypes.end();
}

std::optional<FileType> fileTypeAtPath(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return std::nullopt;
    fs::path name(path);
    if (!name.has_filename()) name = name.parent_path();
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

    FileType type;
    if (fs::is_directory(status)) {
        if (name.extension() == ".vistrelRecord")
            type.identifier = kRecordingPackageFileType;
        else if (name.extension() == ".vistrelcomposition")
            type.identifier = kCompositionPackageFileType;
        else
            type.identifier = kFolderFileType;
        addType(type, type.identifier);
        if (type.identifier != kFolderFileType) addType(type, kPackageFileType);
        addType(type, kFolderFileType);
        return type;
    }
    // A fifo or device is never looked into: reading it could wait for ever.
    if (!fs::is_regular_file(status)) return std::nullopt;
    if (isProtectedSoundName(extension)) {
        type.identifier = "protected-mpeg-4-audio";
        addType(type, type.identifier);
        addType(type, kAudioFileType);
        return type;
    }
    if (extension == ".qtz") {
        type.identifier = kQuartzCompositionFileType;
        addType(type, type.identifier);
        return type;
    }

    static const QMimeDatabase database;
    const QMimeType mime =
        database.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchDefault);
    if (!mime.isValid()) return std::nullopt;
    type.identifier = mime.name().toStdString();
    addType(type, type.identifier);
    QStringList names = mime.allAncestors();
    names.prepend(mime.name());
    for (const QString& each : names) {
        if (each == QLatin1String("video/x-flv")) addType(type, kFlashVideoFileType);
        if (each.startsWith(QLatin1String("image/")))
            addType(type, kImageFileType);
        else if (each.startsWith(QLatin1String("video/")))
            addType(type, kMovieFileType);
        else if (each.startsWith(QLatin1String("audio/")))
            addType(type, kAudioFileType);
    }
    for (const QString& each : mime.allAncestors())
        addType(type, each.toStdString());
    return type;
}

} // namespace vtl
