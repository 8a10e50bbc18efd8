// Recoverable errors as values, for every tool of the project (the checker,
// the .ami reader's callers, amihost): an operation that can fail for a reason
// the user should hear returns a Status or an Expected<T>, marked must-use,
// whose error has a kind. Only a tool's command line turns one into a message,
// and ExitStatus(kind) is the one place that chooses the exit status.
//
// The model library does not use these: the runtime's blocks, the parameter
// parser's result codes and the AMI entry points keep their own conventions.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace tx {

enum class ErrorKind {
    Usage,          // the command line itself: an option, a value, a combination
    Input,          // a file or value given is not what it must be
    ModelContract,  // a model broke the AMI contract, or a check failed
    Io,             // a file could not be read or written
    Interrupted,    // Ctrl-C or a time limit
    Internal,       // a fault of the tool itself
};

// The exit status of every command line tool of the project: 0 success, 1 a
// failed check or contract breach, 2 a usage, input, I/O or internal error,
// 130 interrupted.
constexpr int kExitSuccess = 0;
constexpr int ExitStatus(ErrorKind kind) {
    return kind == ErrorKind::ModelContract ? 1 : kind == ErrorKind::Interrupted ? 130 : 2;
}

// What went wrong, for people ("line.s2p:12: 3 numbers do not make ..."), and
// of which kind.
struct Error {
    std::string text;
    ErrorKind kind = ErrorKind::Input;
};

// Success, or the Error that prevented it.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error)  // NOLINT: implicit
        : text_(std::move(error.text)), kind_(error.kind), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    // The error's text; empty on success.
    const std::string& error() const { return text_; }
    ErrorKind kind() const { return kind_; }

private:
    std::string text_;
    ErrorKind kind_ = ErrorKind::Input;
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
    ErrorKind kind() const { return ok() ? ErrorKind::Input : std::get<1>(v_).kind; }
    Status status() const { return ok() ? Status() : Status(std::get<1>(v_)); }

private:
    std::variant<T, Error> v_;
};

}  // namespace tx
