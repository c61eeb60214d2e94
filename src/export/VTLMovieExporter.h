#pragma once
// Writes one composition into a movie file: H.264 (.m4v, .mp4, .mov) or ProRes (.mov) pictures
// rendered frame by frame through an offscreen generator of its own, one AAC track per content
// language that has sound, one subtitle track per language that has subtitles, and the chapter
// marks. The movie is written under a temporary name beside the target and put in place only when
// everything succeeded: a failure, a cancel or too little free space leaves no new file and any
// earlier file at the target untouched, and is reported with its reason.
//
// Set up on the caller's thread, then startExport(); the export runs on threads of its own (one
// renders frame n + 1 while the other encodes frame n and owns every write) and calls the progress
// delegate, the post-export action (on success only) and the completion handler from its writing
// thread; none of them may destroy the exporter. The composition is frozen for the export (see
// ExportFreeze): it refuses changes from startExport until just before the completion handler.

#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/imaging/ColorSpace.h"
#include "platform/media/MovieWriterOptions.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vtl {

class ExportFreeze;
class VistrelLanguage;

class VTLMovieExportProgressDelegate {
public:
    virtual ~VTLMovieExportProgressDelegate() = default;
    // Seconds of movie time written so far.
    virtual void exportProgressedTo(double seconds) = 0;
};

// Numbered as stored in the export settings.
enum class ExportVideoCodec : std::int32_t { H264 = 0, ProRes422 = 1, ProRes4444 = 2 };

// Pixel size of an export: ⌊size × factor⌋ in single precision; H.264 scaled down to fit
// 3840 × 2160; then even sides where the codec subsamples chroma (both for H.264, the width for
// ProRes 422). Zero sides where the size is unusable.
struct ExportPixelSize {
    int width = 0;
    int height = 0;
    float scalingFactor = 1; // the factor after the H.264 cap
};
ExportPixelSize exportPixelSize(Size exportSize, float scalingFactor, ExportVideoCodec codec);

// Frames an export of a composition `visibleLength` seconds long writes at `frameRate`: the first
// n ≥ 1 with n ÷ rate ≥ length − 1 ÷ rate.
std::int64_t exportFrameCount(double visibleLength, std::int64_t frameRate);

class VTLMovieExporter {
public:
    static constexpr std::uint64_t kMinimumFreeBytes = 1000000000;

    explicit VTLMovieExporter(std::shared_ptr<CompositionObjectsContainer> container);
    // Cancels a running export and waits for its threads.
    ~VTLMovieExporter();
    VTLMovieExporter(const VTLMovieExporter&) = delete;
    VTLMovieExporter& operator=(const VTLMovieExporter&) = delete;

    const std::shared_ptr<CompositionObjectsContainer>& objectsContainer() const { return container_; }

    // Settings; read when the export starts.
    void setExportPath(std::string path) { exportPath_ = std::move(path); }
    const std::string& exportPath() const { return exportPath_; }
    void setFrameRate(std::int64_t rate) { frameRate_ = rate; }
    std::int64_t frameRate() const { return frameRate_; }
    void setVideoCodec(ExportVideoCodec codec) { videoCodec_ = codec; }
    ExportVideoCodec videoCodec() const { return videoCodec_; }
    // Stored and answered only: the sound is always AAC.
    void setAudioCodec(std::int32_t codec) { audioCodec_ = codec; }
    std::int32_t audioCodec() const { return audioCodec_; }
    // Average H.264 bit rate in bits a second; 0: constant quality.
    void setBitrate(std::uint64_t bitrate) { bitrate_ = bitrate; }
    std::uint64_t bitrate() const { return bitrate_; }
    // In canvas points; zero: the canvas size.
    void setExportSize(Size size) { exportSize_ = size; }
    Size exportSize() const { return exportSize_; }
    void setExportScalingFactor(float factor) { exportScalingFactor_ = factor; }
    float exportScalingFactor() const { return exportScalingFactor_; }
    void setColorSpaceRef(ColorSpaceRef colorSpace) { colorSpace_ = std::move(colorSpace); }
    const ColorSpaceRef& colorSpaceRef() const { return colorSpace_; }
    // Unset: the composition's languages to export.
    void setLanguagesToExport(std::vector<std::shared_ptr<VistrelLanguage>> languages) {
        languagesToExport_ = std::move(languages);
    }
    // Not owned; must outlive the export.
    void setProgressDelegate(VTLMovieExportProgressDelegate* delegate) { progressDelegate_ = delegate; }
    // Run once the movie is in place; never after a failure or a cancel.
    void setPostExportAction(std::function<void()> action) { postExportAction_ = std::move(action); }
    // Called once when the export has ended, with its outcome.
    void setCompletionHandler(std::function<void(const Status&)> handler) {
        completionHandler_ = std::move(handler);
    }
    // Free bytes of the file system holding a folder; nullopt when it cannot be told. Replaceable
    // for tests; the default asks the file system.
    void setFreeSpaceQuery(std::function<std::optional<std::uint64_t>(const std::string& folder)> query) {
        freeSpaceQuery_ = std::move(query);
    }
    // Options of the movie writer (its file-write hook); the container follows the extension.
    void setWriterOptions(MovieWriterOptions options) { writerOptions_ = std::move(options); }

    // Starts the export and returns; fails at once when one is already started or the settings
    // cannot make a movie (the target's extension, the codec, the size, the frame rate).
    Status startExport();
    // Stops a running export: no file, the completion handler gets a failure, no post-export action.
    void cancelExport();
    bool isCancelled() const { return cancelled_.load(); }
    // Waits for the export to end and answers its outcome (a failure when it never started).
    Status waitUntilFinished();
    bool isFinished() const { return finished_.load(); }
    // Frames written so far.
    std::int64_t framesWritten() const { return framesWritten_.load(); }

private:
    struct Job;
    Status run(const Job& job);
    Status writeMovie(const Job& job);
    void finishExport(Status status);

    const std::shared_ptr<CompositionObjectsContainer> container_;
    std::unique_ptr<ExportFreeze> freeze_;
    std::string exportPath_;
    std::int64_t frameRate_ = 60;
    ExportVideoCodec videoCodec_ = ExportVideoCodec::H264;
    std::int32_t audioCodec_ = 0;
    std::uint64_t bitrate_ = 0;
    Size exportSize_{0, 0};
    float exportScalingFactor_ = 1.0f;
    ColorSpaceRef colorSpace_;
    std::optional<std::vector<std::shared_ptr<VistrelLanguage>>> languagesToExport_;
    VTLMovieExportProgressDelegate* progressDelegate_ = nullptr;
    std::function<void()> postExportAction_;
    std::function<void(const Status&)> completionHandler_;
    std::function<std::optional<std::uint64_t>(const std::string&)> freeSpaceQuery_;
    MovieWriterOptions writerOptions_;

    std::atomic<bool> started_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::int64_t> framesWritten_{0};
    std::thread thread_;
    std::mutex outcomeMutex_;
    Status outcome_;
};

} // namespace vtl
