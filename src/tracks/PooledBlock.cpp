#include "tracks/PooledBlock.h"

#include <new>
#include <utility>

namespace vtl {

PooledBlock PooledBlock::borrow(std::size_t sizeBytes) {
    PooledBlock block;
    block.m_data = new (std::nothrow) std::uint8_t[sizeBytes == 0 ? 1 : sizeBytes];
    if (block.m_data) block.m_sizeBytes = sizeBytes;
    return block;
}

PooledBlock::PooledBlock(PooledBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_sizeBytes(std::exchange(other.m_sizeBytes, 0)) {}

PooledBlock& PooledBlock::operator=(PooledBlock&& other) noexcept {
    if (this != &other) {
        giveBack();
        m_data = std::exchange(other.m_data, nullptr);
        m_sizeBytes = std::exchange(other.m_sizeBytes, 0);
    }
    return *this;
}

void PooledBlock::giveBack() {
    delete[] m_data;
    m_data = nullptr;
    m_sizeBytes = 0;
}

} // namespace vtl
