#include "export/VTLMovieExporter.h"

#include "editing/ExportFreeze.h"
#include "export/ExportLanguageCodes.h"
#include "export/ExportLanguageMix.h"
#include "export/ExportTextTracks.h"
#include "model/VistrelLanguage.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/DiskSpace.h"
#include "platform/foundation/Log.h"
#include "platform/media/MovieWriter.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "tracks/CompositionQTTrack.h"
#include "tracks/CompositionVistrelMovie.h"
#include "tracks/CompositionVistrelTrack.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <limits>
#include <new>

namespace vtl {

namespace fs = std::filesystem;

namespace {

constexpr float kH264MaximumWidth = 3840;
constexpr float kH264MaximumHeight = 2160;
constexpr int kMaximumSide = 16384;
constexpr std::int64_t kMaximumFrameRate = 240;
constexpr double kMaximumMovieSeconds = 24 * 3600;
// Frames between two looks at the free space.
constexpr std::int64_t kFreeSpaceInterval = 60;
// Frames of sound mixed at a time: the languages' mixes run side by side over this much, and the
// sound stays at most this far (0.37 s) ahead of the pictures.
constexpr std::size_t kAudioChunk = 16384;

// Frames handed from the rendering thread to the writing one: frame n + 1 is rendered while n is
// encoded, and no more than two wait. Either side may close it; then nothing more is passed.
class ExportFrameChannel {
public:
    bool push(Result<RenderedFrame> frame) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || frames_.size() < 2; });
        if (closed_) return false;
        frames_.push_back(std::move(frame));
        changed_.notify_all();
        return true;
    }
    std::optional<Result<RenderedFrame>> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || !frames_.empty(); });
        if (frames_.empty()) return std::nullopt;
        Result<RenderedFrame> frame = std::move(frames_.front());
        frames_.pop_front();
        changed_.notify_all();
        return frame;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Result<RenderedFrame>> frames_;
    bool closed_ = false;
};

// Closes the channel and waits for the rendering thread however the writing side leaves.
struct ExportRenderThread {
    ExportFrameChannel& channel;
    std::thread thread;
    ~ExportRenderThread() {
        channel.close();
        if (thread.joinable()) thread.join();
    }
};

// Drops the unfinished movie (its temporary file) however the export leaves.
struct ExportWriterGuard {
    MovieWriter* writer = nullptr;
    bool finished = false;
    ~ExportWriterGuard() {
        if (writer && !finished) writer->cancel();
    }
};

std::string lowercaseExtension(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return extension;
}

std::string languageName(const VistrelLanguage& language) {
    return language.unlocalizedName().value_or("language " + std::to_string(language.languageScript()));
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// A frame rendered on a thread of the export's own: running out of memory is its failure.
template <typename Render> Result<RenderedFrame> renderGuarded(Render render) {
    try {
        return render();
    } catch (const std::bad_alloc&) {
        return fail("there is not enough memory to render it");
    }
}

std::optional<std::uint64_t> fileSystemFreeBytes(const std::string& folder) {
    std::error_code error;
    const fs::space_info space = fs::space(folder, error);
    if (error) return std::nullopt;
    return std::uint64_t(space.available);
}

} // namespace

ExportPixelSize exportPixelSize(Size exportSize, float scalingFactor, ExportVideoCodec codec) {
    ExportPixelSize result;
    result.scalingFactor = scalingFactor;
    float width = float(exportSize.width) * scalingFactor;
    float height = float(exportSize.height) * scalingFactor;
    if (!std::isfinite(width) || !std::isfinite(height) || !(width >= 1) || !(height >= 1)) return result;
    if (codec == ExportVideoCodec::H264 && (width > kH264MaximumWidth || height > kH264MaximumHeight)) {
        logMessage("The size of " + std::to_string(int(width)) + " x " + std::to_string(int(height)) +
                   " exceeds the largest H.264 allows; the movie is exported at the largest size that fits.");
        result.scalingFactor =
            scalingFactor / std::max(width / kH264MaximumWidth, height / kH264MaximumHeight);
        // The factor is single precision, the sides are taken from it in double precision.
        width = float(exportSize.width * double(result.scalingFactor));
        height = float(exportSize.height * double(result.scalingFactor));
    }
    if (width > float(kMaximumSide) || height > float(kMaximumSide)) return result;
    int pixelWidth = int(std::floor(exportSize.width * double(result.scalingFactor)));
    int pixelHeight = int(std::floor(exportSize.height * double(result.scalingFactor)));
    // Chroma is halved across (4:2:0 both ways, 4:2:2 across only): odd sides cannot be encoded.
    if (codec == ExportVideoCodec::H264) {
        pixelWidth &= ~1;
        pixelHeight &= ~1;
    } else if (codec == ExportVideoCodec::ProRes422) {
        pixelWidth &= ~1;
    }
    if (pixelWidth < 1 || pixelHeight < 1) return result;
    result.width = pixelWidth;
    result.height = pixelHeight;
    return result;
}

