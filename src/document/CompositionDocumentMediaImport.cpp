#include "audio/MediaFileFunctions.h"
#include "document/CompositionDocument.h"
#include "document/CompositionDocumentWindow.h"
#include "document/LegacyMovieConverter.h"
#include "document/RecordingPauses.h"
#include "editing/EditingState.h"
#include "model/CompositionExtractionQueues.h"
#include "model/CompositionMediaEntry.h"
#include "model/CompositionRectangularState.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/MouseVisualization.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionQTMovie.h"
#include "tracks/CompositionVistrelMovie.h"
#include "tracks/CompositionVistrelTrack.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace vtl {

namespace fs = std::filesystem;

namespace {

// Side files larger than this are not read.
constexpr std::uintmax_t maximumSideFileBytes = std::uintmax_t(64) << 20;

std::string baseNameWithoutExtension(const std::string& path) {
    fs::path p(path);
    if (!p.has_filename()) p = p.parent_path();
    return p.stem().string();
}

bool isRecordingPackage(const std::string& path) {
    fs::path p(path);
    if (!p.has_filename()) p = p.parent_path();
    return p.extension() == ".vistrelRecord";
}

Result<std::vector<std::uint8_t>> readSideFile(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return fail("cannot be read: " + error.message());
    if (size > maximumSideFileBytes) return fail("is too large");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot be opened");
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() != size) return fail("could not be read whole");
    return bytes;
}

bool sideFileExists(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string statisticsKeyForClip(const CompositionBaseObject& object) {
    return "Recording_Clip_Add" + object.className() + "_Composition";
}

CompositionMovieTrackObject* asMovieTrack(const std::shared_ptr<CompositionBaseObject>& object) {
    return dynamic_cast<CompositionMovieTrackObject*>(object.get());
}

std::vector<RecordingPause> readPauseTimes(const fs::path& file, const std::string& packagePath) {
    Result<std::vector<std::uint8_t>> bytes = readSideFile(file);
    Result<std::vector<RecordingPause>> pauses =
        bytes ? readRecordingPauses(bytes.value(), packagePath) : bytes.asFailure();
    if (!pauses) {
        logMessage("The pauses of " + packagePath + " are left out: " + pauses.error());
        return {};
    }
    return std::move(pauses).value();
}

// Rounded to a 32-bit float, as the factor is held.
double asSinglePrecision(double value) {
    return static_cast<double>(static_cast<float>(value));
}

} // namespace

// --- Collaborators and small helpers

SharedMediaManager& CompositionDocument::sharedMediaManager() const {
    return sharedMediaManager_ ? *sharedMediaManager_ : SharedMediaManager::sharedInstance();
}

double CompositionDocument::playheadTime() const {
    return currentTime().value_or(0.0);
}

void CompositionDocument::selectObjects(const ObjectList& objects) {
    if (window_) window_->editingState().setSelectedObjects(objects);
}

// Without a window nobody can answer: the canvas stays as it is.
bool CompositionDocument::askToEnlargeCanvas(ImportKind kind) {
    if (!window_) return false;
    DocumentAlert alert;
    alert.messageKey = "_CompositionDocument_AddTrack_IncreaseCanvasSize_Title";
    alert.informativeKey = "_CompositionDocument_AddTrack_IncreaseCanvasSize_Msg";
    alert.buttonKeys = {"_CompositionDocument_AddTrack_IncreaseCanvasSize_Increase",
                        "_CompositionDocument_AddTrack_IncreaseCanvasSize_DontIncrease"};
    alert.showsSuppressionBox = true;
    const DocumentAlertAnswer answer = window_->runAlert(alert);
    if (answer.suppressionTicked) {
        dontAskAboutEnlargingAgain_ = true;
        countStatistic(kind == ImportKind::Movie ? "Document_AutoEnlargeDisabledPermanentlyForQT"
                                                 : "Document_AutoEnlargeDisabledPermanentlyForVTL");
    }
    return answer.buttonIndex == 0;
}

