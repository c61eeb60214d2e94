#include "export/ExportLanguageMix.h"

namespace vtl {

// Placeholder until the mixer lands: no language has audio to export.
Result<std::unique_ptr<ExportLanguageMix>> ExportLanguageMix::create(const CompositionObjectsContainer&,
                                                                     const VistrelLanguage&) {
    return fail("Mixing sound for export is not available yet.");
}

std::vector<std::shared_ptr<VistrelLanguage>>
languagesWithExportAudio(const CompositionObjectsContainer&, const std::vector<std::shared_ptr<VistrelLanguage>>&) {
    return {};
}

} // namespace vtl