std::int64_t exportFrameCount(double visibleLength, std::int64_t frameRate) {
    if (frameRate < 1 || !std::isfinite(visibleLength)) return 1;
    const double rate = double(frameRate);
    const double end = visibleLength - 1.0 / rate;
    // A hair of tolerance: n ÷ rate and the length come from different roundings.
    const double frames = std::ceil((end - 1e-9) * rate);
    return std::max<std::int64_t>(1, frames >= 1 ? std::int64_t(frames) : 1);
}

struct VTLMovieExporter::Job {
    std::string path;
    MovieWriterOptions writerOptions;
    ExportLanguageContainer languageContainer = ExportLanguageContainer::Mpeg4;
    ExportVideoCodec codec = ExportVideoCodec::H264;
    Size size;
    ExportPixelSize pixels;
    std::int64_t frameRate = 60;
    std::uint64_t bitrate = 0;
    ColorSpaceRef colorSpace;
    std::vector<std::shared_ptr<VistrelLanguage>> languages;
};

VTLMovieExporter::VTLMovieExporter(std::shared_ptr<CompositionObjectsContainer> container)
    : container_(std::move(container))
    , freeSpaceQuery_(fileSystemFreeBytes) {}

VTLMovieExporter::~VTLMovieExporter() {
    cancelExport();
    std::lock_guard lock(outcomeMutex_);
    if (thread_.joinable()) thread_.join();
}

