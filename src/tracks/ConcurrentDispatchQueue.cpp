#include "tracks/ConcurrentDispatchQueue.h"

#include "platform/foundation/DispatchApply.h"

namespace vtl {

void ConcurrentDispatchQueue::apply(std::size_t count, const std::function<void(std::size_t)>& job) const {
    dispatchApply(count, job);
}

} // namespace vtl
