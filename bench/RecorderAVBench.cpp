// Recording sound and camera against the ffmpeg tool doing the same work in the same run.
// SystemAudio: CPU time of the process per recorded second while the system's sound (the default
// output's monitor; run with the test command's audio server) goes into "system.m4a", against
// `ffmpeg -f pulse -i <monitor> -c:a aac` for as long ("ratio" = ours / ffmpeg; at most 1.2 wanted).
// CameraProRes: pictures a second encoded into a ProRes 422 track (prores_ks profile 2) from the
// camera's B, G, R, A pictures, against `ffmpeg -c:v prores_ks -profile:v 2` reading the same
// pictures from a pipe ("ratio" = ours / ffmpeg; at least 0.8 wanted).
#include "audio/CompositionAudioRecordDevice.h"
#include "audio/VTLAudioDeviceRecorder.h"
#include "platform/audio/AudioHardware.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/MovieWriterQueue.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace vtl;
namespace fs = std::filesystem;

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs a command (stdin from a pipe when `input` is given) and answers its CPU seconds.
struct Child {
    pid_t pid = 0;
    int input = -1;
};

Child spawn(const std::vector<std::string>& arguments, bool withInput) {
    Child child;
    int fds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput && ::pipe(fds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) child.pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    if (withInput) {
        ::close(fds[0]);
        child.input = fds[1];
    }
    return child;
}

double waitForChild(Child& child) {
    if (child.input >= 0) ::close(child.input);
    int status = 0;
    rusage usage{};
    if (child.pid > 0) ::wait4(child.pid, &status, 0, &usage);
    return cpuSeconds(usage);
}

std::string monitorName() {
    for (const auto& device : AudioHardware::shared()->devices())
        if (device.name == AudioHardware::systemAudioDeviceName) return device.persistentUID;
    return {};
}

void SystemAudio(benchmark::State& state) {
    const double seconds = 8;
    const std::string monitor = monitorName();
    if (monitor.empty()) {
        state.SkipWithError("needs an audio server with a default output");
        return;
    }
    const fs::path folder = fs::temp_directory_path() / ("vistrel-av-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        {
            MovieWriterOptions options;
            options.threadCount = 1;
            auto writer = MovieWriterQueue::create((folder / "system.m4a").string(), "bench", options);
            VTLAudioDeviceRecorderOptions recorderOptions;
            recorderOptions.systemAudio = true;
            VTLAudioDeviceRecorder recorder(CompositionAudioRecordDevice(0, "System Audio", "", 0, 1),
                                            *writer, nullptr, recorderOptions);
            struct Start final : VTLAudioDeviceRecorderDelegate {
                bool recorderStartedProducingData(VTLAudioDeviceRecorder&) override { return true; }
                void recorderDone(VTLAudioDeviceRecorder&) override {}
                void recorderFailed(VTLAudioDeviceRecorder&, const std::string&) override {}
            } owner;
            recorder.setCoordinator(&owner);
            if (!recorder.startProcessQueue()) {
                state.SkipWithError("the system's sound cannot be opened");
                return;
            }
            while (!recorder.hasTrack())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            (void)(*writer)->start();
            const double cpu = processCpuSeconds();
            recorder.setWriteToMovie();
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
            recorder.stopRecord();
            recorder.finishPendingFrames();
            (*writer)->finish([](Status) {});
            (*writer)->queue()->sync([] {});
            ours = (processCpuSeconds() - cpu) / seconds;
        }
        // At the recording's rate, so the server resamples for both alike.
        Child ffmpeg = spawn({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "pulse", "-sample_rate",
                              "44100", "-channels", "2", "-i", monitor, "-t", std::to_string(seconds), "-c:a",
                              "aac", (folder / "ffmpeg.m4a").string()},
                             false);
        theirs = waitForChild(ffmpeg) / seconds;
    }
    fs::remove_all(folder);
    state.counters["cpu_per_second"] = ours;
    state.counters["ffmpeg_cpu_per_second"] = theirs;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
}
BENCHMARK(SystemAudio)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Thirty distinct camera-like pictures: moving colour bars.
std::vector<std::vector<std::uint8_t>> cameraPictures(int width, int height) {
    std::vector<std::vector<std::uint8_t>> pictures(30);
    for (std::size_t n = 0; n < pictures.size(); ++n) {
        auto& p = pictures[n];
        p.resize(static_cast<std::size_t>(width) * height * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* px = &p[(static_cast<std::size_t>(y) * width + x) * 4];
                const int bar = ((x + static_cast<int>(n) * 8) / (width / 8)) % 8;
                px[0] = static_cast<std::uint8_t>((bar & 1) * 200 + (y % 50));
                px[1] = static_cast<std::uint8_t>((bar & 2) * 100 + (x % 40));
                px[2] = static_cast<std::uint8_t>((bar & 4) * 50 + ((x + y) % 30));
                px[3] = 255;
            }
    }
    return pictures;
}

void CameraProRes(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const int frames = 240;
    const auto pictures = cameraPictures(width, height);
    const fs::path folder =
        fs::temp_directory_path() / ("vistrel-prores-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        {
            auto writer = MovieWriter::create((folder / "ours.mov").string());
            VideoTrackSettings settings;
            settings.codec = VideoCodec::ProRes422;
            settings.proResProfile = 2;
            settings.widthPixels = width;
            settings.heightPixels = height;
            auto track = (*writer)->addVideoTrack(settings);
            (void)(*writer)->start();
            const double start = wallSeconds();
            for (int i = 0; i < frames; ++i)
                (void)(*writer)->appendVideoFrame(
                    *track, pictures[static_cast<std::size_t>(i) % pictures.size()].data(),
                    static_cast<std::size_t>(width) * 4, MediaTime{i, 30});
            (void)(*writer)->finish();
            ours = frames / (wallSeconds() - start);
        }
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const double start = wallSeconds();
        Child ffmpeg = spawn({"ffmpeg", "-nostdin",  "-loglevel",  "error", "-y",
                              "-f",     "rawvideo",  "-pix_fmt",   "bgra",  "-s",
                              size,     "-r",        "30",         "-i",    "pipe:0",
                              "-c:v",   "prores_ks", "-profile:v", "2",     (folder / "ffmpeg.mov").string()},
                             true);
        signal(SIGPIPE, SIG_IGN);
        for (int i = 0; i < frames; ++i) {
            const auto& p = pictures[static_cast<std::size_t>(i) % pictures.size()];
            std::size_t done = 0;
            while (done < p.size()) {
                const ssize_t n = ::write(ffmpeg.input, p.data() + done, p.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
        }
        waitForChild(ffmpeg);
        theirs = frames / (wallSeconds() - start);
    }
    fs::remove_all(folder);
    state.counters["frames_per_second"] = ours;
    state.counters["ffmpeg_frames_per_second"] = theirs;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
}
BENCHMARK(CameraProRes)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