void CompositionDocument::centerObjectsWithoutUndo(const ObjectList& objects) {
    CompositionUndoManager* manager = undoManager();
    manager->disableUndoRegistration();
    const Size canvas = container_->canvasSize();
    for (const auto& object : objects) {
        auto* state =
            object ? dynamic_cast<CompositionRectangularState*>(object->noneAnimationState().get()) : nullptr;
        if (!state) continue;
        Rect rect = state->rect();
        if (!(rect.size.width > 0) || !(rect.size.height > 0)) continue;
        rect.origin = {(canvas.width - rect.size.width) / 2, (canvas.height - rect.size.height) / 2};
        state->setRect(rect);
        if (auto* visual = dynamic_cast<CompositionRectangularObject*>(object.get())) visual->invalidate();
    }
    manager->enableUndoRegistration();
}

// --- The disk-space question

bool CompositionDocument::showWarningAboutResourceBeingAddedIfFileTooBig(const std::string& path) {
    if (sharedMediaManager().enoughFreeSpaceForDocument(this, path)) return true;
    DocumentAlert alert;
    alert.messageKey = "AddResource_LowDiskSpace_Title";
    if (documentHasBeenSaved()) {
        alert.informativeKey = "AddResource_LowDiskSpace_SavedDocument_Message";
        alert.buttonKeys = {"AddResource_LowDiskSpace_SavedDocument_OK"};
        if (window_) window_->runAlert(alert);
        return false;
    }
    alert.informativeKey = "AddResource_LowDiskSpace_UnsavedDocument_Message";
    alert.buttonKeys = {"AddResource_LowDiskSpace_UnsavedDocument_Cancel",
                        "AddResource_LowDiskSpace_UnsavedDocument_Proceed"};
    // Without a window the cautious answer: nothing is added.
    if (!window_) return false;
    return window_->runAlert(alert).buttonIndex == 1;
}

// --- The movie importer

