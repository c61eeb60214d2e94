#pragma once
// A movie writer owned by one thread of its own: recorders of a recording hand it work (encoding,
// appending) as tasks, so capture threads never encode and no two threads share the muxer. The
// writer's file size so far is readable from any thread. Shared by the recorders that write into
// it and their coordinator, which creates, starts and finishes it.

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Result.h"
#include "platform/media/AudioTrackSettings.h"
#include "platform/media/MovieWriterOptions.h"
#include "platform/media/VideoTrackSettings.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

class MovieWriter;

class MovieWriterQueue : public std::enable_shared_from_this<MovieWriterQueue> {
public:
    static Result<std::shared_ptr<MovieWriterQueue>> create(const std::string& targetPath, std::string label,
                                                            MovieWriterOptions options = {});
    ~MovieWriterQueue();
    MovieWriterQueue(const MovieWriterQueue&) = delete;
    MovieWriterQueue& operator=(const MovieWriterQueue&) = delete;

    const std::string& targetPath() const { return targetPath_; }

    // Before start(); any thread but the writer's own. Run on the writer's thread and wait for it.
    Result<std::size_t> addAudioTrack(const AudioTrackSettings& settings);
    Result<std::size_t> addVideoTrack(const VideoTrackSettings& settings);
    Status start();
    // The same on the writer's thread after what is queued there; the completion runs there too.
    // For callers that must not wait for the writer's thread.
    void startAsync(std::function<void(Status)> completion);
    bool isStarted() const { return started_.load(); }
    std::size_t trackCount() const { return tracks_.load(); }

    // Runs the task on the writer's thread with the writer. Tasks run in the order handed in.
    void async(std::function<void(MovieWriter&)> task);
    // Tasks handed in and not yet run: how far the writer is behind.
    std::size_t pendingTasks() const { return pending_.load(); }
    // The writer itself, only on the writer's thread (in a task or a timer of queue()).
    MovieWriter& writer();
    // The writer's thread, for timers that should run there.
    const std::shared_ptr<DispatchQueue>& queue() const { return queue_; }

    // After every task handed in before it: completes the file (or, when never started, drops it)
    // and calls the completion with the outcome on the writer's thread.
    void finish(std::function<void(Status)> completion);
    // Drops the movie; no file is left.
    void cancel();

    // Bytes in the file so far (its final size once finished). Any thread.
    std::uint64_t bytesWritten() const { return bytes_->load(); }

private:
    MovieWriterQueue() = default;

    std::string targetPath_;
    std::shared_ptr<DispatchQueue> queue_;
    std::unique_ptr<MovieWriter> writer_; // used only on queue_
    std::shared_ptr<std::atomic<std::uint64_t>> bytes_ = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::atomic<std::size_t> pending_{0};
    std::atomic<bool> started_{false};
    std::atomic<std::size_t> tracks_{0};
};

} // namespace vtl
