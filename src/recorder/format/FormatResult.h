#pragma once
// Result of parsing untrusted package bytes: a value, or a plain-sentence error message.

#include <optional>
#include <string>
#include <utility>

namespace vtl::recording {

template <class T> class FormatResult {
public:
    static FormatResult success(T value) {
        FormatResult result;
        result.m_value = std::move(value);
        return result;
    }
    static FormatResult failure(std::string message) {
        FormatResult result;
        result.m_error = std::move(message);
        return result;
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T* operator->() const { return &*m_value; }
    const T& operator*() const { return *m_value; }
    // Empty when ok().
    const std::string& error() const { return m_error; }

private:
    FormatResult() = default;
    std::optional<T> m_value;
    std::string m_error;
};

} // namespace vtl::recording
