// vistrel-package-dump PACKAGE                      prints the header, directory and frame records
// vistrel-package-dump PACKAGE --frame N --png FILE writes frame N as an 8-bit RGB PNG
// vistrel-package-dump PACKAGE --time S --png FILE  writes the frame shown at S seconds
// vistrel-package-dump PACKAGE --track               prints what a recording track prepares from
//                                                    the package's pointer data
// Exits 1 with one line on standard error when the package cannot be read that far.
#include "PngWriter.h"
#include "platform/foundation/Log.h"
#include "recorder/format/RecordingFormat.h"
#include "tracks/metadata/RecordedMouseData.h"
#include "tracks/reader/PackageStorage.h"
#include "tracks/reader/VistrelDecoderFrame.h"
#include "tracks/reader/VistrelRecording.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace vtl;

namespace {

constexpr const char* usageLine =
    "usage: vistrel-package-dump PACKAGE [--frame N | --time SECONDS] [--png FILE] [--track]";

int usage() {
    std::fprintf(stderr, "%s\n", usageLine);
    return 2;
}

// An option the tool does not know, named, then the usage.
int unknownOption(const std::string& option) {
    std::fprintf(stderr, "vistrel-package-dump: unknown option %s (%s)\n", option.c_str(), usageLine);
    return 2;
}

int failWith(const std::string& message) {
    std::fprintf(stderr, "vistrel-package-dump: %s\n", message.c_str());
    return 1;
}

bool parseUnsigned(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return text[0] != '-' && end && *end == 0 && end != text && errno == 0;
}

void printHeader(const RecordingHeader& h) {
    std::printf(
        "header: version %llu, numberFrameEntries %llu, size %llux%llu, timeScale %llu, keyFrameRate %llu, "
        "numberThumbs %llu, thumbnail %llux%llu, scaling %g, flags %llu\n",
        (unsigned long long)h.version, (unsigned long long)h.numberFrameEntries,
        (unsigned long long)h.displaySizeHorizontal, (unsigned long long)h.displaySizeVertical,
        (unsigned long long)h.timeScale, (unsigned long long)h.keyFrameRate,
        (unsigned long long)h.numberThumbs, (unsigned long long)h.thumbWidth,
        (unsigned long long)h.thumbHeight, double(h.recordingScreenScaling),
        (unsigned long long)h.otherRecordingFlags);
}

void printRecord(std::uint64_t index, const DirectoryEntry& entry, const PackageFile& meta) {
    std::printf("frame %llu: %s, time %llu (%.3f s), meta at %llu, data at %llu", (unsigned long long)index,
                entry.isKeyFrame ? "key" : "delta", (unsigned long long)entry.time, entry.time / 600.0,
                (unsigned long long)entry.metaOffsetBytes, (unsigned long long)entry.dataOffsetBytes);
    FrameMetaRecord record;
    const std::uint64_t metaSize = meta.sizeBytes();
    if (entry.metaOffsetBytes > metaSize) {
        std::printf(", record outside vtlmeta\n");
        return;
    }
    // Only the record itself is read: the file's size is a claim (a sparse file claims anything).
    std::vector<std::uint8_t> bytes(kMetaRecordHeadSizeBytes + kBlockFrameContinuationSizeBytes);
    bytes.resize(meta.readAt(entry.metaOffsetBytes, bytes.data(), bytes.size()));
    const std::uint64_t recordBytes =
        VistrelDecoderFrame::metaRecordSizeBytes(bytes, metaSize - entry.metaOffsetBytes);
    if (recordBytes > bytes.size()) {
        const std::size_t fixed = bytes.size();
        bytes.resize(static_cast<std::size_t>(recordBytes));
        bytes.resize(fixed +
                     meta.readAt(entry.metaOffsetBytes + fixed, bytes.data() + fixed, bytes.size() - fixed));
    }
    auto parsed = parseFrameMetaRecord(bytes, record);
    if (!parsed) {
        std::printf(", unreadable record: %s\n", parsed.error().c_str());
        return;
    }
    if (record.isKeyFrame()) {
        std::printf(", key record: %zu stripes, quality %llu, %llu bytes\n", record.stripes.size(),
                    (unsigned long long)record.jpegQuality, (unsigned long long)record.dataSizeBytes);
        for (const StripeRecord& s : record.stripes)
            std::printf("  stripe %llu: %llu rows, %llu bytes\n", (unsigned long long)s.stripeIndex,
                        (unsigned long long)s.heightRows, (unsigned long long)s.jpegSizeBytes);
        return;
    }
    if (record.isStopFrame()) {
        std::printf(", stop record, %llu frames since the key frame\n",
                    (unsigned long long)record.framesSinceKeyFrame);
        return;
    }
    std::printf(", block record: %zu moved, %zu changed, %llu bytes, %llu frames since the key frame\n",
                record.movedRects.size(), record.changedRects.size(),
                (unsigned long long)record.dataSizeBytes, (unsigned long long)record.framesSinceKeyFrame);
    for (const MovedRectRecord& m : record.movedRects)
        std::printf("  moved %llu,%llu %llux%llu from offset %lld,%lld\n", (unsigned long long)m.x,
                    (unsigned long long)m.y, (unsigned long long)m.width, (unsigned long long)m.height,
                    (long long)m.deltaX, (long long)m.deltaY);
    for (const ChangedRectRecord& c : record.changedRects)
        std::printf("  changed %llu,%llu %llux%llu, %llu bytes, quality %llu\n", (unsigned long long)c.x,
                    (unsigned long long)c.y, (unsigned long long)c.width, (unsigned long long)c.height,
                    (unsigned long long)c.jpegSizeBytes, (unsigned long long)c.jpegQuality);
}

std::string text(Point p) {
    return stringFromPoint(p);
}

// What a fresh recording track makes of the package: the whole recording as its trim window, and
// the prepared pointer data it draws from, through the same functions the track calls.
int printTrack(const VistrelRecording& recording) {
    const PreparedMouseMetadata lists = prepareRecordingMouseMetadata(&recording);
    const std::vector<MouseClickEntry> visualized =
        clicksToVisualize(*lists.clicks, ClickVisualizationSwitch{});
    const double duration = recording.duration();
    std::printf("track: duration %.3f s, size %gx%g, content scale %g, movie %.3f … %.3f s\n", duration,
                double(recording.width()), double(recording.height()),
                double(recording.recordingContentsScale()), 0.0, duration);
    std::printf("pointer positions: %zu\n", lists.locations->size());
    std::printf("clicks: %zu\n", lists.clicks->size());
    for (std::size_t i = 0; i < lists.clicks->size(); ++i) {
        const MouseClickEntry& c = (*lists.clicks)[i];
        std::printf("  click %zu: time %.3f s, button %lld at %s, count %u, ID %u\n", i, c.time,
                    (long long)c.button, text(c.point).c_str(), c.clickCount, c.clickID);
    }
    std::printf("wheel events: %zu\n", lists.wheelEvents->size());
    for (std::size_t i = 0; i < lists.wheelEvents->size(); ++i) {
        const MouseWheelEntry& w = (*lists.wheelEvents)[i];
        std::printf("  wheel %zu: time %.3f s at %s, x %g, y %g\n", i, w.time, text(w.point).c_str(),
                    w.wheelX, w.wheelY);
    }
    std::printf("focus rectangles (pixels): %zu\n", lists.focusRects->size());
    for (std::size_t i = 0; i < lists.focusRects->size(); ++i) {
        const FocusRectEntry& f = (*lists.focusRects)[i];
        std::printf("  focus %zu: time %.3f s, %s\n", i, f.time, stringFromRect(f.focusRect).c_str());
    }
    std::printf("cursors: %zu\n", lists.cursorImages->size());
    for (std::size_t i = 0; i < lists.cursorImages->size(); ++i) {
        const CursorImageEntry& c = (*lists.cursorImages)[i];
        std::printf("  cursor %zu: time %.3f s, %zu bytes of image, hot spot %s, %s\n", i, c.time,
                    c.tiffData ? c.tiffData->size() : std::size_t{0}, text(c.hotspot).c_str(),
                    c.cursorVisible ? "visible" : "hidden");
    }
    std::printf("clicks to visualize: %zu\n", visualized.size());
    for (std::size_t i = 0; i < visualized.size(); ++i) {
        const MouseClickEntry& c = visualized[i];
        std::printf("  visualized %zu: time %.3f s, count %u, ID %u\n", i, c.time, c.clickCount, c.clickID);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help") {
            std::printf("%s\n", usageLine);
            return 0;
        }
    if (argc < 2) return usage();
    const std::string path = argv[1];
    if (path.rfind("--", 0) == 0) return unknownOption(path);
    std::optional<std::uint64_t> frame;
    std::optional<double> seconds;
    std::string pngPath;
    bool trackOnly = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        std::uint64_t number = 0;
        if (arg == "--frame" && hasValue && parseUnsigned(argv[i + 1], number)) {
            frame = number;
            ++i;
        } else if (arg == "--time" && hasValue) {
            char* end = nullptr;
            const double value = std::strtod(argv[i + 1], &end);
            if (!end || *end != 0 || !std::isfinite(value)) return usage();
            seconds = value;
            ++i;
        } else if (arg == "--png" && hasValue) {
            pngPath = argv[++i];
        } else if (arg == "--track") {
            trackOnly = true;
        } else if (arg.rfind("--", 0) == 0 && arg != "--frame" && arg != "--time" && arg != "--png") {
            return unknownOption(arg);
        } else {
            return usage();
        }
    }
    if ((frame || seconds) != !pngPath.empty() || (frame && seconds)) return usage();
    if (trackOnly && !pngPath.empty()) return usage();

