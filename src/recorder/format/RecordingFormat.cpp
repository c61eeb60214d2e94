#include "recorder/format/RecordingFormat.h"

#include "recorder/format/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl {

namespace {

std::string shortInput(std::string_view what, std::size_t needed, std::size_t available) {
    return std::string(what) + " needs " + std::to_string(needed) + " bytes but only " +
           std::to_string(available) + " are there.";
}

} // namespace

RecordingHeader makeRecordingHeader(std::uint64_t widthPixels, std::uint64_t heightPixels,
                                    std::uint64_t keyFrameRate, float screenScaling) {
    RecordingHeader header;
    header.displaySizeHorizontal = widthPixels;
    header.displaySizeVertical = heightPixels;
    header.keyFrameRate = keyFrameRate;
    header.recordingScreenScaling = screenScaling;
    const std::uint64_t factor = thumbnailFactor(widthPixels, heightPixels);
    header.thumbWidth = widthPixels / factor;
    header.thumbHeight = heightPixels / factor;
    return header;
}

std::array<std::uint8_t, kHeaderSizeBytes> serializeHeader(const RecordingHeader& header) {
    std::array<std::uint8_t, kHeaderSizeBytes> bytes{};
    std::uint8_t* p = bytes.data();
    storeU64LE(p + 0, header.version);
    storeU64LE(p + 8, header.numberFrameEntries);
    storeU64LE(p + 16, header.displaySizeHorizontal);
    storeU64LE(p + 24, header.displaySizeVertical);
    storeU64LE(p + 32, header.timeScale);
    storeU64LE(p + 40, header.keyFrameRate);
    storeU64LE(p + 48, header.numberThumbs);
    storeU64LE(p + 56, header.thumbHeight);
    storeU64LE(p + 64, header.thumbWidth);
    storeF32LE(p + 72, header.recordingScreenScaling);
    // 76..79 stay zero (padding).
    storeU64LE(p + 80, header.otherRecordingFlags);
    for (std::size_t i = 0; i < header.reserved.size(); ++i)
        storeU64LE(p + 88 + 8 * i, header.reserved[i]);
    return bytes;
}

Result<RecordingHeader> parseHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSizeBytes)
        return Result<RecordingHeader>::failure(
            shortInput("The recording header", kHeaderSizeBytes, bytes.size()));
    const std::uint8_t* p = bytes.data();
    RecordingHeader header;
    header.version = loadU64LE(p + 0);
    header.numberFrameEntries = loadU64LE(p + 8);
    header.displaySizeHorizontal = loadU64LE(p + 16);
    header.displaySizeVertical = loadU64LE(p + 24);
    header.timeScale = loadU64LE(p + 32);
    header.keyFrameRate = loadU64LE(p + 40);
    header.numberThumbs = loadU64LE(p + 48);
    header.thumbHeight = loadU64LE(p + 56);
    header.thumbWidth = loadU64LE(p + 64);
    header.recordingScreenScaling = loadF32LE(p + 72);
    header.otherRecordingFlags = loadU64LE(p + 80);
    for (std::size_t i = 0; i < header.reserved.size(); ++i)
        header.reserved[i] = loadU64LE(p + 88 + 8 * i);
    return Result<RecordingHeader>::success(header);
}

std::uint64_t thumbnailFactor(std::uint64_t widthPixels, std::uint64_t heightPixels) {
    const std::uint64_t factor =
        std::min(widthPixels / kThumbnailTargetPixels, heightPixels / kThumbnailTargetPixels);
    return std::max<std::uint64_t>(1, factor);
}

std::uint64_t stripeCount(std::uint64_t heightPixels) {
    return heightPixels / kStripeHeightRows + (heightPixels % kStripeHeightRows != 0 ? 1 : 0);
}

std::uint64_t stripeHeightRows(std::uint64_t heightPixels, std::uint64_t index) {
    if (index >= stripeCount(heightPixels)) return 0;
    return std::min(kStripeHeightRows, heightPixels - index * kStripeHeightRows);
}

