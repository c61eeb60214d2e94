#pragma once
// Where the drawing module keeps values in the user's preferences, as texts under keys. The
// program installs one backed by its user defaults; until then an in-memory store serves.
// Process-wide; set it on the main thread at start-up.

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vtl {

class PreferencesTextStore {
public:
    virtual ~PreferencesTextStore() = default;
    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;

    // The store in use; never null.
    static PreferencesTextStore& standard();
    static void setStandard(std::shared_ptr<PreferencesTextStore> store);
};

// A store that lives in memory only.
class MemoryPreferencesTextStore : public PreferencesTextStore {
public:
    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setString(const std::string& key, const std::string& value) override { values_[key] = value; }

private:
    std::map<std::string, std::string> values_;
};

} // namespace vtl
