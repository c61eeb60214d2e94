#include "document/CompositionDocument.h"
#include "document/CompositionDocumentWindow.h"
#include "editing/EditingState.h"
#include "model/CompositionRectangularState.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionImageObject.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/TextVisualization.h"
#include "platform/filetypes/FileTypes.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/CompositionQTTrack.h"
#include "tracks/CompositionVistrelTrack.h"

#include <cmath>

namespace vtl {

namespace {

constexpr double addedFileDurationSeconds = 10.0;
constexpr double newObjectDurationSeconds = 4.0;

enum class FileKind { Refused, Image, Recording, MovieOrSound, QuartzComposition };

FileKind fileKindOf(const std::string& path) {
    const std::optional<FileType> type = fileTypeAtPath(path);
    if (!type) return FileKind::Refused;
    if (type->identifier.find("protected") != std::string::npos) return FileKind::Refused;
    if (type->conformsTo(kFlashVideoFileType)) return FileKind::Refused;
    if (type->conformsTo(kImageFileType)) return FileKind::Image;
    if (type->conformsTo(kRecordingPackageFileType)) return FileKind::Recording;
    if (type->conformsTo(kMovieFileType) || type->conformsTo(kAudioFileType)) return FileKind::MovieOrSound;
    if (type->conformsTo(kQuartzCompositionFileType)) return FileKind::QuartzComposition;
    return FileKind::Refused;
}

// Nothing on this system loads those compositions, so they are never offered as addable.
bool fileKindIsAddable(FileKind kind) {
    return kind == FileKind::Image || kind == FileKind::Recording || kind == FileKind::MovieOrSound;
}

// The path of a "file:" URL, its escapes decoded; other text is taken as a path already.
std::string pathFromFileURL(const std::string& text) {
    std::string rest;
    if (text.rfind("file://", 0) == 0) {
        rest = text.substr(7);
        // "file://host/path": only the local host is ours.
        if (!rest.empty() && rest.front() != '/') {
            const std::size_t slash = rest.find('/');
            const std::string host = rest.substr(0, slash);
            if (host != "localhost" || slash == std::string::npos) return {};
            rest = rest.substr(slash);
        }
    } else if (text.rfind("file:", 0) == 0) {
        rest = text.substr(5);
    } else {
        return text;
    }
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
            const char digits[3] = {rest[i + 1], rest[i + 2], 0};
            const char decoded = static_cast<char>(std::strtol(digits, nullptr, 16));
            if (decoded == 0) return {}; // a path never holds a NUL
            path.push_back(decoded);
            i += 2;
        } else if (rest[i] == '?' || rest[i] == '#') {
            break;
        } else {
            path.push_back(rest[i]);
        }
    }
    return path;
}

std::string clipStatisticsKey(const CompositionBaseObject& object) {
    return "Recording_Clip_Add" + object.className() + "_Composition";
}

// Centres the object on the canvas at the time, as it is at that time.
void centerAtTime(CompositionRectangularObject& object, const Size& canvas, double time) {
    const Rect rect = object.rectForTime(time);
    object.setXPosition(static_cast<float>((canvas.width - rect.size.width) / 2), time);
    object.setYPosition(static_cast<float>((canvas.height - rect.size.height) / 2), time);
}

bool coversTime(const CompositionBaseObject& object, double time) {
    return object.snapStartTime() <= time && object.snapEndTime() >= time;
}

bool isVideoTrackObject(const CompositionBaseObject& object) {
    return dynamic_cast<const CompositionVistrelTrack*>(&object) ||
           dynamic_cast<const CompositionQTTrack*>(&object);
}

} // namespace

// --- Which files can be added

bool CompositionDocument::wouldAddFileFromPath(const std::string& path) const {
    return fileKindIsAddable(fileKindOf(path));
}

bool CompositionDocument::canAddFileFromURL(const std::string& fileURLOrPath) const {
    const std::string path = pathFromFileURL(fileURLOrPath);
    if (path.empty()) return false;
    const FileKind kind = fileKindOf(path);
    // Recording packages are opened, not picked in the import panel.
    return kind == FileKind::Image || kind == FileKind::MovieOrSound;
}

std::size_t
CompositionDocument::numberOfFilesThatWouldGetAddedFromPaths(const std::vector<std::string>& paths) const {
    std::size_t count = 0;
    for (const auto& path : paths)
        if (wouldAddFileFromPath(path)) ++count;
    return count;
}

bool CompositionDocument::wouldAddAtLeastOneFileFromFilesAtPaths(
    const std::vector<std::string>& paths) const {
    for (const auto& path : paths)
        if (wouldAddFileFromPath(path)) return true;
    return false;
}

// --- Adding files

