#pragma once
// Test clips made by the ffmpeg tool (lavfi test sources) on first use, kept in the build folder
// under a name that carries a digest of the command, and reference decodes by the same tool.

#include <cstdint>
#include <string>
#include <vector>

namespace vtl::test {

// The path of the named clip, made when missing. Names: see MediaFixtures.cpp.
std::string mediaFixture(const std::string& name);

// A scratch folder of this test process.
std::string scratchFolder();

// Runs a shell command; true when it exits 0.
bool runCommand(const std::string& command);
// Runs a shell command and returns its standard output.
std::vector<std::uint8_t> commandOutput(const std::string& command);

// Pictures number `frameIndexes` (display order, counted from 0) of the file's first video stream
// as ffmpeg decodes them, B, G, R, A rows; `matrix` names the colour matrix of the conversion
// ("bt709", "bt601"; empty: ffmpeg's choice).
std::vector<std::vector<std::uint8_t>> referenceFrames(const std::string& path,
                                                       const std::vector<int>& frameIndexes, int width,
                                                       int height, const std::string& matrix = "");

// Samples of a sound track as ffmpeg decodes them: interleaved float at the rate and channels.
std::vector<float> referenceSamples(const std::string& path, int sampleRate, int channels,
                                    int streamIndex = 0);

// Largest difference of any channel between two pictures of the same size (alpha ignored).
int largestChannelDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixelCount);

std::vector<std::uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace vtl::test
