#pragma once
// The recording package's frame-stream layout: file names, constants, record types and their
// byte-exact serialisers and defensive parsers. Shared by the recorder (writer) and the main
// application (reader); holds no writer state.

#include "platform/foundation/Result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vtl {

// File names inside (and, for the stealth info, beside) a package. Exact and case-sensitive.
inline constexpr std::string_view kPackageExtension = "vistrelRecord";
inline constexpr std::string_view kMetaFileName = "vtlmeta";
inline constexpr std::string_view kDataFileName = "vtldata";
inline constexpr std::string_view kDirectoryFileName = "vtldirectory";
inline constexpr std::string_view kThumbMetaFileName = "thumbmeta";
inline constexpr std::string_view kThumbDataFileName = "thumbdata";
inline constexpr std::string_view kMouseFileName = "mouse";
inline constexpr std::string_view kMouseVisualizationFileName = "mouseVisualization";
inline constexpr std::string_view kPauseTimesFileName = "pauseTimes";
inline constexpr std::string_view kSystemAudioFileName = "system.m4a";
inline constexpr std::string_view kAdditionalAudioAndVideoFileName = "additionalAudioAndVideo.mov";
inline constexpr std::string_view kIOSDeviceMovieFileName = "iOSDevice.mov";
inline constexpr std::string_view kIOSDeviceMetaFileName = "iOSDeviceMeta.plist";
inline constexpr std::string_view kStealthRecordingInfoFileName = "StealthRecordingInfo";

inline constexpr std::uint64_t kFormatVersion = 1;
inline constexpr std::uint64_t kTimeScale = 600;
// numberFrameEntries while a recording is being written; the real count replaces it at the end.
inline constexpr std::uint64_t kProvisionalFrameEntryCount = 1000;

inline constexpr std::size_t kHeaderSizeBytes = 128;
inline constexpr std::size_t kMetaRecordHeadSizeBytes = 32;
inline constexpr std::size_t kKeyFrameContinuationSizeBytes = 16;
inline constexpr std::size_t kStripeRecordSizeBytes = 24;
inline constexpr std::size_t kBlockFrameContinuationSizeBytes = 24;
inline constexpr std::size_t kMovedRectRecordSizeBytes = 48;
inline constexpr std::size_t kChangedRectRecordSizeBytes = 48;
inline constexpr std::size_t kDirectoryEntrySizeBytes = 40;
inline constexpr std::size_t kThumbnailRecordSizeBytes = 16;
inline constexpr std::size_t kBytesPerPixel = 4;

// Key frames are cut into horizontal stripes of this many rows (the last one may be shorter).
inline constexpr std::uint64_t kStripeHeightRows = 256;
// Changed rectangles of at least this many pixels are stored split into horizontal bands.
inline constexpr std::uint64_t kBandSplitThresholdPixels = 147456;
// Thumbnails are about this many pixels on their shorter side.
inline constexpr std::uint64_t kThumbnailTargetPixels = 80;

// The 128-byte header at the start of "vtlmeta".
struct RecordingHeader {
    std::uint64_t version = kFormatVersion;
    std::uint64_t numberFrameEntries = kProvisionalFrameEntryCount;
    std::uint64_t displaySizeHorizontal = 0;
    std::uint64_t displaySizeVertical = 0;
    std::uint64_t timeScale = kTimeScale;
    std::uint64_t keyFrameRate = 0;
    std::uint64_t numberThumbs = 0;
    std::uint64_t thumbHeight = 0;
    std::uint64_t thumbWidth = 0;
    float recordingScreenScaling = 1.0f;
    std::uint64_t otherRecordingFlags = 0;
    std::array<std::uint64_t, 5> reserved{};

    bool operator==(const RecordingHeader&) const = default;
};

// A header as the writer first stores it: provisional entry count, thumbnail size from the area.
RecordingHeader makeRecordingHeader(std::uint64_t widthPixels, std::uint64_t heightPixels,
                                    std::uint64_t keyFrameRate, float screenScaling);

std::array<std::uint8_t, kHeaderSizeBytes> serializeHeader(const RecordingHeader& header);
// Fails only on input shorter than the header; field values are the caller's to judge.
Result<RecordingHeader> parseHeader(std::span<const std::uint8_t> bytes);

// max(1, min(trunc(width / 80), trunc(height / 80))).
std::uint64_t thumbnailFactor(std::uint64_t widthPixels, std::uint64_t heightPixels);

// ceil(height / 256); 0 for an empty surface.
std::uint64_t stripeCount(std::uint64_t heightPixels);
// Rows of stripe `index` (256, or the 1-256 remaining rows for the last); 0 past the last stripe.
std::uint64_t stripeHeightRows(std::uint64_t heightPixels, std::uint64_t index);

