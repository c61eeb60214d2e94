#pragma once
// A dictionary with string keys that keeps its keys in insertion order (stored forms are written in
// that order), with an index for lookups. Plain value; the caller owns it. Value may be incomplete
// where the dictionary is declared (recursive value types): members are only instantiated where
// they are used, by then Value is complete.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vtl {

template <typename Value> class OrderedDictionary {
public:
    using Entry = std::pair<std::string, Value>;
    using const_iterator = typename std::vector<Entry>::const_iterator;

    OrderedDictionary() = default;
    OrderedDictionary(std::initializer_list<Entry> entries) {
        for (const Entry& e : entries)
            set(e.first, e.second);
    }
    OrderedDictionary(const OrderedDictionary&) = default;
    OrderedDictionary(OrderedDictionary&&) noexcept = default;
    OrderedDictionary& operator=(const OrderedDictionary&) = default;
    OrderedDictionary& operator=(OrderedDictionary&&) noexcept = default;
    ~OrderedDictionary() = default;

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    bool contains(std::string_view key) const { return index_.find(key) != index_.end(); }

    // nullptr when the key is absent.
    const Value* find(std::string_view key) const {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }
    Value* find(std::string_view key) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }

    // Replaces the value in place when the key exists, otherwise appends it.
    void set(std::string key, Value value) {
        if (auto it = index_.find(key); it != index_.end()) {
            entries_[it->second].second = std::move(value);
            return;
        }
        index_.emplace(key, entries_.size());
        entries_.emplace_back(std::move(key), std::move(value));
    }

    // Returns false when the key was absent.
    bool remove(std::string_view key) {
        auto it = index_.find(key);
        if (it == index_.end()) return false;
        const std::size_t position = it->second;
        index_.erase(it);
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
        for (auto& [name, i] : index_)
            if (i > position) --i;
        return true;
    }

    void clear() {
        entries_.clear();
        index_.clear();
    }

    const std::vector<Entry>& entries() const { return entries_; }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    // Equal when the same keys map to equal values, in any order.
    friend bool operator==(const OrderedDictionary& a, const OrderedDictionary& b) {
        if (a.size() != b.size()) return false;
        for (const auto& [key, value] : a.entries_) {
            const Value* other = b.find(key);
            if (!other || !(*other == value)) return false;
        }
        return true;
    }

private:
    std::vector<Entry> entries_;
    std::map<std::string, std::size_t, std::less<>> index_;
};

} // namespace vtl
