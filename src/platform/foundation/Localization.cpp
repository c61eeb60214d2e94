#include "platform/foundation/Localization.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/Resources.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace vtl {
namespace {

class Parser {
public:
    explicit Parser(std::string_view t)
        : t_(t) {}

    bool run(std::vector<std::pair<std::string, std::string>>& out) {
        std::vector<std::pair<std::string, std::string>> entries;
        while (true) {
            if (!skipSpaceAndComments()) return false;
            if (i_ >= t_.size()) break;
            std::string key, value;
            if (!quoted(key)) return false;
            if (!skipSpaceAndComments() || !consume('=')) return false;
            if (!skipSpaceAndComments() || !quoted(value)) return false;
            if (!skipSpaceAndComments() || !consume(';')) return false;
            entries.emplace_back(std::move(key), std::move(value));
        }
        out = std::move(entries);
        return true;
    }

private:
    bool consume(char c) {
        if (i_ < t_.size() && t_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool skipSpaceAndComments() {
        while (i_ < t_.size()) {
            char c = t_[i_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                ++i_;
            } else if (t_.substr(i_, 2) == "//") {
                while (i_ < t_.size() && t_[i_] != '\n')
                    ++i_;
            } else if (t_.substr(i_, 2) == "/*") {
                auto end = t_.find("*/", i_ + 2);
                if (end == std::string_view::npos) return false;
                i_ = end + 2;
            } else {
                break;
            }
        }
        return true;
    }
    bool quoted(std::string& out) {
        if (!consume('"')) return false;
        while (i_ < t_.size()) {
            char c = t_[i_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (i_ >= t_.size()) return false;
                char e = t_[i_++];
                out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else {
                out += c;
            }
        }
        return false;
    }
    std::string_view t_;
    size_t i_ = 0;
};

using Table = std::map<std::string, std::string, std::less<>>;

const Table& table(std::string_view name) {
    static std::mutex mutex;
    static std::map<std::string, Table, std::less<>> tables;
    std::lock_guard lock(mutex);
    if (auto it = tables.find(name); it != tables.end()) return it->second;
    Table& t = tables[std::string(name)];
    auto path = resourcesDirectory() / "strings" / (std::string(name) + ".strings");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        logMessage("The string table " + path.string() + " could not be opened.");
        return t;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<std::pair<std::string, std::string>> entries;
    if (!parseStringsTable(ss.str(), entries)) {
        logMessage("The string table " + path.string() + " is malformed and was ignored.");
        return t;
    }
    for (auto& [k, v] : entries)
        t[k] = v;
    return t;
}

} // namespace

bool parseStringsTable(std::string_view text, std::vector<std::pair<std::string, std::string>>& entries) {
    return Parser(text).run(entries);
}

std::string localizedString(std::string_view key, std::string_view tableName) {
    const Table& t = table(tableName);
    if (auto it = t.find(key); it != t.end()) return it->second;
    logOnce(std::string(tableName) + "/" + std::string(key), "No localized text for the key \"" +
                                                                 std::string(key) + "\" in the table " +
                                                                 std::string(tableName) + ".");
    return std::string(key);
}

} // namespace vtl