ObjectList CompositionDocument::addFileFromPath(const std::string& path, double time) {
    switch (fileKindOf(path)) {
    case FileKind::Image:
        return addImagesFromPaths({path}, time);
    case FileKind::Recording:
        return addVistrelRecordFromPath(path, time).value_or(ObjectList{});
    case FileKind::MovieOrSound:
        return addMovieFromPath(path, time, EnlargeQuestion::Ask, AutoEnlarge::No).value_or(ObjectList{});
    case FileKind::QuartzComposition:
    case FileKind::Refused:
        break;
    }
    return {};
}

ObjectList CompositionDocument::addFilesFromPaths(const std::vector<std::string>& paths, double time) {
    ObjectList added;
    if (!std::isfinite(time)) return added;
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    for (const auto& path : paths) {
        ObjectList made = addFileFromPath(path, time);
        added.insert(added.end(), made.begin(), made.end());
    }
    manager->endUndoGrouping();
    return added;
}

ObjectList CompositionDocument::addFilesFromURLs(const std::vector<std::string>& fileURLs, double time) {
    std::vector<std::string> paths;
    for (const auto& url : fileURLs) {
        std::string path = pathFromFileURL(url);
        if (path.empty())
            logMessage("The address " + url + " names no local file; it is skipped.");
        else
            paths.push_back(std::move(path));
    }
    return addFilesFromPaths(paths, time);
}

ObjectList CompositionDocument::addImagesFromPaths(const std::vector<std::string>& paths, double time) {
    ObjectList result;
    if (!std::isfinite(time)) return result;
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    bool scaleToFit = false;
    for (const auto& path : paths) {
        std::shared_ptr<CompositionMediaEntry> entry =
            sharedMediaManager().entryForResourceWithFileSystemPath(path, this);
        if (!entry) continue;
        auto image = makeModelObject<CompositionImageObject>(container_.get());
        image->setImageFromMediaEntry(entry);
        if (!image->image() || !(image->originalImageSize().width > 0) ||
            !(image->originalImageSize().height > 0)) {
            // Gives the entry's use back; nothing of the file stays.
            image->setMediaEntry(nullptr);
            continue;
        }
        image->setStartTimeEndTime(time, time + addedFileDurationSeconds);
        std::filesystem::path name(path);
        image->setName(name.stem().string());
        if (container_->wouldIncreaseCanvasSize(image->originalImageSize())) {
            bool increase = false;
            if (window_) {
                DocumentAlert alert;
                alert.messageKey = "_CompositionDocument_AddTrack_IncreaseCanvasSize_Title";
                alert.informativeKey = "_CompositionDocument_AddTrack_IncreaseCanvasSize_Msg";
                alert.buttonKeys = {"_CompositionDocument_AddTrack_IncreaseCanvasSize_Increase",
                                    "_CompositionDocument_AddTrack_IncreaseCanvasSize_DontIncrease"};
                increase = window_->runAlert(alert).buttonIndex == 0;
            }
            if (increase)
                container_->increaseCanvasSizeTo(image->originalImageSize());
            else
                scaleToFit = true;
        }
        container_->addObject(image);
        result.push_back(image);
        countStatistic(clipStatisticsKey(*image));
    }
    if (scaleToFit) {
        for (const auto& object : result)
            if (auto* image = dynamic_cast<CompositionImageObject*>(object.get()))
                image->scaleToFitInCanvas();
    }
    centerObjectsWithoutUndo(result);
    manager->endUndoGrouping();
    selectObjects(result);
    return result;
}

// --- New objects at the playhead

void CompositionDocument::addText() {
    const double time = playheadTime();
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    auto text = makeModelObject<CompositionTextObject>(container_.get());
    std::shared_ptr<TextVisualization> style;
    if (auto* last = dynamic_cast<CompositionTextObject*>(lastAddedText().get())) {
        if (last->textVisualizationStyle() && !last->textVisualizationStyle()->anonymous())
            style = last->textVisualizationStyle();
    }
    if (!style) {
        style = std::make_shared<TextVisualization>();
        style->setAnonymous(true);
        if (const auto& state = style->state()) {
            state->setDrawsShadow(true);
            state->setShadowAngle(135.0f);
            state->setShadowColor(RGBAColor::device(0, 0, 0, 0.3));
            state->setShadowDistance(4.0f);
            state->setShadowRadius(3.0f);
            state->setShadowOpacity(0.7f);
        }
    }
    text->setTextVisualization(style);
    text->setStartTimeEndTime(time, time + newObjectDurationSeconds);
    container_->addObject(text);
    centerAtTime(*text, container_->canvasSize(), time);
    text->resizeToRequiredSize();
    text->setAutoResizeMode(true);
    manager->endUndoGrouping();

    selectObjects({text});
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.post("Vistrel_EmptyInspectorNotification", container_.get());
    center.post("Vistrel_FillInspectorNotification", container_.get(),
                {{"nibName", std::string("TextPropertiesView.nib")}, {"tag", 1}});
    if (window_) window_->animatedScrollToObject(text);
    countStatistic(clipStatisticsKey(*text));
    setLastAddedText(text);
}

