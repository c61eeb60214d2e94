#include "model/CompositionDocumentServices.h"

#include <filesystem>

namespace vtl {

std::string CompositionDocumentServices::generatedSpeechBasePath() const {
    if (std::optional<std::string> package = packagePath()) return *package + "/GeneratedSpeech";
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) temporary = "/tmp";
    return (temporary / "GeneratedSpeech").string();
}

} // namespace vtl
