#pragma once
// Base of the wrappers between a media entry and the track objects that show its file: it holds
// the entry (owned, shared with the media managers). The recording movie is one kind, imported
// movies another. Main thread, except where a kind says otherwise.

#include "model/CompositionMediaEntry.h"
#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/KeyedArchiveRegistry.h"

#include <cstdint>
#include <memory>

namespace vtl {

class CompositionBaseMovie : public Archivable {
public:
    CompositionBaseMovie() = default;
    explicit CompositionBaseMovie(std::shared_ptr<CompositionMediaEntry> mediaEntry)
        : mediaEntry_(std::move(mediaEntry)) {}
    ~CompositionBaseMovie() override = default;
    CompositionBaseMovie(const CompositionBaseMovie&) = delete;
    CompositionBaseMovie& operator=(const CompositionBaseMovie&) = delete;

    std::string archivedClassName() const override { return "CompositionBaseMovie"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    const std::shared_ptr<CompositionMediaEntry>& mediaEntry() const { return mediaEntry_; }

    virtual std::uint32_t numberOfTracks() const { return 1; }
    virtual bool loadResources() { return true; }
    virtual std::uint32_t timeScale() const { return 600; }
    // Each kind gives its media's duration; the base reports a programming error and answers 0.
    virtual double longestTrackDuration() const;

private:
    std::shared_ptr<CompositionMediaEntry> mediaEntry_;
};

} // namespace vtl
