#include "document/DocumentPackageFiles.h"

#include "model/CompositionBaseObject.h"
#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PathExchange.h"

#include <system_error>
#include <vector>

namespace vtl {

namespace fs = std::filesystem;

Status DocumentPackageFiles::writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
    const fs::path temporary = path.parent_path() / (kPackageTemporaryPrefix + makeGloballyUniqueString() +
                                                     "-" + path.filename().string());
    auto discard = [&](Status failure) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return failure;
    };
    Result<FileHandle> file = FileHandle::open(temporary.string(), FileOpenMode::CreateTruncate);
    if (!file) return file.asFailure();
    if (Status written = file.value().writeAll(bytes.data(), bytes.size()); !written) return discard(written);
    if (Status synced = file.value().sync(); !synced) return discard(synced);
    if (Status closed = file.value().close(); !closed) return discard(closed);
    if (Status renamed = rename(temporary, path); !renamed) return discard(renamed);
    return syncFolder(path.parent_path());
}

Status DocumentPackageFiles::createFolder(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (fs::is_directory(status)) return {};
    if (fs::is_symlink(status)) {
        // Removing a link removes the link alone.
        fs::remove(path, error);
        if (error) return fail("The link " + path.string() + " cannot be replaced: " + error.message() + ".");
    }
    fs::create_directory(path, error);
    if (error) return fail("The folder " + path.string() + " cannot be made: " + error.message() + ".");
    return {};
}

Status DocumentPackageFiles::rename(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    if (error)
        return fail("Cannot rename " + from.string() + " to " + to.string() + ": " + error.message() + ".");
    return {};
}

Status DocumentPackageFiles::exchange(const fs::path& from, const fs::path& to) {
    if (exchangePaths(from.string(), to.string())) return {};
    // Without a swap the old one steps aside first; for that moment the name is free.
    const fs::path aside = to.parent_path() / (kPackageTemporaryPrefix + makeGloballyUniqueString() + "-" +
                                               to.filename().string());
    if (Status moved = rename(to, aside); !moved) return moved;
    if (Status placed = rename(from, to); !placed) {
        if (Status back = rename(aside, to); !back) logMessage(back.error());
        return placed;
    }
    // The new one is in place: the old one goes where the caller looks for it, or else goes now.
    if (Status moved = rename(aside, from); !moved) {
        if (Status removed = removeTree(aside); !removed) logMessage(removed.error());
    }
    return {};
}

Status DocumentPackageFiles::syncFolder(const fs::path& path) {
    return FileHandle::syncDirectory(path.empty() ? std::string(".") : path.string());
}

Status DocumentPackageFiles::syncTree(const fs::path& path) {
    if (!isRealFolder(path)) return {};
    std::error_code error;
    std::vector<fs::path> folders{path};
    for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (error) break;
        if (fs::is_directory(status)) {
            folders.push_back(it->path());
        } else if (fs::is_regular_file(status)) {
            Result<FileHandle> file = FileHandle::open(it->path().string(), FileOpenMode::Read);
            if (!file) return file.asFailure();
            if (Status synced = file.value().sync(); !synced) return synced;
        }
    }
    if (error) return fail("Cannot go through " + path.string() + ": " + error.message() + ".");
    // Innermost first, so each folder's entries are durable before the folder that names it.
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        if (Status synced = syncFolder(*folder); !synced) return synced;
    return {};
}

Status DocumentPackageFiles::removePlainFile(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(path, error)))
        return fail("Not removing " + path.string() + ": it is not a plain file.");
    fs::remove(path, error);
    if (error) return fail("Cannot remove " + path.string() + ": " + error.message() + ".");
    return {};
}

Status DocumentPackageFiles::removeTree(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) return fail("Cannot remove " + path.string() + ": " + error.message() + ".");
    return {};
}

std::shared_ptr<DocumentPackageFiles> DocumentPackageFiles::standard() {
    static const std::shared_ptr<DocumentPackageFiles> files = std::make_shared<DocumentPackageFiles>();
    return files;
}

bool isRealFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(path, error));
}

bool isPlainFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(path, error));
}

bool isPlainEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace vtl
