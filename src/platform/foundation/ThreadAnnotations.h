#pragma once
// Thread-safety annotations that clang checks with -Wthread-safety (other compilers ignore
// them), and a mutex and lock that carry them: std::mutex in libstdc++ is not annotated.

#include <mutex>

#if defined(__clang__)
#define VTL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VTL_THREAD_ANNOTATION(x)
#endif

#define VTL_CAPABILITY(name) VTL_THREAD_ANNOTATION(capability(name))
#define VTL_SCOPED_CAPABILITY VTL_THREAD_ANNOTATION(scoped_lockable)
#define VTL_GUARDED_BY(m) VTL_THREAD_ANNOTATION(guarded_by(m))
#define VTL_PT_GUARDED_BY(m) VTL_THREAD_ANNOTATION(pt_guarded_by(m))
#define VTL_REQUIRES(...) VTL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VTL_EXCLUDES(...) VTL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define VTL_ACQUIRE(...) VTL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VTL_RELEASE(...) VTL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VTL_TRY_ACQUIRE(...) VTL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define VTL_NO_THREAD_SAFETY_ANALYSIS VTL_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace vtl {

// A std::mutex the analysis knows. `native()` serves condition variables.
class VTL_CAPABILITY("mutex") Mutex {
public:
    void lock() VTL_ACQUIRE() { mutex_.lock(); }
    void unlock() VTL_RELEASE() { mutex_.unlock(); }
    bool try_lock() VTL_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    std::mutex& native() { return mutex_; }

private:
    std::mutex mutex_;
};

// Holds a Mutex for its scope. Works with std::condition_variable_any.
class VTL_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) VTL_ACQUIRE(mutex)
        : mutex_(mutex) {
        mutex_.lock();
    }
    ~MutexLock() VTL_RELEASE() {
        if (locked_) mutex_.unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    // For condition_variable_any::wait.
    void lock() VTL_ACQUIRE() {
        mutex_.lock();
        locked_ = true;
    }
    void unlock() VTL_RELEASE() {
        mutex_.unlock();
        locked_ = false;
    }

private:
    Mutex& mutex_;
    bool locked_ = true;
};

} // namespace vtl
