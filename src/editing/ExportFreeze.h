#pragma once
// Holds a composition still while an export reads it: from construction to destruction the
// container is in export, so changes to it and undo or redo are refused. Owned by the exporter
// for the whole export; it may end on the export's own thread, after the export's last read.

#include <memory>

namespace vtl {

class CompositionObjectsContainer;

class ExportFreeze {
public:
    explicit ExportFreeze(std::shared_ptr<CompositionObjectsContainer> container);
    ~ExportFreeze();
    ExportFreeze(const ExportFreeze&) = delete;
    ExportFreeze& operator=(const ExportFreeze&) = delete;

private:
    std::shared_ptr<CompositionObjectsContainer> container_;
};

} // namespace vtl
