#pragma once
// The root dictionary of a package's "composition" file: its keys, and the reading of it into
// plain values without touching a document, so that a damaged or hostile archive changes nothing.
// Free functions and a plain struct the caller owns.

#include "model/CompositionMediaEntry.h"
#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace vtl {

class CompositionBaseObject;
class DocumentMediaManager;

namespace package {

inline constexpr const char* compositionFileName = "composition";
inline constexpr const char* mediaCleanFileName = "mediaClean";
inline constexpr const char* mediaFolderName = "media";
inline constexpr const char* speechFolderName = "GeneratedSpeech";
inline constexpr const char* iconFileName = "Icon.png";
inline constexpr const char* compositionExtension = ".vistrelcomposition";
inline constexpr const char* recordingTypeName = "vistrelRecord";

inline constexpr std::int32_t currentFormatVersion = 5;
// Versions from this one on are refused; below the legacy one the fix-ups run.
inline constexpr std::int32_t firstTooNewFormatVersion = 6;
inline constexpr std::int32_t firstCurrentFormatVersion = 4;
// "composition" files larger than this are refused rather than read.
inline constexpr std::uint64_t maximumArchiveBytes = std::uint64_t(512) << 20;

// Everything the root dictionary holds, read and checked.
struct RootValues {
    std::int32_t formatVersion = 0;
    std::shared_ptr<CompositionObjectsContainer> container;
    double timeScale = 0;
    MediaEntryList mediaEntries;
    std::shared_ptr<DocumentMediaManager> legacyMediaManager;
    std::optional<PlistDictionary> expandedCollapsedPropertyViewStates;
    std::optional<PlistDictionary> windowFrameDictionary;
    std::optional<std::string> identifier;
    std::shared_ptr<CompositionBaseObject> lastAddedShape;
    std::shared_ptr<CompositionBaseObject> lastAddedText;
    std::optional<std::map<std::string, std::string>> recentlyUsedVoices;
    std::optional<std::string> mostRecentLanguageName;
    std::optional<std::vector<double>> horizontalGuides;
    std::optional<std::vector<double>> verticalGuides;
    bool dontAskAboutEnlargingAgain = false;
    std::optional<double> pixelsPerSecond;
};

enum class ReadFault { Broken, FormatTooNew };
struct ReadFailure {
    ReadFault fault = ReadFault::Broken;
    std::string message;
};

// Reads the root dictionary. Fails (Broken) on a damaged archive, a root that is not a dictionary,
// a container of another class or none, a version that is not a number, or media entries of
// another class; (FormatTooNew) on a version from 6 on. Values of other keys with the wrong type
// are left out.
std::variant<RootValues, ReadFailure> readRoot(std::span<const std::uint8_t> bytes);

// The keyed archive of the root dictionary, keys in their stored order ("mediaManager" and
// "pixelsPerSecond" are only read). Fails when an object cannot be archived.
Result<PlistBytes> archiveRoot(const RootValues& values);

// Registers every class a composition archive may hold (once per process).
void registerDocumentClasses();

} // namespace package
} // namespace vtl
