#include "platform/foundation/VTLMallocPool.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"

#include <cstdlib>
#include <new>

namespace vtl {

VTLMallocPool& VTLMallocPool::sharedInstance() {
    // Never destroyed: blocks may be returned from threads that outlive static destruction.
    static VTLMallocPool* pool = new VTLMallocPool();
    return *pool;
}

VTLMallocPool::VTLMallocPool(Clock clock)
    : clock_(clock ? std::move(clock) : Clock([] { return monotonicSeconds(); })) {}

VTLMallocPool::~VTLMallocPool() {
    for (auto& [sizeClass, nodes] : mallocBlocks_)
        for (Node& node : nodes.freeNodes)
            std::free(node.key());
    for (auto& [block, record] : lentBlocks_)
        std::free(block);
}

std::uint64_t VTLMallocPool::nextBiggerSizeForSize(std::uint64_t sizeBytes) {
    return (sizeBytes + kSizeClassBytes) & ~(kSizeClassBytes - 1);
}

void* VTLMallocPool::mallocBlock(std::uint64_t sizeBytes) {
    const std::uint64_t sizeClass = nextBiggerSizeForSize(sizeBytes);
    if (sizeClass < sizeBytes) return nullptr; // the rounding overflowed
    const double now = clock_();
    std::lock_guard lock(accessMutex_);
    SizeClass& sizeClassEntry = mallocBlocks_[sizeClass];
    std::vector<Node>& freeList = sizeClassEntry.freeNodes;
    if (!freeList.empty()) {
        Node node = std::move(freeList.back());
        freeList.pop_back();
        node.mapped().lentAt = now;
        void* block = node.key();
        lentBlocks_.insert(std::move(node));
        return block;
    }
    void* block = std::malloc(static_cast<std::size_t>(sizeClass));
    if (!block) return nullptr;
    try {
        lentBlocks_.emplace(block, BlockRecord{sizeClass, now});
        // Room for this block's return, so returning never allocates.
        freeList.reserve(sizeClassEntry.totalBlocks + 1);
    } catch (const std::bad_alloc&) {
        lentBlocks_.erase(block);
        std::free(block);
        return nullptr;
    }
    ++sizeClassEntry.totalBlocks;
    currentlyAllocatedMemory_ += sizeClass;
    ++systemAllocationCount_;
    return block;
}

void VTLMallocPool::returnBlock(void* block) {
    if (!block) return;
    const double now = clock_();
    std::lock_guard lock(accessMutex_);
    Node node = lentBlocks_.extract(block);
    if (node.empty()) {
        logMessage("VTLMallocPool: a block that is not lent was returned; it is ignored.");
        return;
    }
    mallocBlocks_[node.mapped().sizeBytes].freeNodes.push_back(std::move(node));
    if (currentlyAllocatedMemory_ > maxMemory_)
        for (auto& entry : mallocBlocks_)
            cleanUpBlocksOfSize(entry.first, now);
}

void VTLMallocPool::cleanUpBlocksOfSize(std::uint64_t sizeClassBytes, double now) {
    auto found = mallocBlocks_.find(sizeClassBytes);
    if (found == mallocBlocks_.end()) return;
    std::vector<Node>& freeList = found->second.freeNodes;
    std::size_t freed = 0;
    while (freed < freeList.size() && now - kIdleSeconds > freeList[freed].mapped().lentAt) {
        std::free(freeList[freed].key());
        currentlyAllocatedMemory_ -= freeList[freed].mapped().sizeBytes;
        ++freed;
    }
    found->second.totalBlocks -= freed;
    freeList.erase(freeList.begin(), freeList.begin() + static_cast<std::ptrdiff_t>(freed));
}

void VTLMallocPool::setMaxMemory(std::uint64_t maxMemoryBytes) {
    std::lock_guard lock(accessMutex_);
    maxMemory_ = maxMemoryBytes;
}

std::uint64_t VTLMallocPool::maxMemory() const {
    std::lock_guard lock(accessMutex_);
    return maxMemory_;
}

std::uint64_t VTLMallocPool::currentlyAllocatedMemory() const {
    std::lock_guard lock(accessMutex_);
    return currentlyAllocatedMemory_;
}

std::uint64_t VTLMallocPool::systemAllocationCount() const {
    std::lock_guard lock(accessMutex_);
    return systemAllocationCount_;
}

std::size_t VTLMallocPool::lentBlockCount() const {
    std::lock_guard lock(accessMutex_);
    return lentBlocks_.size();
}

std::size_t VTLMallocPool::freeBlockCount(std::uint64_t sizeClassBytes) const {
    std::lock_guard lock(accessMutex_);
    auto found = mallocBlocks_.find(sizeClassBytes);
    return found == mallocBlocks_.end() ? 0 : found->second.freeNodes.size();
}

} // namespace vtl
