#pragma once
// Base of objects whose properties can be observed by key and read or written by key with
// type-erased values (key-value coding), which is how the undo machinery of the model restores
// a property without knowing its type. Subclasses report their changes explicitly: a setter calls
// willChangeValueForKey/didChangeValueForKey (or setObservedValue), an indexed accessor of a
// to-many property calls willChange/didChange with the kind and the indexes. Main thread only
// (or, in general, the one thread that owns the object).

#include "platform/foundation/KeyValueChange.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vtl {

class ObservableObject {
public:
    using Token = std::uint64_t; // 0 is never handed out
    using Observer = std::function<void(const KeyValueChange&)>;

    ObservableObject();
    // Copies share no observers.
    ObservableObject(const ObservableObject&);
    ObservableObject& operator=(const ObservableObject&);
    virtual ~ObservableObject();

    // Observes one key of this object. Returns the token for removeObserver.
    Token addObserver(const std::string& key, KeyValueObservingOptions options, const void* context,
                      Observer observer);
    // After this returns the observer is not called again, even by a change being delivered.
    // Safe from inside an observer; unknown tokens are ignored.
    void removeObserver(Token token);
    // Removes every observation of the key added with this context.
    void removeObservers(const std::string& key, const void* context);
    bool hasObservers(const std::string& key) const;

    // Key-value coding. Subclasses override for their keys and hand other keys to their base;
    // the base answers an unknown key through the assertion handler with an empty value / false.
    virtual std::any valueForKey(const std::string& key) const;
    // An empty value sets the property's "no value" (nil, default-constructed).
    virtual bool setValueForKey(const std::string& key, const std::any& value);
    // Indexed access to to-many properties; the two mutators must report their change.
    virtual std::size_t countForKey(const std::string& key) const;
    virtual std::any valueAtIndex(const std::string& key, std::size_t index) const;
    virtual bool insertValueAtIndex(const std::string& key, std::size_t index, const std::any& value);
    virtual bool removeValueAtIndex(const std::string& key, std::size_t index);

    // Change reporting. Each will must be followed by its did for the same key; pairs may nest
    // for different keys (and for the same key, innermost first).
    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);
    void willChange(KeyValueChangeKind kind, std::vector<std::size_t> indexes, const std::string& key);
    void didChange(KeyValueChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key);

    // Assigns the field between willChangeValueForKey and didChangeValueForKey.
    template <typename Field, typename Value>
    void setObservedValue(const std::string& key, Field& field, Value&& value) {
        willChangeValueForKey(key);
        field = std::forward<Value>(value);
        didChangeValueForKey(key);
    }

private:
    struct Registration;
    struct PendingChange;
    struct ObservationInfo;

    void deliver(const std::vector<std::shared_ptr<Registration>>& registrations,
                 const KeyValueChange& change, bool prior);
    std::vector<std::shared_ptr<Registration>> registrationsFor(const std::string& key) const;

    std::unique_ptr<ObservationInfo> info_; // created with the first observer
};

} // namespace vtl
