#pragma once
// Converts movie files in a format the media layer no longer reads into one it does, in a separate
// process, before a document imports them or opens a package holding them. This system has no such converter
// (every movie is read as it is), so documents have none unless one is set; the import flow around it stays
// in place. Not owned by the document.

#include <string>

namespace vtl {

class LegacyMovieConverter {
public:
    virtual ~LegacyMovieConverter() = default;
    virtual bool requiresConversion(const std::string& path) = 0;
    // Writes the converted movie to `target` (the source itself: in place) and answers the
    // converter's exit status (0: done).
    virtual int convert(const std::string& source, const std::string& target) = 0;
};

} // namespace vtl
