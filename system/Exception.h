#pragma once

// The program's own exception: a message meant for the user.

#include <stdexcept>
#include <string>

namespace quor {

// The program's own error. The application object shows its message in the
// error box; anything else that escapes is shown with an empty message.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  [[nodiscard]] std::string Message() const { return what(); }
};

}  // namespace quor
