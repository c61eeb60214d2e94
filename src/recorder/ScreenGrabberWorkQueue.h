#pragma once
// Jobs run by a few threads of the screen grabber's own (one thread: strictly in order), or on
// the posting thread when made synchronous, which tests use to see results at once. Owned by the
// grabber; destroying it finishes every posted job first.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vtl {

class ScreenGrabberWorkQueue {
public:
    ScreenGrabberWorkQueue(unsigned threadCount, bool synchronous);
    ~ScreenGrabberWorkQueue();
    ScreenGrabberWorkQueue(const ScreenGrabberWorkQueue&) = delete;
    ScreenGrabberWorkQueue& operator=(const ScreenGrabberWorkQueue&) = delete;

    void post(std::function<void()> job);
    // Returns when every job posted before has finished.
    void drain();

private:
    void workerLoop();

    bool synchronous_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    std::size_t running_ = 0;
    bool exit_ = false;
    std::vector<std::thread> threads_;
};

} // namespace vtl
