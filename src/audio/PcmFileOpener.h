#pragma once
// Opens a sound file as a PcmSource: through the media layer's reader (MediaPcmSource) unless
// another opener is installed (tests may install one; an empty opener restores the media layer).
// Process-wide, thread-safe.

#include "audio/PcmSource.h"

#include <functional>
#include <memory>
#include <string>

namespace vtl {

using PcmFileOpener = std::function<Result<std::unique_ptr<PcmSource>>(const std::string& path)>;

void setPcmFileOpener(PcmFileOpener opener);
Result<std::unique_ptr<PcmSource>> openPcmFile(const std::string& path);

} // namespace vtl
