#include "document/CompositionDocumentController.h"

#include "document/CompositionDocument.h"
#include "platform/foundation/NotificationCenter.h"

#include <algorithm>

namespace vtl {

void CompositionDocumentController::addDocument(CompositionDocument* document) {
    if (!document) return;
    if (std::find(documents_.begin(), documents_.end(), document) == documents_.end())
        documents_.push_back(document);
    document->setDocumentController(this);
    NotificationCenter::defaultCenter().post(kDocumentCountChangedNotification, this);
}

void CompositionDocumentController::removeDocument(CompositionDocument* document) {
    if (!document) return;
    document->tearDown();
    std::erase(documents_, document);
    std::erase(exporting_, document);
    document->setDocumentController(nullptr);
    NotificationCenter::defaultCenter().post(kDocumentCountChangedNotification, this);
}

void CompositionDocumentController::exportStateChanged(CompositionDocument* document) {
    if (document) {
        const bool listed = std::find(exporting_.begin(), exporting_.end(), document) != exporting_.end();
        const bool exporting = document->isCurrentlyInExport();
        if (exporting && !listed) exporting_.push_back(document);
        if (!exporting && listed) std::erase(exporting_, document);
    }
    if (!display_) return;
    if (exporting_.empty()) {
        display_->setExportProgress(0, false);
        return;
    }
    double sum = 0;
    for (const CompositionDocument* listed : exporting_)
        sum += listed->currentExportProgress();
    const double average = sum / double(exporting_.size());
    display_->setExportProgress(average, average < 1.0);
}

} // namespace vtl
