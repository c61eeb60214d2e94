#pragma once
// The application's list of open composition documents: tears a document down when it is
// removed, announces changes of the count, and shows the average export progress of the
// documents exporting. One per application; documents and the progress display are not owned.

#include <memory>
#include <vector>

namespace vtl {

class CompositionDocument;

inline constexpr const char* kDocumentCountChangedNotification =
    "CompositionDocumentControllerDocumentCountChangedNotification";

// Where the application shows the export progress of all documents.
class ExportProgressDisplay {
public:
    virtual ~ExportProgressDisplay() = default;
    virtual void setExportProgress(double progress, bool show) = 0;
};

class CompositionDocumentController {
public:
    explicit CompositionDocumentController(ExportProgressDisplay* display = nullptr)
        : display_(display) {}

    void addDocument(CompositionDocument* document);
    // Tears the document down first.
    void removeDocument(CompositionDocument* document);
    const std::vector<CompositionDocument*>& documents() const { return documents_; }
    // Lists or unlists the document by whether it is exporting, then shows the average progress.
    void exportStateChanged(CompositionDocument* document);
    const std::vector<CompositionDocument*>& currentlyExportingDocuments() const { return exporting_; }

private:
    ExportProgressDisplay* display_;
    std::vector<CompositionDocument*> documents_;
    std::vector<CompositionDocument*> exporting_;
};

} // namespace vtl
