#pragma once
// Opens a sound file as a PcmSource. The media layer installs the opener at start-up; until then
// (and in programs without it) opening fails with a plain sentence. Process-wide, thread-safe.

#include "audio/PcmSource.h"

#include <functional>
#include <memory>
#include <string>

namespace vtl {

using PcmFileOpener = std::function<Result<std::unique_ptr<PcmSource>>(const std::string& path)>;

void setPcmFileOpener(PcmFileOpener opener);
Result<std::unique_ptr<PcmSource>> openPcmFile(const std::string& path);

} // namespace vtl
