#pragma once
// A queue with one worker thread that hands objects to a processing function strictly in
// ascending frame index, whatever order they arrive in. Owned by the encode queue.

#include "platform/foundation/Log.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace vtl::recording {

template <class Object> class VTLMessageQueue {
public:
    using IndexOf = std::function<std::int64_t(const Object&)>;
    using Process = std::function<void(Object)>;
    using Hook = std::function<void()>;

    explicit VTLMessageQueue(IndexOf indexOf)
        : m_indexOf(std::move(indexOf)) {}
    ~VTLMessageQueue() { stopProcessing(true); }
    VTLMessageQueue(const VTLMessageQueue&) = delete;
    VTLMessageQueue& operator=(const VTLMessageQueue&) = delete;

    // Starts the worker; set-up runs first on it, tear-down last. False when the thread could not
    // be started (logged).
    bool startProcessing(Process process, Hook setUp = {}, Hook tearDown = {}, Process drop = {}) {
        stopProcessing(true);
        std::lock_guard lock(m_mutex);
        m_process = std::move(process);
        m_setUp = std::move(setUp);
        m_tearDown = std::move(tearDown);
        m_drop = std::move(drop);
        m_exit = false;
        m_waiting = false;
        m_objects.clear();
        m_nextRequiredFrameIndex = 0;
        try {
            m_thread = std::thread([this] { workerLoop(); });
        } catch (const std::system_error& error) {
            logMessage(std::string("ERROR; return code from pthread_create() is ") +
                       std::to_string(error.code().value()));
            return false;
        }
        return true;
    }

    void addObject(Object object) {
        std::lock_guard lock(m_mutex);
        const std::int64_t index = m_indexOf(object);
        auto position =
            std::upper_bound(m_objects.begin(), m_objects.end(), index,
                             [this](std::int64_t i, const Object& o) { return i < m_indexOf(o); });
        m_objects.insert(position, std::move(object));
        if (m_waiting) m_condition.notify_one();
    }

    // Processes everything still queued (unless skipPending), then joins the worker.
    void stopProcessing(bool skipPending = false) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_thread.joinable()) return;
            m_exit = true;
            if (skipPending) m_objects.clear();
            m_condition.notify_one();
        }
        m_thread.join();
        std::lock_guard lock(m_mutex);
        m_process = {};
        m_setUp = {};
        m_tearDown = {};
        m_drop = {};
    }

    std::size_t numberOfObjectsInQueue() const {
        std::lock_guard lock(m_mutex);
        return m_objects.size();
    }

    // Removes every n-th queued object, starting with the first, handing each to the drop function.
    void dropObjectsWithInterval(int interval) {
        if (interval <= 0) return;
        std::lock_guard lock(m_mutex);
        std::vector<Object> kept;
        for (std::size_t i = 0; i < m_objects.size(); ++i) {
            if (i % static_cast<std::size_t>(interval) == 0) {
                if (m_drop) m_drop(std::move(m_objects[i]));
            } else {
                kept.push_back(std::move(m_objects[i]));
            }
        }
        m_objects = std::move(kept);
    }

private:
    void workerLoop() {
        if (m_setUp) m_setUp();
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_waiting = true;
            if (m_objects.empty()) {
                if (m_exit) break;
                m_condition.wait(lock);
                continue;
            }
            // An index below the expected one (a repeat) cannot be waited for either: take it.
            if (m_indexOf(m_objects.front()) > m_nextRequiredFrameIndex) {
                if (!m_exit) {
                    m_condition.wait(lock);
                    continue;
                }
                // Stopping with a gap that can never be filled: carry on with what is there
                // rather than waiting for ever.
                logMessage("A queued frame is missing; the frames after it are processed anyway.");
            }
            m_waiting = false;
            Object object = std::move(m_objects.front());
            m_objects.erase(m_objects.begin());
            m_nextRequiredFrameIndex = std::max(m_nextRequiredFrameIndex, m_indexOf(object) + 1);
            lock.unlock();
            m_process(std::move(object));
            lock.lock();
        }
        lock.unlock();
        if (m_tearDown) m_tearDown();
    }

    IndexOf m_indexOf;
    Process m_process;
    Hook m_setUp;
    Hook m_tearDown;
    Process m_drop;
    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    std::thread m_thread;
    std::vector<Object> m_objects; // ascending frame index
    bool m_waiting = false;
    bool m_exit = false;
    std::int64_t m_nextRequiredFrameIndex = 0;
};

} // namespace vtl::recording
