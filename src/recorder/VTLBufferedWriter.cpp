#include "recorder/VTLBufferedWriter.h"

#include <cstring>

namespace vtl::recording {

VTLBufferedWriter::VTLBufferedWriter(std::unique_ptr<ByteSink> sink, std::size_t bufferBytes)
    : m_sink(std::move(sink))
    , m_buffer(bufferBytes > 0 ? bufferBytes : 1) {}

std::unique_ptr<VTLBufferedWriter>
VTLBufferedWriter::open(const std::string& path, const ByteSinkFactory& factory, std::string& error) {
    std::unique_ptr<ByteSink> sink = factory ? factory(path, error) : fileByteSinkFactory()(path, error);
    if (!sink) return nullptr;
    return std::make_unique<VTLBufferedWriter>(std::move(sink));
}

bool VTLBufferedWriter::fail(const std::string& message) {
    if (m_error.empty()) m_error = message;
    return false;
}

bool VTLBufferedWriter::flushBuffer() {
    if (m_buffered == 0) return true;
    std::string error;
    if (!m_sink->append(m_buffer.data(), m_buffered, error)) return fail(error);
    m_flushed += m_buffered;
    m_buffered = 0;
    return true;
}

bool VTLBufferedWriter::writeData(const void* data, std::size_t sizeBytes) {
    if (failed()) return false;
    if (m_closed) return fail("A package file was written after it was closed.");
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (m_buffered + sizeBytes > m_buffer.size()) {
        if (!flushBuffer()) return false;
        if (sizeBytes >= m_buffer.size()) {
            std::string error;
            if (!m_sink->append(bytes, sizeBytes, error)) return fail(error);
            m_flushed += sizeBytes;
            m_position += sizeBytes;
            return true;
        }
    }
    std::memcpy(m_buffer.data() + m_buffered, bytes, sizeBytes);
    m_buffered += sizeBytes;
    m_position += sizeBytes;
    return true;
}

bool VTLBufferedWriter::flush() {
    if (failed()) return false;
    if (m_closed) return fail("A package file was written after it was closed.");
    return flushBuffer();
}

bool VTLBufferedWriter::commit() {
    if (failed() || m_closed) return !failed();
    if (!flushBuffer()) return false;
    m_committed = m_position;
    return true;
}

bool VTLBufferedWriter::rollback() {
    if (m_closed) return false;
    m_buffered = 0;
    // Always cut: a failed append may have left part of its bytes in the file.
    std::string error;
    if (!m_sink->truncate(m_committed, error)) return fail(error);
    m_flushed = m_committed;
    m_position = m_committed;
    return true;
}

bool VTLBufferedWriter::rewriteCommitted(std::uint64_t offsetBytes, const void* data, std::size_t sizeBytes) {
    if (m_closed) return fail("A package file was written after it was closed.");
    if (offsetBytes + sizeBytes > m_committed)
        return fail("A rewrite reached past the written part of a file.");
    std::string error;
    if (!m_sink->writeAt(offsetBytes, static_cast<const std::uint8_t*>(data), sizeBytes, error))
        return fail(error);
    return true;
}

bool VTLBufferedWriter::closeFile() {
    if (m_closed) return !failed();
    if (!failed()) commit();
    std::string error;
    const bool closed = m_sink->close(error);
    m_closed = true;
    if (!closed) return fail(error);
    return !failed();
}

} // namespace vtl::recording
