#pragma once
// The user's settings: a persistent property list (one file per program domain, under
// $XDG_CONFIG_HOME/com.morlunesoftware.vistrel3/, or ~/.config/... without it) in front of a
// registration domain of defaults that the program registers at start and never stores.
// Thread-safe. Changes are written a moment after they are made, by synchronize(), and when the
// object goes away; every write replaces the file atomically.

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vtl {

class UserDefaults {
public:
    static constexpr const char* domainFolderName = "com.morlunesoftware.vistrel3";
    static constexpr const char* standardFileName = "defaults.plist";

    // The folder of the program's settings files (not created here).
    static std::filesystem::path settingsFolder();
    // The shared settings of the program, stored in settingsFolder()/standardFileName.
    static UserDefaults& standard();

    // Settings stored in the given file; an unreadable or damaged file is logged and the
    // settings start empty (the file is replaced on the next write).
    explicit UserDefaults(std::filesystem::path file);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // Adds to (and replaces keys of) the registration domain.
    void registerDefaults(const PlistDictionary& defaults);

    // The stored value, else the registered one, else none.
    std::optional<PropertyList> objectForKey(std::string_view key) const;

    // Typed getters convert where it is unambiguous (numbers and booleans into each other,
    // numeric text into numbers, "YES"/"true" into true, numbers into text); otherwise they
    // give the neutral value (false, 0, nullopt). A stored value of another type is not passed
    // over for the registered one.
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<PlistBytes> dataForKey(std::string_view key) const;
    std::optional<PlistArray> arrayForKey(std::string_view key) const;
    std::optional<PlistDictionary> dictionaryForKey(std::string_view key) const;

    // A None value removes the key. A value without a stored form (holding an empty value, text
    // that is not UTF-8, a date out of range) is refused with the reason, and nothing changes.
    Status set(std::string_view key, PropertyList value);
    void remove(std::string_view key);

    // Writes unsaved changes now. The result tells why a write failed; the changes stay
    // pending and are tried again by the next write.
    Status synchronize();

    const std::filesystem::path& file() const;

private:
    struct State;
    void scheduleSave();
    std::shared_ptr<State> state_;
};

} // namespace vtl
