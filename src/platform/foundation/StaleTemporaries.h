#pragma once
// What a run that was killed half-way leaves beside its target: hidden temporaries under a name
// prefix of ours. The next run writing into that folder removes those that nothing has changed
// since it started, so the work of another run still going is never taken away. Free functions,
// safe from any thread.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace vtl {

// When this program started, on the file system's clock.
std::filesystem::file_time_type programStartFileTime();

// Removes the entries of `folder` whose names start with `prefix` (files, links as links, and
// folders with what they hold) when neither they nor anything in them changed after this program
// started. Answers how many were removed; failures are logged and skipped.
std::size_t removeStaleTemporaries(const std::filesystem::path& folder, std::string_view prefix);

} // namespace vtl
