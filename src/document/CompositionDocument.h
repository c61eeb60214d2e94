#pragma once
// A composition document: owns the objects container and the undo manager that every model
// change of the composition registers with, keeps the per-document memories saved with the
// package (identifier, voices, last language, last added shape and text, guides and window state
// to hand to the window), and talks to its window and the usage statistics through interfaces it
// does not own. Main thread only.

#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class CompositionDocumentWindow;
class UsageStatistics;

class CompositionDocument : public CompositionDocumentServices {
public:
    CompositionDocument();
    // Around a container read from a package.
    explicit CompositionDocument(std::shared_ptr<CompositionObjectsContainer> container);
    ~CompositionDocument() override;
    CompositionDocument(const CompositionDocument&) = delete;
    CompositionDocument& operator=(const CompositionDocument&) = delete;

    CompositionUndoManager* undoManager() override { return undoManager_.get(); }
    const std::shared_ptr<CompositionObjectsContainer>& objectsContainer() const { return container_; }

    // --- Collaborators (not owned; null without a window or statistics)
    CompositionDocumentWindow* window() const { return window_; }
    void setWindow(CompositionDocumentWindow* window) { window_ = window; }
    UsageStatistics* statistics() const { return statistics_; }
    void setStatistics(UsageStatistics* statistics) { statistics_ = statistics; }
    // Counts a statistics key when there are statistics.
    void countStatistic(const std::string& key) const;

    // --- Package location: set once the document is read from or saved to a package.
    const std::optional<std::string>& fileURL() const { return fileURL_; }
    void setFileURL(std::optional<std::string> path);
    std::optional<std::string> packagePath() const override { return fileURL_; }
    bool documentHasBeenSaved() const { return fileURL_.has_value(); }

    // --- Per-document memories
    double timeScale() const { return timeScale_; }
    void setTimeScale(double seconds) { timeScale_ = seconds; }
    // Made on first request.
    std::string identifier() const override;
    bool hasIdentifier() const { return !identifier_.empty(); }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    const std::shared_ptr<CompositionBaseObject> lastAddedShape() const { return lastAddedShape_.lock(); }
    void setLastAddedShape(const std::shared_ptr<CompositionBaseObject>& shape) { lastAddedShape_ = shape; }
    const std::shared_ptr<CompositionBaseObject> lastAddedText() const { return lastAddedText_.lock(); }
    void setLastAddedText(const std::shared_ptr<CompositionBaseObject>& text) { lastAddedText_ = text; }
    bool canChangeStats() const { return canChangeStats_; }
    void setCanChangeStats(bool can) { canChangeStats_ = can; }
    bool dontAskAboutEnlargingAgain() const { return dontAskAboutEnlargingAgain_; }
    void setDontAskAboutEnlargingAgain(bool dontAsk) { dontAskAboutEnlargingAgain_ = dontAsk; }
    double currentExportProgress() const { return currentExportProgress_; }
    void setCurrentExportProgress(double progress) { currentExportProgress_ = progress; }
    bool needsToRedoThumbs() const { return needsToRedoThumbs_; }
    void setNeedsToRedoThumbs(bool redo) { needsToRedoThumbs_ = redo; }

    // The playhead of the window; none without one.
    std::optional<double> currentTime() const override;
    // The largest snap end of the container's visible objects, 0 when there are none.
    double documentDuration() const;

    // --- Values read from a package, waiting for the window (each handed over once)
    struct WindowHandOver {
        std::optional<double> pixelsPerSecond;
        std::optional<PlistDictionary> expandedCollapsedPropertyViewStates;
        std::optional<std::vector<double>> horizontalGuides;
        std::optional<std::vector<double>> verticalGuides;
        std::optional<PlistDictionary> windowFrameDictionary;
    };
    WindowHandOver& windowHandOver() { return windowHandOver_; }
    const WindowHandOver& windowHandOver() const { return windowHandOver_; }

private:
    std::shared_ptr<CompositionObjectsContainer> container_;
    CompositionDocumentWindow* window_ = nullptr;
    UsageStatistics* statistics_ = nullptr;
    std::optional<std::string> fileURL_;
    double timeScale_ = 0.04;
    mutable std::string identifier_;
    std::weak_ptr<CompositionBaseObject> lastAddedShape_;
    std::weak_ptr<CompositionBaseObject> lastAddedText_;
    bool canChangeStats_ = true;
    bool dontAskAboutEnlargingAgain_ = false;
    bool needsToRedoThumbs_ = false;
    double currentExportProgress_ = 0;
    WindowHandOver windowHandOver_;
    // Declared last so it goes first: its steps may hold the last references to model objects.
    std::unique_ptr<CompositionUndoManager> undoManager_;
};

} // namespace vtl
