// Synthesizing a text of about 30 s into a sound file: the speech synthesizer (queued on its
// speech thread, completion on the main queue, the main loop driven meanwhile) against the
// espeak-ng tool writing a WAV of the same text with the same voice (its time includes starting the
// process and loading the voice). Counters: the speech's length, and the longest pass of the main
// loop while the synthesis ran, beside the longest pass of an idle main loop.

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/speech/SpeechSynthesizer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
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

// One pass of the main loop that runs what is pending without waiting for more, timed; the loop
// then idles 1 ms, as an event loop would between events.
double timedMainLoopPass() {
    const double before = monotonicSeconds();
    runMainLoopOnce(0);
    const double passSeconds = monotonicSeconds() - before;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return passSeconds;
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
        while (!flag.done)
            longestPassSeconds = std::max(longestPassSeconds, timedMainLoopPass());
        if (!flag.success) {
            state.SkipWithError("the synthesis failed");
            break;
        }
        seconds = synthesizer.lastOutcome().durationSeconds();
    }
    state.counters["speech_seconds"] = seconds;
    state.counters["longest_main_pass_ms"] = longestPassSeconds * 1000;
    std::filesystem::remove(path);
}
BENCHMARK(BM_SpeechSynthesizer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The same main loop with nothing to do for as long: the longest pass the machine's scheduling
// alone gives, the floor for the counter above.
void BM_IdleMainLoop(benchmark::State& state) {
    double longestPassSeconds = 0;
    for (auto _ : state) {
        const double until = monotonicSeconds() + 0.03;
        while (monotonicSeconds() < until)
            longestPassSeconds = std::max(longestPassSeconds, timedMainLoopPass());
    }
    state.counters["longest_main_pass_ms"] = longestPassSeconds * 1000;
}
BENCHMARK(BM_IdleMainLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

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
