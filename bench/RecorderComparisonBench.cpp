// The screen recorder beside ffmpeg's x11grab → libx264 ultrafast on one thread, both measured in
// the same run on the same X activity (x_activity_generator, a process of its own), and random
// access in a recording beside libavcodec seeking in an H.264 encoding of the same frames.
//
// For UI and full-screen activity at 30 and 60 frames per second it prints the frames kept of
// frame rate × duration, the bytes per recorded second, and the CPU seconds per recorded second:
// the recorder's (or ffmpeg's) own plus the X server's share over an idle baseline, which is the
// X server's CPU while the activity runs without any recording. Then it records 60 s of UI
// activity at 30 fps, encodes the same frames as H.264 with a key frame every 30 frames, and
// times 50 random frames in each (median and worst, decoders on all threads).
//
// Needs an X display of at least 1920 x 1080 (DISPLAY), such as the test command's Xvfb, the
// ffmpeg and ffprobe programs, and a local X server whose process it can find to read its CPU.
//   recorder_comparison_bench [--seconds S] [--rounds N] [--access-seconds S] [--only record|access]

#include "BenchCoordinator.h"
#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/Screens.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaImageGenerator.h"
#include "platform/media/MovieWriter.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTL3RecordImageGrabber.h"
#include "tracks/reader/VistrelRecording.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef VISTREL_X_ACTIVITY
#error "VISTREL_X_ACTIVITY names the activity generator"
#endif

