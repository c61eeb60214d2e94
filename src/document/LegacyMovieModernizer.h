#pragma once
// Answers whether a movie file of an older package needs converting before it can be opened, and
// converts it in place. No movie format read here needs converting, so the standard answer is no;
// tests put fakes here to walk the questions an open then asks. Owned by the document that uses it.

#include <string>

namespace vtl {

class LegacyMovieModernizer {
public:
    virtual ~LegacyMovieModernizer() = default;
    virtual bool requiresModernization(const std::string&) const { return false; }
    // Converts the file in place and returns when done.
    virtual void modernize(const std::string&) {}
};

} // namespace vtl