std::optional<ObjectList>
CompositionDocument::addMovieFromPath(const std::string& path, double time, EnlargeQuestion ask,
                                      AutoEnlarge autoEnlarge,
                                      std::shared_ptr<CompositionMediaEntry> mediaEntry) {
    if (!std::isfinite(time)) {
        logMessage("A movie cannot be added at a time that is not a finite number.");
        return std::nullopt;
    }
    // A file inside a package being imported was counted with its package.
    const bool insidePackage = mediaEntry && mediaEntry->hasSuperEntry();
    if (!insidePackage && !showWarningAboutResourceBeingAddedIfFileTooBig(path)) return std::nullopt;
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();

    std::string importedPath = path;
    if (legacyMovieConverter_ && legacyMovieConverter_->requiresConversion(path)) {
        const fs::path target = fs::temp_directory_path() / fs::path(path).filename();
        std::error_code error;
        fs::remove_all(target, error);
        if (window_) window_->showWaitingSheet("MovieModernization_Title", "MovieModernization_Message");
        const int status = legacyMovieConverter_->convert(path, target.string());
        if (window_) window_->hideWaitingSheet();
        if (status != 0) {
            logMessage("The movie " + path + " could not be converted (status " + std::to_string(status) +
                       ").");
            if (window_) {
                window_->beep();
                DocumentAlert alert;
                alert.messageKey = "MovieModernization_Failed";
                alert.informativeKey = "MovieModernization_Failed";
                alert.buttonKeys = {"OK"};
                window_->runAlert(alert);
            }
            manager->endUndoGrouping();
            return ObjectList{};
        }
        importedPath = target.string();
        mediaEntry = nullptr;
    }

    std::shared_ptr<CompositionMediaEntry> entry =
        mediaEntry ? mediaEntry : sharedMediaManager().entryForResourceWithFileSystemPath(importedPath, this);
    if (!entry) {
        logMessage("The movie " + importedPath + " cannot be used.");
        manager->endUndoGrouping();
        return ObjectList{};
    }
    auto movie = std::make_shared<CompositionQTMovie>(entry);
    std::shared_ptr<const MediaAsset> asset = movie->assetMovie();
    Size canvas = container_->canvasSize();
    bool canvasWouldGrow = false;
    ObjectList insertion;
    ObjectList videoObjects;
    ObjectList audioObjects;
    std::shared_ptr<CompositionBaseObject> firstVideo;
    bool movieTaken = false;
    const std::string baseName = baseNameWithoutExtension(importedPath);
    const std::size_t trackCount = asset ? asset->trackCount() : 0;
    for (std::size_t index = 0; index < trackCount; ++index) {
        const MediaTrack& track = asset->tracks()[index];
        const std::string title = assetTrackName(track).value_or("");
        if (title == "VistrelMouseTrack" || title == "VistrelChapterTrack") continue;
        std::shared_ptr<CompositionQTTrack> object;
        if (track.type == MediaType::Video) {
            object = makeModelObject<CompositionMovieTrackObject>(container_.get());
        } else if (track.type == MediaType::Audio) {
            if (track.channelCount >= 3) {
                logMessage("Skipping track with " + std::to_string(track.channelCount) + " audio channels");
                continue;
            }
            object = makeModelObject<CompositionAudioTrackObject>(container_.get());
        } else {
            continue;
        }
        // The start is read as the stored number of the track's own units, as older files hold it.
        double offset = 0;
        if (track.startTime.isValid() && track.timeScale > 0) {
            const MediaTime start = track.startTime.convertedToScale(track.timeScale);
            if (start.isValid())
                offset = static_cast<double>(static_cast<std::int32_t>(start.value)) / track.timeScale;
        }
        if (!std::isfinite(offset)) offset = 0;
        // Each object owns a movie of its own on the one entry.
        object->setMovie(movieTaken ? movie->copy() : movie);
        movieTaken = true;
        object->setTrackOffset(offset);
        object->setTrackIndex(static_cast<std::uint32_t>(index));
        if (!object->assetTrack()) continue;
        object->setName(title.empty() ? baseName : baseName + "/" + title);
        const double start = time + offset;
        object->setStartTimeEndTime(start, start + object->duration());
        if (track.type == MediaType::Video) {
            const Size size = object->size();
            if (container_->wouldIncreaseCanvasSize(size)) {
                canvas.width = std::max(canvas.width, size.width);
                canvas.height = std::max(canvas.height, size.height);
                canvasWouldGrow = true;
            }
            if (!firstVideo) firstVideo = object;
            insertion.insert(insertion.begin(), object);
            videoObjects.push_back(object);
        } else {
            insertion.push_back(object);
            audioObjects.push_back(object);
        }
    }

    for (const auto& object : insertion) {
        container_->addObject(object);
        if (canChangeStats_) countStatistic(statisticsKeyForClip(*object));
    }
    CompositionExtractionQueues& queues = CompositionExtractionQueues::shared();
    for (const auto& object : audioObjects) {
        if (firstVideo) firstVideo->addDependentTrack(object);
        queues.addAudioTrack(object);
    }
    for (const auto& object : videoObjects)
        queues.addVideoTrack(object);
    if (!insertion.empty()) container_->waveformExtractionDone(nullptr);

    if (autoEnlarge == AutoEnlarge::Yes) canvas = movie->movieSize();
    bool increase = false;
    if (ask == EnlargeQuestion::Ask && canvasWouldGrow && !dontAskAboutEnlargingAgain_ &&
        autoEnlarge == AutoEnlarge::No)
        increase = askToEnlargeCanvas(ImportKind::Movie);
    const bool resize = autoEnlarge == AutoEnlarge::Yes || increase;
    if (resize && canvas.width > 0 && canvas.height > 0) container_->setCanvasSize(canvas);
    for (const auto& object : videoObjects) {
        if (auto* video = asMovieTrack(object)) {
            if (resize)
                video->setNoneAnimationStateFromTrackMatrix();
            else
                video->setNoneAnimationStateOriginalSize();
        }
    }
    centerObjectsWithoutUndo(videoObjects);
    manager->endUndoGrouping();

    ObjectList result = videoObjects;
    result.insert(result.end(), audioObjects.begin(), audioObjects.end());
    selectObjects(result);
    return result;
}