std::uint64_t secondsToTicks(double seconds) {
    const double ticks = seconds * static_cast<double>(kTimeScale);
    if (!(ticks > 0.0)) return 0; // negative, zero and NaN
    if (ticks >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(ticks);
}

double ticksToSeconds(std::uint64_t ticks, std::uint64_t timeScale) {
    if (timeScale == 0) return 0.0;
    return static_cast<double>(ticks) / static_cast<double>(timeScale);
}

std::uint64_t usableFrameEntryCount(const RecordingHeader& header, std::uint64_t directoryFileSizeBytes) {
    const std::uint64_t complete = directoryFileSizeBytes / kDirectoryEntrySizeBytes;
    if (header.numberFrameEntries == kProvisionalFrameEntryCount) return complete;
    return std::min(header.numberFrameEntries, complete);
}

std::size_t frameMetaRecordSize(const FrameMetaRecord& record) {
    if (record.kind == FrameKind::Key)
        return kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes +
               record.stripes.size() * kStripeRecordSizeBytes;
    return kMetaRecordHeadSizeBytes + kBlockFrameContinuationSizeBytes +
           record.movedRects.size() * kMovedRectRecordSizeBytes +
           record.changedRects.size() * kChangedRectRecordSizeBytes;
}

void appendFrameMetaRecord(const FrameMetaRecord& record, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    out.resize(start + frameMetaRecordSize(record));
    std::uint8_t* p = out.data() + start;
    auto put = [&p](std::uint64_t value) {
        storeU64LE(p, value);
        p += 8;
    };
    put(static_cast<std::uint64_t>(record.kind));
    put(record.frameIndex);
    put(record.time);
    put(record.dataSizeBytes);
    if (record.kind == FrameKind::Key) {
        put(record.stripes.size());
        put(record.jpegQuality);
        for (const StripeRecord& stripe : record.stripes) {
            put(stripe.stripeIndex);
            put(stripe.heightRows);
            put(stripe.jpegSizeBytes);
        }
        return;
    }
    put(record.movedRects.size());
    put(record.changedRects.size());
    put(record.framesSinceKeyFrame);
    for (const MovedRectRecord& moved : record.movedRects) {
        put(moved.x);
        put(moved.y);
        put(moved.width);
        put(moved.height);
        put(static_cast<std::uint64_t>(moved.deltaX));
        put(static_cast<std::uint64_t>(moved.deltaY));
    }
    for (const ChangedRectRecord& changed : record.changedRects) {
        put(changed.x);
        put(changed.y);
        put(changed.width);
        put(changed.height);
        put(changed.jpegSizeBytes);
        put(changed.jpegQuality);
    }
}

std::vector<std::uint8_t> serializeFrameMetaRecord(const FrameMetaRecord& record) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(frameMetaRecordSize(record));
    appendFrameMetaRecord(record, bytes);
    return bytes;
}

Result<std::size_t> parseFrameMetaRecord(std::span<const std::uint8_t> bytes, FrameMetaRecord& out) {
    using SizeResult = Result<std::size_t>;
    const std::size_t fixedSize = kMetaRecordHeadSizeBytes + kBlockFrameContinuationSizeBytes;
    static_assert(kKeyFrameContinuationSizeBytes <= kBlockFrameContinuationSizeBytes);
    if (bytes.size() < kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes)
        return SizeResult::failure(shortInput(
            "A frame record", kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes, bytes.size()));
    const std::uint8_t* p = bytes.data();
    const std::uint64_t kindValue = loadU64LE(p);
    if (kindValue != static_cast<std::uint64_t>(FrameKind::Key) &&
        kindValue != static_cast<std::uint64_t>(FrameKind::Block))
        return SizeResult::failure("A frame record has the unknown kind " + std::to_string(kindValue) + ".");

    // Check every count against the bytes that are there before touching `out`.
    std::size_t total = 0;
    std::uint64_t firstCount = 0;
    std::uint64_t secondCount = 0;
    if (kindValue == static_cast<std::uint64_t>(FrameKind::Key)) {
        firstCount = loadU64LE(p + kMetaRecordHeadSizeBytes);
        const std::size_t rest = bytes.size() - kMetaRecordHeadSizeBytes - kKeyFrameContinuationSizeBytes;
        if (firstCount > rest / kStripeRecordSizeBytes)
            return SizeResult::failure("A key frame record lists " + std::to_string(firstCount) +
                                       " stripes, more than its bytes hold.");
        total = kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes +
                static_cast<std::size_t>(firstCount) * kStripeRecordSizeBytes;
    } else {
        if (bytes.size() < fixedSize)
            return SizeResult::failure(shortInput("A block frame record", fixedSize, bytes.size()));
        firstCount = loadU64LE(p + kMetaRecordHeadSizeBytes);
        secondCount = loadU64LE(p + kMetaRecordHeadSizeBytes + 8);
        std::size_t rest = bytes.size() - fixedSize;
        if (firstCount > rest / kMovedRectRecordSizeBytes)
            return SizeResult::failure("A block frame record lists " + std::to_string(firstCount) +
                                       " moved rectangles, more than its bytes hold.");
        rest -= static_cast<std::size_t>(firstCount) * kMovedRectRecordSizeBytes;
        if (secondCount > rest / kChangedRectRecordSizeBytes)
            return SizeResult::failure("A block frame record lists " + std::to_string(secondCount) +
                                       " changed rectangles, more than its bytes hold.");
        total = fixedSize + static_cast<std::size_t>(firstCount) * kMovedRectRecordSizeBytes +
                static_cast<std::size_t>(secondCount) * kChangedRectRecordSizeBytes;
    }

    out.kind = static_cast<FrameKind>(kindValue);
    out.frameIndex = loadU64LE(p + 8);
    out.time = loadU64LE(p + 16);
    out.dataSizeBytes = loadU64LE(p + 24);
    out.jpegQuality = 0;
    out.framesSinceKeyFrame = 0;
    out.stripes.clear();
    out.movedRects.clear();
    out.changedRects.clear();
    p += kMetaRecordHeadSizeBytes;
    auto get = [&p]() {
        const std::uint64_t value = loadU64LE(p);
        p += 8;
        return value;
    };
    if (out.kind == FrameKind::Key) {
        get(); // stripe count, checked above
        out.jpegQuality = get();
        out.stripes.resize(static_cast<std::size_t>(firstCount));
        for (StripeRecord& stripe : out.stripes) {
            stripe.stripeIndex = get();
            stripe.heightRows = get();
            stripe.jpegSizeBytes = get();
        }
    } else {
        get();
        get();
        out.framesSinceKeyFrame = get();
        out.movedRects.resize(static_cast<std::size_t>(firstCount));
        for (MovedRectRecord& moved : out.movedRects) {
            moved.x = get();
            moved.y = get();
            moved.width = get();
            moved.height = get();
            moved.deltaX = static_cast<std::int64_t>(get());
            moved.deltaY = static_cast<std::int64_t>(get());
        }
        out.changedRects.resize(static_cast<std::size_t>(secondCount));
        for (ChangedRectRecord& changed : out.changedRects) {
            changed.x = get();
            changed.y = get();
            changed.width = get();
            changed.height = get();
            changed.jpegSizeBytes = get();
            changed.jpegQuality = get();
        }
    }
    return SizeResult::success(total);
}

