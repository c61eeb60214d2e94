#include "tracks/reader/VistrelRecording.h"

#include "platform/foundation/Log.h"
#include "recorder/format/LittleEndian.h"
#include "tracks/reader/VistrelDecoderFrame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace vtl {

namespace {

// Larger pictures than any screen: refused before a frame buffer is sized by them.
constexpr std::uint64_t kMaxSidePixels = 16384;
constexpr std::uint64_t kMaxFramePixels = std::uint64_t(1) << 27;
// Side files are property lists and thumbnails; anything larger is not read whole.
constexpr std::uint64_t kMaxSideFileBytes = std::uint64_t(1) << 30;

const std::string kMetaName(kMetaFileName);
const std::string kDataName(kDataFileName);
const std::string kDirectoryName(kDirectoryFileName);

} // namespace

VistrelRecording::VistrelRecording(std::string path)
    : storage_(std::make_shared<DirectoryPackageStorage>(std::move(path))) {}

VistrelRecording::VistrelRecording(std::shared_ptr<PackageStorage> storage)
    : storage_(std::move(storage)) {}

VistrelRecording::~VistrelRecording() {
    std::vector<std::pair<int, RemovalObserver>> observers;
    {
        std::lock_guard lock(observerMutex_);
        observers.swap(removalObservers_);
    }
    for (auto& [token, observer] : observers)
        if (observer) observer(*this);
}

int VistrelRecording::addRemovalObserver(RemovalObserver observer) {
    std::lock_guard lock(observerMutex_);
    const int token = nextObserverToken_++;
    removalObservers_.emplace_back(token, std::move(observer));
    return token;
}

void VistrelRecording::removeRemovalObserver(int token) {
    std::lock_guard lock(observerMutex_);
    std::erase_if(removalObservers_, [token](const auto& entry) { return entry.first == token; });
}

std::string VistrelRecording::openError() const {
    std::lock_guard lock(openMutex_);
    return openError_;
}

bool VistrelRecording::open() {
    const std::int32_t state = recordingState_.load();
    if (state == Open) return true;
    if (state == Failed) return false;
    std::lock_guard lock(openMutex_);
    if (recordingState_.load() == Open) return true;
    if (recordingState_.load() == Failed) return false;
    openError_.clear();
    const bool opened = openLocked();
    if (!opened && !openError_.empty())
        logOnce("open:" + path() + ":" + openError_, "Cannot open recording " + path() + ": " + openError_);
    return opened;
}

