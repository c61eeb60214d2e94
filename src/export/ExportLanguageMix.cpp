#include "export/ExportLanguageMix.h"

#include "audio/AudioEffectChain.h"
#include "audio/AudioEffectDictionary.h"
#include "audio/AudioTrackPlayer.h"
#include "audio/MediaPcmSource.h"
#include "audio/MemoryPcmSource.h"
#include "audio/PcmFileOpener.h"
#include "model/CompositionBaseState.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionObjectsContainer.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/DispatchApply.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/CompositionTrackObject.h"
#include "tracks/GeneratedSpeech.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

namespace vtl {

namespace {

constexpr std::size_t kMixBlockFrames = 256;
// The sources heard in a stretch of this many frames are rendered side by side, each on a worker
// of the dispatch pool; long enough that a source's share outweighs waking a worker.
constexpr std::size_t kMixChunkFrames = 64 * kMixBlockFrames;

// Seconds to a frame at the mix's rate, nearest; non-finite and negative times count as 0.
std::int64_t mixFrameAt(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return static_cast<std::int64_t>(
        std::llround(std::min(seconds * ExportLanguageMix::kSampleRate, 9.0e15)));
}

bool onEnabledTrack(const CompositionBaseObject& object) {
    return !(object.containerTrack() && object.containerTrack()->isDisabled());
}

// Audio tracks heard in the language: those of its code or of every language, not muted, on
// enabled tracks.
std::vector<std::shared_ptr<CompositionAudioTrackObject>>
exportAudioTracks(const CompositionObjectsContainer& container, const VistrelLanguage& language) {
    std::vector<std::shared_ptr<CompositionAudioTrackObject>> tracks;
    for (const auto& object :
         container.activeUncachedAudioTracksWithLanguageScript(language.languageScript())) {
        auto track = std::dynamic_pointer_cast<CompositionAudioTrackObject>(object);
        if (track && !track->muted() && onEnabledTrack(*track)) tracks.push_back(std::move(track));
    }
    return tracks;
}

struct ExportSpeech {
    std::shared_ptr<CompositionGeneratedSpeechTrackObject> object;
    std::shared_ptr<GeneratedSpeech> speech;
};

// Speech synthesized for the language, on enabled tracks. Texts shown only as subtitles are not
// heard, as in playback.
std::vector<ExportSpeech> exportSpeech(const CompositionObjectsContainer& container,
                                       const VistrelLanguage& language) {
    std::vector<ExportSpeech> found;
    const std::optional<std::string> name = language.unlocalizedName();
    if (!name || language.languageScript() == VistrelLanguage::kAllLanguages) return found;
    for (const auto& object : container.objects()) {
        auto speechObject = std::dynamic_pointer_cast<CompositionGeneratedSpeechTrackObject>(object);
        if (!speechObject || !onEnabledTrack(*speechObject) ||
            speechObject->role() == SpeechRole::SubtitleOnly)
            continue;
        const auto& texts = speechObject->speechTexts();
        const auto text = texts.find(*name);
        if (text == texts.end() || !text->second || !text->second->isValid() ||
            text->second->fullPath().empty())
            continue;
        found.push_back({std::move(speechObject), text->second});
    }
    return found;
}

struct ClickSound {
    std::string path;
    double time = 0;
    double duration = 0;
};

// One entry per audible click of the track objects on enabled tracks.
std::vector<ClickSound> exportClickSounds(const CompositionObjectsContainer& container) {
    std::vector<ClickSound> clicks;
    for (const auto& object : container.objects()) {
        const auto* track = dynamic_cast<const CompositionTrackObject*>(object.get());
        if (!track || !onEnabledTrack(*track)) continue;
        const auto entries = track->mouseClickAudiblizationDictionariesForExport();
        if (!entries) continue;
        for (const PlistDictionary& entry : *entries) {
            const PropertyList* path = entry.find("path");
            const PropertyList* time = entry.find("time");
            const PropertyList* duration = entry.find("duration");
            if (!path || !path->stringValue() || !time || !time->numberValue() || !duration ||
                !duration->numberValue())
                continue;
            clicks.push_back({*path->stringValue(), *time->numberValue(), *duration->numberValue()});
        }
    }
    return clicks;
}

std::string quoted(const std::string& name) {
    return "\u201C" + name + "\u201D";
}

// One sound of the mix with everything its render needs, copied out of the model.
struct MixSource {
    std::string description; // names the source in errors
    std::unique_ptr<PcmSource> pcm;
    std::int64_t startFrame = 0;   // on the timeline
    std::int64_t lengthFrames = 0; // heard from its start on
    AudioEffectChain chain;
    // Relative to the source's start: [start, end) frames.
    std::vector<std::pair<std::int64_t, std::int64_t>> mutes;
    float gain = 1;
    ChannelMapping mapping = ChannelMapping::None;
    // Planar read buffers, one per channel of the source.
    std::vector<std::vector<float>> readBuffers;
    std::vector<float*> readPointers;
    bool exhausted = false;
    // The source's part of the chunk being mixed, and whether it is heard there.
    std::vector<float> chunkLeft, chunkRight;
    bool heardInChunk = false;
    std::string chunkFailure;
};

class LanguageMix final : public ExportLanguageMix {
public:
    LanguageMix(std::vector<std::unique_ptr<MixSource>> sources, std::int64_t totalFrames)
        : sources_(std::move(sources))
        , totalFrames_(totalFrames) {
        mixLeft_.assign(kMixChunkFrames, 0.0f);
        mixRight_.assign(kMixChunkFrames, 0.0f);
    }

