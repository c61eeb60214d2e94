#pragma once
// A per-class table of accessors by key, so a subclass of ObservableObject implements key-value
// coding without a chain of string comparisons, and KeyValueCodingBase, which answers the
// key-value coding calls from the table of the class and hands unknown keys to the base class:
//
//   class Clip : public KeyValueCodingBase<Clip, ObservableObject> {
//   public:
//       static const KeyValueCodingTable<Clip>& keyValueTable() {
//           static const auto table = KeyValueCodingTable<Clip>()
//               .property("startTime", &Clip::startTime, &Clip::setStartTime)
//               .toMany("states", &Clip::countOfStates, &Clip::objectInStatesAtIndex,
//                       &Clip::insertObjectInStatesAtIndex, &Clip::removeObjectFromStatesAtIndex);
//           return table;
//       }
//       ...
//   };
//   class Shape : public KeyValueCodingBase<Shape, Clip> { ... }; // its own table, then Clip's
//
// Values travel as std::any holding exactly the getter's value type; an empty std::any given to
// a setter means the type's default (nil for pointers).

#include "platform/foundation/Log.h"
#include "platform/foundation/ObservableObject.h"

#include <any>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <utility>

namespace vtl {

template <typename Object> class KeyValueCodingTable {
public:
    struct Entry {
        std::function<std::any(const Object&)> get;
        std::function<bool(Object&, const std::any&)> set;
        std::function<std::size_t(const Object&)> count;
        std::function<std::any(const Object&, std::size_t)> at;
        std::function<bool(Object&, std::size_t, const std::any&)> insert;
        std::function<bool(Object&, std::size_t)> remove;
    };

    // A plain property. The setter may be nullptr for a read-only key.
    template <typename Getter, typename Setter>
    KeyValueCodingTable&& property(const std::string& key, Getter getter, Setter setter) && {
        using Value = std::decay_t<std::invoke_result_t<Getter, const Object&>>;
        Entry& entry = entries_[key];
        if (!entry.count) {
            entry.count = [key](const Object&) {
                assertionFailure(__FILE__, __LINE__, "countForKey: not a to-many key " + key);
                return std::size_t{0};
            };
            entry.at = [key](const Object&, std::size_t) {
                assertionFailure(__FILE__, __LINE__, "valueAtIndex: not a to-many key " + key);
                return std::any();
            };
            entry.insert = [key](Object&, std::size_t, const std::any&) {
                assertionFailure(__FILE__, __LINE__, "insertValueAtIndex: not a to-many key " + key);
                return false;
            };
            entry.remove = [key](Object&, std::size_t) {
                assertionFailure(__FILE__, __LINE__, "removeValueAtIndex: not a to-many key " + key);
                return false;
            };
        }
        entry.get = [getter](const Object& object) { return std::any(std::invoke(getter, object)); };
        if constexpr (!std::is_null_pointer_v<Setter>) {
            entry.set = [setter, key](Object& object, const std::any& value) {
                const Value* typed = nullptr;
                Value empty{};
                if (!value.has_value())
                    typed = &empty;
                else
                    typed = std::any_cast<Value>(&value);
                if (!typed) {
                    assertionFailure(__FILE__, __LINE__, "setValueForKey: wrong value type for key " + key);
                    return false;
                }
                std::invoke(setter, object, *typed);
                return true;
            };
        } else {
            entry.set = [key](Object&, const std::any&) {
                assertionFailure(__FILE__, __LINE__, "setValueForKey: read-only key " + key);
                return false;
            };
        }
        return std::move(*this);
    }

    // A to-many property through its indexed accessors (count, element at, insert at, remove at).
    template <typename Count, typename At, typename Insert, typename Remove>
    KeyValueCodingTable&& toMany(const std::string& key, Count count, At at, Insert insert,
                                 Remove remove) && {
        using Element = std::decay_t<std::invoke_result_t<At, const Object&, std::size_t>>;
        Entry& entry = entries_[key];
        if (!entry.get) {
            entry.get = [key](const Object&) {
                assertionFailure(__FILE__, __LINE__, "valueForKey: to-many key without a list getter " + key);
                return std::any();
            };
            entry.set = [key](Object&, const std::any&) {
                assertionFailure(__FILE__, __LINE__,
                                 "setValueForKey: to-many key without a list setter " + key);
                return false;
            };
        }
        entry.count = [count](const Object& object) {
            return static_cast<std::size_t>(std::invoke(count, object));
        };
        entry.at = [at, count, key](const Object& object, std::size_t index) {
            if (index >= static_cast<std::size_t>(std::invoke(count, object))) {
                assertionFailure(__FILE__, __LINE__, "valueAtIndex: index out of range for key " + key);
                return std::any();
            }
            return std::any(std::invoke(at, object, index));
        };
        entry.insert = [insert, count, key](Object& object, std::size_t index, const std::any& value) {
            const Element* typed = std::any_cast<Element>(&value);
            if (!typed || index > static_cast<std::size_t>(std::invoke(count, object))) {
                assertionFailure(__FILE__, __LINE__,
                                 "insertValueAtIndex: wrong value or index for key " + key);
                return false;
            }
            std::invoke(insert, object, *typed, index);
            return true;
        };
        entry.remove = [remove, count, key](Object& object, std::size_t index) {
            if (index >= static_cast<std::size_t>(std::invoke(count, object))) {
                assertionFailure(__FILE__, __LINE__, "removeValueAtIndex: index out of range for key " + key);
                return false;
            }
            std::invoke(remove, object, index);
            return true;
        };
        return std::move(*this);
    }

    // Whole-value access to a to-many key as well (getter of the list, setter replacing it).
    template <typename Count, typename At, typename Insert, typename Remove, typename Getter, typename Setter>
    KeyValueCodingTable&& toMany(const std::string& key, Count count, At at, Insert insert, Remove remove,
                                 Getter getter, Setter setter) && {
        std::move(*this).property(key, getter, setter);
        return std::move(*this).toMany(key, count, at, insert, remove);
    }

    // The accessors of the key, or null when this table does not know it. Every function of an
    // entry is set; those that do not apply answer through the assertion handler.
    const Entry* find(const std::string& key) const {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Entry, std::less<>> entries_;
};

// Implements the key-value coding calls of ObservableObject from Derived::keyValueTable(),
// falling back to Base for keys the table does not hold. Base is ObservableObject or a class
// derived from it; its constructors are inherited.
template <typename Derived, typename Base> class KeyValueCodingBase : public Base {
public:
    using Base::Base;

    std::any valueForKey(const std::string& key) const override {
        if (auto* entry = Derived::keyValueTable().find(key)) return entry->get(self());
        return Base::valueForKey(key);
    }
    bool setValueForKey(const std::string& key, const std::any& value) override {
        if (auto* entry = Derived::keyValueTable().find(key)) return entry->set(self(), value);
        return Base::setValueForKey(key, value);
    }
    std::size_t countForKey(const std::string& key) const override {
        if (auto* entry = Derived::keyValueTable().find(key)) return entry->count(self());
        return Base::countForKey(key);
    }
    std::any valueAtIndex(const std::string& key, std::size_t index) const override {
        if (auto* entry = Derived::keyValueTable().find(key)) return entry->at(self(), index);
        return Base::valueAtIndex(key, index);
    }
    bool insertValueAtIndex(const std::string& key, std::size_t index, const std::any& value) override {
        if (auto* entry = Derived::keyValueTable().find(key)) return entry->insert(self(), index, value);
        return Base::insertValueAtIndex(key, index, value);
    }
    bool removeValueAtIndex(const std::string& key, std::size_t index) override {
        if (auto* entry = Derived::keyValueTable().find(key)) return entry->remove(self(), index);
        return Base::removeValueAtIndex(key, index);
    }

private:
    const Derived& self() const { return static_cast<const Derived&>(*this); }
    Derived& self() { return static_cast<Derived&>(*this); }
};

} // namespace vtl
