#pragma once
// Parallel loop over the shared worker pool.

#include <cstddef>
#include <functional>

namespace vtl {

// Calls body(i) for every i in [0, count) exactly once, spread over the worker pool; the calling
// thread takes part and returns when every call has finished. An apply inside a body does not
// deadlock (its caller works through the indexes itself when the pool is busy). An exception
// thrown by a body is rethrown to the caller after all calls have finished.
void dispatchApply(std::size_t count, const std::function<void(std::size_t)>& body);

} // namespace vtl