FrameMetaRecord makeStopFrameRecord(std::uint64_t frameIndex, std::uint64_t time,
                                    std::uint64_t framesSinceKeyFrame) {
    FrameMetaRecord record;
    record.kind = FrameKind::Block;
    record.frameIndex = frameIndex;
    record.time = time;
    record.dataSizeBytes = 0;
    record.framesSinceKeyFrame = framesSinceKeyFrame;
    return record;
}

std::uint64_t keyFrameAtOrBefore(std::span<const DirectoryEntry> entries, std::uint64_t index) {
    if (entries.empty()) return 0;
    index = std::min<std::uint64_t>(index, entries.size() - 1);
    while (index > 0 && !entries[static_cast<std::size_t>(index)].isKeyFrame)
        --index;
    return index;
}

std::array<std::uint8_t, kDirectoryEntrySizeBytes> serializeDirectoryEntry(const DirectoryEntry& entry) {
    std::array<std::uint8_t, kDirectoryEntrySizeBytes> bytes{};
    storeU64LE(bytes.data() + 0, entry.frameIndex);
    storeU64LE(bytes.data() + 8, entry.time);
    storeU64LE(bytes.data() + 16, entry.metaOffsetBytes);
    storeU64LE(bytes.data() + 24, entry.dataOffsetBytes);
    storeU64LE(bytes.data() + 32, entry.isKeyFrame ? 1 : 0);
    return bytes;
}

Result<DirectoryEntry> parseDirectoryEntry(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDirectoryEntrySizeBytes)
        return Result<DirectoryEntry>::failure(
            shortInput("A directory entry", kDirectoryEntrySizeBytes, bytes.size()));
    DirectoryEntry entry;
    entry.frameIndex = loadU64LE(bytes.data() + 0);
    entry.time = loadU64LE(bytes.data() + 8);
    entry.metaOffsetBytes = loadU64LE(bytes.data() + 16);
    entry.dataOffsetBytes = loadU64LE(bytes.data() + 24);
    entry.isKeyFrame = (loadU64LE(bytes.data() + 32) & 1) != 0;
    return Result<DirectoryEntry>::success(entry);
}

std::array<std::uint8_t, kThumbnailRecordSizeBytes> serializeThumbnailRecord(const ThumbnailRecord& record) {
    std::array<std::uint8_t, kThumbnailRecordSizeBytes> bytes{};
    storeF64LE(bytes.data(), record.timeSeconds);
    storeU64LE(bytes.data() + 8, record.thumbnailIndex);
    return bytes;
}

Result<ThumbnailRecord> parseThumbnailRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kThumbnailRecordSizeBytes)
        return Result<ThumbnailRecord>::failure(
            shortInput("A thumbnail record", kThumbnailRecordSizeBytes, bytes.size()));
    ThumbnailRecord record;
    record.timeSeconds = loadF64LE(bytes.data());
    record.thumbnailIndex = loadU64LE(bytes.data() + 8);
    return Result<ThumbnailRecord>::success(record);
}

std::uint64_t thumbnailSizeBytes(const RecordingHeader& header) {
    const std::uint64_t w = header.thumbWidth;
    const std::uint64_t h = header.thumbHeight;
    if (w == 0 || h == 0) return 0;
    const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() / kBytesPerPixel;
    if (w > limit / h) return 0;
    return w * h * kBytesPerPixel;
}

} // namespace vtl