    Result<std::size_t> render(float* left, float* right, std::size_t frameCount) override {
        if (!failure_.empty()) return fail(failure_);
        const auto remaining =
            static_cast<std::uint64_t>(std::max<std::int64_t>(0, totalFrames_ - delivered_));
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(frameCount, remaining));
        std::size_t done = 0;
        while (done < count) {
            if (chunkOffset_ == kMixChunkFrames) {
                if (Status rendered = renderChunk(); !rendered) {
                    failure_ = rendered.error();
                    return fail(failure_);
                }
                chunkOffset_ = 0;
            }
            const std::size_t take = std::min(count - done, kMixChunkFrames - chunkOffset_);
            std::copy_n(mixLeft_.data() + chunkOffset_, take, left + done);
            std::copy_n(mixRight_.data() + chunkOffset_, take, right + done);
            chunkOffset_ += take;
            done += take;
        }
        delivered_ += static_cast<std::int64_t>(count);
        return count;
    }

    std::int64_t totalFrames() const override { return totalFrames_; }

private:
    // Mixes the next chunk of every source into mixLeft_/mixRight_. The sources render in
    // parallel and are summed in their order, so the mix does not depend on the threads.
    Status renderChunk() {
        const auto chunk = static_cast<std::int64_t>(kMixChunkFrames);
        heard_.clear();
        for (const auto& source : sources_) {
            const std::int64_t t0 = chunkStart_ - source->startFrame;
            // Outside its stretch a source is silent; its effects are not run there.
            source->heardInChunk = !(t0 + chunk <= 0 || t0 >= source->lengthFrames);
            if (source->heardInChunk) heard_.push_back(source.get());
        }
        auto renderOne = [this](std::size_t i) {
            MixSource& source = *heard_[i];
            if (source.chunkLeft.size() != kMixChunkFrames) {
                source.chunkLeft.assign(kMixChunkFrames, 0.0f);
                source.chunkRight.assign(kMixChunkFrames, 0.0f);
            }
            for (std::size_t b = 0; b < kMixChunkFrames; b += kMixBlockFrames) {
                const std::int64_t t0 = chunkStart_ + static_cast<std::int64_t>(b) - source.startFrame;
                float* left = source.chunkLeft.data() + b;
                float* right = source.chunkRight.data() + b;
                if (t0 + static_cast<std::int64_t>(kMixBlockFrames) <= 0 || t0 >= source.lengthFrames) {
                    std::fill_n(left, kMixBlockFrames, 0.0f);
                    std::fill_n(right, kMixBlockFrames, 0.0f);
                    continue;
                }
                if (Status made = renderSource(source, t0, left, right); !made) {
                    source.chunkFailure = made.error();
                    return;
                }
            }
        };
        if (heard_.size() > 1)
            dispatchApply(heard_.size(), renderOne);
        else if (!heard_.empty())
            renderOne(0);

        std::fill(mixLeft_.begin(), mixLeft_.end(), 0.0f);
        std::fill(mixRight_.begin(), mixRight_.end(), 0.0f);
        for (MixSource* source : heard_) {
            if (!source->chunkFailure.empty()) return fail(source->chunkFailure);
            for (std::size_t i = 0; i < kMixChunkFrames; ++i) {
                mixLeft_[i] += source->chunkLeft[i];
                mixRight_[i] += source->chunkRight[i];
            }
            // A source past its stretch (a click, a speech) gives its buffers back.
            if (chunkStart_ + chunk - source->startFrame >= source->lengthFrames) {
                source->chunkLeft = {};
                source->chunkRight = {};
            }
        }
        chunkStart_ += chunk;
        return {};
    }

