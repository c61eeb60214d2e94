#include "platform/media/MovieWriterQueue.h"

#include "platform/foundation/Log.h"
#include "platform/media/MovieWriter.h"

#include <algorithm>

namespace vtl {

Result<std::shared_ptr<MovieWriterQueue>>
MovieWriterQueue::create(const std::string& targetPath, std::string label, MovieWriterOptions options) {
    std::shared_ptr<MovieWriterQueue> made(new MovieWriterQueue);
    made->targetPath_ = targetPath;
    // The file's end so far: the muxer writes forward and seeks back only to patch what it wrote.
    std::shared_ptr<std::atomic<std::uint64_t>> bytes = made->bytes_;
    auto before = std::move(options.beforeWrite);
    options.beforeWrite = [bytes, before](std::int64_t offsetBytes, std::size_t sizeBytes) -> Status {
        if (before)
            if (Status allowed = before(offsetBytes, sizeBytes); !allowed) return allowed;
        const std::uint64_t end =
            static_cast<std::uint64_t>(std::max<std::int64_t>(offsetBytes, 0)) + sizeBytes;
        std::uint64_t seen = bytes->load();
        while (end > seen && !bytes->compare_exchange_weak(seen, end)) {
        }
        return {};
    };
    auto writer = MovieWriter::create(targetPath, std::move(options));
    if (!writer) return writer.asFailure();
    made->writer_ = std::move(writer).value();
    made->queue_ = DispatchQueue::createSerial(std::move(label));
    return made;
}

MovieWriterQueue::~MovieWriterQueue() {
    // Tasks still queued hold no reference to this object; run them out before the writer goes.
    if (queue_) queue_->sync([] {});
}

Result<std::size_t> MovieWriterQueue::addAudioTrack(const AudioTrackSettings& settings) {
    Result<std::size_t> added = fail("The movie is gone.");
    queue_->sync([&] { added = writer_->addAudioTrack(settings); });
    if (added) tracks_.fetch_add(1);
    return added;
}

Result<std::size_t> MovieWriterQueue::addVideoTrack(const VideoTrackSettings& settings) {
    Result<std::size_t> added = fail("The movie is gone.");
    queue_->sync([&] { added = writer_->addVideoTrack(settings); });
    if (added) tracks_.fetch_add(1);
    return added;
}

Status MovieWriterQueue::start() {
    Status started = fail("The movie is gone.");
    queue_->sync([&] { started = writer_->start(); });
    if (started) started_.store(true);
    return started;
}

MovieWriter& MovieWriterQueue::writer() {
    VTL_ASSERT(DispatchQueue::current() == queue_.get(), "The movie is used off its writer's thread.");
    return *writer_;
}

void MovieWriterQueue::startAsync(std::function<void(Status)> completion) {
    std::shared_ptr<MovieWriterQueue> self = shared_from_this();
    queue_->async([self, completion = std::move(completion)] {
        Status started = self->writer_->start();
        if (started) self->started_.store(true);
        if (completion) completion(started);
    });
}

void MovieWriterQueue::async(std::function<void(MovieWriter&)> task) {
    pending_.fetch_add(1);
    std::weak_ptr<MovieWriterQueue> weak = weak_from_this();
    queue_->async([weak, task = std::move(task)] {
        std::shared_ptr<MovieWriterQueue> self = weak.lock();
        if (!self) return;
        task(*self->writer_);
        self->pending_.fetch_sub(1);
    });
}

void MovieWriterQueue::finish(std::function<void(Status)> completion) {
    std::shared_ptr<MovieWriterQueue> self = shared_from_this();
    queue_->async([self, completion = std::move(completion)] {
        Status finished;
        if (self->started_.load()) {
            finished = self->writer_->finish();
        } else {
            self->writer_->cancel();
            finished = fail("The movie was never started.");
        }
        if (completion) completion(finished);
    });
}

void MovieWriterQueue::cancel() {
    queue_->sync([this] { writer_->cancel(); });
}

} // namespace vtl
