#include "document/DocumentOpening.h"

#include "model/SharedMediaManager.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/MouseVisualization.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionVistrelTrack.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace vtl {

namespace fs = std::filesystem;

namespace {

// Stored files larger than this are refused rather than read.
constexpr std::uintmax_t maximumArchiveBytes = std::uintmax_t(512) << 20;
// Newest package format this program reads.
constexpr std::int64_t newestFormatVersion = 5;

Result<std::vector<std::uint8_t>> readWholeFile(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return fail("The file " + path.string() + " cannot be read: " + error.message() + ".");
    if (size > maximumArchiveBytes) return fail("The file " + path.string() + " is too large to be a composition.");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("The file " + path.string() + " cannot be opened.");
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() != size) return fail("The file " + path.string() + " could not be read whole.");
    return bytes;
}

void registerCompositionClasses() {
    static const bool registered = [] {
        CompositionVistrelTrack::registerClasses();
        CompositionMovieTrackObject::registerClasses();
        registerVisualObjectClasses();
        return true;
    }();
    (void)registered;
}

} // namespace

bool isRecordingPackagePath(const std::string& path) {
    fs::path p(path);
    if (!p.has_filename()) p = p.parent_path();
    return p.extension() == ".vistrelRecord";
}

Result<std::unique_ptr<CompositionDocument>> openRecordingAsComposition(const std::string& packagePath,
                                                                        SharedMediaManager& media) {
    std::error_code error;
    if (!fs::is_directory(packagePath, error))
        return fail("The recording " + packagePath + " is not there or is not a package.");
    registerCompositionClasses();
    auto document = std::make_unique<CompositionDocument>();
    document->setSharedMediaManager(&media);
    std::optional<ObjectList> added =
        document->addVistrelRecordFromPath(packagePath, 0, EnlargeQuestion::DontAsk, AutoEnlarge::Yes);
    const bool hasRecording =
        added && std::any_of(added->begin(), added->end(), [](const std::shared_ptr<CompositionBaseObject>& object) {
            return dynamic_cast<const CompositionVistrelTrack*>(object.get()) != nullptr;
        });
    if (!hasRecording) return fail("The recording " + packagePath + " cannot be read.");
    // A new composition starts with nothing to undo.
    document->undoManager()->removeAllActions();
    return document;
}

Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath) {
    std::error_code error;
    if (!fs::is_directory(packagePath, error))
        return fail("The composition " + packagePath + " is not there or is not a package.");
    Result<std::vector<std::uint8_t>> bytes = readWholeFile(fs::path(packagePath) / "composition");
    if (!bytes) return bytes.asFailure();
    return readCompositionArchive(bytes.value(), "The composition " + packagePath);
}

Result<std::unique_ptr<CompositionDocument>> readCompositionArchive(std::span<const std::uint8_t> bytes,
                                                                    const std::string& name) {
    registerCompositionClasses();
    KeyedUnarchiver coder;
    if (Status opened = coder.open(bytes); !opened) return fail(name + " is damaged: " + opened.error());
    std::optional<ArchivedDictionary> root = coder.decodeDictionaryForKey("root");
    const ArchivedValue* version = root ? root->find("VistrelDocumentFormatVersion") : nullptr;
    if (version) {
        const std::optional<double> number = version->numberValue();
        if (number && *number >= double(newestFormatVersion + 1)) return fail(name + " was saved by a newer version.");
    }
    const ArchivedValue* objects = root ? root->find("objects") : nullptr;
    std::shared_ptr<CompositionObjectsContainer> container =
        objects ? objects->objectAs<CompositionObjectsContainer>() : nullptr;
    if (Status finished = coder.finishDecoding(); !finished) return fail(name + " is damaged: " + finished.error());
    if (!container) return fail(name + " holds no objects.");
    auto document = std::make_unique<CompositionDocument>(container);
    // What the objects need once all of them are read: resources, track order, the drawing lists
    // and each object's own set-up.
    container->loadTrackResources();
    container->sortTracks();
    container->recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    for (const auto& object : container->objects()) {
        object->propagateDocument();
        object->recacheNamesOfAllUsedEffects();
        if (auto* visual = dynamic_cast<CompositionRectangularObject*>(object.get())) visual->performPostLoadSetup();
    }
    return document;
}

} // namespace vtl
