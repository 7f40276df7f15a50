#pragma once

#include <QString>
#include <QStringBuilder>

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// A value or the error that stopped it; a small stand-in for C++23's std::expected.
template <class E> struct Unexpected
{
    E error;
};

template <class E> Unexpected<std::decay_t<E>> unexpected(E &&error)
{
    return {std::forward<E>(error)};
}

// A string built with operator+ only refers to its parts; make it a QString at once so a
// failure built from temporaries does not outlive them.
template <class A, class B> Unexpected<QString> unexpected(const QStringBuilder<A, B> &error)
{
    return {QString(error)};
}

template <class A, class B> Unexpected<QString> unexpected(QStringBuilder<A, B> &&error)
{
    return {QString(error)};
}

template <class T, class E> class [[nodiscard]] Expected
{
public:
    Expected(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    template <class G, std::enable_if_t<std::is_convertible_v<G, E>, int> = 0>
    Expected(Unexpected<G> failure)
        : m_state(std::in_place_index<1>, E(std::move(failure.error)))
    {
    }

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T &value() { return std::get<0>(m_state); }
    const T &value() const { return std::get<0>(m_state); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    const E &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

template <class E> class [[nodiscard]] Expected<void, E>
{
public:
    Expected() = default;
    template <class G, std::enable_if_t<std::is_convertible_v<G, E>, int> = 0>
    Expected(Unexpected<G> failure)
        : m_error(E(std::move(failure.error)))
    {
    }

    bool hasValue() const { return !m_error.has_value(); }
    explicit operator bool() const { return hasValue(); }
    const E &error() const { return *m_error; }

private:
    std::optional<E> m_error;
};
