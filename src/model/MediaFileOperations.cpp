#include "model/MediaFileOperations.h"

#include "model/CompositionBaseObject.h"

#include <system_error>

namespace vtl {

namespace fs = std::filesystem;

bool MediaFileOperations::exists(const fs::path& path) const {
    std::error_code error;
    return fs::exists(path, error);
}

Status MediaFileOperations::copy(const fs::path& from, const fs::path& to) {
    std::error_code error;
    if (!fs::exists(from, error)) return fail("The file " + from.string() + " does not exist.");
    if (fs::exists(to, error)) return fail("The file " + to.string() + " exists already.");
    const fs::path partial =
        to.parent_path() / (".partial-" + makeGloballyUniqueString() + "-" + to.filename().string());
    fs::copy(from, partial, fs::copy_options::recursive, error);
    if (!error) fs::rename(partial, to, error);
    if (error) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        return fail("Cannot copy " + from.string() + " to " + to.string() + ": " + error.message() + ".");
    }
    return {};
}

Status MediaFileOperations::move(const fs::path& from, const fs::path& to) {
    std::error_code error;
    if (!fs::exists(from, error)) return fail("The file " + from.string() + " does not exist.");
    if (fs::exists(to, error)) return fail("The file " + to.string() + " exists already.");
    fs::rename(from, to, error);
    if (!error) return {};
    // Across volumes: copy whole, then remove the source.
    if (Status copied = copy(from, to); !copied) return copied;
    return remove(from);
}

Status MediaFileOperations::remove(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) return fail("Cannot remove " + path.string() + ": " + error.message() + ".");
    return {};
}

Status MediaFileOperations::createDirectories(const fs::path& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error) return fail("Cannot create the folder " + path.string() + ": " + error.message() + ".");
    return {};
}

uint64_t MediaFileOperations::sizeOfResourceAtPath(const fs::path& path) const {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        uint64_t total = 0;
        for (fs::recursive_directory_iterator it(path, error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file(error)) total += it->file_size(error);
        }
        return total;
    }
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

std::optional<uint64_t> MediaFileOperations::freeBytesOfVolume(const fs::path& path) const {
    std::error_code error;
    fs::path probe = path;
    while (!probe.empty() && !fs::exists(probe, error))
        probe = probe.parent_path();
    if (probe.empty()) probe = "/";
    const fs::space_info space = fs::space(probe, error);
    if (error) return std::nullopt;
    return static_cast<uint64_t>(space.available);
}

std::shared_ptr<MediaFileOperations> MediaFileOperations::standard() {
    static const std::shared_ptr<MediaFileOperations> operations = std::make_shared<MediaFileOperations>();
    return operations;
}

bool pathIsInsideFolder(const fs::path& path, const fs::path& folder) {
    std::error_code error;
    const fs::path canonicalPath = fs::weakly_canonical(path, error);
    if (error) return false;
    const fs::path canonicalFolder = fs::weakly_canonical(folder, error);
    if (error || canonicalFolder.empty()) return false;
    auto p = canonicalPath.begin();
    for (auto f = canonicalFolder.begin(); f != canonicalFolder.end(); ++f, ++p) {
        // A trailing separator leaves an empty last component.
        if (f->empty() && std::next(f) == canonicalFolder.end()) break;
        if (p == canonicalPath.end() || *p != *f) return false;
    }
    return p != canonicalPath.end() && !p->empty();
}

} // namespace vtl
