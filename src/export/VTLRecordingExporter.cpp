#include "export/VTLRecordingExporter.h"

#include "document/CompositionDocument.h"
#include "model/SharedMediaManager.h"
#include "objects/MouseVisualization.h"
#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/media/MediaAsset.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionQTMovie.h"
#include "tracks/CompositionVistrelMovie.h"
#include "tracks/CompositionVistrelTrack.h"

#include <filesystem>

namespace vtl {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemAudioName = "system.m4a";
constexpr const char* kAdditionalMovieName = "additionalAudioAndVideo.mov";

void registerRecordingExportClasses() {
    static const bool registered = [] {
        CompositionVistrelTrack::registerClasses();
        CompositionAudioTrackObject::registerClasses();
        return true;
    }();
    (void)registered;
}

// The pointer style the recording was made with, applied as opening the recording applies it; a
// style that cannot be read leaves the track's own (logged).
void adoptRecordedMouseStyle(CompositionVistrelTrack& track, const fs::path& package) {
    const fs::path file = package / "mouseVisualization";
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return;
    constexpr std::uint64_t maximumStyleBytes = 16u << 20;
    Result<std::vector<std::uint8_t>> bytes = FileHandle::readWholeFile(file.string(), maximumStyleBytes);
    Result<std::shared_ptr<MouseVisualization>> style =
        bytes ? MouseVisualization::unarchive(bytes.value()) : bytes.asFailure();
    if (!style || !style.value()) {
        logMessage("The recorded mouse style of " + package.string() +
                   " cannot be read: " + (style ? std::string("it is empty") : style.error()));
        return;
    }
    std::shared_ptr<MouseVisualization> recorded = style.value();
    recorded->vistrelOwn = true;
    recorded->setName(localizedString("MouseVisualization_Name_AsRecorded"));
    track.setRecordMouseVisualization(recorded);
    track.setMouseVisualization(recorded);
    track.setVisualizesMouseEvents(recorded->visualizesClicks, 0);
    track.setVisualizesMouseCursor(recorded->visualizeMouseCursor, 0);
}

} // namespace

VTLRecordingExporter::VTLRecordingExporter(std::string recordingPackagePath, SharedMediaManager& media)
    : recordingPath_(std::move(recordingPackagePath))
    , media_(media) {}

VTLRecordingExporter::~VTLRecordingExporter() {
    // The export reads the composition: it ends before the composition goes.
    movieExporter_.reset();
    document_.reset();
}

std::shared_ptr<CompositionObjectsContainer> VTLRecordingExporter::objectsContainer() const {
    return document_ ? document_->objectsContainer() : nullptr;
}

Status VTLRecordingExporter::beginExport() {
    if (askForPath_) {
        if (!savePanel_) return fail("There is no way to ask where the movie goes.");
        std::optional<std::string> chosen =
            savePanel_(fs::path(recordingPath_).filename().replace_extension().string());
        if (!chosen) return {};
        exportPath_ = *chosen;
    }
    return doBeginExport();
}

Status VTLRecordingExporter::doBeginExport() {
    if (movieExporter_ && !movieExporter_->isFinished())
        return fail("The recording is being exported already.");
    std::error_code error;
    if (!fs::is_directory(recordingPath_, error))
        return fail("The recording " + recordingPath_ + " is not there or is not a package.");
    registerRecordingExportClasses();
    // A previous export's composition goes once its exporter has stopped.
    movieExporter_.reset();
    document_ = std::make_unique<CompositionDocument>();
    CompositionObjectsContainer& container = *document_->objectsContainer();
    container.setIsOffscreen(true);

    auto entry = media_.entryForResourceWithFileSystemPath(recordingPath_, document_.get(),
                                                           SharedMediaManager::ResourceCopy::None);
    if (!entry) return fail("The recording " + recordingPath_ + " cannot be used.");
    auto movie = std::make_shared<CompositionVistrelMovie>(entry);
    movie->loadResources();
    const Size size = movie->recordingDimensions();
    if (!movie->recording() || !(size.width > 0) || !(size.height > 0))
        return fail("The recording " + recordingPath_ + " cannot be read.");
    auto track = makeModelObject<CompositionVistrelTrack>(&container);
    track->setMovie(movie);
    track->setStartTimeEndTime(0, movie->duration());
    container.addObject(track);
    adoptRecordedMouseStyle(*track, fs::path(recordingPath_));
    if (container.canvasSize() != size) {
        container.setCanvasSize(size);
        track->setNoneAnimationStateFromTrackMatrix();
    }

    const fs::path package(recordingPath_);
    if (fs::is_regular_file(package / kSystemAudioName, error)) {
        auto systemEntry = media_.entryForResourceWithRelativePath(kSystemAudioName, entry, document_.get());
        if (systemEntry) {
            auto system = makeModelObject<CompositionAudioTrackObject>(&container);
            system->setMovie(std::make_shared<CompositionQTMovie>(systemEntry));
            system->setTrackOffset(0);
            system->setTrackIndex(0);
            container.addObject(system);
        } else {
            logMessage("The system sound of " + recordingPath_ + " cannot be used.");
        }
    }
    if (fs::is_regular_file(package / kAdditionalMovieName, error)) {
        auto additionalEntry =
            media_.entryForResourceWithRelativePath(kAdditionalMovieName, entry, document_.get());
        auto additional = additionalEntry ? std::make_shared<CompositionQTMovie>(additionalEntry) : nullptr;
        const std::shared_ptr<const MediaAsset> asset = additional ? additional->assetMovie() : nullptr;
        if (!asset) logMessage("The additional movie of " + recordingPath_ + " cannot be read.");
        for (std::size_t index = 0; asset && index < asset->tracks().size(); ++index) {
            const MediaTrack& sound = asset->tracks()[index];
            if (sound.type != MediaType::Audio) continue;
            if (sound.channelCount >= 3) {
                logMessage("Skipping track with " + std::to_string(sound.channelCount) + " audio channels");
                continue;
            }
            auto audio = makeModelObject<CompositionAudioTrackObject>(&container);
            audio->setMovie(additional);
            audio->setTrackIndex(std::uint32_t(index));
            audio->setStartTimeEndTime(0, additional->msDurationForAssetTrack(&sound));
            container.addObject(audio);
        }
    }

    movieExporter_ = std::make_unique<VTLMovieExporter>(document_->objectsContainer());
    movieExporter_->setExportPath(exportPath_);
    movieExporter_->setProgressDelegate(progressDelegate_);
    movieExporter_->setCompletionHandler(completionHandler_);
    return movieExporter_->startExport();
}

} // namespace vtl
