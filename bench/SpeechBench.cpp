// Synthesizing a text of about 30 s into a sound file: the speech synthesizer (queued on its
// speech thread, completion on the main queue, the main loop driven meanwhile) against the
// espeak-ng tool writing a WAV of the same text with the same voice. Counters: the speech's length
// and the longest the main thread waited for one pass of its loop while the synthesis ran.

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/speech/SpeechSynthesizer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace vtl;

const std::string& thirtySecondText() {
    static const std::string text = [] {
        std::string out;
        for (int i = 0; i < 4; ++i)
            out +=
                "The recording shows how a new chapter is added to the timeline, how its title is typed in, "
                "and how the movie is exported. ";
        return out + "Thank you for watching.";
    }();
    return text;
}

std::string benchPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("vistrel-speech-bench-" + std::to_string(::getpid()) + name))
        .string();
}

struct FinishFlag : SpeechSynthesizerDelegate {
    void speechSynthesizerDidFinishSpeaking(SpeechSynthesizer&, bool ok) override {
        done = true;
        success = ok;
    }
    bool done = false;
    bool success = false;
};

void BM_SpeechSynthesizer(benchmark::State& state) {
    const std::string path = benchPath(".aiff");
    // The engine starts once per process; a document's first speech pays for it, not every one.
    (void)SpeechSynthesizer::speakToFileAndWait("Ready.", "", path);
    double longestPassSeconds = 0;
    double seconds = 0;
    for (auto _ : state) {
        SpeechSynthesizer synthesizer;
        FinishFlag flag;
        synthesizer.setDelegate(&flag);
        if (!synthesizer.startSpeakingToFile(thirtySecondText(), path).ok()) {
            state.SkipWithError("the synthesis did not start");
            break;
        }
        while (!flag.done) {
            const double before = monotonicSeconds();
            runMainLoopOnce(0.002);
            longestPassSeconds = std::max(longestPassSeconds, monotonicSeconds() - before);
        }
        if (!flag.success) {
            state.SkipWithError("the synthesis failed");
            break;
        }
        seconds = synthesizer.lastOutcome().durationSeconds();
    }
    state.counters["speech_seconds"] = seconds;
    // A pass that had nothing to do waits up to 2 ms for work: that wait is included.
    state.counters["longest_main_pass_ms"] = longestPassSeconds * 1000;
    std::filesystem::remove(path);
}
BENCHMARK(BM_SpeechSynthesizer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_EspeakNgTool(benchmark::State& state) {
    const std::string path = benchPath(".wav");
    const std::string command = "espeak-ng -v '" + SpeechSynthesizer::defaultVoice() + "' -w '" + path +
                                "' '" + thirtySecondText() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the espeak-ng tool failed");
            break;
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_EspeakNgTool)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