std::optional<ObjectList> CompositionDocument::addMovieFromPath(const std::string& path, double time,
                                                                EnlargeQuestion ask,
                                                                AutoEnlarge autoEnlarge) {
    if (isRecordingPackage(path)) return addVistrelRecordFromPath(path, time, ask, autoEnlarge);
    return addMovieFromPath(path, time, ask, autoEnlarge, nullptr);
}

std::optional<ObjectList> CompositionDocument::addMovieFromPath(const std::string& path,
                                                                EnlargeQuestion ask) {
    return addMovieFromPath(path, playheadTime(), ask, AutoEnlarge::No);
}

std::optional<ObjectList> CompositionDocument::addMovieFromPath(const std::string& path) {
    return addMovieFromPath(path, EnlargeQuestion::Ask);
}

// --- The recording importer

std::optional<ObjectList> CompositionDocument::addVistrelRecordFromPath(const std::string& path,
                                                                        double time) {
    return addVistrelRecordFromPath(path, time, EnlargeQuestion::Ask, AutoEnlarge::No);
}

std::optional<ObjectList> CompositionDocument::addVistrelRecordFromPath(const std::string& path, double time,
                                                                        EnlargeQuestion ask,
                                                                        AutoEnlarge autoEnlarge) {
    if (!std::isfinite(time)) {
        logMessage("A recording cannot be added at a time that is not a finite number.");
        return std::nullopt;
    }
    if (!showWarningAboutResourceBeingAddedIfFileTooBig(path)) return std::nullopt;
    CompositionUndoManager* manager = undoManager();
    // A coalescing group left open would otherwise end up inside this one.
    manager->endCustomUndoIfNecessary();
    manager->beginUndoGrouping();
    const int level = manager->groupingLevel();
    // The side-file imports select what they made; a failed import gives the selection back.
    const ObjectList selectionBefore = window_ ? window_->editingState().selectedObjects() : ObjectList{};
    std::optional<ObjectList> result = importRecording(path, time, ask, autoEnlarge);
    manager->endCustomUndoIfNecessary();
    VTL_ASSERT(manager->groupingLevel() == level, "the recording import left an undo group open");
    if (result) {
        manager->endUndoGrouping();
        selectObjects(*result);
    } else {
        // Nothing of a failed import stays, and it leaves no step to undo.
        manager->discardUndoGrouping();
        if (window_) window_->editingState().setSelectedObjects(selectionBefore);
    }
    return result;
}