bool VistrelRecording::openLocked() {
    auto directoryFile = storage_->openFile(kDirectoryName);
    if (!directoryFile) {
        recordingState_ = Failed;
        openError_ = "the package has no readable \"vtldirectory\"";
        return false;
    }
    auto metaFile = storage_->openFile(kMetaName);
    if (!metaFile) {
        recordingState_ = Failed;
        openError_ = "the package has no readable \"vtlmeta\"";
        return false;
    }
    std::array<std::uint8_t, kHeaderSizeBytes> headerBytes{};
    const std::size_t headerRead = metaFile->readAt(0, headerBytes.data(), headerBytes.size());
    auto header = parseHeader(std::span<const std::uint8_t>(headerBytes.data(), headerRead));
    if (!header) {
        openError_ = "the header in \"vtlmeta\" is incomplete";
        return false;
    }
    const RecordingHeader& h = header.value();
    if (h.displaySizeHorizontal == 0 || h.displaySizeVertical == 0) {
        openError_ = "the header gives no picture size";
        return false;
    }
    if (h.displaySizeHorizontal > kMaxSidePixels || h.displaySizeVertical > kMaxSidePixels ||
        h.displaySizeHorizontal * h.displaySizeVertical > kMaxFramePixels) {
        openError_ = "the header's picture size " + std::to_string(h.displaySizeHorizontal) + "x" +
                     std::to_string(h.displaySizeVertical) + " is impossible";
        return false;
    }

    // Only complete entries count, and only as many as the header allows (all of them while the
    // header still holds the provisional count of an unfinished recording).
    std::uint64_t count = usableFrameEntryCount(h, directoryFile->sizeBytes());

    const std::uint64_t metaSize = metaFile->sizeBytes();
    auto dataFile = storage_->openFile(kDataName);
    const std::uint64_t dataSize =
        dataFile ? dataFile->sizeBytes() : std::numeric_limits<std::uint64_t>::max();
    // Read in pieces: the file's size is only a claim (a sparse file costs nothing to make), and
    // memory grows only with entries that check out.
    constexpr std::uint64_t kEntriesPerRead = 4096;
    std::vector<std::uint8_t> directoryBytes;
    std::vector<DirectoryEntry> entries;
    std::vector<std::string> warnings;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t inPiece = i % kEntriesPerRead;
        if (inPiece == 0) {
            const std::uint64_t want = std::min(kEntriesPerRead, count - i) * kDirectoryEntrySizeBytes;
            directoryBytes.resize(static_cast<std::size_t>(want));
            const std::size_t got = directoryFile->readAt(i * kDirectoryEntrySizeBytes, directoryBytes.data(),
                                                          directoryBytes.size());
            if (got < want) count = i + got / kDirectoryEntrySizeBytes; // the file shrank
            if (i >= count) break;
        }
        auto parsed = parseDirectoryEntry(std::span<const std::uint8_t>(
            directoryBytes.data() + inPiece * kDirectoryEntrySizeBytes, kDirectoryEntrySizeBytes));
        if (!parsed) break;
        const DirectoryEntry& e = parsed.value();
        std::string problem;
        const std::uint64_t minimumRecord = kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes;
        if (e.metaOffsetBytes < kHeaderSizeBytes || e.metaOffsetBytes > metaSize ||
            metaSize - e.metaOffsetBytes < minimumRecord)
            problem = "its meta record lies outside \"vtlmeta\"";
        else if (!entries.empty() && e.metaOffsetBytes < entries.back().metaOffsetBytes + minimumRecord)
            problem = "its meta record does not follow the previous one";
        else if (e.dataOffsetBytes > dataSize)
            problem = "its data lies outside \"vtldata\"";
        else if (!entries.empty() && e.dataOffsetBytes < entries.back().dataOffsetBytes)
            problem = "its data lies before the previous frame's";
        else if (!entries.empty() && e.time < entries.back().time)
            problem = "its time lies before the previous frame's";
        if (!problem.empty()) {
            warnings.push_back("directory entry " + std::to_string(i) + " is damaged (" + problem +
                               "); the " + std::to_string(count - i) + " entries from it on are not used");
            break;
        }
        entries.push_back(e);
    }
    // A recorder that ended abnormally can leave entries whose records were never written.
    while (!entries.empty() && !entryRecordIsComplete(*metaFile, dataFile.get(), entries.back())) {
        warnings.push_back("the record of frame " + std::to_string(entries.size() - 1) +
                           " is incomplete; the recording ends before it");
        entries.pop_back();
    }
    // A recording cut after its first picture (its stop record lost to a full disk or a killed
    // recorder) still shows that picture: it ends one frame later, at an end entry that repeats it.
    if (entries.size() == 1 && entries.front().isKeyFrame) {
        const std::uint64_t rate = h.keyFrameRate >= 1 && h.keyFrameRate <= 1000 ? h.keyFrameRate : 30;
        const std::uint64_t scale = h.timeScale == 0 ? kTimeScale : h.timeScale;
        DirectoryEntry end = entries.front();
        end.frameIndex += 1;
        end.time += std::max<std::uint64_t>(1, scale / rate);
        entries.push_back(end);
        warnings.push_back("the recording holds one picture and no stop record; it lasts one frame");
    }
    if (entries.size() < 2) {
        openError_ = entries.empty() ? "the directory holds no usable frame"
                                     : "the directory holds one frame and no picture";
        return false;
    }
    movieHeader_ = h;
    directory_ = std::make_shared<const std::vector<DirectoryEntry>>(std::move(entries));
    openWarnings_ = std::move(warnings);
    recordingState_ = DirectoryRead;
    width_ = h.displaySizeHorizontal;
    height_ = h.displaySizeVertical;
    bytesPerRow_ = width_ * 4;
    timeScale_ = h.timeScale == 0 ? kTimeScale : h.timeScale;
    for (const std::string& warning : openWarnings_)
        logOnce("open:" + path() + ":" + warning, path() + ": " + warning);
    hasThumbMetaData_ =
        storage_->readWholeFile(std::string(kThumbMetaFileName), thumbMetaData_, kMaxSideFileBytes);
    hasThumbImageData_ =
        storage_->readWholeFile(std::string(kThumbDataFileName), thumbImageData_, kMaxSideFileBytes);
    recordingState_ = Open;
    return true;
}