    // Every problem reaches the user once, in this tool's own words.
    setLogSink([](std::string_view) {});
    auto recording = std::make_shared<VistrelRecording>(path);
    const bool opened = recording->open();
    if (!opened && recording->recordingState() == VistrelRecording::Failed)
        return failWith("cannot read " + path + ": " + recording->openError());

    if (trackOnly) {
        if (!opened) return failWith("cannot read " + path + ": " + recording->openError());
        return printTrack(*recording);
    }

    if (pngPath.empty()) {
        DirectoryPackageStorage storage(path);
        std::unique_ptr<PackageFile> meta = storage.openFile("vtlmeta");
        if (!meta) return failWith("cannot read " + path + ": no readable \"vtlmeta\"");
        std::vector<std::uint8_t> headerBytes(kHeaderSizeBytes);
        headerBytes.resize(meta->readAt(0, headerBytes.data(), headerBytes.size()));
        auto header = parseHeader(headerBytes);
        if (!header) return failWith("cannot read " + path + ": " + header.error());
        std::printf("package: %s\n", path.c_str());
        printHeader(header.value());
        if (!opened) return failWith("cannot read " + path + ": " + recording->openError());
        for (const std::string& warning : recording->openWarnings())
            std::printf("warning: %s\n", warning.c_str());
        std::printf("directory: %llu usable entries, duration %.3f s, %llu thumbnails\n",
                    (unsigned long long)recording->numberOfFrames(), recording->duration(),
                    (unsigned long long)recording->numberOfThumbnails());
        for (std::uint64_t i = 0; i < recording->numberOfFrames(); ++i)
            printRecord(i, *recording->directoryEntryAtIndex(i), *meta);
        return 0;
    }