    // One block of a source, from its frame t0 on (negative: before its start), into left/right.
    static Status renderSource(MixSource& source, std::int64_t t0, float* left, float* right) {
        const auto block = static_cast<std::int64_t>(kMixBlockFrames);
        std::fill_n(left, kMixBlockFrames, 0.0f);
        std::fill_n(right, kMixBlockFrames, 0.0f);
        const auto from = static_cast<std::size_t>(std::max<std::int64_t>(0, -t0));
        const auto to = static_cast<std::size_t>(std::min(block, source.lengthFrames - t0));

        // The source is read in order: each block takes up where the last one stopped.
        std::size_t filled = from;
        while (!source.exhausted && filled < to) {
            Result<std::size_t> read = source.pcm->read(source.readPointers.data(), to - filled);
            if (!read)
                return fail("The sound of " + source.description + " could not be decoded: " + read.error());
            if (*read == 0) {
                source.exhausted = true;
                break;
            }
            std::copy_n(source.readPointers[0], *read, left + filled);
            std::copy_n(source.readPointers.size() > 1 ? source.readPointers[1] : source.readPointers[0],
                        *read, right + filled);
            filled += *read;
        }

        source.chain.process(left, right, kMixBlockFrames);

        switch (source.mapping) {
        case ChannelMapping::BothLeft:
            std::copy_n(left, kMixBlockFrames, right);
            break;
        case ChannelMapping::BothRight:
            std::copy_n(right, kMixBlockFrames, left);
            break;
        case ChannelMapping::None:
            break;
        }
        if (source.gain != 1.0f) {
            for (std::size_t i = 0; i < kMixBlockFrames; ++i) {
                left[i] *= source.gain;
                right[i] *= source.gain;
            }
        }
        auto silence = [&](std::int64_t begin, std::int64_t end) {
            begin = std::clamp<std::int64_t>(begin - t0, 0, block);
            end = std::clamp<std::int64_t>(end - t0, 0, block);
            if (end <= begin) return;
            std::fill(left + begin, left + end, 0.0f);
            std::fill(right + begin, right + end, 0.0f);
        };
        // Effect tails end with the source.
        silence(source.lengthFrames, std::numeric_limits<std::int64_t>::max() / 2);
        for (const auto& [begin, end] : source.mutes)
            silence(begin, end);
        return {};
    }

