#pragma once
// What kind of file a path names, as a type identifier with the broader kinds it belongs to
// ("public.image", "public.movie", "public.audio", …). Read from the shared MIME database by
// content and name; the system's own packages are known by their extension. Plain functions,
// safe from any thread.

#include <optional>
#include <string>
#include <vector>

namespace vtl {

inline constexpr const char* kImageFileType = "public.image";
inline constexpr const char* kMovieFileType = "public.movie";
inline constexpr const char* kAudioFileType = "public.audio";
inline constexpr const char* kFlashVideoFileType = "com.adobe.flash.video";
inline constexpr const char* kFolderFileType = "public.folder";
// A folder shown as one document.
inline constexpr const char* kPackageFileType = "public.package";
inline constexpr const char* kRecordingPackageFileType = "com.morlunesoftware.vistrelRecord";
inline constexpr const char* kCompositionPackageFileType = "com.morlunesoftware.vistrelcomposition";
inline constexpr const char* kQuartzCompositionFileType = "com.apple.quartz-composer-composition";

struct FileType {
    // The file's own identifier: a package identifier above, else its MIME type name
    // ("image/png"); copy-protected media carry "protected" in it.
    std::string identifier;
    // The identifier itself and every broader kind, narrowest first.
    std::vector<std::string> conformingTypes;

    bool conformsTo(const std::string& type) const;
};

// None when nothing is at the path, it cannot be read, or it is no plain file or folder (a fifo,
// a device).
std::optional<FileType> fileTypeAtPath(const std::string& path);

} // namespace vtl
