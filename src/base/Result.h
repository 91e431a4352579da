#pragma once

#include <utility>
#include <variant>

namespace tavrenhold {

// A value or an error. Errors are values: nothing here throws.
template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : m_v(std::in_place_index<0>, std::move(value)) {}
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T &value() const & { return std::get<0>(m_v); }
    T &value() & { return std::get<0>(m_v); }
    T &&value() && { return std::get<0>(std::move(m_v)); }
    const E &error() const { return std::get<1>(m_v); }
    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

    bool operator==(const Result &) const = default;

private:
    template <std::size_t I, typename... A>
    Result(std::in_place_index_t<I> i, A &&...a) : m_v(i, std::forward<A>(a)...) {}
    std::variant<T, E> m_v;
};

struct Ok {
    bool operator==(const Ok &) const = default;
};

// Result<void, E>: success carries nothing.
template <typename E>
using Status = Result<Ok, E>;

} // namespace tavrenhold
