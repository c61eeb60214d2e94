#pragma once
// Process-wide pool of large heap blocks in whole-mebibyte size classes, reused last in, first out,
// so that frame-sized buffers circulate instead of being allocated per frame. Thread-safe.
// The recorder's frame copies and the recording decoders borrow from it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vtl {

class VTLMallocPool {
public:
    static constexpr std::uint64_t kSizeClassBytes = 1048576;
    static constexpr std::uint64_t kDefaultMaxMemoryBytes = 134217728;
    // Free blocks lent longer ago than this may be given back once the pool is over its cap.
    static constexpr double kIdleSeconds = 1.0;

    // Seconds on a monotonic clock; tests replace it to age blocks.
    using Clock = std::function<double()>;

    // The pool of the process, created on first use (thread-safe) and never destroyed.
    static VTLMallocPool& sharedInstance();

    explicit VTLMallocPool(Clock clock = {});
    ~VTLMallocPool();
    VTLMallocPool(const VTLMallocPool&) = delete;
    VTLMallocPool& operator=(const VTLMallocPool&) = delete;

    // The next multiple of 1 MiB strictly above `sizeBytes`.
    static std::uint64_t nextBiggerSizeForSize(std::uint64_t sizeBytes);

    // Lends a block of at least `sizeBytes` (contents undefined), or nullptr when the system heap
    // cannot provide one; nothing is counted then.
    void* mallocBlock(std::uint64_t sizeBytes);
    // Takes a lent block back; over the cap, frees free blocks idle for more than a second.
    // nullptr is ignored; a pointer the pool did not lend is logged and ignored.
    void returnBlock(void* block);

    // Takes effect at the next return of a block.
    void setMaxMemory(std::uint64_t maxMemoryBytes);
    std::uint64_t maxMemory() const;
    // Bytes of all blocks obtained from the system and not yet given back, lent and free alike.
    std::uint64_t currentlyAllocatedMemory() const;
    // How many blocks the pool has obtained from the system so far (steady state keeps it still).
    std::uint64_t systemAllocationCount() const;
    std::size_t lentBlockCount() const;
    std::size_t freeBlockCount(std::uint64_t sizeClassBytes) const;

private:
    struct BlockRecord {
        std::uint64_t sizeBytes = 0;
        double lentAt = 0.0;
    };
    // Node handles move between the lent map and the free lists, so lending and returning a
    // block already known to the pool allocates nothing.
    using LentMap = std::unordered_map<void*, BlockRecord>;
    using Node = LentMap::node_type;

    struct SizeClass {
        std::vector<Node> freeNodes; // oldest return first
        std::size_t totalBlocks = 0; // lent and free
    };

    void cleanUpBlocksOfSize(std::uint64_t sizeClassBytes, double now); // mutex held

    Clock clock_;
    mutable std::mutex accessMutex_;
    std::unordered_map<std::uint64_t, SizeClass> mallocBlocks_;
    LentMap lentBlocks_;
    std::uint64_t maxMemory_ = kDefaultMaxMemoryBytes;
    std::uint64_t currentlyAllocatedMemory_ = 0;
    std::uint64_t systemAllocationCount_ = 0;
};

// Owns one block borrowed from a pool and returns it on destruction.
class PoolBlock {
public:
    PoolBlock() = default;
    PoolBlock(VTLMallocPool& pool, std::uint64_t sizeBytes)
        : pool_(&pool)
        , data_(static_cast<std::uint8_t*>(pool.mallocBlock(sizeBytes)))
        , sizeBytes_(data_ ? sizeBytes : 0) {}
    ~PoolBlock() { reset(); }
    PoolBlock(PoolBlock&& other) noexcept { *this = std::move(other); }
    PoolBlock& operator=(PoolBlock&& other) noexcept {
        if (this != &other) {
            reset();
            pool_ = other.pool_;
            data_ = other.data_;
            sizeBytes_ = other.sizeBytes_;
            other.data_ = nullptr;
            other.sizeBytes_ = 0;
        }
        return *this;
    }
    PoolBlock(const PoolBlock&) = delete;
    PoolBlock& operator=(const PoolBlock&) = delete;

    void reset() {
        if (data_ && pool_) pool_->returnBlock(data_);
        data_ = nullptr;
        sizeBytes_ = 0;
    }
    explicit operator bool() const { return data_ != nullptr; }
    std::uint8_t* data() const { return data_; }
    // The size asked for (the block itself may be larger).
    std::uint64_t sizeBytes() const { return sizeBytes_; }

private:
    VTLMallocPool* pool_ = nullptr;
    std::uint8_t* data_ = nullptr;
    std::uint64_t sizeBytes_ = 0;
};

} // namespace vtl
