#pragma once
// What the import and adding tests share: a window that answers alerts from a script and records
// what it was asked, statistics that count, file operations with a chosen free space, and a
// document wired to a media manager of its own.

#include "document/CompositionDocument.h"
#include "document/CompositionDocumentWindow.h"
#include "document/UsageStatistics.h"
#include "editing/EditingState.h"
#include "model/MediaFileOperations.h"
#include "model/SharedMediaManager.h"

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl::test {

class ImportTestWindow : public CompositionDocumentWindow {
public:
    EditingState editing;
    // Answers in order; once used up, the default button.
    std::deque<DocumentAlertAnswer> answers;
    std::vector<DocumentAlert> alertsShown;
    int beeps = 0;
    int sheetsShown = 0;
    std::vector<std::shared_ptr<CompositionBaseObject>> scrolledTo;
    std::string editingEffect;
    int dragMode = 0;

    EditingState& editingState() override { return editing; }
    void animatedScrollToObject(const std::shared_ptr<CompositionBaseObject>& object) override {
        scrolledTo.push_back(object);
    }
    void takeValuesFromInspector() override {}
    DocumentAlertAnswer runAlert(const DocumentAlert& alert) override {
        alertsShown.push_back(alert);
        if (answers.empty()) return {};
        DocumentAlertAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void beep() override { ++beeps; }
    PlistDictionary expandedCollapsedPropertyViewStates() const override { return {}; }
    void setExpandedCollapsedPropertyViewStates(const PlistDictionary&) override {}
    std::vector<double> horizontalGuides() const override { return {}; }
    std::vector<double> verticalGuides() const override { return {}; }
    void setGuides(const std::vector<double>&, const std::vector<double>&) override {}
    void setPixelsPerSecond(double) override {}
    Rect windowFrame() const override { return {}; }
    Size screenSize() const override { return {}; }
    void setWindowFrame(const Rect&) override {}
    void resizeWindowToGoodInitialSize() override {}
    void showWaitingSheet(const std::string&, const std::string&) override { ++sheetsShown; }
    void setCurrentlyEditingEffectName(const std::string& name) override { editingEffect = name; }
    void setDisplayAndDragMode(int mode) override { dragMode = mode; }

    std::size_t alertsWithMessage(const std::string& key) const {
        std::size_t count = 0;
        for (const auto& alert : alertsShown)
            if (alert.messageKey == key) ++count;
        return count;
    }
};

class ImportTestStatistics : public UsageStatistics {
public:
    std::map<std::string, int> counts;
    void count(const std::string& key) override { ++counts[key]; }
    void average(const std::string&, double) override {}
};

// Real files, but the free space and the sizes of chosen paths are made up.
class ImportTestFileOperations : public MediaFileOperations {
public:
    std::optional<uint64_t> freeBytes;
    std::map<std::string, uint64_t> sizes;
    std::optional<uint64_t> freeBytesOfVolume(const std::filesystem::path& path) const override {
        return freeBytes ? freeBytes : MediaFileOperations::freeBytesOfVolume(path);
    }
    uint64_t sizeOfResourceAtPath(const std::filesystem::path& path) const override {
        auto found = sizes.find(path.string());
        return found != sizes.end() ? found->second : MediaFileOperations::sizeOfResourceAtPath(path);
    }
};

// A document with a window, statistics and a media manager of its own (temporary folder under
// `folder`).
struct ImportTestDocument {
    explicit ImportTestDocument(const std::filesystem::path& folder)
        : files(std::make_shared<ImportTestFileOperations>())
        , media(folder / "TemporaryResources", files) {
        document.setSharedMediaManager(&media);
        document.setWindow(&window);
        document.setStatistics(&statistics);
    }
    ~ImportTestDocument() {
        document.setWindow(nullptr);
        // Stops background extraction before the objects go.
        document.objectsContainer()->tearDownObjects();
        media.removeEntriesForDocument(&document);
    }
    std::shared_ptr<ImportTestFileOperations> files;
    SharedMediaManager media;
    ImportTestWindow window;
    ImportTestStatistics statistics;
    CompositionDocument document;
};

} // namespace vtl::test
