// The export's audio mix: 3 languages, each of 5 audio tracks (60 s stereo AAC at 44.1 kHz, each
// through two effects of the built-in set), mixed from their files as the exporter mixes them: the
// languages side by side and, within one, the sources heard in a chunk side by side, on the
// dispatch pool. Wall-clock figures:
//   - "x_real_time": seconds of movie per second of mixing, all three languages (target: at
//     least 100).
//   - "x_real_time_per_language": the same for the first language's mix alone.
//   - the same with light effects (filters and equalizers only).
//   - the ffmpeg tool's decode of the same file, 15 times (`ffmpeg -i FILE -f f32le -y /dev/null`,
//     its own -benchmark time): what decoding alone costs on one thread.
// Run pinned (taskset -c 0,1) for the 2-core figure.

#include "BenchMediaFile.h"
#include "audio/AudioEffectDictionary.h"
#include "export/ExportLanguageMix.h"
#include "model/CompositionMediaEntry.h"
#include "model/CompositionObjectsContainer.h"
#include "model/VistrelLanguage.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "tracks/CompositionAudioTrackObject.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace vtl {
namespace {

constexpr double kMovieSeconds = 60;
constexpr int kLanguages = 3;
constexpr int kSourcesPerLanguage = 5;
// The exporter's chunk.
constexpr std::size_t kChunkFrames = 16384;

const std::string& benchSoundPath() {
    static const std::string path = [] {
        std::string p = bench::makeBenchSound("export-mix-bench.m4a", kMovieSeconds);
        bench::removeAtExit(p);
        return p;
    }();
    return path;
}

struct BenchComposition {
    std::shared_ptr<CompositionObjectsContainer> container;
    std::vector<std::shared_ptr<CompositionAudioTrackObject>> tracks;
};

// Each language's tracks side by side from 0 s; each track through two effects: all 14 of the
// built-in set in turn, or only its first five (the filters and equalizers).
enum class EffectSet { AllBuiltIn, FiltersAndEqualizers };

BenchComposition makeComposition(EffectSet set) {
    CompositionAudioTrackObject::registerClasses();
    AudioHardware::setShared(std::make_shared<NullAudioHardware>());
    BenchComposition c;
    c.container = makeModelObject<CompositionObjectsContainer>();
    c.container->setIsOffscreen(true);
    const auto effects = audioeffect::builtInEffects().first(
        set == EffectSet::FiltersAndEqualizers ? 5 : audioeffect::builtInEffects().size());
    std::size_t next = 0;
    for (int language = 0; language < kLanguages; ++language) {
        for (int i = 0; i < kSourcesPerLanguage; ++i) {
            auto track = makeModelObject<CompositionAudioTrackObject>(c.container.get());
            track->setMediaEntry(std::make_shared<CompositionMediaEntry>(benchSoundPath(), nullptr));
            track->setTrackIndex(0);
            track->setVistrelLanguage(VistrelLanguage::languageWithLanguageScript(language));
            std::vector<EffectEntry> chain;
            for (int e = 0; e < 2; ++e, ++next) {
                const auto& effect = effects[next % effects.size()];
                chain.push_back(*audioeffect::makeEffectDictionary(audioeffect::effectType, effect.subtype,
                                                                   effect.name, effect.name)
                                     .dictionaryValue());
            }
            track->setEffects(chain);
            c.container->addObject(track);
            track->cancelTrackExtraction();
            c.tracks.push_back(track);
        }
    }
    return c;
}

BenchComposition& composition() {
    static BenchComposition made = makeComposition(EffectSet::AllBuiltIn);
    return made;
}

// Mixes the whole movie for the first `languages` languages of `made` as the exporter does: the
// languages side by side, a chunk at a time. Answers the frames mixed.
std::int64_t mixWholeMovie(BenchComposition& made, int languages) {
    std::vector<std::unique_ptr<ExportLanguageMix>> owned;
    std::vector<ExportLanguageMix*> mixes;
    for (int language = 0; language < languages; ++language) {
        auto mix = ExportLanguageMix::create(*made.container,
                                             *VistrelLanguage::languageWithLanguageScript(language));
        if (!mix) {
            std::fprintf(stderr, "%s\n", mix.error().c_str());
            std::exit(1);
        }
        mixes.push_back(mix->get());
        owned.push_back(std::move(*mix));
    }
    std::vector<ExportMixBuffers> buffers;
    std::int64_t frames = 0;
    while (!mixes.empty()) {
        const auto rendered = renderSideBySide(mixes, buffers, kChunkFrames);
        std::vector<ExportLanguageMix*> going;
        for (std::size_t i = 0; i < mixes.size(); ++i) {
            if (!rendered[i]) {
                std::fprintf(stderr, "%s\n", rendered[i].error().c_str());
                std::exit(1);
            }
            frames += static_cast<std::int64_t>(*rendered[i]);
            benchmark::DoNotOptimize(buffers[i].left.data());
            if (*rendered[i] == kChunkFrames) going.push_back(mixes[i]);
        }
        mixes = std::move(going);
    }
    return frames;
}

void BM_ExportMixThreeLanguages(benchmark::State& state) {
    composition();
    for (auto _ : state)
        benchmark::DoNotOptimize(mixWholeMovie(composition(), kLanguages));
    state.counters["x_real_time"] =
        benchmark::Counter(kMovieSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExportMixThreeLanguages)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_ExportMixOneLanguage(benchmark::State& state) {
    composition();
    for (auto _ : state)
        benchmark::DoNotOptimize(mixWholeMovie(composition(), 1));
    state.counters["x_real_time_per_language"] =
        benchmark::Counter(kMovieSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExportMixOneLanguage)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_ExportMixThreeLanguagesLightEffects(benchmark::State& state) {
    static BenchComposition light = makeComposition(EffectSet::FiltersAndEqualizers);
    for (auto _ : state)
        benchmark::DoNotOptimize(mixWholeMovie(light, kLanguages));
    state.counters["x_real_time"] =
        benchmark::Counter(kMovieSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExportMixThreeLanguagesLightEffects)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_ToolDecodeOfTheFifteenSources(benchmark::State& state) {
    const std::string arguments = "-i '" + benchSoundPath() + "' -f f32le -y /dev/null";
    for (auto _ : state) {
        double total = 0;
        for (int i = 0; i < kLanguages * kSourcesPerLanguage; ++i) {
            const double seconds = bench::ffmpegBenchmarkSeconds(arguments);
            if (seconds <= 0) {
                state.SkipWithError("ffmpeg failed");
                return;
            }
            total += seconds;
        }
        state.SetIterationTime(total);
    }
    state.counters["x_real_time"] =
        benchmark::Counter(kMovieSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ToolDecodeOfTheFifteenSources)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vtl
