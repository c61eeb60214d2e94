#include "platform/audio/PulseStreams.h"

#include "platform/audio/AudioFormat.h"
#include "platform/audio/PulseConnection.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

namespace vtl::detail {

namespace {

constexpr double streamTimeoutSeconds = 2.0;
// The server's queue must outlast a stall of this process or of the server's own main thread,
// which on a busy machine reaches tens of milliseconds: 40 ms ran dry at a load of 25 and more.
// Kept short of what would put the sound noticeably behind the picture.
constexpr pa_usec_t targetLatencyUsec = 100000;
constexpr pa_usec_t requestSizeUsec = 10000;
constexpr pa_usec_t captureFragmentUsec = 10000;

bool waitUntilReady(PulseConnection& connection, pa_stream* stream) {
    const bool settled = connection.waitFor(
        [&] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        streamTimeoutSeconds);
    return settled && pa_stream_get_state(stream) == PA_STREAM_READY;
}

void releaseStream(PulseConnection& connection, pa_stream*& stream) {
    if (!stream) return;
    PulseLock lock(connection);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

// With the connection locked: corks or uncorks, and drops queued samples when stopping.
bool setCorked(PulseConnection& connection, pa_stream* stream, bool corked) {
    if (!stream || pa_stream_get_state(stream) != PA_STREAM_READY) return false;
    bool ok = connection.waitForOperation(pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr),
                                          streamTimeoutSeconds);
    if (corked)
        ok = connection.waitForOperation(pa_stream_flush(stream, nullptr, nullptr), streamTimeoutSeconds) &&
             ok;
    return ok;
}

class PulseOutputStream : public AudioOutputStream {
public:
    PulseOutputStream(std::shared_ptr<PulseConnection> connection, AudioRenderCallback callback)
        : connection_(std::move(connection))
        , callback_(std::move(callback)) {}

    ~PulseOutputStream() override { releaseStream(*connection_, stream_); }

    Status open(const std::string& sinkName) {
        PulseLock lock(*connection_);
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, playbackSampleRate, playbackChannelCount};
        pa_channel_map map;
        pa_channel_map_init_stereo(&map);
        stream_ = pa_stream_new(connection_->context(), "Vistrel playback", &spec, &map);
        if (!stream_)
            return fail("The audio output stream could not be made: " + connection_->lastError() + ".");
        pa_stream_set_write_callback(stream_, &PulseOutputStream::writeRequested, this);
        pa_stream_set_underflow_callback(stream_, &PulseOutputStream::underflowed, this);
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(targetLatencyUsec, &spec));
        // No prebuffering: after running dry the server would wait for a full queue before playing
        // on, and everything after the gap would be heard late by as much. Without it the server
        // plays silence for the gap and drops what comes too late, so the sound stays at its time;
        // start() fills the queue before uncorking, so the first frames are there.
        attributes.prebuf = 0;
        attributes.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(requestSizeUsec, &spec));
        attributes.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                           PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
        if (pa_stream_connect_playback(stream_, sinkName.empty() ? nullptr : sinkName.c_str(), &attributes,
                                       flags, nullptr, nullptr) < 0 ||
            !waitUntilReady(*connection_, stream_))
            return fail("The audio output stream could not be connected: " + connection_->lastError() + ".");
        if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream_))
            latencySeconds_ = static_cast<double>(pa_bytes_to_usec(granted->tlength, &spec)) / 1e6;
        return {};
    }

    Status start() override {
        PulseLock lock(*connection_);
        if (running_) return {};
        if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY)
            return fail("The audio output stream is gone.");
        // Requests that came while stopped were left unanswered: fill the buffer now, then play.
        running_ = true;
        const std::size_t writable = pa_stream_writable_size(stream_);
        if (writable != static_cast<std::size_t>(-1)) write(stream_, writable);
        if (!setCorked(*connection_, stream_, false)) {
            running_ = false;
            return fail("The audio output stream is gone.");
        }
        return {};
    }

    void stop() override {
        PulseLock lock(*connection_);
        if (!running_) return;
        running_ = false;
        if (!setCorked(*connection_, stream_, true))
            logOnce("pulse.output.stop", "The audio output stream is gone.");
    }

    bool isRunning() const override { return running_.load(); }
    std::uint64_t underrunCount() const override { return underruns_.load(); }
    double latencySeconds() const override { return latencySeconds_; }

