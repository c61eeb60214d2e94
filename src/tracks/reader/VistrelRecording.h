#pragma once
// Reader of one recording package in the main application: header, frame directory and
// thumbnails, time-to-frame mapping, and a decoder (DecompressionInfo) for each user that rebuilds
// frames. Shared (std::shared_ptr) by the recording's movie, track, view and every renderer's
// decode-ahead cache. After open() its fields are only read, so any thread may use it; decoding
// state lives in each user's decoder.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "recorder/format/RecordingFormat.h"
#include "tracks/reader/DecompressionInfo.h"
#include "tracks/reader/PackageStorage.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl {

// Posted (to the removal observers) while a reader is being released.
inline constexpr const char* kVistrelRecordingIsBeingRemovedNotification =
    "VistrelRecordingIsBeingRemovedNotification";

class VistrelRecording {
public:
    enum State : std::int32_t { NotOpened = 0, DirectoryRead = 1, Open = 2, Failed = -1 };

    // Keeps the path; nothing is opened yet.
    explicit VistrelRecording(std::string path);
    // A package from any storage (a package in memory in tests and fuzzing).
    explicit VistrelRecording(std::shared_ptr<PackageStorage> storage);
    // Tells the removal observers first, then frees the directory and thumbnails.
    ~VistrelRecording();
    VistrelRecording(const VistrelRecording&) = delete;
    VistrelRecording& operator=(const VistrelRecording&) = delete;

    static std::vector<std::string> readableTypes() { return {"vistrelRecord"}; }

    const std::string& path() const { return storage_->path(); }

    // Opens the package once; later calls answer from the state. A package whose header or
    // directory is not there yet (zero size, no picture entry) stays unopened and may be
    // tried again; a missing "vtldirectory" or "vtlmeta" fails it for good.
    bool open();
    State recordingState() const { return static_cast<State>(recordingState_.load()); }
    // Why the last open() answered no (empty when it did not).
    std::string openError() const;
    // Problems found in the directory while opening (entries dropped past a damaged one).
    const std::vector<std::string>& openWarnings() const { return openWarnings_; }

    // A decoder of its own for a decoding user, with its own files and frame buffers (fill and
    // open in one). Fails when the recording cannot be opened, a frame file is missing (which
    // fails the recording for good) or memory is short.
    Result<std::unique_ptr<DecompressionInfo>> makeDecompressionInfo();

    // A property-list side file of the package ("mouse", "pauseTimes", …); nothing when it does not
    // exist or is not a property list (logged once).
    std::optional<PropertyList> metaDataWithPath(const std::string& fileName) const;

    // Header values (valid once open).
    const RecordingHeader& movieHeader() const { return movieHeader_; }
    std::uint64_t numberOfFrames() const { return entries().size(); }
    std::uint64_t timeScale() const { return timeScale_; }
    std::uint64_t frameRate() const { return movieHeader_.keyFrameRate; }
    float recordingContentsScale() const { return movieHeader_.recordingScreenScaling; }
    std::uint64_t width() const { return width_; }
    std::uint64_t height() const { return height_; }
    std::uint64_t bytesPerRow() const { return bytesPerRow_; }
    // Null for an index past the last entry.
    const DirectoryEntry* directoryEntryAtIndex(std::uint64_t index) const;
    int numberOfAudioTracks() const { return 0; }
    int numberOfVideoTracks() const { return 1; }

    // Time.
    double duration() const;
    double averageFrameRate() const;
    // The frame shown at that time: 0 before the first entry, numberOfFrames() after the last
    // timestamp (no frame at all); negative and NaN times also answer numberOfFrames().
    std::int64_t indexOfTime(double seconds) const;
    // That entry's timestamp in ticks of timeScale (0 past the last entry).
    std::uint64_t timeOfFrame(std::uint64_t index) const;
    std::uint64_t indexOfKeyframeAtOrBeforeIndex(std::uint64_t index) const;

    // Thumbnails.
    Size thumbSize() const;
    std::int32_t indexOfTimeInThumbnails(double seconds) const;
    std::uint64_t numberOfThumbnails() const { return thumbMetaData_.size() / kThumbnailRecordSizeBytes; }
    // thumbWidth × thumbHeight × 4 bytes (B, G, R, A) inside the loaded "thumbdata"; empty when
    // there is none or the data does not hold it.
    std::span<const std::uint8_t> thumbnailDataAtTime(double seconds) const;
    BitmapImage posterImageAtTime(double seconds) const;
    BitmapImage posterImage() const;
    // At 0.1 s, half the duration and the duration minus 0.1 s; each missing one replaced by
    // posterImage(); empty when that is missing too.
    std::vector<BitmapImage> posterImages() const;

    // Called with the reader while it is being released (the renderers drop their caches).
    using RemovalObserver = std::function<void(const VistrelRecording&)>;
    int addRemovalObserver(RemovalObserver observer);
    void removeRemovalObserver(int token);

private:
    bool openLocked();
    bool entryRecordIsComplete(const PackageFile& metaFile, const PackageFile* dataFile,
                               const DirectoryEntry& entry) const;
    const std::vector<DirectoryEntry>& entries() const { return directory_ ? *directory_ : noEntries_; }

    std::shared_ptr<PackageStorage> storage_;
    mutable std::mutex openMutex_;
    std::atomic<std::int32_t> recordingState_{NotOpened};
    std::string openError_;
    std::vector<std::string> openWarnings_;
    RecordingHeader movieHeader_;
    // Shared with the decoders; written once, while opening.
    std::shared_ptr<const std::vector<DirectoryEntry>> directory_;
    const std::vector<DirectoryEntry> noEntries_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
    std::uint64_t bytesPerRow_ = 0;
    std::uint64_t timeScale_ = kTimeScale;
    std::vector<std::uint8_t> thumbMetaData_;
    std::vector<std::uint8_t> thumbImageData_;
    bool hasThumbMetaData_ = false;
    bool hasThumbImageData_ = false;

    std::mutex observerMutex_;
    std::vector<std::pair<int, RemovalObserver>> removalObservers_;
    int nextObserverToken_ = 1;
};

} // namespace vtl
