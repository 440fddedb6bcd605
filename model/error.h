#pragma once
// The one error type of the system: it carries a user-facing message (UTF-8).
#include <stdexcept>
#include <string>

namespace qp {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A file could not be read or written (as opposed to a project that was refused).
class FileError : public Error {
public:
    using Error::Error;
};

}  // namespace qp
