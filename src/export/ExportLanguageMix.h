#pragma once
// One language's audio of an exported composition, mixed to 44.1 kHz stereo float: its audio
// tracks, its generated speech and every click sound, each through its effects and shaped by its
// volume, its place on the timeline and its mute phases. Reads a composition that the export keeps
// unchanged; made and owned by the exporter, used from one thread at a time.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vtl {

class CompositionObjectsContainer;
class VistrelLanguage;

class ExportLanguageMix {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannelCount = 2;

    // Fails, with the reason, when a source cannot be opened or decoded.
    static Result<std::unique_ptr<ExportLanguageMix>> create(const CompositionObjectsContainer& container,
                                                             const VistrelLanguage& language);
    virtual ~ExportLanguageMix() = default;

    // Mixes the next frames (from time 0 on, without gaps) into two planar buffers and answers how
    // many it wrote: fewer than asked only at the end (the composition's length), 0 after it. A
    // source that stops decoding fails the call.
    virtual Result<std::size_t> render(float* left, float* right, std::size_t frameCount) = 0;
    // Frames the whole mix has.
    virtual std::int64_t totalFrames() const = 0;
};

// Buffers for one mix's part of `renderSideBySide`.
struct ExportMixBuffers {
    std::vector<float> left, right;
};

// Mixes the next `frameCount` frames of several mixes at once, one worker of the dispatch pool
// each, into `buffers` (one per mix, resized as needed): element i is what mixes[i]->render
// answered. The mixes must be distinct.
std::vector<Result<std::size_t>> renderSideBySide(const std::vector<ExportLanguageMix*>& mixes,
                                                  std::vector<ExportMixBuffers>& buffers,
                                                  std::size_t frameCount);

// Of `languages`, those an export writes audio for: each with audio tracks (on enabled tracks, not
// muted) or generated speech that is heard (not shown only as subtitles); click sounds alone keep
// none. Order kept.
std::vector<std::shared_ptr<VistrelLanguage>>
languagesWithExportAudio(const CompositionObjectsContainer& container,
                         const std::vector<std::shared_ptr<VistrelLanguage>>& languages);

} // namespace vtl
