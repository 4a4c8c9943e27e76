#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quorvel::engine {

// The one error value of the engine: a message and nothing else. The binding raises it as
// ValueError(message).
struct EngineError {
    std::string message;
};

// A value or an EngineError. Engine operations report failure through it and never throw
// (allocation failure, std::bad_alloc, is the one exception the binding catches).
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(EngineError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const EngineError& error() const& { return std::get<1>(state_); }
    EngineError&& error() && { return std::get<1>(std::move(state_)); }

private:
    std::variant<T, EngineError> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(EngineError error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const EngineError& error() const& { return *error_; }
    EngineError&& error() && { return std::move(*error_); }

private:
    std::optional<EngineError> error_;
};

}  // namespace quorvel::engine