    if (!opened) return failWith("cannot read " + path + ": " + recording->openError());
    std::uint64_t index = frame.value_or(0);
    if (seconds) {
        const std::int64_t found = recording->indexOfTime(*seconds);
        if (found < 0 || std::uint64_t(found) >= recording->numberOfFrames())
            return failWith("no frame at " + std::to_string(*seconds) + " s (the recording lasts " +
                            std::to_string(recording->duration()) + " s)");
        index = std::uint64_t(found);
    }
    if (index >= recording->numberOfFrames())
        return failWith("no frame " + std::to_string(index) + " (the recording has " +
                        std::to_string(recording->numberOfFrames()) + ")");
    auto decoder = recording->makeDecompressionInfo();
    if (!decoder) {
        const std::string why = recording->openError().empty() ? decoder.error() : recording->openError();
        return failWith("cannot decode " + path + ": " + why);
    }
    DecompressionInfo& info = **decoder;
    const bool whole = info.decompressFrame(index);
    const std::vector<std::uint8_t> picture = info.frameBytes();
    std::string error;
    const bool written = tools::writeRGBPng(pngPath, picture.data(), recording->width(), recording->height(),
                                            recording->bytesPerRow(), &error);
    const std::string decodeError = info.lastError();
    info.release();
    if (!written) return failWith(error);
    if (!whole)
        std::fprintf(stderr, "vistrel-package-dump: warning: frame %llu is damaged: %s\n",
                     (unsigned long long)index, decodeError.c_str());
    std::printf("frame %llu written to %s\n", (unsigned long long)index, pngPath.c_str());
    return 0;
}
