#pragma once
// Result of parsing untrusted package bytes: a value, or a plain-sentence error message.

#include <optional>
#include <string>
#include <utility>

namespace vtl {

template <class T> class FormatResult {
public:
    static FormatResult success(T value) {
        FormatResult result;
        result.value_ = std::move(value);
        return result;
    }
    static FormatResult failure(std::string message) {
        FormatResult result;
        result.error_ = std::move(message);
        return result;
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return *value_; }
    T& value() & { return *value_; }
    T&& value() && { return std::move(*value_); }
    const T* operator->() const { return &*value_; }
    const T& operator*() const { return *value_; }
    // Empty when ok().
    const std::string& error() const { return error_; }

private:
    FormatResult() = default;
    std::optional<T> value_;
    std::string error_;
};

} // namespace vtl
