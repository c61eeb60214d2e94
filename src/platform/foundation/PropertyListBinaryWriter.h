#pragma once
// Writes the binary property-list form ("bplist00": header, objects, offset table, trailer) in one
// canonical layout, so the same value gives the same bytes in every build and run: objects are
// numbered depth first in order of first appearance (a dictionary's keys before its values), and
// every value that is not a container (strings and keys, numbers, booleans, dates, data, UIDs) is
// stored once however often it occurs. Containers are never shared. Stateless.
// Internal to the property-list code.

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <string_view>

namespace vtl::plist_detail {

Result<PlistBytes> writeBinaryPropertyList(const PropertyList& root);

// Well-formed UTF-8 without NUL characters: the text every stored form can carry.
bool isStorableText(std::string_view text);

// The whole seconds and microseconds a stored date is split into (the reader's form); a failure for
// a date that is not finite or out of the stored range.
struct DateParts {
    std::int32_t seconds = 0;
    std::int32_t microseconds = 0;
};
Result<DateParts> storableDate(double secondsSince2001);

} // namespace vtl::plist_detail
