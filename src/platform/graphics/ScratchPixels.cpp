#include "platform/graphics/ScratchPixels.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace vtl {

namespace {

struct KeptBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0;
};

// A shadowed drawing holds three at once; more would only keep memory nobody reuses.
constexpr std::size_t kKeptPerThread = 3;

std::vector<KeptBuffer>& keptBuffers() {
    thread_local std::vector<KeptBuffer> kept;
    return kept;
}

} // namespace

ScratchPixels::ScratchPixels(std::size_t bytes) {
    auto& kept = keptBuffers();
    // The smallest kept buffer that is large enough.
    auto best = kept.end();
    for (auto it = kept.begin(); it != kept.end(); ++it)
        if (it->capacity >= bytes && (best == kept.end() || it->capacity < best->capacity)) best = it;
    if (best != kept.end()) {
        data_ = std::move(best->data);
        capacity_ = best->capacity;
        kept.erase(best);
        return;
    }
    data_.reset(new (std::nothrow) std::uint8_t[std::max<std::size_t>(bytes, 1)]);
    capacity_ = data_ ? bytes : 0;
}

ScratchPixels::~ScratchPixels() {
    if (!data_ || capacity_ > kLargestKeptBytes) return;
    auto& kept = keptBuffers();
    if (kept.size() >= kKeptPerThread) {
        // Keep the larger ones: they serve more requests.
        auto smallest =
            std::min_element(kept.begin(), kept.end(), [](const KeptBuffer& a, const KeptBuffer& b) {
                return a.capacity < b.capacity;
            });
        if (smallest->capacity >= capacity_) return;
        kept.erase(smallest);
    }
    kept.push_back(KeptBuffer{std::move(data_), capacity_});
}

} // namespace vtl
