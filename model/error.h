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

}  // namespace qp
