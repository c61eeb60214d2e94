#include "document/DocumentOpening.h"

#include "document/DocumentPackage.h"
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
    package::registerDocumentClasses();
    auto document = std::make_unique<CompositionDocument>();
    document->setSharedMediaManager(&media);
    std::optional<ObjectList> added =
        document->addVistrelRecordFromPath(packagePath, 0, EnlargeQuestion::DontAsk, AutoEnlarge::Yes);
    const bool hasRecording =
        added &&
        std::any_of(added->begin(), added->end(), [](const std::shared_ptr<CompositionBaseObject>& object) {
            return dynamic_cast<const CompositionVistrelTrack*>(object.get()) != nullptr;
        });
    if (!hasRecording) return fail("The recording " + packagePath + " cannot be read.");
    // A new composition starts with nothing to undo.
    document->undoManager()->removeAllActions();
    return document;
}

Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath) {
    return openCompositionPackage(packagePath, SharedMediaManager::sharedInstance());
}

Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath,
                                                                    SharedMediaManager& media) {
    auto document = std::make_unique<CompositionDocument>();
    document->setSharedMediaManager(&media);
    if (Status read = document->readFromURL(packagePath); !read) return read.asFailure();
    return document;
}

Result<std::unique_ptr<CompositionDocument>> openDocument(const std::string& packagePath,
                                                          SharedMediaManager& media) {
    return isRecordingPackagePath(packagePath) ? openRecordingAsComposition(packagePath, media)
                                               : openCompositionPackage(packagePath, media);
}

Result<std::unique_ptr<CompositionDocument>> readCompositionArchive(std::span<const std::uint8_t> bytes,
                                                                    const std::string& name) {
    auto document = std::make_unique<CompositionDocument>();
    if (Status read = document->readFromData(bytes, name); !read) return read.asFailure();
    return document;
}

} // namespace vtl
