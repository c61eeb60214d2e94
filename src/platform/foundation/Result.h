#pragma once
// The outcome of an operation that can fail for outside reasons (files, devices, bad data):
// a value, or a plain sentence saying what went wrong. `Status` is the value-less form.
//
//     Result<Size> readSize(...) {
//         if (bad) return fail("The size is not a number.");
//         return Size{w, h};
//     }

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace vtl {

// What `fail()` makes; converts to any Result.
struct Failure {
    std::string message;
};

inline Failure fail(std::string message) {
    return Failure{std::move(message)};
}

template <class T> class [[nodiscard]] Result {
public:
    Result(T value)
        : value_(std::move(value)) {}
    Result(Failure failure)
        : error_(std::move(failure.message)) {
        if (error_.empty()) error_ = "The operation failed.";
    }

    static Result success(T value) { return Result(std::move(value)); }
    static Result failure(std::string message) { return Result(Failure{std::move(message)}); }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T& value() const& { return *value_; }
    T& value() & { return *value_; }
    T&& value() && { return std::move(*value_); }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }
    const T& operator*() const& { return *value_; }
    T& operator*() & { return *value_; }

    T valueOr(T fallback) const& { return ok() ? *value_ : std::move(fallback); }
    T valueOr(T fallback) && { return ok() ? std::move(*value_) : std::move(fallback); }

    // Empty when ok().
    const std::string& error() const { return error_; }

    // Passes a failure on to a caller that returns another kind of Result.
    Failure asFailure() const { return Failure{error_}; }

private:
    std::optional<T> value_;
    std::string error_;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure)
        : error_(std::move(failure.message))
        , failed_(true) {
        if (error_.empty()) error_ = "The operation failed.";
    }

    static Result success() { return Result(); }
    static Result failure(std::string message) { return Result(Failure{std::move(message)}); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }
    Failure asFailure() const { return Failure{error_}; }

private:
    std::string error_;
    bool failed_ = false;
};

using Status = Result<void>;

} // namespace vtl