bool VistrelRecording::entryRecordIsComplete(const PackageFile& metaFile, const PackageFile* dataFile,
                                             const DirectoryEntry& entry) const {
    std::array<std::uint8_t, kMetaRecordHeadSizeBytes + kBlockFrameContinuationSizeBytes> fixed{};
    const std::size_t got = metaFile.readAt(entry.metaOffsetBytes, fixed.data(), fixed.size());
    if (got < kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes) return false;
    const std::uint64_t kind = loadU64LE(fixed.data());
    if (kind != static_cast<std::uint64_t>(FrameKind::Key) &&
        kind != static_cast<std::uint64_t>(FrameKind::Block))
        return true; // an unknown kind is reported when the frame is decoded
    const std::uint64_t metaSize = metaFile.sizeBytes();
    const std::uint64_t metaAvailable =
        metaSize > entry.metaOffsetBytes ? metaSize - entry.metaOffsetBytes : 0;
    const std::uint64_t needed = VistrelDecoderFrame::metaRecordSizeBytes(
        std::span<const std::uint8_t>(fixed.data(), got), metaAvailable);
    if (needed == 0) return false;
    std::uint64_t jpegBytes = 0;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(needed));
    if (metaFile.readAt(entry.metaOffsetBytes, bytes.data(), bytes.size()) != bytes.size()) return false;
    FrameMetaRecord record;
    if (!parseFrameMetaRecord(bytes, record)) return false;
    for (const StripeRecord& s : record.stripes)
        jpegBytes += std::min<std::uint64_t>(s.jpegSizeBytes, UINT32_MAX);
    for (const ChangedRectRecord& c : record.changedRects)
        jpegBytes += std::min<std::uint64_t>(c.jpegSizeBytes, UINT32_MAX);
    if (!dataFile) return true;
    const std::uint64_t dataSize = dataFile->sizeBytes();
    return entry.dataOffsetBytes <= dataSize && jpegBytes <= dataSize - entry.dataOffsetBytes;
}

Result<std::unique_ptr<DecompressionInfo>> VistrelRecording::makeDecompressionInfo() {
    if (!open()) {
        const std::string why = openError();
        return fail("The recording cannot be opened" + (why.empty() ? std::string(".") : ": " + why + "."));
    }
    auto info = DecompressionInfo::open({storage_, directory_, static_cast<std::size_t>(width_),
                                         static_cast<std::size_t>(height_), movieHeader_.keyFrameRate});
    if (!info) {
        // A frame file gone since opening fails the recording for good; a lack of memory does not.
        const bool dataReadable = storage_->openFile(kDataName) != nullptr;
        if (!dataReadable || !storage_->openFile(kMetaName)) {
            recordingState_ = Failed;
            std::lock_guard lock(openMutex_);
            openError_ = dataReadable ? "the package has no readable \"vtlmeta\""
                                      : "the package has no readable \"vtldata\"";
            logOnce("open:" + path() + ":" + openError_,
                    "Cannot open recording " + path() + ": " + openError_);
        }
    }
    return info;
}

std::optional<PropertyList> VistrelRecording::metaDataWithPath(const std::string& fileName) const {
    if (fileName.empty() || fileName.find('/') != std::string::npos || fileName == "." || fileName == "..")
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    if (!storage_->readWholeFile(fileName, bytes, kMaxSideFileBytes)) return std::nullopt;
    auto parsed = PropertyList::fromBytes(std::span<const std::uint8_t>(bytes));
    if (!parsed) {
        logOnce("plist:" + path() + ":" + fileName,
                "Recording " + path() + ": \"" + fileName + "\" is not readable: " + parsed.error());
        return std::nullopt;
    }
    return std::move(parsed.value());
}

const DirectoryEntry* VistrelRecording::directoryEntryAtIndex(std::uint64_t index) const {
    if (index >= entries().size()) return nullptr;
    return &entries()[static_cast<std::size_t>(index)];
}

double VistrelRecording::duration() const {
    if (recordingState_.load() != Open || entries().size() < 2) return 0.0;
    return static_cast<double>(entries().back().time) / static_cast<double>(timeScale_);
}

double VistrelRecording::averageFrameRate() const {
    const double seconds = duration();
    return seconds > 0 ? static_cast<double>(entries().size()) / seconds : 0.0;
}

