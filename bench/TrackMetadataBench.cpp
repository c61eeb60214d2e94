// Recorded pointer metadata: the lookup every rendered frame makes (against std::upper_bound
// over the same times, the baseline), and preparing the "mouse" file of a 60-minute recording at
// 30 frames a second (against parsing that property list alone, the baseline).

#include "tracks/metadata/RecordedMetadataLookups.h"
#include "tracks/metadata/RecordedMouseData.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <random>

namespace {

using namespace vtl;

constexpr std::size_t kPositions = 100000;

const RecordedMetadataList<MouseLocationEntry>& positions() {
    static const RecordedMetadataList<MouseLocationEntry> list = [] {
        std::vector<MouseLocationEntry> entries;
        for (std::size_t i = 0; i < kPositions; ++i)
            entries.push_back({i / 30.0, Point{double(i % 1920), double(i % 1080)}});
        return RecordedMetadataList<MouseLocationEntry>(std::move(entries));
    }();
    return list;
}

const std::vector<double>& queries() {
    static const std::vector<double> times = [] {
        std::mt19937 generator(7);
        std::uniform_real_distribution<double> within(0.0, kPositions / 30.0);
        std::vector<double> result(4096);
        for (double& t : result)
            t = within(generator);
        return result;
    }();
    return times;
}

void LookupIndexOfTime(benchmark::State& state) {
    const auto& list = positions();
    const auto& times = queries();
    std::size_t q = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(indexOfTime(times[q], list));
        q = (q + 1) & (times.size() - 1);
    }
}
BENCHMARK(LookupIndexOfTime);

void LookupUpperBoundBaseline(benchmark::State& state) {
    const auto times = positions().times();
    const auto& wanted = queries();
    std::size_t q = 0;
    for (auto _ : state) {
        auto it = std::upper_bound(times.begin(), times.end(), wanted[q]);
        benchmark::DoNotOptimize(it == times.begin() ? 0 : (it - times.begin()) - 1);
        q = (q + 1) & (wanted.size() - 1);
    }
}
BENCHMARK(LookupUpperBoundBaseline);

// A "mouse" file as the recorder writes it for a 60-minute recording at 30 frames a second: a
// position at every tick, a click every two seconds, a focus change every ten and a cursor image
// change every thirty.
const PlistBytes& hourLongMouseFile() {
    static const PlistBytes bytes = [] {
        PlistArray positions, events, focus, cursors;
        const int ticks = 60 * 60 * 30;
        for (int i = 0; i < ticks; ++i) {
            const double t = i / 30.0;
            positions.push_back(PropertyList(PlistDictionary{
                {"point", PropertyList(stringFromPoint(Point{double(i % 1920), double((i / 3) % 1080)}))},
                {"time", PropertyList(t)}}));
            if (i % 60 == 0) {
                for (int type : {1, 2})
                    events.push_back(
                        PropertyList(PlistDictionary{{"point", PropertyList("{400, 300}")},
                                                     {"time", PropertyList(t + (type - 1) * 0.1)},
                                                     {"eventType", PropertyList(type)},
                                                     {"button", PropertyList(1)}}));
            }
            if (i % 300 == 0)
                focus.push_back(PropertyList(PlistDictionary{
                    {"focusRect", PropertyList("{{100, 80}, {1200, 800}}")}, {"time", PropertyList(t)}}));
            if (i % 900 == 0)
                cursors.push_back(
                    PropertyList(PlistDictionary{{"time", PropertyList(t)},
                                                 {"mouseTIFFData", PropertyList(PlistBytes(2048, 7))},
                                                 {"hotspot", PropertyList("{4, 4}")},
                                                 {"cursorVisible", PropertyList(true)}}));
        }
        PropertyList file(PlistDictionary{{"mouseVisible", PropertyList(true)},
                                          {"eventsVisible", PropertyList(true)},
                                          {"mousePositions", PropertyList(std::move(positions))},
                                          {"mouseEvents", PropertyList(std::move(events))},
                                          {"mouseCursorImages", PropertyList(std::move(cursors))},
                                          {"focusWindowRects", PropertyList(std::move(focus))}});
        return file.toBytes(PropertyListFormat::Xml).value();
    }();
    return bytes;
}

void MouseFileParseBaseline(benchmark::State& state) {
    const PlistBytes& bytes = hourLongMouseFile();
    for (auto _ : state) {
        auto file = PropertyList::fromBytes(bytes);
        benchmark::DoNotOptimize(file.ok());
    }
}
BENCHMARK(MouseFileParseBaseline)->Unit(benchmark::kMillisecond);

void MouseFilePrepare(benchmark::State& state) {
    const PlistBytes& bytes = hourLongMouseFile();
    for (auto _ : state) {
        auto file = PropertyList::fromBytes(bytes);
        PreparedMouseMetadata prepared = prepareMouseMetadata(&file.value(), 2.0);
        benchmark::DoNotOptimize(prepared.locations->size());
    }
}
BENCHMARK(MouseFilePrepare)->Unit(benchmark::kMillisecond);

} // namespace
