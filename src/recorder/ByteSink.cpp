#include "recorder/ByteSink.h"

namespace vtl {

Result<std::unique_ptr<ByteSink>> FileByteSink::create(const std::string& path) {
    auto file = FileHandle::open(path, FileOpenMode::CreateTruncate);
    if (!file) return file.asFailure();
    return std::unique_ptr<ByteSink>(new FileByteSink(std::move(file).value()));
}

Status FileByteSink::append(const std::uint8_t* data, std::size_t sizeBytes) {
    return file_.writeAll(data, sizeBytes);
}

Status FileByteSink::writeAt(std::uint64_t offsetBytes, const std::uint8_t* data, std::size_t sizeBytes) {
    return file_.writeAllAt(offsetBytes, data, sizeBytes);
}

Status FileByteSink::truncate(std::uint64_t sizeBytes) {
    return file_.truncate(sizeBytes);
}

Status FileByteSink::close() {
    if (!file_.isOpen()) return {};
    Status synced = file_.sync();
    Status closed = file_.close();
    return synced ? closed : synced;
}

ByteSinkFactory fileByteSinkFactory() {
    return [](const std::string& path) { return FileByteSink::create(path); };
}

} // namespace vtl
