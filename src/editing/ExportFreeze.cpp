#include "editing/ExportFreeze.h"

#include "model/CompositionObjectsContainer.h"

namespace vtl {

ExportFreeze::ExportFreeze(std::shared_ptr<CompositionObjectsContainer> container)
    : container_(std::move(container)) {
    if (container_) container_->beginExportFreeze();
}

ExportFreeze::~ExportFreeze() {
    if (container_) container_->endExportFreeze();
}

} // namespace vtl