std::int64_t VistrelRecording::indexOfTime(double seconds) const {
    const std::int64_t count = static_cast<std::int64_t>(entries().size());
    if (count == 0) return -1;
    // Negative, NaN and too large times lie outside the recording: no frame.
    const double ticksDouble = seconds * static_cast<double>(timeScale_);
    if (!(ticksDouble >= 0.0) || ticksDouble >= 18446744073709551616.0) return count;
    const std::uint64_t ticks = static_cast<std::uint64_t>(ticksDouble);
    if (ticks > entries().back().time) return count;
    // The last entry whose time is at or before ticks, or 0 before the first.
    auto after = std::upper_bound(entries().begin(), entries().end(), ticks,
                                  [](std::uint64_t t, const DirectoryEntry& e) { return t < e.time; });
    if (after == entries().begin()) return 0;
    return static_cast<std::int64_t>(after - entries().begin()) - 1;
}

std::uint64_t VistrelRecording::timeOfFrame(std::uint64_t index) const {
    const DirectoryEntry* entry = directoryEntryAtIndex(index);
    return entry ? entry->time : 0;
}

std::uint64_t VistrelRecording::indexOfKeyframeAtOrBeforeIndex(std::uint64_t index) const {
    return keyFrameAtOrBefore(entries(), index);
}

Size VistrelRecording::thumbSize() const {
    return {static_cast<double>(movieHeader_.thumbWidth), static_cast<double>(movieHeader_.thumbHeight)};
}

std::int32_t VistrelRecording::indexOfTimeInThumbnails(double seconds) const {
    const std::uint64_t count64 = numberOfThumbnails();
    if (count64 == 0) return -1;
    const std::int32_t n = static_cast<std::int32_t>(std::min<std::uint64_t>(count64, INT32_MAX));
    if (n == 1) return 0;
    auto timeAt = [this](std::int32_t i) {
        return loadF64LE(thumbMetaData_.data() + static_cast<std::size_t>(i) * kThumbnailRecordSizeBytes);
    };
    std::int32_t low = 0;
    std::int32_t high = n - 1;
    std::int32_t middle = 0;
    while (low <= high) {
        middle = low + (high - low) / 2;
        const double t = timeAt(middle);
        if (t == seconds) return middle;
        if (t > seconds) {
            if (middle == 0) return 0;
            high = middle - 1;
        } else {
            low = middle + 1;
            if (middle < n - 1 && seconds < timeAt(middle + 1)) return middle;
        }
    }
    return middle;
}

std::span<const std::uint8_t> VistrelRecording::thumbnailDataAtTime(double seconds) const {
    const std::int32_t index = indexOfTimeInThumbnails(seconds);
    const std::uint64_t size = thumbnailSizeBytes(movieHeader_);
    if (index < 0 || size == 0 || !hasThumbImageData_) return {};
    const std::uint64_t count = thumbImageData_.size() / size;
    if (static_cast<std::uint64_t>(index) >= count) return {};
    return std::span<const std::uint8_t>(thumbImageData_.data() + static_cast<std::size_t>(index * size),
                                         static_cast<std::size_t>(size));
}

BitmapImage VistrelRecording::posterImageAtTime(double seconds) const {
    if (movieHeader_.thumbWidth == 0 || movieHeader_.thumbHeight == 0) return {};
    const auto bytes = thumbnailDataAtTime(seconds);
    if (bytes.empty()) return {};
    BitmapImage image(static_cast<std::size_t>(movieHeader_.thumbWidth),
                      static_cast<std::size_t>(movieHeader_.thumbHeight));
    if (image.isEmpty() || image.byteCount() != bytes.size()) return {};
    std::memcpy(image.mutableData(), bytes.data(), bytes.size());
    return image;
}

BitmapImage VistrelRecording::posterImage() const {
    return posterImageAtTime(duration() / 2.0);
}

std::vector<BitmapImage> VistrelRecording::posterImages() const {
    const BitmapImage middle = posterImage();
    std::vector<BitmapImage> images = {posterImageAtTime(0.1), middle, posterImageAtTime(duration() - 0.1)};
    for (BitmapImage& image : images) {
        if (!image.isEmpty()) continue;
        if (middle.isEmpty()) return {};
        image = middle;
    }
    return images;
}

} // namespace vtl
