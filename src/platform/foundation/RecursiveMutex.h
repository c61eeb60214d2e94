#pragma once
// A recursive mutex that the thread-safety analysis knows (std::recursive_mutex is not annotated),
// and the lock that holds it for a scope. For data whose owner's operations call one another while
// they hold the lock.

#include "platform/foundation/ThreadAnnotations.h"

#include <mutex>

namespace vtl {

class VTL_CAPABILITY("mutex") RecursiveMutex {
public:
    void lock() VTL_ACQUIRE() { mutex_.lock(); }
    void unlock() VTL_RELEASE() { mutex_.unlock(); }
    bool try_lock() VTL_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

class VTL_SCOPED_CAPABILITY RecursiveMutexLock {
public:
    explicit RecursiveMutexLock(RecursiveMutex& mutex) VTL_ACQUIRE(mutex)
        : mutex_(mutex) {
        mutex_.lock();
    }
    ~RecursiveMutexLock() VTL_RELEASE() { mutex_.unlock(); }
    RecursiveMutexLock(const RecursiveMutexLock&) = delete;
    RecursiveMutexLock& operator=(const RecursiveMutexLock&) = delete;

private:
    RecursiveMutex& mutex_;
};

} // namespace vtl
