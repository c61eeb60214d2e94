#include "audio/MemoryPcmSource.h"

#include <algorithm>

namespace vtl {

MemoryPcmSource::MemoryPcmSource(std::vector<std::vector<float>> channels) {
    if (channels.empty()) channels.emplace_back();
    const std::size_t length = channels.front().size();
    for (auto& c : channels)
        c.resize(length, 0.0f);
    channels_ = std::make_shared<const std::vector<std::vector<float>>>(std::move(channels));
}

MemoryPcmSource::MemoryPcmSource(std::shared_ptr<const std::vector<std::vector<float>>> channels)
    : channels_(std::move(channels)) {}

Result<std::unique_ptr<MemoryPcmSource>> MemoryPcmSource::decode(PcmSource& source) {
    const std::uint32_t count = source.channelCount();
    if (count == 0 || count > 32) return fail("The sound has an unsupported number of channels.");
    if (auto status = source.seek(0); !status) return status.asFailure();
    std::vector<std::vector<float>> channels(count);
    constexpr std::size_t chunk = 4096;
    std::vector<std::vector<float>> buffers(count, std::vector<float>(chunk));
    std::vector<float*> pointers(count);
    for (std::uint32_t c = 0; c < count; ++c)
        pointers[c] = buffers[c].data();
    for (;;) {
        auto got = source.read(pointers.data(), chunk);
        if (!got) return got.asFailure();
        if (*got == 0) break;
        for (std::uint32_t c = 0; c < count; ++c)
            channels[c].insert(channels[c].end(), buffers[c].begin(),
                               buffers[c].begin() + static_cast<std::ptrdiff_t>(*got));
    }
    return std::make_unique<MemoryPcmSource>(std::move(channels));
}

std::unique_ptr<MemoryPcmSource> MemoryPcmSource::clone() const {
    return std::unique_ptr<MemoryPcmSource>(new MemoryPcmSource(channels_));
}

std::uint32_t MemoryPcmSource::channelCount() const {
    return static_cast<std::uint32_t>(channels_->size());
}

std::int64_t MemoryPcmSource::durationFrames() const {
    return static_cast<std::int64_t>(channels_->front().size());
}

Status MemoryPcmSource::seek(std::int64_t frame) {
    position_ = static_cast<std::size_t>(std::clamp<std::int64_t>(frame, 0, durationFrames()));
    return {};
}

Result<std::size_t> MemoryPcmSource::read(float* const* channels, std::size_t frames) {
    const std::size_t length = channels_->front().size();
    const std::size_t n = std::min(frames, length - position_);
    for (std::size_t c = 0; c < channels_->size(); ++c)
        std::copy_n((*channels_)[c].data() + position_, n, channels[c]);
    position_ += n;
    return n;
}

} // namespace vtl