std::optional<ObjectList> CompositionDocument::importRecording(const std::string& path, double time,
                                                               EnlargeQuestion ask, AutoEnlarge autoEnlarge) {
    const fs::path package(path);
    std::shared_ptr<CompositionMediaEntry> entry =
        sharedMediaManager().entryForResourceWithFileSystemPath(path, this);
    if (!entry) {
        logMessage("The recording " + path + " cannot be used.");
        return ObjectList{};
    }
    auto movie = std::make_shared<CompositionVistrelMovie>(entry);
    movie->loadResources();

    std::shared_ptr<CompositionVistrelTrack> screen;
    Size reference;
    const Size recordingSize = movie->recordingDimensions();
    if (movie->recording() && recordingSize.width > 0 && recordingSize.height > 0) {
        screen = makeModelObject<CompositionVistrelTrack>(container_.get());
        screen->setMovie(movie);
        screen->setStartTimeEndTime(time, time + movie->duration());
        screen->setName(baseNameWithoutExtension(path));
        container_->addObject(screen);
        bool increase = false;
        if (ask == EnlargeQuestion::Ask && container_->wouldIncreaseCanvasSize(recordingSize) &&
            !dontAskAboutEnlargingAgain_ && autoEnlarge == AutoEnlarge::No)
            increase = askToEnlargeCanvas(ImportKind::Recording);
        if (autoEnlarge == AutoEnlarge::Yes)
            container_->setCanvasSize(recordingSize);
        else if (increase)
            container_->setCanvasSize(recordingSize);
        screen->setNoneAnimationStateFromTrackMatrix();
        if (canChangeStats_) countStatistic(statisticsKeyForClip(*screen));
        reference = recordingSize;
    } else {
        logMessage("The recording " + path +
                   " holds no readable screen recording; only its side files are added.");
    }

    std::vector<RecordingPause> pauses;
    bool pausesRead = false;
    std::optional<Size> pauseSize;
    if (const fs::path file = package / "pauseTimes"; sideFileExists(file)) {
        pauses = readPauseTimes(file, path);
        pausesRead = true;
        for (const RecordingPause& pause : pauses) {
            if (!pause.size) continue;
            if (!pauseSize) pauseSize = Size{0, 0};
            pauseSize->width = std::max(pauseSize->width, pause.size->width);
            pauseSize->height = std::max(pauseSize->height, pause.size->height);
        }
    }

    ObjectList result;
    if (screen) result.push_back(screen);
    auto sideEntry = [&](const std::string& name) {
        return sharedMediaManager().entryForResourceWithRelativePath(name, entry, this);
    };
    auto importSideMovie = [&](const std::string& name) -> ObjectList {
        const fs::path file = package / name;
        if (!sideFileExists(file)) return {};
        std::shared_ptr<CompositionMediaEntry> relative = sideEntry(name);
        if (!relative) {
            logMessage("The side file " + file.string() + " cannot be used.");
            return {};
        }
        std::optional<ObjectList> objects =
            addMovieFromPath(file.string(), time, EnlargeQuestion::DontAsk, AutoEnlarge::No, relative);
        if (!objects || objects->empty())
            logMessage("The side file " + file.string() + " yields nothing to add.");
        return objects.value_or(ObjectList{});
    };

    // The recorded system sound.
    for (const auto& object : importSideMovie("system.m4a")) {
        if (screen) {
            screen->addDependentTrack(object);
            screen->setStartTime(time);
        }
        object->setName(localizedString("_Compsition_System_Audio"));
        result.push_back(object);
    }

    // The pointer style the recording was made with.
    if (const fs::path file = package / "mouseVisualization"; sideFileExists(file) && screen) {
        Result<std::vector<std::uint8_t>> bytes = readSideFile(file);
        Result<std::shared_ptr<MouseVisualization>> style =
            bytes ? MouseVisualization::unarchive(bytes.value()) : bytes.asFailure();
        if (style && style.value()) {
            std::shared_ptr<MouseVisualization> recorded = style.value();
            recorded->vistrelOwn = true;
            recorded->setName(localizedString("MouseVisualization_Name_AsRecorded"));
            screen->setRecordMouseVisualization(recorded);
            screen->setMouseVisualization(recorded);
            screen->setVisualizesMouseEvents(recorded->visualizesClicks, 0);
            screen->setVisualizesMouseCursor(recorded->visualizeMouseCursor, 0);
        } else {
            logMessage("The recorded mouse style of " + path +
                       " cannot be read: " + (style ? std::string("it is empty") : style.error()));
        }
    }

    // The screen of a connected device.
    std::set<const CompositionBaseObject*> deviceVideos;
    if (sideFileExists(package / "iOSDevice.mov")) {
        std::optional<std::string> deviceName;
        if (const fs::path meta = package / "iOSDeviceMeta.plist"; sideFileExists(meta)) {
            Result<PropertyList> info = PropertyList::fromFile(meta);
            const std::string* name = info ? info.value().stringForKey("DeviceName") : nullptr;
            if (name && !name->empty())
                deviceName = *name;
            else
                logMessage("The device description of " + path + " names no device.");
        }
        for (const auto& object : importSideMovie("iOSDevice.mov")) {
            result.push_back(object);
            auto* video = asMovieTrack(object);
            if (!video) {
                object->setName(deviceName.value_or(localizedString("_Compsition_Other_Audio")));
                continue;
            }
            deviceVideos.insert(object.get());
            object->setName(deviceName.value_or(localizedString("_Compsition_iOS_Video")));
            const Size size = pauseSize.value_or(video->size());
            reference = size;
            bool increase = false;
            if (ask == EnlargeQuestion::Ask && container_->wouldIncreaseCanvasSize(size) &&
                !dontAskAboutEnlargingAgain_ && autoEnlarge == AutoEnlarge::No)
                increase = askToEnlargeCanvas(ImportKind::Recording);
            auto* state = dynamic_cast<CompositionRectangularState*>(video->noneAnimationState().get());
            if (increase || autoEnlarge == AutoEnlarge::Yes) {
                container_->setCanvasSize(size);
                if (state) state->setRect(Rect{{0, 0}, size});
            } else if (state && size.width > 0 && size.height > 0) {
                const Size canvas = container_->canvasSize();
                const double scale = std::min(canvas.width / size.width, canvas.height / size.height);
                const Size fitted{size.width * scale, size.height * scale};
                state->setRect(
                    Rect{{(canvas.width - fitted.width) / 2, (canvas.height - fitted.height) / 2}, fitted});
            }
            video->invalidate();
        }
    }

    // The camera and the other recorded devices.
    for (const auto& object : importSideMovie("additionalAudioAndVideo.mov")) {
        result.push_back(object);
        if (screen) screen->addDependentTrack(object);
        auto* video = asMovieTrack(object);
        object->setName(localizedString(video ? "_Compsition_Other_Video" : "_Compsition_Other_Audio"));
        if (!video) continue;
        auto* state = dynamic_cast<CompositionRectangularState*>(video->noneAnimationState().get());
        if (!state) continue;
        const Size size = video->size();
        Rect rect = state->rect();
        rect.origin = {10, 10};
        if ((size.width > reference.width || size.height > reference.height) && size.width > 0 &&
            reference.width > 0) {
            const double factor = asSinglePrecision(reference.width / size.width * 0.5);
            rect.size = {size.width * factor, size.height * factor};
        }
        state->setRect(rect);
        video->invalidate();
    }
    if (screen) screen->setStartTime(time);

    if (pausesRead && !result.empty()) {
        double earliest = result.front()->startTime(), latest = result.front()->endTime();
        for (const auto& object : result) {
            earliest = std::min(earliest, object->startTime());
            latest = std::max(latest, object->endTime());
        }
        ObjectList laterPieces;
        for (auto pause = pauses.rbegin(); pause != pauses.rend(); ++pause) {
            const double cut = time + pause->timeSeconds;
            if (!(cut > earliest && cut < latest)) {
                logMessage("A pause of " + path + " at " + std::to_string(pause->timeSeconds) +
                           " s lies outside the recording and is skipped.");
                continue;
            }
            ObjectList answer = container_->splitObjects(result, cut);
            if (answer.empty()) {
                logMessage("an error occurred cutting the movie!");
                return std::nullopt;
            }
            for (std::size_t i = 1; i < answer.size(); i += 2)
                laterPieces.push_back(answer[i]);
            if (pause->size) {
                // The size is the device's picture after the pause: its video takes it, or the first
                // piece cut when there is no device video.
                std::shared_ptr<CompositionBaseObject> target;
                for (std::size_t i = 0; i + 1 < answer.size() && !target; i += 2)
                    if (deviceVideos.count(answer[i].get())) target = answer[i + 1];
                if (!target && answer.size() >= 2) target = answer[1];
                if (auto* video = asMovieTrack(target)) video->setOverrideSize(*pause->size);
            }
        }
        result.insert(result.end(), laterPieces.begin(), laterPieces.end());
        if (auto* first = dynamic_cast<CompositionVistrelTrack*>(result.front().get()))
            first->setNoneAnimationStateFromTrackMatrix();
        else if (auto* video = asMovieTrack(result.front()))
            video->setNoneAnimationStateFromTrackMatrix();
    }
    return result;
}

// --- Tracks made elsewhere

void CompositionDocument::addTracks(const ObjectList& objects, double time) {
    if (!std::isfinite(time)) return;
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    for (const auto& object : objects) {
        if (!object) continue;
        object->setObjectsContainer(container_.get());
        const double oldStart = object->startTime(), oldEnd = object->endTime();
        object->setStartTimeEndTime(time, time - oldStart + oldEnd);
        container_->addObjectAndAssignFreeTrackID(object, TrackAssignment::FreeTrack);
    }
    manager->endUndoGrouping();
}

} // namespace vtl
