#pragma once
// Key-value coding and undoable key paths of a model class, from the class's one table of keys
// (Derived::keyValueTable(), a ModelKeyTable<Derived>): keys the table holds are answered from
// it, others go to Base; the undoable key paths are Base's followed by the table's. A model class
// derives from ModelKeyCoding<Itself, ItsBase> instead of ItsBase; its constructors are inherited.

#include "model/ModelKeyTable.h"

#include <string>
#include <vector>

namespace vtl {

template <typename Derived, typename Base> class ModelKeyCoding : public KeyValueCodingBase<Derived, Base> {
public:
    using KeyValueCodingBase<Derived, Base>::KeyValueCodingBase;

    std::vector<std::string> undoKeyPaths() const override {
        std::vector<std::string> keys = Base::undoKeyPaths();
        const std::vector<std::string>& own = Derived::keyValueTable().undoKeyPaths();
        keys.insert(keys.end(), own.begin(), own.end());
        return keys;
    }
};

} // namespace vtl
