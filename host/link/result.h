// Recoverable errors as values, in every layer of the host: an operation that
// can fail for a reason the user should hear (bad input, a file that cannot be
// read or written) returns a Status or an Expected<T>. Only the command line
// turns one into a message and an exit status.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace amihost {

// What went wrong, for people: "line.s2p:12: 3 numbers do not make ...".
struct Error {
    std::string text;
};

// Success, or the Error that prevented it.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : text_(std::move(error.text)), failed_(true) {}  // NOLINT: implicit

    bool ok() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    // The error's text; empty on success.
    const std::string& error() const { return text_; }

private:
    std::string text_;
    bool failed_ = false;
};

// A value, or the Error that prevented it.
template <class T>
class [[nodiscard]] Expected {
public:
    Expected(const T& value) : v_(std::in_place_index<0>, value) {}          // NOLINT: implicit
    Expected(T&& value) : v_(std::in_place_index<0>, std::move(value)) {}    // NOLINT: implicit
    Expected(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& operator*() { return std::get<0>(v_); }
    const T& operator*() const { return std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    // The error's text; empty on success.
    const std::string& error() const {
        static const std::string kNone;
        return ok() ? kNone : std::get<1>(v_).text;
    }
    Status status() const { return ok() ? Status() : Status(std::get<1>(v_)); }

private:
    std::variant<T, Error> v_;
};

}  // namespace amihost
