#include "MediaFixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <unistd.h>

namespace vtl::test {

namespace {

struct Recipe {
    std::string extension;
    std::string arguments; // ffmpeg arguments before the output path
};

// Every clip the tests use. Encoders run on one thread so the bytes do not depend on timing.
const std::map<std::string, Recipe>& recipes() {
    static const std::map<std::string, Recipe> table = {
        // 2 s of 1080p30 H.264, one GOP of 250 with B-frames, tagged BT.709.
        {"h264-1080p",
         {"mov",
          "-f lavfi -i testsrc2=s=1920x1080:r=30:d=2 -vf "
          "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p "
          "-c:v libx264 -preset veryfast -bf 3 -g 250 -threads 1 -colorspace bt709 -color_primaries bt709 "
          "-color_trc bt709"}},
        // 6 s of 360p30 H.264, a key frame every second, B-frames, untagged (BT.601 by the size rule).
        {"h264-360p",
         {"mov", "-f lavfi -i testsrc2=s=640x360:r=30:d=6 -pix_fmt yuv420p -c:v libx264 -preset veryfast -bf "
                 "2 -g 30 "
                 "-threads 1"}},
        // 1 s of ProRes 422 at 25 fps.
        {"prores422",
         {"mov", "-f lavfi -i testsrc2=s=640x360:r=25:d=1 -c:v prores_ks -profile:v 2 -pix_fmt yuv422p10le "
                 "-threads 1"}},
        // Sound from 0 to 3.5 s, pictures from 1.5 to 3.5 s.
        {"late-video",
         {"mov",
          "-f lavfi -i testsrc2=s=320x240:r=30:d=2 -f lavfi -i sine=f=440:d=3.5 -map 0:v -map 1:a "
          "-vf setpts=PTS+1.5/TB -c:v libx264 -preset veryfast -bf 2 -threads 1 -pix_fmt yuv420p -c:a aac"}},
        // Pictures from 0 to 3 s, sound from 1.5 s.
        {"late-audio",
         {"mov",
          "-f lavfi -i testsrc2=s=160x120:r=30:d=3 -f lavfi -i 'aevalsrc=0.5*sin(2*PI*1000*t):s=48000:d=1.5' "
          "-map 0:v -map 1:a -af asetpts=PTS+1.5/TB -c:v libx264 -preset ultrafast -threads 1 -pix_fmt "
          "yuv420p "
          "-c:a pcm_s16le"}},
        // The only stream starts at 1.5 s: media time 0 is its first picture.
        {"offset-start",
         {"mov", "-f lavfi -i testsrc2=s=320x240:r=30:d=2 -c:v libx264 -preset veryfast -bf 2 -threads 1 "
                 "-pix_fmt yuv420p -output_ts_offset 1.5"}},
        // AAC only: 2 s of a 1 kHz sine at half scale, 44.1 kHz stereo.
        {"aac-only",
         {"m4a",
          "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*1000*t)|0.25*sin(2*PI*500*t):s=44100:d=2' -c:a aac -b:a 192k"}},
        // Two video tracks (640 × 480 and 320 × 720), the second named, and German sound.
        {"two-sizes",
         {"mov",
          "-f lavfi -i testsrc2=s=640x480:r=25:d=1 -f lavfi -i testsrc2=s=320x720:r=30:d=1.5 "
          "-f lavfi -i sine=f=300:d=1 -map 0:v -map 1:v -map 2:a -c:v libx264 -preset ultrafast -threads 1 "
          "-pix_fmt yuv420p -c:a aac -metadata:s:v:1 title=Camera -metadata:s:a:0 language=ger"}},
        // 48 kHz stereo PCM with different signals per channel, for sample-exact reads.
        {"pcm-48k",
         {"wav",
          "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)+0.3*sin(2*PI*97*t)|0.4*sin(2*PI*1234*t):s=48000:d=3' "
          "-c:a pcm_s16le"}},
        // Mono 22.05 kHz.
        {"mono-22k", {"wav", "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*300*t):s=22050:d=1' -c:a pcm_s16le"}},
        // One picture row of 16400 pixels.
        {"too-wide", {"mov", "-f lavfi -i color=c=red:s=16400x2:r=1:d=1 -c:v rawvideo -pix_fmt rgb24"}},
        // Small raw pictures whose sizes the tests damage.
        {"raw-small", {"mov", "-f lavfi -i testsrc2=s=64x48:r=10:d=0.5 -c:v rawvideo -pix_fmt rgb24"}},
    };
    return table;
}

std::string folder() {
    const std::string path = VISTREL_MEDIA_FIXTURES;
    std::filesystem::create_directories(path);
    return path;
}

std::string hexDigest(const std::string& text) {
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016zx", std::hash<std::string>{}(text));
    return digits;
}

} // namespace

bool runCommand(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::vector<std::uint8_t> commandOutput(const std::string& command) {
    std::vector<std::uint8_t> output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe);
        if (count == 0) break;
        output.insert(output.end(), buffer, buffer + count);
    }
    pclose(pipe);
    return output;
}