// Seconds to 1/600 s ticks, truncated toward zero; negative and NaN times give 0, huge ones saturate.
std::uint64_t secondsToTicks(double seconds);
double ticksToSeconds(std::uint64_t ticks, std::uint64_t timeScale = kTimeScale);

// How many directory entries a reader may use: the header's count, except that the provisional
// count of an unfinished package gives way to the complete entries actually in "vtldirectory".
std::uint64_t usableFrameEntryCount(const RecordingHeader& header, std::uint64_t directoryFileSizeBytes);

enum class FrameKind : std::uint64_t {
    Key = 0,
    Block = 1, // moved/changed-block frame, or the stop frame
};

struct StripeRecord {
    std::uint64_t stripeIndex = 0;
    std::uint64_t heightRows = 0;
    std::uint64_t jpegSizeBytes = 0;
    bool operator==(const StripeRecord&) const = default;
};

// A block at its new position; its pixels come from the previous picture at (x + deltaX, y + deltaY).
struct MovedRectRecord {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::int64_t deltaX = 0;
    std::int64_t deltaY = 0;
    bool operator==(const MovedRectRecord&) const = default;
};

// A rectangle stored as one JPEG stream of exactly width x height pixels.
struct ChangedRectRecord {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t jpegSizeBytes = 0;
    std::uint64_t jpegQuality = 0;
    bool operator==(const ChangedRectRecord&) const = default;
};

// One frame's record in "vtlmeta" after the header. Key frames use jpegQuality and stripes;
// block and stop frames use movedRects, changedRects and framesSinceKeyFrame.
struct FrameMetaRecord {
    FrameKind kind = FrameKind::Key;
    std::uint64_t frameIndex = 0;
    std::uint64_t time = 0; // ticks of 1/600 s
    std::uint64_t dataSizeBytes = 0;

    std::uint64_t jpegQuality = 0;
    std::vector<StripeRecord> stripes;

    std::vector<MovedRectRecord> movedRects;
    std::vector<ChangedRectRecord> changedRects;
    std::uint64_t framesSinceKeyFrame = 0;

    bool isKeyFrame() const { return kind == FrameKind::Key; }
    bool isStopFrame() const {
        return kind == FrameKind::Block && movedRects.empty() && changedRects.empty();
    }
    bool operator==(const FrameMetaRecord&) const = default;
};

// Serialised size of the record, including the 32-byte head.
std::size_t frameMetaRecordSize(const FrameMetaRecord& record);
// Appends the record's bytes to `out` (reuses its capacity: no allocation once it is large enough).
void appendFrameMetaRecord(const FrameMetaRecord& record, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> serializeFrameMetaRecord(const FrameMetaRecord& record);

// Parses one record at the start of `bytes` into `out` and returns its size in bytes. Fails on
// short input, an unknown kind or counts that do not fit the input; `out` is unchanged on failure.
Result<std::size_t> parseFrameMetaRecord(std::span<const std::uint8_t> bytes, FrameMetaRecord& out);

// The stop frame closing a recording: a block frame without rectangles or data.
FrameMetaRecord makeStopFrameRecord(std::uint64_t frameIndex, std::uint64_t time,
                                    std::uint64_t framesSinceKeyFrame);

struct DirectoryEntry {
    std::uint64_t frameIndex = 0;
    std::uint64_t time = 0; // ticks of 1/600 s
    std::uint64_t metaOffsetBytes = 0;
    std::uint64_t dataOffsetBytes = 0;
    bool isKeyFrame = false; // bit 0 of the flags word
    bool operator==(const DirectoryEntry&) const = default;
};

std::array<std::uint8_t, kDirectoryEntrySizeBytes> serializeDirectoryEntry(const DirectoryEntry& entry);

// The nearest key frame at or before `index` (clamped to the last entry); entry 0 counts as one.
std::uint64_t keyFrameAtOrBefore(std::span<const DirectoryEntry> entries, std::uint64_t index);
Result<DirectoryEntry> parseDirectoryEntry(std::span<const std::uint8_t> bytes);

struct ThumbnailRecord {
    double timeSeconds = 0.0;
    std::uint64_t thumbnailIndex = 0;
    bool operator==(const ThumbnailRecord&) const = default;
};

std::array<std::uint8_t, kThumbnailRecordSizeBytes> serializeThumbnailRecord(const ThumbnailRecord& record);
Result<ThumbnailRecord> parseThumbnailRecord(std::span<const std::uint8_t> bytes);

// Bytes of one thumbnail in "thumbdata" (width x height x 4); 0 when the product overflows.
std::uint64_t thumbnailSizeBytes(const RecordingHeader& header);

} // namespace vtl
