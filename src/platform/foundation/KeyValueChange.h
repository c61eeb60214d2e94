#pragma once
// What an observer of an observable property is told about one change (see ObservableObject).

#include <any>
#include <cstddef>
#include <string>
#include <vector>

namespace vtl {

class ObservableObject;

enum class KeyValueChangeKind {
    setting = 1,     // the whole value was set
    insertion = 2,   // elements were inserted into a to-many property at `indexes`
    removal = 3,     // elements were removed from a to-many property at `indexes`
    replacement = 4, // elements at `indexes` were replaced
};

// What an observer asks to be told; combine with |.
enum class KeyValueObservingOptions : unsigned {
    none = 0,
    newValue = 1 << 0, // newValue / newElements filled
    oldValue = 1 << 1, // oldValue / oldElements filled
    initial = 1 << 2,  // one notification at once, when the observation is added
    prior = 1 << 3,    // a notification before each change as well (isPrior set)
};

constexpr KeyValueObservingOptions operator|(KeyValueObservingOptions a, KeyValueObservingOptions b) {
    return static_cast<KeyValueObservingOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool hasOption(KeyValueObservingOptions options, KeyValueObservingOptions option) {
    return (static_cast<unsigned>(options) & static_cast<unsigned>(option)) != 0;
}

// An empty std::any stands for "no value" (the value was never set or is nil).
struct KeyValueChange {
    ObservableObject* object = nullptr;
    std::string key;
    KeyValueChangeKind kind = KeyValueChangeKind::setting;
    bool isPrior = false;          // sent before the change (only to observers asking for prior)
    const void* context = nullptr; // the context given when the observation was added

    // Setting: the whole value before and after.
    std::any oldValue;
    std::any newValue;

    // Insertion, removal, replacement: ascending indexes and the elements there before (removal,
    // replacement) and after (insertion, replacement).
    std::vector<std::size_t> indexes;
    std::vector<std::any> oldElements;
    std::vector<std::any> newElements;
};

} // namespace vtl
