#include "platform/foundation/VTLMallocPool.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <vector>

namespace vtl {
namespace {

constexpr std::uint64_t MiB = VTLMallocPool::kSizeClassBytes;

// A pool whose clock the test moves by hand.
struct ClockedPool {
    double now = 1000.0;
    VTLMallocPool pool{[this] { return now; }};
};

TEST(VTLMallocPool, SizeClassesAreTheNextWholeMebibyteAbove) {
    struct Case {
        std::uint64_t request, sizeClass;
    };
    const Case cases[] = {{0, MiB},       {1, MiB},           {MiB - 1, MiB},
                          {MiB, 2 * MiB}, {2 * MiB, 3 * MiB}, {2 * MiB + 5, 3 * MiB}};
    for (const Case& c : cases)
        EXPECT_EQ(VTLMallocPool::nextBiggerSizeForSize(c.request), c.sizeClass) << c.request;
}

TEST(VTLMallocPool, ReusesReturnedBlocksLastInFirstOut) {
    ClockedPool p;
    void* a = p.pool.mallocBlock(10);
    void* b = p.pool.mallocBlock(10);
    void* c = p.pool.mallocBlock(MiB - 1);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 3 * MiB);
    p.pool.returnBlock(a);
    p.pool.returnBlock(b);
    p.pool.returnBlock(c);
    EXPECT_EQ(p.pool.freeBlockCount(MiB), 3u);
    EXPECT_EQ(p.pool.mallocBlock(5), c);
    EXPECT_EQ(p.pool.mallocBlock(5), b);
    EXPECT_EQ(p.pool.mallocBlock(5), a);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 3 * MiB);
    EXPECT_EQ(p.pool.systemAllocationCount(), 3u);
    // Another class does not take these blocks.
    void* big = p.pool.mallocBlock(MiB);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 5 * MiB);
    for (void* block : {a, b, c, big})
        p.pool.returnBlock(block);
    EXPECT_EQ(p.pool.lentBlockCount(), 0u);
}

TEST(VTLMallocPool, ReturningNullOrAForeignPointerChangesNothing) {
    ClockedPool p;
    void* a = p.pool.mallocBlock(1);
    int foreign = 0;
    p.pool.returnBlock(nullptr);
    p.pool.returnBlock(&foreign);
    EXPECT_EQ(p.pool.lentBlockCount(), 1u);
    EXPECT_EQ(p.pool.freeBlockCount(MiB), 0u);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), MiB);
    p.pool.returnBlock(a);
}

TEST(VTLMallocPool, UnderTheCapNothingIsFreedHoweverOld) {
    ClockedPool p;
    void* a = p.pool.mallocBlock(1);
    void* b = p.pool.mallocBlock(1);
    p.pool.returnBlock(a);
    p.now += 3600;
    p.pool.returnBlock(b);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 2 * MiB);
    EXPECT_EQ(p.pool.freeBlockCount(MiB), 2u);
}

TEST(VTLMallocPool, OverTheCapFreesOnlyAgedBlocksFromTheFrontOfEachClass) {
    ClockedPool p;
    p.pool.setMaxMemory(2 * MiB);
    // Lent at 1000: old, young (lent again later), old; returned in that order.
    void* old1 = p.pool.mallocBlock(1);
    void* young = p.pool.mallocBlock(1);
    void* old2 = p.pool.mallocBlock(1);
    void* other = p.pool.mallocBlock(3 * MiB); // a 4 MiB class lent at 1000
    p.pool.returnBlock(young);
    p.now = 1000.5;
    young = p.pool.mallocBlock(1); // lent again at 1000.5
    p.pool.returnBlock(other);     // over the cap, but nothing is older than a second yet
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 7 * MiB);

    p.now = 1001.2; // old blocks are 1.2 s old, the young one 0.7 s
    p.pool.returnBlock(old1);
    // old1 is alone in the 1 MiB list and aged: freed; the 4 MiB block too.
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 2 * MiB);
    p.pool.returnBlock(young);
    p.pool.returnBlock(old2);
    // The front (young) is not aged, so old2 behind it stays even though it is older.
    EXPECT_EQ(p.pool.freeBlockCount(MiB), 2u);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 2 * MiB);

    p.now = 1010;
    void* fresh = p.pool.mallocBlock(1); // takes old2 (last returned), lent now
    p.pool.setMaxMemory(0);
    p.pool.returnBlock(fresh); // its own return does not free it; young (front) is aged and goes
    EXPECT_EQ(p.pool.freeBlockCount(MiB), 1u);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), MiB);
}

TEST(VTLMallocPool, ImpossibleRequestsFailWithoutCounting) {
    ClockedPool p;
    EXPECT_EQ(p.pool.mallocBlock(~std::uint64_t{0}), nullptr);
    EXPECT_EQ(p.pool.currentlyAllocatedMemory(), 0u);
    EXPECT_EQ(p.pool.lentBlockCount(), 0u);
}

TEST(VTLMallocPool, ConcurrentBorrowersKeepTheBookkeepingConsistent) {
    VTLMallocPool pool;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&pool, t] {
            for (int i = 0; i < 500; ++i) {
                PoolBlock block(pool, static_cast<std::uint64_t>((i + t) % 3) * MiB);
                ASSERT_TRUE(block);
                block.data()[0] = 1;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(pool.lentBlockCount(), 0u);
    EXPECT_LE(pool.currentlyAllocatedMemory(), 4u * (MiB + 2 * MiB + 3 * MiB));
    EXPECT_EQ(&VTLMallocPool::sharedInstance(), &VTLMallocPool::sharedInstance());
}

} // namespace
} // namespace vtl
