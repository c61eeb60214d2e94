#include "drawing/VTLMallocPool.h"

#include "platform/foundation/Log.h"

#include <chrono>
#include <cstdlib>
#include <new>

namespace vtl {

namespace {

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

VTLMallocPool& VTLMallocPool::sharedInstance() {
    // Never destroyed: blocks may be returned from threads that outlive static destruction.
    static VTLMallocPool* pool = new VTLMallocPool();
    return *pool;
}

VTLMallocPool::VTLMallocPool(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(monotonicSeconds)) {}

VTLMallocPool::~VTLMallocPool() {
    for (auto& [sizeClass, nodes] : m_mallocBlocks)
        for (Node& node : nodes.freeNodes)
            std::free(node.key());
    for (auto& [block, record] : m_lentBlocks)
        std::free(block);
}

std::uint64_t VTLMallocPool::nextBiggerSizeForSize(std::uint64_t sizeBytes) {
    return (sizeBytes + kSizeClassBytes) & ~(kSizeClassBytes - 1);
}

void* VTLMallocPool::mallocBlock(std::uint64_t sizeBytes) {
    const std::uint64_t sizeClass = nextBiggerSizeForSize(sizeBytes);
    if (sizeClass < sizeBytes) return nullptr; // the rounding overflowed
    const double now = m_clock();
    std::lock_guard lock(m_accessMutex);
    SizeClass& sizeClassEntry = m_mallocBlocks[sizeClass];
    std::vector<Node>& freeList = sizeClassEntry.freeNodes;
    if (!freeList.empty()) {
        Node node = std::move(freeList.back());
        freeList.pop_back();
        node.mapped().lentAt = now;
        void* block = node.key();
        m_lentBlocks.insert(std::move(node));
        return block;
    }
    void* block = std::malloc(static_cast<std::size_t>(sizeClass));
    if (!block) return nullptr;
    try {
        m_lentBlocks.emplace(block, BlockRecord{sizeClass, now});
        // Room for this block's return, so returning never allocates.
        freeList.reserve(sizeClassEntry.totalBlocks + 1);
    } catch (const std::bad_alloc&) {
        m_lentBlocks.erase(block);
        std::free(block);
        return nullptr;
    }
    ++sizeClassEntry.totalBlocks;
    m_currentlyAllocatedMemory += sizeClass;
    ++m_systemAllocationCount;
    return block;
}

void VTLMallocPool::returnBlock(void* block) {
    if (!block) return;
    const double now = m_clock();
    std::lock_guard lock(m_accessMutex);
    Node node = m_lentBlocks.extract(block);
    if (node.empty()) {
        logMessage("VTLMallocPool: a block that is not lent was returned; it is ignored.");
        return;
    }
    m_mallocBlocks[node.mapped().sizeBytes].freeNodes.push_back(std::move(node));
    if (m_currentlyAllocatedMemory > m_maxMemory)
        for (auto& entry : m_mallocBlocks)
            cleanUpBlocksOfSize(entry.first, now);
}

void VTLMallocPool::cleanUpBlocksOfSize(std::uint64_t sizeClassBytes, double now) {
    auto found = m_mallocBlocks.find(sizeClassBytes);
    if (found == m_mallocBlocks.end()) return;
    std::vector<Node>& freeList = found->second.freeNodes;
    std::size_t freed = 0;
    while (freed < freeList.size() && now - kIdleSeconds > freeList[freed].mapped().lentAt) {
        std::free(freeList[freed].key());
        m_currentlyAllocatedMemory -= freeList[freed].mapped().sizeBytes;
        ++freed;
    }
    found->second.totalBlocks -= freed;
    freeList.erase(freeList.begin(), freeList.begin() + static_cast<std::ptrdiff_t>(freed));
}

void VTLMallocPool::setMaxMemory(std::uint64_t maxMemoryBytes) {
    std::lock_guard lock(m_accessMutex);
    m_maxMemory = maxMemoryBytes;
}

std::uint64_t VTLMallocPool::maxMemory() const {
    std::lock_guard lock(m_accessMutex);
    return m_maxMemory;
}

std::uint64_t VTLMallocPool::currentlyAllocatedMemory() const {
    std::lock_guard lock(m_accessMutex);
    return m_currentlyAllocatedMemory;
}

std::uint64_t VTLMallocPool::systemAllocationCount() const {
    std::lock_guard lock(m_accessMutex);
    return m_systemAllocationCount;
}

std::size_t VTLMallocPool::lentBlockCount() const {
    std::lock_guard lock(m_accessMutex);
    return m_lentBlocks.size();
}

std::size_t VTLMallocPool::freeBlockCount(std::uint64_t sizeClassBytes) const {
    std::lock_guard lock(m_accessMutex);
    auto found = m_mallocBlocks.find(sizeClassBytes);
    return found == m_mallocBlocks.end() ? 0 : found->second.freeNodes.size();
}

} // namespace vtl
