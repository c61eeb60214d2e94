#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <system_error>

namespace vtl {

namespace {
constexpr double saveDelaySeconds = 1.0;

std::optional<double> numberFromText(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || errno == ERANGE) return std::nullopt;
    while (*end == ' ')
        ++end;
    if (*end != '\0') return std::nullopt;
    return value;
}

std::string numberText(const PropertyList& value) {
    if (auto integer = value.integerValue()) return std::to_string(*integer);
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, *value.realValue()); // shortest exact form
    return std::string(buffer, result.ptr);
}
} // namespace

struct UserDefaults::State {
    mutable std::mutex mutex;
    std::filesystem::path file;
    PlistDictionary persistent;
    PlistDictionary registered;
    bool dirty = false;
    bool saveScheduled = false;

    // Called with the mutex held.
    Status saveLocked() {
        if (!dirty) return {};
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        if (error)
            return fail("cannot create the folder " + file.parent_path().string() + ": " + error.message());
        Status status = PropertyList(persistent).writeToFile(file, PropertyListFormat::Xml);
        if (status) dirty = false;
        return status;
    }
};

std::filesystem::path UserDefaults::settingsFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && *config && std::filesystem::path(config).is_absolute())
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = std::filesystem::temp_directory_path();
    return base / domainFolderName;
}

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(settingsFolder() / standardFileName);
    return defaults;
}

UserDefaults::UserDefaults(std::filesystem::path file)
    : state_(std::make_shared<State>()) {
    state_->file = std::move(file);
    std::error_code error;
    if (!std::filesystem::exists(state_->file, error)) return;
    auto read = PropertyList::fromFile(state_->file);
    if (!read) {
        logMessage("The settings could not be read and start empty: " + read.error());
        return;
    }
    if (!read->isDictionary()) {
        logMessage("The settings file " + state_->file.string() +
                   " holds no dictionary; the settings start empty.");
        return;
    }
    // An entry that could not be written back (text that is not UTF-8, say) would make every
    // later write fail; such entries are dropped.
    for (const auto& [key, value] : *read->dictionaryValue()) {
        if (Result<PlistBytes> stored =
                PropertyList::dictionary({{key, value}}).toBytes(PropertyListFormat::Binary);
            !stored) {
            logMessage("The setting \"" + key + "\" in " + state_->file.string() +
                       " was dropped: " + stored.error());
            continue;
        }
        state_->persistent.set(key, value);
    }
}

UserDefaults::~UserDefaults() {
    std::lock_guard lock(state_->mutex);
    if (Status status = state_->saveLocked(); !status)
        logMessage("The settings could not be saved: " + status.error());
}

const std::filesystem::path& UserDefaults::file() const {
    return state_->file;
}

void UserDefaults::registerDefaults(const PlistDictionary& defaults) {
    std::lock_guard lock(state_->mutex);
    for (const auto& [key, value] : defaults)
        state_->registered.set(key, value);
}

std::optional<PropertyList> UserDefaults::objectForKey(std::string_view key) const {
    std::lock_guard lock(state_->mutex);
    if (const PropertyList* value = state_->persistent.find(key)) return *value;
    if (const PropertyList* value = state_->registered.find(key)) return *value;
    return std::nullopt;
}

bool UserDefaults::boolForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (!value) return false;
    if (auto flag = value->boolValue()) return *flag;
    if (auto number = value->numberValue()) return *number != 0;
    if (const std::string* text = value->stringValue()) {
        if (*text == "YES" || *text == "yes" || *text == "true" || *text == "TRUE") return true;
        auto number = numberFromText(*text);
        return number && *number != 0;
    }
    return false;
}

double UserDefaults::doubleForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (!value) return 0;
    if (auto number = value->numberValue()) return *number;
    if (auto flag = value->boolValue()) return *flag ? 1 : 0;
    if (const std::string* text = value->stringValue()) return numberFromText(*text).value_or(0);
    return 0;
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (!value) return 0;
    if (auto integer = value->integerValue()) return *integer;
    double number = doubleForKey(key);
    // Out-of-range and not-a-number values give the neutral 0 rather than undefined results.
    if (!(number > -9.2e18 && number < 9.2e18)) return 0;
    return static_cast<std::int64_t>(number);
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (!value) return std::nullopt;
    if (const std::string* text = value->stringValue()) return *text;
    if (value->numberValue()) return numberText(*value);
    return std::nullopt;
}

std::optional<PlistBytes> UserDefaults::dataForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (const PlistBytes* bytes = value ? value->dataValue() : nullptr) return *bytes;
    return std::nullopt;
}

std::optional<PlistArray> UserDefaults::arrayForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (const PlistArray* array = value ? value->arrayValue() : nullptr) return *array;
    return std::nullopt;
}

std::optional<PlistDictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
    auto value = objectForKey(key);
    if (const PlistDictionary* dictionary = value ? value->dictionaryValue() : nullptr) return *dictionary;
    return std::nullopt;
}

Status UserDefaults::set(std::string_view key, PropertyList value) {
    if (value.isNone()) {
        remove(key);
        return {};
    }
    // Kept, such a value would make every later write of the file fail, losing every change.
    if (Result<PlistBytes> stored = value.toBytes(PropertyListFormat::Binary); !stored) {
        logMessage("The setting \"" + std::string(key) + "\" was not changed: " + stored.error());
        return stored.asFailure();
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->persistent.set(std::string(key), std::move(value));
        state_->dirty = true;
    }
    scheduleSave();
    return {};
}

void UserDefaults::remove(std::string_view key) {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->persistent.remove(key)) return;
        state_->dirty = true;
    }
    scheduleSave();
}

Status UserDefaults::synchronize() {
    std::lock_guard lock(state_->mutex);
    return state_->saveLocked();
}

void UserDefaults::scheduleSave() {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->saveScheduled) return;
        state_->saveScheduled = true;
    }
    // A burst of changes becomes one write; the settings may be gone by then.
    std::weak_ptr<State> weak = state_;
    DispatchQueue::globalQueue()->after(saveDelaySeconds, [weak] {
        auto state = weak.lock();
        if (!state) return;
        std::lock_guard lock(state->mutex);
        state->saveScheduled = false;
        if (Status status = state->saveLocked(); !status)
            logMessage("The settings could not be saved: " + status.error());
    });
}

} // namespace vtl