std::string mediaFixture(const std::string& name) {
    const auto found = recipes().find(name);
    if (found == recipes().end()) {
        ADD_FAILURE() << "unknown fixture " << name;
        return {};
    }
    const Recipe& recipe = found->second;
    const std::string path =
        folder() + "/" + name + "-" + hexDigest(recipe.arguments) + "." + recipe.extension;
    if (std::filesystem::exists(path)) return path;
    // Test processes run in parallel: one makes the clip while the others wait for it.
    const std::string lockPath = path + ".lock";
    const int lock = ::open(lockPath.c_str(), O_CREAT | O_RDWR, 0644);
    if (lock >= 0) ::flock(lock, LOCK_EX);
    if (!std::filesystem::exists(path)) {
        const std::string temporary = path + ".part-" + std::to_string(::getpid()) + "." + recipe.extension;
        const std::string command =
            "ffmpeg -nostdin -v error -y " + recipe.arguments + " '" + temporary + "'";
        if (runCommand(command))
            std::filesystem::rename(temporary, path);
        else
            ADD_FAILURE() << "could not make " << name << ": " << command;
    }
    if (lock >= 0) {
        ::flock(lock, LOCK_UN);
        ::close(lock);
    }
    return path;
}

std::string scratchFolder() {
    static const std::string path = [] {
        const std::string made = folder() + "/scratch-" + std::to_string(::getpid());
        std::filesystem::create_directories(made);
        std::atexit([] { std::filesystem::remove_all(folder() + "/scratch-" + std::to_string(::getpid())); });
        return made;
    }();
    return path;
}

std::vector<std::vector<std::uint8_t>> referenceFrames(const std::string& path,
                                                       const std::vector<int>& frameIndexes, int width,
                                                       int height, const std::string& matrix) {
    std::string select;
    for (int index : frameIndexes)
        select += (select.empty() ? "" : "+") + std::string("eq(n\\,") + std::to_string(index) + ")";
    std::string filter = "select='" + select + "'";
    if (!matrix.empty()) filter += ",scale=in_color_matrix=" + matrix;
    filter += ",format=bgra";
    const std::string command = "ffmpeg -nostdin -v error -i '" + path + "' -map 0:v:0 -vf \"" + filter +
                                "\" -vsync passthrough -f rawvideo -";
    // Kept beside the clips: every test process of a run asks for the same few pictures.
    const std::string cached = path + ".reference-" + hexDigest(command) + ".bgra";
    std::vector<std::uint8_t> bytes = readFileBytes(cached);
    if (bytes.empty()) {
        bytes = commandOutput(command);
        const std::string temporary = cached + ".part-" + std::to_string(::getpid());
        writeFileBytes(temporary, bytes);
        std::filesystem::rename(temporary, cached);
    }
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 4;
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t offset = 0; offset + frameBytes <= bytes.size(); offset += frameBytes)
        frames.emplace_back(bytes.begin() + offset, bytes.begin() + offset + frameBytes);
    return frames;
}

std::vector<float> referenceSamples(const std::string& path, int sampleRate, int channels, int streamIndex) {
    const std::string command =
        "ffmpeg -nostdin -v error -i '" + path + "' -map 0:a:" + std::to_string(streamIndex) + " -ar " +
        std::to_string(sampleRate) + " -ac " + std::to_string(channels) + " -f f32le -";
    const std::vector<std::uint8_t> bytes = commandOutput(command);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

int largestChannelDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixelCount) {
    int largest = 0;
    for (std::size_t i = 0; i < pixelCount; ++i)
        for (int c = 0; c < 3; ++c)
            largest = std::max(largest, std::abs(int(a[i * 4 + c]) - int(b[i * 4 + c])));
    return largest;
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace vtl::test