Status VTLMovieExporter::startExport() {
    if (started_.exchange(true)) return fail("The export has already been started.");
    auto refuse = [&](std::string reason) -> Status {
        std::lock_guard lock(outcomeMutex_);
        outcome_ = fail(reason);
        finished_ = true;
        return fail(std::move(reason));
    };
    if (!container_) return refuse("There is no composition to export.");
    Job job;
    job.path = exportPath_;
    if (job.path.empty()) return refuse("No file was chosen for the movie.");
    const std::string extension = lowercaseExtension(job.path);
    job.writerOptions = writerOptions_;
    if (extension == ".mov") {
        job.writerOptions.container = MovieContainer::QuickTime;
        job.languageContainer = ExportLanguageContainer::QuickTime;
    } else if (extension == ".m4v") {
        job.writerOptions.container = MovieContainer::Mpeg4Video;
    } else if (extension == ".mp4") {
        job.writerOptions.container = MovieContainer::Mpeg4;
    } else {
        return refuse("A movie can be exported as .mov, .m4v or .mp4, not as \"" +
                      fs::path(job.path).filename().string() + "\".");
    }
    job.codec = videoCodec_;
    if (job.codec != ExportVideoCodec::H264 && job.codec != ExportVideoCodec::ProRes422 &&
        job.codec != ExportVideoCodec::ProRes4444)
        return refuse("The video codec " + std::to_string(std::int32_t(job.codec)) + " is not known.");
    if (job.codec != ExportVideoCodec::H264 && extension != ".mov")
        return refuse("ProRes movies can only be exported as .mov files.");
    if (frameRate_ < 1 || frameRate_ > kMaximumFrameRate)
        return refuse("The frame rate " + std::to_string(frameRate_) + " is not between 1 and " +
                      std::to_string(kMaximumFrameRate) + ".");
    job.frameRate = frameRate_;
    job.bitrate = bitrate_;
    if (job.bitrate > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        return refuse("The bit rate is too large.");
    job.size = exportSize_.width == 0 && exportSize_.height == 0 ? container_->canvasSize() : exportSize_;
    job.pixels = exportPixelSize(job.size, exportScalingFactor_, job.codec);
    if (job.pixels.width == 0)
        return refuse("A movie of " + secondsText(job.size.width) + " x " + secondsText(job.size.height) +
                      " points at a scale of " + secondsText(exportScalingFactor_) + " cannot be made.");
    // A source that cannot be read would leave its part of the movie black or silent.
    for (const auto& object : container_->allObjects()) {
        if (auto movie = std::dynamic_pointer_cast<CompositionQTTrack>(object);
            movie && !movie->assetMovie()) {
            const auto entry = movie->mediaEntry();
            return refuse("The movie " + (entry ? entry->fileSystemPath() : movie->name()) +
                          " cannot be read.");
        }
        if (auto recording = std::dynamic_pointer_cast<CompositionVistrelTrack>(object);
            recording && (!recording->movie() || !recording->movie()->recording()))
            return refuse("The recording " + recording->name() + " cannot be read.");
    }
    job.colorSpace = colorSpace_;
    job.languages = languagesToExport_ ? *languagesToExport_ : container_->languagesToExport();

    freeze_ = std::make_unique<ExportFreeze>(container_);
    for (const auto& object : container_->allObjects())
        if (auto rectangular = std::dynamic_pointer_cast<CompositionRectangularObject>(object))
            rectangular->beginExport();
    thread_ = std::thread([this, job = std::move(job)] { finishExport(run(job)); });
    return {};
}

void VTLMovieExporter::cancelExport() {
    cancelled_ = true;
}

Status VTLMovieExporter::waitUntilFinished() {
    std::lock_guard lock(outcomeMutex_);
    if (thread_.joinable()) thread_.join();
    if (!started_) return fail("The export has not been started.");
    return outcome_;
}

void VTLMovieExporter::finishExport(Status status) {
    if (!status && cancelled_) status = fail("The export was cancelled.");
    if (!status) logMessage("The movie " + exportPath_ + " was not exported: " + status.error());
    // The objects read their media for the export until here, whatever the outcome.
    for (const auto& object : container_->allObjects())
        if (auto rectangular = std::dynamic_pointer_cast<CompositionRectangularObject>(object))
            rectangular->endExport();
    // The last read of the composition is done: whoever hears of the outcome may change it again.
    freeze_.reset();
    if (status && postExportAction_) postExportAction_();
    outcome_ = status;
    if (completionHandler_) completionHandler_(status);
    finished_ = true;
}

Status VTLMovieExporter::run(const Job& job) {
    // Running out of memory ends the export as any failure does; its writer removes the file.
    try {
        return writeMovie(job);
    } catch (const std::bad_alloc&) {
        return fail("There is not enough memory to export the movie.");
    }
}

Status VTLMovieExporter::writeMovie(const Job& job) {
    const Status cancelled = fail("The export was cancelled.");
    const double visibleLength = container_->maximumVisibleTime();
    // An end time read from a document can be anything; a movie has a length one can wait for.
    if (!(visibleLength <= kMaximumMovieSeconds) || !(container_->maximumTime() <= kMaximumMovieSeconds))
        return fail("The composition ends after " +
                    secondsText(std::max(visibleLength, container_->maximumTime())) +
                    " s; a movie can be at most 24 hours long.");
    const std::int64_t frameCount = exportFrameCount(visibleLength, job.frameRate);
    const std::string folder = fs::absolute(fs::path(job.path)).parent_path().string();
    auto checkFreeSpace = [&]() -> Status {
        if (!freeSpaceQuery_) return {};
        const std::optional<std::uint64_t> free = freeSpaceQuery_(folder);
        if (free && *free < kMinimumFreeBytes)
            return fail("There is not enough free space on the disk for the movie: " + std::to_string(*free) +
                        " bytes are left, and an export needs at least " + std::to_string(kMinimumFreeBytes) +
                        ".");
        return {};
    };
    // A folder that cannot take the movie says so, rather than that its disk is full.
    if (Status writable = checkFolderWritable(folder); !writable) return writable;
    if (Status space = checkFreeSpace(); !space) return space;

    auto writerMade = MovieWriter::create(job.path, job.writerOptions);
    if (!writerMade) return fail("The movie cannot be written: " + writerMade.error());
    MovieWriter& writer = *writerMade.value();
    ExportWriterGuard writerGuard{&writer};

    VideoTrackSettings video;
    video.codec = job.codec == ExportVideoCodec::H264        ? VideoCodec::H264
                  : job.codec == ExportVideoCodec::ProRes422 ? VideoCodec::ProRes422
                                                             : VideoCodec::ProRes4444;
    video.widthPixels = job.pixels.width;
    video.heightPixels = job.pixels.height;
    video.frameRateNumerator = int(job.frameRate);
    video.frameRateDenominator = 1;
    video.bitRate = std::int64_t(job.bitrate);
    video.preset = "veryfast";
    auto videoTrack = writer.addVideoTrack(video);
    if (!videoTrack) return fail("The movie's pictures cannot be set up: " + videoTrack.error());

    struct LanguageSound {
        std::string name;
        std::unique_ptr<ExportLanguageMix> mix;
        std::size_t track = 0;
        std::int64_t written = 0;
        bool ended = false;
    };
    std::vector<LanguageSound> sounds;
    for (const auto& language : languagesWithExportAudio(*container_, job.languages)) {
        if (!language) continue;
        if (cancelled_) return cancelled;
        LanguageSound sound;
        sound.name = languageName(*language);
        auto mix = ExportLanguageMix::create(*container_, *language);
        if (!mix) return fail("The sound in " + sound.name + " cannot be mixed: " + mix.error());
        sound.mix = std::move(mix.value());
        AudioTrackSettings audio;
        audio.sampleRate = ExportLanguageMix::kSampleRate;
        audio.channelCount = ExportLanguageMix::kChannelCount;
        audio.inputSampleType = PcmSampleType::Float32;
        audio.inputLayout = PcmLayout::Planar;
        audio.languageCode = movieLanguageCode(language->languageScript(), job.languageContainer);
        auto track = writer.addAudioTrack(audio);
        if (!track) return fail("The sound in " + sound.name + " cannot be set up: " + track.error());
        sound.track = track.value();
        sounds.push_back(std::move(sound));
    }

    struct LanguageSubtitles {
        std::size_t track = 0;
        std::vector<ExportTextSample> samples;
    };
    std::vector<LanguageSubtitles> subtitles;
    for (const auto& language : job.languages) {
        if (!language || !hasCaptionString(*container_, *language)) continue;
        LanguageSubtitles text;
        text.samples = exportSubtitles(*container_, *language);
        if (text.samples.empty()) continue;
        TextTrackSettings settings;
        settings.sampleEntry = subtitleSampleEntry();
        settings.widthPixels = job.pixels.width;
        settings.heightPixels = job.pixels.height;
        settings.languageCode = movieLanguageCode(language->languageScript(), job.languageContainer);
        auto track = writer.addTextTrack(settings);
        if (!track)
            return fail("The subtitles in " + languageName(*language) +
                        " cannot be set up: " + track.error());
        text.track = track.value();
        subtitles.push_back(std::move(text));
    }

    const std::vector<ExportTextSample> chapters = exportChapters(*container_);
    const MediaTime movieEnd{frameCount, std::int32_t(job.frameRate)};
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        MediaTime end =
            i + 1 < chapters.size() ? chapters[i + 1].start : std::max(movieEnd, chapters[i].start);
        if (Status added = writer.addChapter(chapters[i].text, chapters[i].start, end); !added)
            return fail("The chapter \"" + chapters[i].text + "\" cannot be added: " + added.error());
    }

    if (Status started = writer.start(); !started)
        return fail("The movie cannot be started: " + started.error());
    for (const LanguageSubtitles& text : subtitles)
        for (const ExportTextSample& sample : text.samples)
            if (Status appended = writer.appendText(text.track, sample.text, sample.start, sample.duration);
                !appended)
                return fail("A subtitle cannot be written: " + appended.error());

    // The languages are mixed side by side, a chunk at a time.
    std::vector<ExportMixBuffers> audioBuffers;
    auto pumpAudio = [&](std::int64_t upTo) -> Status {
        for (;;) {
            if (cancelled_) return cancelled;
            std::vector<LanguageSound*> behind;
            std::vector<ExportLanguageMix*> mixes;
            for (LanguageSound& sound : sounds)
                if (!sound.ended && sound.written < upTo) {
                    behind.push_back(&sound);
                    mixes.push_back(sound.mix.get());
                }
            if (behind.empty()) return {};
            const std::vector<Result<std::size_t>> rendered =
                renderSideBySide(mixes, audioBuffers, kAudioChunk);
            for (std::size_t i = 0; i < behind.size(); ++i) {
                LanguageSound& sound = *behind[i];
                if (!rendered[i])
                    return fail("The sound in " + sound.name + " cannot be mixed: " + rendered[i].error());
                const std::size_t frames = std::min(rendered[i].value(), kAudioChunk);
                if (frames > 0) {
                    const void* const planes[2] = {audioBuffers[i].left.data(), audioBuffers[i].right.data()};
                    if (Status appended = writer.appendAudio(sound.track, planes, frames); !appended)
                        return fail("The movie cannot be written: " + appended.error());
                }
                sound.written += std::int64_t(frames);
                if (frames < kAudioChunk) sound.ended = true;
            }
        }
    };

    VTLObjectsContainerImageGenerator generator(job.size, job.pixels.scalingFactor, job.colorSpace,
                                                GeneratorAlpha::Without);
    generator.setObjectsContainer(container_);
    if (generator.outputWidth() < job.pixels.width || generator.outputHeight() < job.pixels.height)
        return fail("The pictures cannot be rendered at " + std::to_string(job.pixels.width) + " x " +
                    std::to_string(job.pixels.height) + " pixels.");

    ExportFrameChannel channel;
    ExportRenderThread renderer{channel, std::thread([&] {
                                    for (std::int64_t n = 0; n < frameCount && !cancelled_; ++n) {
                                        const double time = double(n) / double(job.frameRate);
                                        Result<RenderedFrame> frame = renderGuarded([&] {
                                            return generator.imageFromObjectsContainer(*container_, time,
                                                                                       false, true);
                                        });
                                        const bool failed = !frame;
                                        if (!channel.push(std::move(frame)) || failed) break;
                                    }
                                })};

    const std::int64_t progressStep = std::max<std::int64_t>(1, job.frameRate / 10);
    for (std::int64_t n = 0; n < frameCount; ++n) {
        if (cancelled_) return cancelled;
        if (n > 0 && n % kFreeSpaceInterval == 0)
            if (Status space = checkFreeSpace(); !space) return space;
        std::optional<Result<RenderedFrame>> frame = channel.pop();
        if (cancelled_) return cancelled;
        if (!frame) return fail("The pictures stopped before the end of the movie.");
        const double time = double(n) / double(job.frameRate);
        if (!*frame)
            return fail("The picture at " + secondsText(time) + " s cannot be rendered: " + frame->error());
        const RenderedFrame& pixels = frame->value();
        if (pixels.format != FramePixelFormat::BGRX8 && pixels.format != FramePixelFormat::BGRA8Premultiplied)
            return fail("The rendered pictures are not in a format the movie takes.");
        if (Status appended =
                writer.appendVideoFrame(videoTrack.value(), pixels.pixels.get(), pixels.bytesPerRow,
                                        MediaTime{n, std::int32_t(job.frameRate)});
            !appended)
            return fail("The movie cannot be written: " + appended.error());
        frame.reset();
        framesWritten_ = n + 1;
        // The sound keeps pace with the pictures, so the muxer holds little of either.
        if (Status sound = pumpAudio((n + 1) * ExportLanguageMix::kSampleRate / job.frameRate); !sound)
            return sound;
        if ((n + 1) % progressStep == 0 && progressDelegate_)
            progressDelegate_->exportProgressedTo(double(n + 1) / double(job.frameRate));
    }
    if (Status sound = pumpAudio(std::numeric_limits<std::int64_t>::max()); !sound) return sound;
    if (cancelled_) return cancelled;
    if (Status finished = writer.finish(); !finished)
        return fail("The movie cannot be completed: " + finished.error());
    writerGuard.finished = true;
    return {};
}

} // namespace vtl
