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

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace vtl {

namespace fs = std::filesystem;

namespace {

// Stored files larger than this are refused rather than read.
constexpr std::uintmax_t maximumArchiveBytes = std::uintmax_t(512) << 20;

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
    package::registerDocumentClasses();
    auto document = std::make_unique<CompositionDocument>();
    CompositionObjectsContainer& container = *document->objectsContainer();
    auto entry = media.entryForResourceWithFileSystemPath(packagePath, document.get(),
                                                          SharedMediaManager::ResourceCopy::None);
    if (!entry) return fail("The recording " + packagePath + " cannot be used.");
    auto movie = std::make_shared<CompositionVistrelMovie>(entry);
    movie->loadResources();
    const Size size = movie->recordingDimensions();
    if (!movie->recording() || !(size.width > 0) || !(size.height > 0))
        return fail("The recording " + packagePath + " cannot be read.");

    auto track = makeModelObject<CompositionVistrelTrack>(&container);
    track->setMovie(movie);
    track->setStartTimeEndTime(0, movie->duration());
    track->setName(fs::path(packagePath).filename().replace_extension().string());
    container.addObject(track);
    container.setCanvasSize(size);
    track->setNoneAnimationStateFromTrackMatrix();

    const fs::path styleFile = fs::path(packagePath) / "mouseVisualization";
    if (fs::exists(styleFile, error)) {
        Result<std::vector<std::uint8_t>> bytes = readWholeFile(styleFile);
        Result<std::shared_ptr<MouseVisualization>> style =
            bytes ? MouseVisualization::unarchive(bytes.value()) : bytes.asFailure();
        if (style && style.value()) {
            std::shared_ptr<MouseVisualization> recorded = style.value();
            recorded->vistrelOwn = true;
            track->setRecordMouseVisualization(recorded);
            track->setMouseVisualization(recorded);
            track->setVisualizesMouseEvents(recorded->visualizesClicks, 0);
            track->setVisualizesMouseCursor(recorded->visualizeMouseCursor, 0);
        } else {
            // The recording still opens, with the default style.
            logMessage("The recorded mouse style of " + packagePath + " cannot be read: " +
                       (style ? std::string("it is empty") : style.error()));
        }
    }
    return document;
}

Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath) {
    return openCompositionPackage(packagePath, SharedMediaManager::sharedInstance());
}

Result<std::unique_ptr<CompositionDocument>> openCompositionPackage(const std::string& packagePath,
                                                                    SharedMediaManager& media) {
    auto document = std::make_unique<CompositionDocument>();
    document->setMediaManager(&media);
    if (Status read = document->readFromURL(packagePath); !read) return read.asFailure();
    return document;
}

Result<std::unique_ptr<CompositionDocument>> readCompositionArchive(std::span<const std::uint8_t> bytes,
                                                                    const std::string& name) {
    auto document = std::make_unique<CompositionDocument>();
    if (Status read = document->readFromData(bytes, name); !read) return read.asFailure();
    return document;
}

} // namespace vtl
