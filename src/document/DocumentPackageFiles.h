#pragma once
// How a composition package is written: whole files under a temporary name made durable and
// renamed into place, folders, renames and removals. Behind an interface so that tests can fill
// the disk half-way through a save. The standard implementation works on the real file system,
// keeps no state and is shared; a document holds the one it was given.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace vtl {

class DocumentPackageFiles {
public:
    virtual ~DocumentPackageFiles() = default;

    // Writes the bytes to a temporary file beside `path`, syncs it, renames it over `path` and
    // syncs the folder: afterwards the file is either the old one or the new one, whole.
    virtual Status writeFileAtomically(const std::filesystem::path& path,
                                       std::span<const std::uint8_t> bytes);
    // One folder (its parent must exist); an existing folder is fine. A link in its place is
    // removed (never what it leads to) and a folder made instead, so nothing is written through it.
    virtual Status createFolder(const std::filesystem::path& path);
    virtual Status rename(const std::filesystem::path& from, const std::filesystem::path& to);
    // Puts `from` in the place of the existing `to` and the old `to` at `from`; `to` always names
    // one of the two, also where the file system cannot swap them in one step.
    virtual Status exchange(const std::filesystem::path& from, const std::filesystem::path& to);
    virtual Status syncFolder(const std::filesystem::path& path);
    // Makes every plain file under the folder, and every folder, durable (links are not followed),
    // so that nothing the next "composition" names can be lost to a power cut after it.
    virtual Status syncTree(const std::filesystem::path& path);
    // A plain file only (a link or a folder is left alone and reported).
    virtual Status removePlainFile(const std::filesystem::path& path);
    // A folder the save made itself, with everything in it.
    virtual Status removeTree(const std::filesystem::path& path);

    static std::shared_ptr<DocumentPackageFiles> standard();
};

// Prefix of the temporary names a save writes under; leftovers of an interrupted save carry it.
inline constexpr const char* kPackageTemporaryPrefix = ".vistrel-saving-";

// Whether the path is a folder itself, not a link to one: what a package and its own folders must
// be before anything in them is read, written or removed.
bool isRealFolder(const std::filesystem::path& path);

// Whether the path is a plain file itself, not a link, fifo or device.
bool isPlainFile(const std::filesystem::path& path);

// Whether a name is one plain entry of a folder: not empty, no separator, not "." or "..".
bool isPlainEntryName(const std::string& name);

} // namespace vtl