void CompositionDocument::addGeneratedSpeech() {
    const double time = playheadTime();
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    auto speech = makeModelObject<CompositionGeneratedSpeechTrackObject>(container_.get());
    speech->setStartTimeEndTime(time, time + newObjectDurationSeconds);
    container_->addObject(speech);
    if (!mostRecentLanguageName().empty()) speech->addTextForLanguage(mostRecentLanguageName());
    manager->endUndoGrouping();
    selectObjects({speech});
    countStatistic(clipStatisticsKey(*speech));
    if (window_) window_->animatedScrollToObject(speech);
}

void CompositionDocument::addShapeOfShapeKind(std::int32_t kind) {
    // Outline squares and circles: 3 and 4; the outline circle is drawn as kind 1 with a frame.
    constexpr std::int32_t outlineSquare = 3, outlineCircle = 4;
    const bool outline = kind == outlineSquare || kind == outlineCircle;
    const double time = playheadTime();
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    auto shape = makeModelObject<CompositionShapeObject>(container_.get(), kind == outlineCircle ? 1 : kind);
    if (outline) {
        shape->setDrawsFrame(true, 0);
        shape->setFrameColor(RGBAColor::device(182.0 / 255.0, 0, 0, 1), 0);
        shape->setFrameThickness(3.0f, 0);
        shape->setFilled(false, 0);
    }
    shape->setStartTimeEndTime(time, time + newObjectDurationSeconds);
    centerAtTime(*shape, container_->canvasSize(), time);
    container_->addObject(shape);
    manager->endUndoGrouping();
    if (!outline) {
        if (auto* last = dynamic_cast<CompositionShapeObject*>(lastAddedShape().get());
            last && last != shape.get())
            shape->takeAttributesFromShape(*last);
        setLastAddedShape(shape);
    }
    countStatistic(clipStatisticsKey(*shape));
    selectObjects({shape});
    if (window_) window_->animatedScrollToObject(shape);
}

// --- Effects on the selection

void CompositionDocument::addEffectsToCurrentSelectionAndTime(const PlistDictionary& effect) {
    const double time = playheadTime();
    const ObjectList selection = window_ ? window_->editingState().selectedObjects() : ObjectList{};
    CompositionUndoManager* manager = undoManager();
    manager->beginUndoGrouping();
    bool added = false;
    for (const auto& object : selection) {
        if (!object || !coversTime(*object, time)) continue;
        if (!object->canAddEffectAtTime(effect, time)) continue;
        object->addEffectAtTime(effect, time);
        added = true;
    }
    manager->endUndoGrouping();
    if (!added && window_) {
        DocumentAlert alert;
        alert.messageKey = "_CompositionDocument_AddEffectByDoubleClicking_NoSelection_Title";
        alert.informativeKey = "_CompositionDocument_AddEffectByDoubleClicking_NoSelection_Message";
        alert.buttonKeys = {"OK"};
        window_->runAlert(alert);
    }
}

void CompositionDocument::editCenterForObject(const std::shared_ptr<CompositionBaseObject>& object,
                                              const std::string& effectName) {
    if (!window_ || !object) return;
    window_->editingState().setSelectedObjects({object});
    window_->setCurrentlyEditingEffectName(effectName);
    window_->setDisplayAndDragMode(1);
}

void CompositionDocument::editMaskForObject(const std::shared_ptr<CompositionBaseObject>& object,
                                            const std::string& effectName) {
    if (!window_ || !object) return;
    window_->editingState().setSelectedObjects({object});
    window_->setCurrentlyEditingEffectName(effectName);
    window_->setDisplayAndDragMode(2);
}

// --- What is selected or visible at the playhead

ObjectList
CompositionDocument::selectedVisibleObjectsForCurrentTimeWithTolerance(double toleranceSeconds) const {
    ObjectList result;
    if (!window_) return result;
    const double time = playheadTime();
    for (const auto& object : window_->editingState().selectedObjects())
        if (object && object->snapStartTime() <= time - toleranceSeconds &&
            object->snapEndTime() >= time + toleranceSeconds)
            result.push_back(object);
    return result;
}

ObjectList CompositionDocument::visibleObjectsForCurrentTimeWithTolerance(double toleranceSeconds) const {
    ObjectList result;
    const double time = playheadTime();
    for (const auto& object : container_->cachedOnlyObjects())
        if (object && object->snapStartTime() <= time + toleranceSeconds &&
            object->snapEndTime() >= time - toleranceSeconds)
            result.push_back(object);
    return result;
}

std::shared_ptr<CompositionBaseObject> CompositionDocument::firstSelectedVideoTrackOrFirstVideoTrack() const {
    for (const auto& object : selectedVisibleObjectsForCurrentTimeWithTolerance(0))
        if (isVideoTrackObject(*object)) return object;
    for (const auto& object : visibleObjectsForCurrentTimeWithTolerance(0))
        if (isVideoTrackObject(*object)) return object;
    return nullptr;
}

} // namespace vtl
