#pragma once
// A labelled concurrent queue on which the stripes and rectangles of one frame are decoded in
// parallel. Every queue shares one process-wide set of worker threads; the caller of apply takes
// part in the work, so apply never waits on a busy pool.

#include <cstddef>
#include <functional>
#include <string>

namespace vtl {

class ConcurrentDispatchQueue {
public:
    explicit ConcurrentDispatchQueue(std::string label)
        : label_(std::move(label)) {}

    const std::string& label() const { return label_; }

    // Runs job(0) … job(count − 1) concurrently and returns when all have finished.
    void apply(std::size_t count, const std::function<void(std::size_t)>& job) const;

private:
    std::string label_;
};

} // namespace vtl