    std::vector<std::unique_ptr<MixSource>> sources_;
    std::vector<MixSource*> heard_;
    std::int64_t totalFrames_ = 0;
    std::int64_t delivered_ = 0;
    std::int64_t chunkStart_ = 0;
    std::size_t chunkOffset_ = kMixChunkFrames; // none left of the current chunk
    std::vector<float> mixLeft_, mixRight_;
    std::string failure_;
};

struct SourcePlacement {
    std::int64_t timelineStart = 0;
    std::int64_t mediaStart = 0;
    std::int64_t length = 0;
};

Result<std::unique_ptr<MixSource>> makeSource(std::string description, std::unique_ptr<PcmSource> pcm,
                                              SourcePlacement placement,
                                              const std::vector<PropertyList>& effects) {
    auto source = std::make_unique<MixSource>();
    source->description = std::move(description);
    if (Status moved = pcm->seek(placement.mediaStart); !moved)
        return fail("The sound of " + source->description + " could not be read: " + moved.error());
    source->pcm = std::move(pcm);
    source->startFrame = placement.timelineStart;
    source->lengthFrames = std::max<std::int64_t>(0, placement.length);
    // Without effects the sound still passes one stereo mixer, as every source does.
    source->chain = effects.empty() ? AudioEffectChain({audioeffect::stereoMixerDictionary()})
                                    : AudioEffectChain(effects);
    source->chain.prepare(ExportLanguageMix::kSampleRate, kMixBlockFrames);
    const std::uint32_t channels = std::max<std::uint32_t>(1, source->pcm->channelCount());
    source->readBuffers.assign(channels, std::vector<float>(kMixBlockFrames, 0.0f));
    for (auto& buffer : source->readBuffers)
        source->readPointers.push_back(buffer.data());
    return source;
}

std::string audioTrackDescription(const CompositionAudioTrackObject& track) {
    if (!track.name().empty()) return quoted(track.name());
    const std::string path = track.mediaPathForSerialization();
    return path.empty() ? std::string("an audio track") : quoted(path);
}

Result<std::unique_ptr<MixSource>> audioTrackSource(const CompositionAudioTrackObject& track) {
    const std::string description = audioTrackDescription(track);
    const std::shared_ptr<const MediaAsset> asset = track.assetMovie();
    if (!asset || !track.assetTrack())
        return fail("The sound file of " + description + " is missing or cannot be read.");
    Result<std::unique_ptr<PcmSource>> pcm = MediaPcmSource::open(asset, track.trackIndex());
    if (!pcm) return fail("The sound of " + description + " cannot be decoded: " + pcm.error());

    std::vector<PropertyList> effects;
    if (const auto state = track.noneAnimationState()) {
        for (const EffectEntry& entry : state->effects())
            effects.emplace_back(entry);
    }
    const double mediaStart = track.movieStartTime();
    SourcePlacement placement{mixFrameAt(track.snapStartTime()), mixFrameAt(mediaStart),
                              mixFrameAt(track.movieEndTime()) - mixFrameAt(mediaStart)};
    auto made = makeSource(description, std::move(*pcm), placement, effects);
    if (!made) return made;
    MixSource& source = **made;
    if (track.effectSettings()) source.chain.restoreConfigurations(*track.effectSettings());
    for (const auto& state : track.triggeredStates()) {
        const auto* phase = dynamic_cast<const CompositionTrackTriggeredState*>(state.get());
        if (!phase) continue;
        const double begin = phase->cropCorrectedStartTime();
        const double end = phase->cropCorrectedEndTime();
        if (!std::isfinite(begin) || !std::isfinite(end) || end <= begin) continue;
        // Phases may begin before the kept part of the media: negative frames are kept as they are.
        source.mutes.emplace_back(std::llround(begin * ExportLanguageMix::kSampleRate),
                                  std::llround(end * ExportLanguageMix::kSampleRate));
    }
    const float delta = track.volumeDelta();
    source.gain = delta == 0 ? 1.0f : std::max(0.0f, 1.0f + 1.5f * delta);
    source.mapping = channelMappingFromStored(track.channelMapping());
    return made;
}

} // namespace

