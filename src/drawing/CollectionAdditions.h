#pragma once
// Additions for arrays and dictionaries: one-level copies, filtering by kind, equality-based
// searches and set operations. Elements held through std::shared_ptr are compared by the values
// they point to (equal but not necessarily the same object); plain values by ==.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace vtl {

// The index meaning "not found" (the largest signed 64-bit value).
inline constexpr int64_t kNotFound = std::numeric_limits<int64_t>::max();

namespace detail {
template <class T> struct IsSharedPtr : std::false_type {};
template <class T> struct IsSharedPtr<std::shared_ptr<T>> : std::true_type {};

template <class T> bool equalObjects(const T& a, const T& b) {
    if constexpr (IsSharedPtr<T>::value) {
        if (a == b) return true;
        return a && b && *a == *b;
    } else {
        return a == b;
    }
}

template <class E, class = void> struct HasCopy : std::false_type {};
template <class E>
struct HasCopy<E, std::void_t<decltype(std::declval<const E&>().copy())>> : std::true_type {};

// Elements that can copy themselves are copied: through their own copy() when they have one,
// by value when their type is not polymorphic (a copy by value would cut a subclass down).
template <class T> T copyObject(const T& v) {
    if constexpr (IsSharedPtr<T>::value) {
        using E = typename T::element_type;
        if constexpr (HasCopy<E>::value) {
            if (v) return v->copy();
        } else if constexpr (std::is_copy_constructible_v<E> && !std::is_polymorphic_v<E>) {
            if (v) return std::make_shared<E>(*v);
        }
        return v;
    } else {
        return v;
    }
}
} // namespace detail

// A copy whose elements are copies (one level: each element's own copy decides how deep it goes).
template <class T> std::vector<T> mutableDeepCopy(const std::vector<T>& array) {
    std::vector<T> out;
    out.reserve(array.size());
    for (const T& v : array)
        out.push_back(detail::copyObject(v));
    return out;
}
template <class T> std::vector<T> deepCopy(const std::vector<T>& array) {
    return mutableDeepCopy(array);
}
template <class K, class V> std::map<K, V> mutableDeepCopy(const std::map<K, V>& dictionary) {
    std::map<K, V> out;
    for (const auto& [k, v] : dictionary)
        out.emplace(k, detail::copyObject(v));
    return out;
}

// The elements that are (not) of the kind K or a subclass of it, in order.
template <class K, class T>
std::vector<std::shared_ptr<T>> objectsOfKind(const std::vector<std::shared_ptr<T>>& array) {
    std::vector<std::shared_ptr<T>> out;
    for (const auto& v : array)
        if (std::dynamic_pointer_cast<K>(v)) out.push_back(v);
    return out;
}
template <class K, class T>
std::vector<std::shared_ptr<T>> objectsNotOfKind(const std::vector<std::shared_ptr<T>>& array) {
    std::vector<std::shared_ptr<T>> out;
    for (const auto& v : array)
        if (!std::dynamic_pointer_cast<K>(v)) out.push_back(v);
    return out;
}
template <class K, class T>
std::shared_ptr<K> firstObjectOfClass(const std::vector<std::shared_ptr<T>>& array) {
    for (const auto& v : array)
        if (auto k = std::dynamic_pointer_cast<K>(v)) return k;
    return nullptr;
}

template <class T>
int64_t indexOfObjectThatIsEqualButNotNecessarilyTheSame(const std::vector<T>& array, const T& object) {
    for (size_t i = 0; i < array.size(); ++i)
        if (detail::equalObjects(array[i], object)) return static_cast<int64_t>(i);
    return kNotFound;
}

// Every element equal to one of `other` removed (all occurrences).
template <class T>
std::vector<T> arrayByRemovingObjectsFromArray(const std::vector<T>& array, const std::vector<T>& other) {
    if (other.empty()) return array;
    std::vector<T> out;
    for (const T& v : array)
        if (indexOfObjectThatIsEqualButNotNecessarilyTheSame(other, v) == kNotFound) out.push_back(v);
    return out;
}

// The distinct elements, in no particular order.
template <class T> std::vector<T> arrayOfUniqueObjects(const std::vector<T>& array) {
    std::vector<T> out;
    for (const T& v : array)
        if (indexOfObjectThatIsEqualButNotNecessarilyTheSame(out, v) == kNotFound) out.push_back(v);
    return out;
}

// The elements of the first array, in its order, that the second holds an equal of.
template <class T>
std::vector<T> arrayWithObjectsFromBothArray(const std::vector<T>& first, const std::vector<T>& second) {
    std::vector<T> out;
    for (const T& v : first)
        if (indexOfObjectThatIsEqualButNotNecessarilyTheSame(second, v) != kNotFound) out.push_back(v);
    return out;
}

template <class T>
void addIfNotNil(std::vector<std::shared_ptr<T>>& array, const std::shared_ptr<T>& object) {
    if (object) array.push_back(object);
}

// Appends each element the array does not hold yet (checked as it grows).
template <class T> void addObjectsFromArrayIfNotPresent(std::vector<T>& array, const std::vector<T>& other) {
    for (const T& v : other)
        if (indexOfObjectThatIsEqualButNotNecessarilyTheSame(array, v) == kNotFound) array.push_back(v);
}

} // namespace vtl
