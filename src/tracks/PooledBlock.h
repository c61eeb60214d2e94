#pragma once
// A large buffer borrowed by a frame decoder for the compressed data of one frame, given back
// when the decoder is released. Owned by the decoder that borrowed it; moves, never copies.

#include <cstddef>
#include <cstdint>

namespace vtl {

class PooledBlock {
public:
    PooledBlock() = default;
    // Borrows at least sizeBytes; an empty block when the memory cannot be had.
    static PooledBlock borrow(std::size_t sizeBytes);

    PooledBlock(PooledBlock&& other) noexcept;
    PooledBlock& operator=(PooledBlock&& other) noexcept;
    PooledBlock(const PooledBlock&) = delete;
    PooledBlock& operator=(const PooledBlock&) = delete;
    ~PooledBlock() { giveBack(); }

    explicit operator bool() const { return m_data != nullptr; }
    std::uint8_t* data() const { return m_data; }
    std::size_t sizeBytes() const { return m_sizeBytes; }

private:
    void giveBack();
    std::uint8_t* m_data = nullptr;
    std::size_t m_sizeBytes = 0;
};

} // namespace vtl