Result<std::unique_ptr<ExportLanguageMix>>
ExportLanguageMix::create(const CompositionObjectsContainer& container, const VistrelLanguage& language) {
    std::vector<std::unique_ptr<MixSource>> sources;

    for (const auto& track : exportAudioTracks(container, language)) {
        auto source = audioTrackSource(*track);
        if (!source) return source.asFailure();
        sources.push_back(std::move(*source));
    }

    const std::string languageName = language.unlocalizedName().value_or("?");
    for (const ExportSpeech& speech : exportSpeech(container, language)) {
        const std::string description =
            "the speech " +
            (speech.object->name().empty() ? std::string() : quoted(speech.object->name()) + " ") + "in " +
            languageName;
        auto pcm = openPcmFile(speech.speech->fullPath());
        if (!pcm) return fail("The sound of " + description + " cannot be decoded: " + pcm.error());
        SourcePlacement placement{
            mixFrameAt(speech.object->startTime()), 0,
            mixFrameAt(speech.object->durationOfLanguageScript(language.languageScript()))};
        auto source = makeSource(description, std::move(*pcm), placement, {});
        if (!source) return source.asFailure();
        sources.push_back(std::move(*source));
    }

    // The click sound is decoded once and shared by every click.
    std::map<std::string, std::unique_ptr<MemoryPcmSource>> decodedClicks;
    for (const ClickSound& click : exportClickSounds(container)) {
        auto& decoded = decodedClicks[click.path];
        if (!decoded) {
            auto file = openPcmFile(click.path);
            if (!file)
                return fail("The click sound " + quoted(click.path) + " cannot be decoded: " + file.error());
            auto memory = MemoryPcmSource::decode(**file);
            if (!memory)
                return fail("The click sound " + quoted(click.path) +
                            " cannot be decoded: " + memory.error());
            decoded = std::move(*memory);
        }
        SourcePlacement placement{mixFrameAt(click.time), 0, mixFrameAt(click.duration)};
        auto source = makeSource("the click sound", decoded->clone(), placement, {});
        if (!source) return source.asFailure();
        sources.push_back(std::move(*source));
    }

    const double end = container.maximumTime();
    const std::int64_t total =
        std::isfinite(end) && end > 0
            ? static_cast<std::int64_t>(std::ceil(std::min(end * kSampleRate, 9.0e15) - 1e-6))
            : 0;
    return std::unique_ptr<ExportLanguageMix>(std::make_unique<LanguageMix>(std::move(sources), total));
}

std::vector<Result<std::size_t>> renderSideBySide(const std::vector<ExportLanguageMix*>& mixes,
                                                  std::vector<ExportMixBuffers>& buffers,
                                                  std::size_t frameCount) {
    buffers.resize(mixes.size());
    std::vector<Result<std::size_t>> results(mixes.size(), std::size_t(0));
    auto renderOne = [&](std::size_t i) {
        buffers[i].left.resize(frameCount);
        buffers[i].right.resize(frameCount);
        results[i] = mixes[i]->render(buffers[i].left.data(), buffers[i].right.data(), frameCount);
    };
    if (mixes.size() > 1)
        dispatchApply(mixes.size(), renderOne);
    else if (!mixes.empty())
        renderOne(0);
    return results;
}

std::vector<std::shared_ptr<VistrelLanguage>>
languagesWithExportAudio(const CompositionObjectsContainer& container,
                         const std::vector<std::shared_ptr<VistrelLanguage>>& languages) {
    std::vector<std::shared_ptr<VistrelLanguage>> kept;
    for (const auto& language : languages) {
        if (!language) continue;
        if (!exportAudioTracks(container, *language).empty() || !exportSpeech(container, *language).empty())
            kept.push_back(language);
    }
    return kept;
}

} // namespace vtl
