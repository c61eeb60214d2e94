#include "platform/foundation/StaleTemporaries.h"

#include "platform/foundation/Log.h"

#include <string>
#include <system_error>
#include <vector>

namespace vtl {

namespace fs = std::filesystem;

namespace {

// Taken while the program loads, before anything of it can write a temporary.
const fs::file_time_type startTime = fs::file_time_type::clock::now();

// Entries looked at in one leftover folder before it is taken to be too large to judge and kept.
constexpr std::size_t maximumEntriesLookedAt = 100000;

// Whether the entry and, for a folder, everything in it were last changed before the start.
bool unchangedSinceStart(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error) return false;
    if (!fs::is_symlink(status)) {
        const fs::file_time_type changed = fs::last_write_time(path, error);
        if (error || changed >= startTime) return false;
    }
    if (!fs::is_directory(status)) return true;
    std::size_t looked = 0;
    for (fs::recursive_directory_iterator it(path, fs::directory_options::none, error), end;
         !error && it != end; it.increment(error)) {
        if (++looked > maximumEntriesLookedAt) return false;
        if (it->is_symlink(error)) continue;
        const fs::file_time_type changed = it->last_write_time(error);
        if (error || changed >= startTime) return false;
    }
    return !error;
}

} // namespace

fs::file_time_type programStartFileTime() {
    return startTime;
}

std::size_t removeStaleTemporaries(const fs::path& folder, std::string_view prefix) {
    if (prefix.empty()) return 0;
    std::error_code error;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && unchangedSinceStart(it->path()))
            stale.push_back(it->path());
    }
    std::size_t removed = 0;
    for (const fs::path& path : stale) {
        // remove_all removes a link itself, never what it leads to.
        fs::remove_all(path, error);
        if (error)
            logMessage("The leftover " + path.string() + " cannot be removed: " + error.message() + ".");
        else
            ++removed;
    }
    return removed;
}

} // namespace vtl