private:
    static void writeRequested(pa_stream* stream, std::size_t bytes, void* userdata) {
        static_cast<PulseOutputStream*>(userdata)->write(stream, bytes);
    }
    static void underflowed(pa_stream*, void* userdata) {
        static_cast<PulseOutputStream*>(userdata)->underruns_.fetch_add(1, std::memory_order_relaxed);
    }

    // On the server loop's thread: fills the server's own buffers, taking no other lock.
    void write(pa_stream* stream, std::size_t bytes) {
        // Nothing is rendered while stopped, so a player's position does not run ahead.
        if (!running_.load(std::memory_order_relaxed)) return;
        constexpr std::size_t frameBytes = sizeof(float) * playbackChannelCount;
        while (bytes >= frameBytes) {
            void* data = nullptr;
            std::size_t size = bytes;
            if (pa_stream_begin_write(stream, &data, &size) < 0 || !data) return;
            size -= size % frameBytes;
            if (size == 0) {
                pa_stream_cancel_write(stream);
                return;
            }
            auto* out = static_cast<float*>(data);
            const std::size_t frames = size / frameBytes;
            float* channels[2] = {left_.data(), right_.data()};
            for (std::size_t done = 0; done < frames;) {
                const std::size_t n = std::min(maximumFramesPerRender, frames - done);
                std::fill_n(left_.data(), n, 0.0f);
                std::fill_n(right_.data(), n, 0.0f);
                if (callback_) callback_(channels, n);
                for (std::size_t i = 0; i < n; ++i) {
                    out[2 * (done + i)] = left_[i];
                    out[2 * (done + i) + 1] = right_[i];
                }
                done += n;
            }
            if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            bytes = size >= bytes ? 0 : bytes - size;
        }
    }

    std::shared_ptr<PulseConnection> connection_;
    AudioRenderCallback callback_;
    pa_stream* stream_ = nullptr;
    std::array<float, maximumFramesPerRender> left_{};
    std::array<float, maximumFramesPerRender> right_{};
    std::atomic<bool> running_{false};
    std::atomic<std::uint64_t> underruns_{0};
    double latencySeconds_ = static_cast<double>(targetLatencyUsec) / 1e6;
};

class PulseInputStream : public AudioInputStream {
public:
    PulseInputStream(std::shared_ptr<PulseConnection> connection, std::uint32_t channels, std::uint32_t rate,
                     AudioCaptureCallback callback)
        : connection_(std::move(connection))
        , channels_(channels)
        , rate_(rate)
        , callback_(std::move(callback))
        , silence_(static_cast<std::size_t>(channels) * 4096, 0.0f) {}

    ~PulseInputStream() override { releaseStream(*connection_, stream_); }

    Status open(const std::string& sourceName) {
        PulseLock lock(*connection_);
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, rate_, static_cast<std::uint8_t>(channels_)};
        pa_channel_map map;
        if (!pa_channel_map_init_auto(&map, channels_, PA_CHANNEL_MAP_DEFAULT))
            return fail("The channel count is not supported.");
        stream_ = pa_stream_new(connection_->context(), "Vistrel capture", &spec, &map);
        if (!stream_)
            return fail("The audio input stream could not be made: " + connection_->lastError() + ".");
        pa_stream_set_read_callback(stream_, &PulseInputStream::readable, this);
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(-1);
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(captureFragmentUsec, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(stream_, sourceName.c_str(), &attributes, flags) < 0 ||
            !waitUntilReady(*connection_, stream_))
            return fail("The audio input stream could not be connected: " + connection_->lastError() + ".");
        return {};
    }

    Status start() override {
        PulseLock lock(*connection_);
        if (running_) return {};
        if (!setCorked(*connection_, stream_, false)) return fail("The audio input stream is gone.");
        running_ = true;
        return {};
    }

    void stop() override {
        PulseLock lock(*connection_);
        if (!running_) return;
        running_ = false;
        if (!setCorked(*connection_, stream_, true))
            logOnce("pulse.input.stop", "The audio input stream is gone.");
    }

    bool isRunning() const override { return running_.load(); }
    std::uint32_t sampleRate() const override { return rate_; }
    std::uint32_t channelCount() const override { return channels_; }

private:
    static void readable(pa_stream* stream, std::size_t, void* userdata) {
        static_cast<PulseInputStream*>(userdata)->read(stream);
    }

    void read(pa_stream* stream) {
        const std::size_t frameBytes = sizeof(float) * channels_;
        while (pa_stream_readable_size(stream) > 0) {
            const void* data = nullptr;
            std::size_t size = 0;
            if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) return;
            std::size_t frames = size / frameBytes;
            if (data) {
                if (callback_ && frames) callback_(static_cast<const float*>(data), frames, channels_);
            } else {
                // A hole in the stream: the time passed, so it is delivered as silence.
                const std::size_t chunk = silence_.size() / channels_;
                while (frames > 0 && callback_) {
                    const std::size_t n = std::min(chunk, frames);
                    callback_(silence_.data(), n, channels_);
                    frames -= n;
                }
            }
            pa_stream_drop(stream);
        }
    }

    std::shared_ptr<PulseConnection> connection_;
    std::uint32_t channels_;
    std::uint32_t rate_;
    AudioCaptureCallback callback_;
    std::vector<float> silence_;
    pa_stream* stream_ = nullptr;
    std::atomic<bool> running_{false};
};

} // namespace

Result<std::unique_ptr<AudioOutputStream>> openPulseOutputStream(std::shared_ptr<PulseConnection> connection,
                                                                 const std::string& sinkName,
                                                                 AudioRenderCallback callback) {
    auto stream = std::make_unique<PulseOutputStream>(std::move(connection), std::move(callback));
    if (auto status = stream->open(sinkName); !status) return status.asFailure();
    return std::unique_ptr<AudioOutputStream>(std::move(stream));
}

Result<std::unique_ptr<AudioInputStream>>
openPulseInputStream(std::shared_ptr<PulseConnection> connection, const std::string& sourceName,
                     std::uint32_t channelCount, std::uint32_t sampleRate, AudioCaptureCallback callback) {
    auto stream = std::make_unique<PulseInputStream>(std::move(connection), channelCount, sampleRate,
                                                     std::move(callback));
    if (auto status = stream->open(sourceName); !status) return status.asFailure();
    return std::unique_ptr<AudioInputStream>(std::move(stream));
}

} // namespace vtl::detail
