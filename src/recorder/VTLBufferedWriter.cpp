#include "recorder/VTLBufferedWriter.h"

#include <cstring>

namespace vtl {

VTLBufferedWriter::VTLBufferedWriter(std::unique_ptr<ByteSink> sink, std::size_t bufferBytes)
    : sink_(std::move(sink))
    , buffer_(bufferBytes > 0 ? bufferBytes : 1) {}

Result<std::unique_ptr<VTLBufferedWriter>> VTLBufferedWriter::open(const std::string& path,
                                                                   const ByteSinkFactory& factory) {
    auto sink = factory ? factory(path) : FileByteSink::create(path);
    if (!sink) return sink.asFailure();
    if (!*sink) return vtl::fail("No file could be made for \"" + path + "\".");
    return std::make_unique<VTLBufferedWriter>(std::move(sink).value());
}

bool VTLBufferedWriter::fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
}

// Keeps the first failure; answers whether `status` is one.
bool VTLBufferedWriter::recordFailure(const Status& status) {
    if (status) return false;
    fail(status.error());
    return true;
}

bool VTLBufferedWriter::flushBuffer() {
    if (buffered_ == 0) return true;
    if (recordFailure(sink_->append(buffer_.data(), buffered_))) return false;
    flushed_ += buffered_;
    buffered_ = 0;
    return true;
}

bool VTLBufferedWriter::writeData(const void* data, std::size_t sizeBytes) {
    if (failed()) return false;
    if (closed_) return fail("A package file was written after it was closed.");
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffered_ + sizeBytes > buffer_.size()) {
        if (!flushBuffer()) return false;
        if (sizeBytes >= buffer_.size()) {
            if (recordFailure(sink_->append(bytes, sizeBytes))) return false;
            flushed_ += sizeBytes;
            position_ += sizeBytes;
            return true;
        }
    }
    std::memcpy(buffer_.data() + buffered_, bytes, sizeBytes);
    buffered_ += sizeBytes;
    position_ += sizeBytes;
    return true;
}

bool VTLBufferedWriter::flush() {
    if (failed()) return false;
    if (closed_) return fail("A package file was written after it was closed.");
    return flushBuffer();
}

bool VTLBufferedWriter::commit() {
    if (failed() || closed_) return !failed();
    if (!flushBuffer()) return false;
    committed_ = position_;
    return true;
}

bool VTLBufferedWriter::rollback() {
    if (closed_) return false;
    buffered_ = 0;
    // Always cut: a failed append may have left part of its bytes in the file.
    if (recordFailure(sink_->truncate(committed_))) return false;
    flushed_ = committed_;
    position_ = committed_;
    return true;
}

bool VTLBufferedWriter::resumeAfterRollback() {
    if (closed_ || buffered_ != 0 || position_ != committed_ || flushed_ != committed_) return false;
    error_.clear();
    return true;
}

bool VTLBufferedWriter::rewriteCommitted(std::uint64_t offsetBytes, const void* data, std::size_t sizeBytes) {
    if (closed_) return fail("A package file was written after it was closed.");
    if (offsetBytes + sizeBytes > committed_)
        return fail("A rewrite reached past the written part of a file.");
    return !recordFailure(sink_->writeAt(offsetBytes, static_cast<const std::uint8_t*>(data), sizeBytes));
}

bool VTLBufferedWriter::closeFile() {
    if (closed_) return !failed();
    if (!failed()) commit();
    const Status closed = sink_->close();
    closed_ = true;
    if (recordFailure(closed)) return false;
    return !failed();
}

} // namespace vtl
