#include "audio/PcmFileOpener.h"

#include "audio/MediaPcmSource.h"
#include "platform/foundation/ThreadAnnotations.h"

namespace vtl {

namespace {

Mutex openerMutex;
PcmFileOpener installedOpener VTL_GUARDED_BY(openerMutex);

} // namespace

void setPcmFileOpener(PcmFileOpener opener) {
    MutexLock lock(openerMutex);
    installedOpener = std::move(opener);
}

Result<std::unique_ptr<PcmSource>> openPcmFile(const std::string& path) {
    PcmFileOpener opener;
    {
        MutexLock lock(openerMutex);
        opener = installedOpener;
    }
    return opener ? opener(path) : MediaPcmSource::open(path);
}

} // namespace vtl
