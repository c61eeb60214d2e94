#pragma once
// Localized texts looked up by key in named string tables ("Localizable" by default) loaded from
// resources/strings/<table>.strings. A missing key gives the key itself and is logged once.
// The tables are loaded once per process and read-only afterwards, so lookups are thread-safe.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vtl {

std::string localizedString(std::string_view key, std::string_view table = "Localizable");

// Parses the text of a table: lines of "key" = "value"; with \" \\ \n escapes and // or /* */ comments.
// Returns false (and fills nothing) when the text is malformed.
bool parseStringsTable(std::string_view text, std::vector<std::pair<std::string, std::string>>& entries);

} // namespace vtl
