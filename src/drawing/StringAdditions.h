#pragma once
// Additions for file names and paths, and the display texts of times in seconds.

#include <optional>
#include <string>

namespace vtl {

// Deletes every leading repetition of `prefix` from `text`.
void removePrefixRepeatedly(const std::string& prefix, std::string& text);
// Leading "." removed, then leading "~", then every "/" replaced by "-".
std::string validFileName(const std::string& name);
bool isValidFilename(const std::string& name);
// The type identifier of the file at the path ("public.png", "public.folder", ...); none when
// the file cannot be read.
std::optional<std::string> typeOfFile(const std::string& path);

// "HH:MM:SS.hh" with hundredths of a second.
std::string hoursMinutesSecondsFramesFromTime(double seconds);
// "[-]HH:MM:SS", or "[-]MM:SS" when omitZeroHours is set and the hours are 0. Whole seconds,
// rounded down for positive times and up in size for negative ones.
std::string hoursMinutesSecondsFromTime(bool omitZeroHours, double seconds);

} // namespace vtl
