// Feeds arbitrary bytes to the decoding of a generated-speech object from a keyed archive (its
// texts per language with their voices, file names and durations), then reads what the timeline
// and export ask of it and archives it again. Without a document nothing is synthesized.

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/GeneratedSpeech.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        vtl::CompositionGeneratedSpeechTrackObject::registerClasses();
        return true;
    }();
    (void)registered;
    auto decoded = vtl::KeyedUnarchiver::unarchive<vtl::CompositionGeneratedSpeechTrackObject>(
        std::span<const std::uint8_t>(data, size));
    if (!decoded.ok() || !decoded.value()) return 0;
    vtl::CompositionGeneratedSpeechTrackObject& object = *decoded.value();
    (void)object.languages();
    (void)object.allGeneratedSpeechFilesFileNames();
    (void)object.allGeneratedSpeechFilesPaths();
    for (int32_t language : {-1, 0, 2, 99})
        (void)object.durationOfLanguageScript(language);
    (void)object.snapEndTime();
    object.reevaluateDurations(nullptr);
    for (const auto& [name, speech] : object.speechTexts())
        (void)speech->pathWithDocumentBasePath("/package");
    (void)vtl::KeyedArchiver::archivedData(decoded.value());
    return 0;
}