namespace {

using namespace vtl;
using bench::BenchCoordinator;
using Clock = std::chrono::steady_clock;

// CPU seconds (user + system) of a process from /proc; -1 when it cannot be read.
double otherProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields after the name start with the state (field 3); utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// The X server's process: the one holding the listening socket of DISPLAY's number.
pid_t findXServer() {
    const char* display = std::getenv("DISPLAY");
    if (!display || display[0] != ':') return -1;
    const std::string number = std::to_string(std::atoi(display + 1));
    const std::string socketPath = "/tmp/.X11-unix/X" + number;
    std::vector<std::string> inodes;
    std::ifstream unixSockets("/proc/net/unix");
    std::string line;
    std::getline(unixSockets, line);
    while (std::getline(unixSockets, line)) {
        std::istringstream fields(line);
        std::string num, ref, protocol, flags, type, state, inode, path;
        fields >> num >> ref >> protocol >> flags >> type >> state >> inode >> path;
        if (path == socketPath || path == "@" + socketPath) inodes.push_back("socket:[" + inode + "]");
    }
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    pid_t found = -1;
    while (dirent* entry = readdir(proc)) {
        if (found > 0) break;
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        const std::string fdFolder = std::string("/proc/") + entry->d_name + "/fd";
        DIR* fds = opendir(fdFolder.c_str());
        if (!fds) continue;
        while (dirent* fd = readdir(fds)) {
            char target[128] = {};
            const std::string link = fdFolder + "/" + fd->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
            if (std::find(inodes.begin(), inodes.end(), target) != inodes.end()) {
                found = static_cast<pid_t>(std::atoi(entry->d_name));
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return found;
}

// The activity generator, running until it is stopped.
class Activity {
public:
    Activity(const char* kind, double seconds) {
        const std::string duration = std::to_string(seconds);
        pid_ = fork();
        if (pid_ == 0) {
            execl(VISTREL_X_ACTIVITY, VISTREL_X_ACTIVITY, kind, duration.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Let it draw its first picture before anything is measured.
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }
    ~Activity() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

struct Measure {
    double framesKept = 0; // share of frame rate × duration
    double bytesPerSecond = 0;
    double ownCpuPerSecond = 0;
    double xCpuPerSecond = 0; // over the idle baseline
    std::string error;
    std::string notes;
};

double xCpuRate(pid_t xServer, double seconds, const std::function<void()>& during) {
    const double before = otherProcessCpuSeconds(xServer);
    during();
    return (otherProcessCpuSeconds(xServer) - before) / seconds;
}

Measure recordWithRecorder(const ScreenDescription& screen, int fps, double seconds, pid_t xServer,
                           double xBaseline, const std::string& packagePath,
                           std::uint64_t* framesOut = nullptr) {
    Measure m;
    std::filesystem::remove_all(packagePath);
    std::filesystem::create_directories(packagePath);
    const Rect areaX11(screen.x11Frame.minX(), screen.x11Frame.minY(), 1920, 1080);
    BenchCoordinator coordinator(screen.displayID, X11CoordinateSpace(screen.x11Frame).fromX11(areaX11),
                                 packagePath);
    EncodeQueueSettings settings;
    settings.frameRate = std::uint32_t(fps);
    settings.areaWidthPixels = 1920;
    settings.areaHeightPixels = 1080;
    VTL3RecordEndcodeQueue queue(settings);
    if (Status prepared = queue.prepareForRecording(packagePath); !prepared) {
        m.error = prepared.error();
        return m;
    }
    auto created = VTL3RecordImageGrabber::create(std::uint64_t(fps), RecordMode::FullScreen, queue,
                                                  coordinator, RecordQuality::High);
    if (!created) {
        m.error = created.error();
        return m;
    }
    auto grabber = std::move(created).value();
    const double cpuBefore = bench::processCpuSeconds();
    const double xRate = xCpuRate(xServer, seconds, [&] {
        grabber->startProcessQueue();
        grabber->setWriteToMovie();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        grabber->stopRecord();
    });
    grabber->finalizeRecord();
    const double cpu = bench::processCpuSeconds() - cpuBefore;
    const auto stats = grabber->statistics();
    m.framesKept = double(stats.kept) / (double(fps) * seconds);
    m.bytesPerSecond = double(queue.bytesWrittenSoFar()) / seconds;
    m.ownCpuPerSecond = cpu / seconds;
    m.xCpuPerSecond = xRate - xBaseline;
    if (framesOut) *framesOut = stats.kept;
    m.notes = "updates " + std::to_string(stats.delivered) + ", dropped " + std::to_string(stats.dropped) +
              ", skipped " + std::to_string(stats.skipped) + ", key frames " +
              std::to_string(stats.keyFrames);
    return m;
}

std::string runCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

Measure recordWithFfmpeg(int fps, double seconds, pid_t xServer, double xBaseline,
                         const std::string& folder) {
    Measure m;
    const std::string output = folder + "/x11grab.mkv";
    std::filesystem::remove(output);
    const std::string display = std::string(std::getenv("DISPLAY")) + "+0,0";
    const std::string rate = std::to_string(fps);
    const std::string duration = std::to_string(seconds);
    rusage usage{};
    int status = 0;
    const double xRate = xCpuRate(xServer, seconds, [&] {
        const pid_t child = fork();
        if (child == 0) {
            execlp("ffmpeg", "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "x11grab",
                   "-draw_mouse", "0", "-framerate", rate.c_str(), "-video_size", "1920x1080", "-i",
                   display.c_str(), "-t", duration.c_str(), "-c:v", "libx264", "-preset", "ultrafast", "-crf",
                   "23", "-threads", "1", "-fps_mode", "passthrough", "-y", output.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        wait4(child, &status, 0, &usage);
    });
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        m.error = "ffmpeg failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        return m;
    }
    auto seconds_ = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    const std::string frames = runCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                          "stream=nb_read_packets -of csv=p=0 '" +
                                          output + "'");
    m.framesKept = std::atof(frames.c_str()) / (double(fps) * seconds);
    m.bytesPerSecond = double(std::filesystem::file_size(output)) / seconds;
    m.ownCpuPerSecond = (seconds_(usage.ru_utime) + seconds_(usage.ru_stime)) / seconds;
    m.xCpuPerSecond = xRate - xBaseline;
    return m;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

void runRecordingComparison(const ScreenDescription& screen, double seconds, int rounds, pid_t xServer,
                            const std::string& folder) {
    std::printf(
        "\nRecording 1920 x 1080 for %.0f s per run, %d round(s); CPU in seconds per recorded second,\n"
        "the X server's share over its CPU with the same activity and no recording.\n\n",
        seconds, rounds);
    std::printf("%-5s %3s %-9s %8s %9s %8s %8s %8s | %-12s %-12s\n", "what", "fps", "recorder", "kept",
                "MB/s", "own CPU", "X CPU", "total", "bytes ratio", "CPU ratio");
    for (const char* kind : {"ui", "full"})
        for (int fps : {30, 60})
            for (int round = 0; round < rounds; ++round) {
                double baseline = 0;
                {
                    Activity activity(kind, seconds + 3);
                    baseline = xCpuRate(xServer, seconds, [&] {
                        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
                    });
                }
                Measure ours, theirs;
                {
                    Activity activity(kind, seconds + 5);
                    ours = recordWithRecorder(screen, fps, seconds, xServer, baseline,
                                              folder + "/take.vistrelRecord");
                }
                {
                    Activity activity(kind, seconds + 5);
                    theirs = recordWithFfmpeg(fps, seconds, xServer, baseline, folder);
                }
                for (const Measure* m : {&ours, &theirs}) {
                    const bool isOurs = m == &ours;
                    if (!m->error.empty()) {
                        std::printf("%-5s %3d %-9s %s\n", kind, fps, isOurs ? "vistrel" : "x11grab",
                                    m->error.c_str());
                        continue;
                    }
                    std::printf("%-5s %3d %-9s %7.1f%% %9.3f %8.3f %8.3f %8.3f", kind, fps,
                                isOurs ? "vistrel" : "x11grab", m->framesKept * 100, m->bytesPerSecond / 1e6,
                                m->ownCpuPerSecond, m->xCpuPerSecond, m->ownCpuPerSecond + m->xCpuPerSecond);
                    if (isOurs && theirs.error.empty())
                        std::printf(" | %10.2fx %10.2fx", ours.bytesPerSecond / theirs.bytesPerSecond,
                                    (ours.ownCpuPerSecond + ours.xCpuPerSecond) /
                                        (theirs.ownCpuPerSecond + theirs.xCpuPerSecond));
                    if (!m->notes.empty()) std::printf("  (%s)", m->notes.c_str());
                    std::printf("\n");
                }
                std::fflush(stdout);
            }
}

void runRandomAccess(const ScreenDescription& screen, double seconds, pid_t xServer,
                     const std::string& folder) {
    const std::string package = folder + "/access.vistrelRecord";
    const int fps = 30;
    std::printf("\nRandom access: %.0f s of UI activity recorded at %d fps; 50 random frames.\n", seconds,
                fps);
    {
        Activity activity("ui", seconds + 5);
        Measure m = recordWithRecorder(screen, fps, seconds, xServer, 0, package);
        if (!m.error.empty()) {
            std::printf("recording failed: %s\n", m.error.c_str());
            return;
        }
    }
    auto recording = std::make_shared<VistrelRecording>(package);
    auto made = recording->makeDecompressionInfo();
    if (!made) {
        std::printf("cannot read the recording: %s\n", made.error().c_str());
        return;
    }
    DecompressionInfo& info = **made;
    const std::uint64_t frames = recording->numberOfFrames() - 1; // the stop frame repeats the last
    // The same pictures, one every 1/30 s, as H.264 with a key frame every 30 frames.
    const std::string movie = folder + "/access.mp4";
    {
        auto writer = MovieWriter::create(movie);
        VideoTrackSettings video;
        video.widthPixels = 1920;
        video.heightPixels = 1080;
        video.frameRateNumerator = fps;
        video.preset = "ultrafast";
        video.keyFrameInterval = 30;
        auto track = writer ? (*writer)->addVideoTrack(video) : Result<std::size_t>(fail("no writer"));
        if (!writer || !track || !(*writer)->start()) {
            std::printf("cannot write the H.264 movie\n");
            return;
        }
        for (std::uint64_t k = 0; k < frames; ++k) {
            info.decompressFrame(k);
            const auto bytes = info.frameBytes();
            if (!(*writer)->appendVideoFrame(*track, bytes.data(), 1920 * 4,
                                             MediaTime(std::int64_t(k) * 20, 600))) {
                std::printf("cannot encode frame %llu\n", static_cast<unsigned long long>(k));
                return;
            }
        }
        if (!(*writer)->finish()) {
            std::printf("cannot finish the H.264 movie\n");
            return;
        }
    }
    auto asset = MediaAsset::open(movie);
    if (!asset) {
        std::printf("cannot open the H.264 movie: %s\n", asset.error().c_str());
        return;
    }
    std::mt19937 random(1);
    std::vector<std::uint64_t> picks;
    for (int i = 0; i < 50; ++i)
        picks.push_back(random() % frames);
    std::vector<double> ours, theirs;
    const std::uint64_t skippedBefore = info.skippedPieceCount();
    for (std::uint64_t k : picks) {
        info.forgetLastFrame();
        const auto start = Clock::now();
        info.decompressFrame(k);
        ours.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    for (std::uint64_t k : picks) {
        // A generator of its own for every frame, so each one seeks as a first request does.
        auto generator = MediaImageGenerator::create(*asset, 0);
        if (!generator) {
            std::printf("cannot decode the H.264 movie: %s\n", generator.error().c_str());
            return;
        }
        const auto start = Clock::now();
        auto image = (*generator)->imageAtTime(MediaTime(std::int64_t(k) * 20 + 10, 600));
        theirs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!image)
            std::printf("frame %llu: %s\n", static_cast<unsigned long long>(k), image.error().c_str());
    }
    const double oursMedian = median(ours), theirsMedian = median(theirs);
    const double oursWorst = *std::max_element(ours.begin(), ours.end());
    const double theirsWorst = *std::max_element(theirs.begin(), theirs.end());
    std::printf("%-28s %10s %10s\n", "", "median ms", "worst ms");
    std::printf("%-28s %10.2f %10.2f\n", "vistrel recording", oursMedian, oursWorst);
    std::printf("%-28s %10.2f %10.2f\n", "H.264 GOP 30 (libavcodec)", theirsMedian, theirsWorst);
    std::printf("%-28s %9.2fx %9.2fx\n", "ratio", oursMedian / theirsMedian, oursWorst / theirsWorst);
    std::printf("pieces left out as hidden: %llu; %llu frames, %.1f MB of frame data\n",
                static_cast<unsigned long long>(info.skippedPieceCount() - skippedBefore),
                static_cast<unsigned long long>(frames),
                double(std::filesystem::file_size(package + "/vtldata")) / 1e6);
    info.release();
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 10, accessSeconds = 60;
    int rounds = 1;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue)
            seconds = std::atof(argv[++i]);
        else if (arg == "--rounds" && hasValue)
            rounds = std::atoi(argv[++i]);
        else if (arg == "--access-seconds" && hasValue)
            accessSeconds = std::atof(argv[++i]);
        else if (arg == "--only" && hasValue)
            only = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: recorder_comparison_bench [--seconds S] [--rounds N] [--access-seconds S] "
                         "[--only record|access]\n");
            return 2;
        }
    }
    if (!(seconds > 0) || rounds < 1 || !(accessSeconds > 1)) {
        std::fprintf(stderr, "recorder_comparison_bench: the durations and rounds must be positive\n");
        return 2;
    }
    auto screens = listScreens();
    if (!screens || screens->empty()) {
        std::fprintf(stderr, "recorder_comparison_bench: %s\n",
                     screens ? "no screen" : screens.error().c_str());
        return 1;
    }
    const ScreenDescription& screen = screens->front();
    if (screen.x11Frame.width() < 1920 || screen.x11Frame.height() < 1080) {
        std::fprintf(stderr, "recorder_comparison_bench: the screen is smaller than 1920 x 1080\n");
        return 1;
    }
    const pid_t xServer = findXServer();
    if (xServer <= 0) {
        std::fprintf(stderr, "recorder_comparison_bench: the X server's process was not found\n");
        return 1;
    }
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("X server pid %d; load average %.2f %.2f %.2f on %ld cores\n", int(xServer), load[0], load[1],
                load[2], sysconf(_SC_NPROCESSORS_ONLN));
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("vistrel-compare-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    if (only.empty() || only == "record") runRecordingComparison(screen, seconds, rounds, xServer, folder);
    if (only.empty() || only == "access") runRandomAccess(screen, accessSeconds, xServer, folder);
    getloadavg(load, 3);
    std::printf("\nload average at the end %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::filesystem::remove_all(folder);
    return 0;
}
