#pragma once
// The keys of one model class, declared once: each key with its accessors for key-value coding,
// and whether its changes are undoable. The undoable keys keep their declaration order, which is
// the order the object observes them in. Built once per class (a function-local static of the
// class's keyValueTable()) and read-only afterwards; ModelKeyCoding answers from it.
//
//   static const ModelKeyTable<Clip>& keyValueTable() {
//       static const auto table = ModelKeyTable<Clip>()
//           .undoable("name", &Clip::name, &Clip::setName)
//           .undoableToMany("states", &Clip::countOfStates, &Clip::objectInStatesAtIndex,
//                           &Clip::insertObjectInStatesAtIndex, &Clip::removeObjectFromStatesAtIndex)
//           .property("properties", &Clip::propertyNames, &Clip::setPropertyNames);
//       return table;
//   }

#include "platform/foundation/KeyValueCodingTable.h"

#include <string>
#include <utility>
#include <vector>

namespace vtl {

template <typename Object> class ModelKeyTable {
public:
    using Entry = typename KeyValueCodingTable<Object>::Entry;

    // A plain property whose changes undo registers. The setter is what undo calls with the old
    // value; it may be nullptr for a key that is observed but never set by key.
    template <typename Getter, typename Setter>
    ModelKeyTable&& undoable(const std::string& key, Getter getter, Setter setter) && {
        std::move(coding_).property(key, getter, setter);
        undoKeyPaths_.push_back(key);
        return std::move(*this);
    }

    // A to-many property whose single-element insertions and removals undo registers, with
    // optionally a getter and a setter of the whole list.
    template <typename... Accessors>
    ModelKeyTable&& undoableToMany(const std::string& key, Accessors... accessors) && {
        std::move(coding_).toMany(key, accessors...);
        undoKeyPaths_.push_back(key);
        return std::move(*this);
    }

    // A key for key-value coding and observation only.
    template <typename Getter, typename Setter>
    ModelKeyTable&& property(const std::string& key, Getter getter, Setter setter) && {
        std::move(coding_).property(key, getter, setter);
        return std::move(*this);
    }

    const Entry* find(const std::string& key) const { return coding_.find(key); }
    const std::vector<std::string>& undoKeyPaths() const { return undoKeyPaths_; }

private:
    KeyValueCodingTable<Object> coding_;
    std::vector<std::string> undoKeyPaths_;
};

} // namespace vtl
