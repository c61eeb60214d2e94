#include "model/CompositionExtractionQueues.h"

#include "model/AudioCapability.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "model/MediaTrackCapability.h"
#include "platform/foundation/DispatchQueue.h"

#include <algorithm>

namespace vtl {

using Queues = CompositionExtractionQueues;

Queues& Queues::shared() {
    static Queues queues;
    return queues;
}

void Queues::append(Queue& queue, const std::shared_ptr<CompositionBaseObject>& track) {
    if (!track) return;
    std::erase_if(queue, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : queue) {
        if (weak.lock() == track) return;
    }
    queue.push_back(track);
}

void Queues::removeFrom(Queue& queue, const CompositionBaseObject* track) {
    std::erase_if(queue, [&](const auto& weak) {
        auto member = weak.lock();
        return !member || member.get() == track;
    });
}

std::vector<std::shared_ptr<CompositionBaseObject>> Queues::snapshot(const Queue& queue) {
    std::vector<std::shared_ptr<CompositionBaseObject>> out;
    for (const auto& weak : queue) {
        if (auto member = weak.lock()) out.push_back(std::move(member));
    }
    return out;
}

std::vector<std::shared_ptr<CompositionBaseObject>> Queues::audioTracks() const {
    MutexLock guard(lock_);
    return snapshot(audioTracks_);
}

std::vector<std::shared_ptr<CompositionBaseObject>> Queues::videoTracks() const {
    MutexLock guard(lock_);
    return snapshot(videoTracks_);
}

void Queues::addAudioTrack(const std::shared_ptr<CompositionBaseObject>& track) {
    MutexLock guard(lock_);
    append(audioTracks_, track);
}

void Queues::addVideoTrack(const std::shared_ptr<CompositionBaseObject>& track) {
    MutexLock guard(lock_);
    append(videoTracks_, track);
}

void Queues::removeAudioTrack(const CompositionBaseObject* track) {
    MutexLock guard(lock_);
    removeFrom(audioTracks_, track);
}

void Queues::removeVideoTrack(const CompositionBaseObject* track) {
    MutexLock guard(lock_);
    removeFrom(videoTracks_, track);
}

void Queues::addOpenDocument(CompositionDocumentServices* document) {
    MutexLock guard(lock_);
    if (document && std::find(openDocuments_.begin(), openDocuments_.end(), document) == openDocuments_.end())
        openDocuments_.push_back(document);
}

void Queues::removeOpenDocument(CompositionDocumentServices* document) {
    MutexLock guard(lock_);
    std::erase(openDocuments_, document);
}

void Queues::waveformExtractionDone(const std::shared_ptr<CompositionBaseObject>& track) {
    if (track) track->invalidate();
    std::shared_ptr<CompositionBaseObject> next;
    bool empty = false;
    {
        MutexLock guard(lock_);
        // A finished track leaves the queue only when the queue next advances.
        while (!audioTracks_.empty()) {
            auto first = audioTracks_.front().lock();
            const AudioCapability* audio = first ? first->asAudio() : nullptr;
            if (audio && !audio->waveformExtractionDone()) {
                next = std::move(first);
                break;
            }
            audioTracks_.erase(audioTracks_.begin());
        }
        empty = audioTracks_.empty();
    }
    if (next) next->asAudio()->extractWaveFormAndNotify();
    if (empty) thumbnailGenerationDone(nullptr);
}

void Queues::thumbnailGenerationDone(const std::shared_ptr<CompositionBaseObject>&) {
    std::shared_ptr<CompositionBaseObject> next;
    bool videoEmpty = false, audioEmpty = false;
    {
        MutexLock guard(lock_);
        while (!videoTracks_.empty()) {
            auto first = videoTracks_.front().lock();
            const MediaTrackCapability* media = first ? first->asMediaTrack() : nullptr;
            if (media && !media->previewThumbnailsGenerated()) {
                next = std::move(first);
                break;
            }
            videoTracks_.erase(videoTracks_.begin());
        }
        videoEmpty = videoTracks_.empty();
        audioEmpty = audioTracks_.empty();
    }
    if (next) next->asMediaTrack()->generateThumbnails();
    if (!videoEmpty) return;
    if (!audioEmpty) {
        waveformExtractionDone(nullptr);
        return;
    }
    // Waited for outside the lock, so an extraction thread calling in cannot deadlock. The list
    // is read on the main thread, where documents close, so none closed meanwhile is reached.
    runOnMainThreadAndWait([this] {
        std::vector<CompositionDocumentServices*> documents;
        {
            MutexLock guard(lock_);
            documents = openDocuments_;
        }
        for (CompositionDocumentServices* document : documents) {
            document->updateSequencer();
            document->hideCopyMediaProgress();
        }
    });
}

} // namespace vtl
