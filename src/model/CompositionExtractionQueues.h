#pragma once
// The application-wide queues that run background waveform extraction and timeline thumbnail
// generation one track at a time, waveforms before thumbnails. Holds the waiting tracks weakly
// (a deleted track also removes itself). Every read or change of either list happens under one
// lock; the lock is never held while a track is started or while the main thread is waited for,
// so a track may call back into the queues from any thread.

#include "platform/foundation/ThreadAnnotations.h"

#include <memory>
#include <vector>

namespace vtl {

class CompositionBaseObject;
class CompositionDocumentServices;

class CompositionExtractionQueues {
public:
    static CompositionExtractionQueues& shared();

    std::vector<std::shared_ptr<CompositionBaseObject>> audioTracks() const;
    std::vector<std::shared_ptr<CompositionBaseObject>> videoTracks() const;
    // Appends unless already queued.
    void addAudioTrack(const std::shared_ptr<CompositionBaseObject>& track);
    void addVideoTrack(const std::shared_ptr<CompositionBaseObject>& track);
    void removeAudioTrack(const CompositionBaseObject* track);
    void removeVideoTrack(const CompositionBaseObject* track);

    // A track finished (or null to start the queues): the next unfinished track starts; when the
    // audio queue is empty the video queue advances.
    void waveformExtractionDone(const std::shared_ptr<CompositionBaseObject>& track);
    // When both queues are empty, every open document's timeline is redrawn and its copy-media
    // progress hidden, on the main thread.
    void thumbnailGenerationDone(const std::shared_ptr<CompositionBaseObject>& track);

    // The open documents that are told when the queues run empty (not owned). Main thread only;
    // a document removes itself before it goes.
    void addOpenDocument(CompositionDocumentServices* document);
    void removeOpenDocument(CompositionDocumentServices* document);

private:
    using Queue = std::vector<std::weak_ptr<CompositionBaseObject>>;
    static void append(Queue& queue, const std::shared_ptr<CompositionBaseObject>& track);
    static void removeFrom(Queue& queue, const CompositionBaseObject* track);
    static std::vector<std::shared_ptr<CompositionBaseObject>> snapshot(const Queue& queue);

    mutable Mutex lock_;
    Queue audioTracks_ VTL_GUARDED_BY(lock_);
    Queue videoTracks_ VTL_GUARDED_BY(lock_);
    std::vector<CompositionDocumentServices*> openDocuments_ VTL_GUARDED_BY(lock_);
};

} // namespace vtl
