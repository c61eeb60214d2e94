#pragma once
// A tiny reader of 44.1 kHz WAV files (16-bit or float PCM), written from the format alone: the
// reference for what the media layer reads, and an opener for tests that play files made by ffmpeg.

#include "audio/MemoryPcmSource.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace vtl::test {

inline Result<std::unique_ptr<PcmSource>> openWaveFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8)); };
    auto u32 = [&](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return fail("Not a WAV file.");
    std::uint32_t format = 0, channels = 0, rate = 0, bits = 0;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) break;
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0 && size >= 16) {
            format = u16(body);
            channels = u16(body + 2);
            rate = u32(body + 4);
            bits = u16(body + 14);
            if (format == 0xFFFE && size >= 26) format = u16(body + 24);
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            if (rate != 44100 || channels == 0 ||
                !((format == 1 && bits == 16) || (format == 3 && bits == 32)))
                return fail("Unsupported WAV format.");
            const std::size_t frameBytes = channels * bits / 8;
            const std::size_t frames = size / frameBytes;
            std::vector<std::vector<float>> planar(channels, std::vector<float>(frames));
            for (std::size_t f = 0; f < frames; ++f)
                for (std::uint32_t c = 0; c < channels; ++c) {
                    const std::size_t p = body + f * frameBytes + c * bits / 8;
                    if (format == 1) {
                        planar[c][f] = static_cast<float>(static_cast<std::int16_t>(u16(p))) / 32768.0f;
                    } else {
                        const std::uint32_t raw = u32(p);
                        std::memcpy(&planar[c][f], &raw, 4);
                    }
                }
            return std::unique_ptr<PcmSource>(std::make_unique<MemoryPcmSource>(std::move(planar)));
        }
        at = body + size + (size & 1);
    }
    return fail("The WAV file has no data.");
}

} // namespace vtl::test
