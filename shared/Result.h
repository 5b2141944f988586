#pragma once

#include <optional>
#include <utility>

#include <QString>

namespace brevona {

// What an operation that can fail in an expected way returns: its value, or a one-line reason for
// the log or the caller's own message. Where no reason is needed, std::optional serves instead.
// The plugin library keeps its own delivery structures: they are part of the plugins' interface.
template<typename T> class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {}

    static Result failure(QString error)
    {
        Result result;
        result.m_error = std::move(error);
        return result;
    }

    bool has_value() const { return m_value.has_value(); }
    explicit operator bool() const { return m_value.has_value(); }

    T &operator*() { return *m_value; }
    const T &operator*() const { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }

    // Empty when there is a value.
    const QString &error() const { return m_error; }

private:
    Result() = default;

    std::optional<T> m_value;
    QString m_error;
};

} // namespace brevona
