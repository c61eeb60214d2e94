// vistrel-archive-dump FILE: prints the object graph of a keyed archive as indented text. Exits 1
// with one line on standard error when the file cannot be read or the archive is damaged.

#include "platform/foundation/FileHandle.h"
#include "platform/foundation/KeyedArchiveDump.h"
#include "platform/foundation/PropertyList.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* usage = "usage: vistrel-archive-dump FILE";

} // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && first == "--help") {
        std::printf("%s\n", usage);
        return 0;
    }
    if (argc == 2 && first.rfind("--", 0) == 0) {
        std::fprintf(stderr, "vistrel-archive-dump: unknown option %s (%s)\n", first.c_str(), usage);
        return 2;
    }
    if (argc != 2) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    const std::string path = argv[1];
    // Read as a plain file only: a folder, fifo or device is refused without waiting on it.
    vtl::Result<std::vector<std::uint8_t>> read =
        vtl::FileHandle::readWholeFile(path, vtl::PropertyList::maximumInputBytes);
    if (!read) {
        std::fprintf(stderr, "vistrel-archive-dump: %s: cannot read the file: %s\n", path.c_str(),
                     read.error().c_str());
        return 1;
    }
    const std::vector<std::uint8_t>& bytes = read.value();
    vtl::Result<std::string> text = vtl::dumpKeyedArchive(bytes);
    if (!text.ok()) {
        std::fprintf(stderr, "vistrel-archive-dump: %s: %s\n", path.c_str(), text.error().c_str());
        return 1;
    }
    std::fwrite(text.value().data(), 1, text.value().size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
