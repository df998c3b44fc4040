// Quarn::Failure: what an operation that failed reports (code, message,
// named details). Built from plain text or from a "{name}" template.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/message_format.h"

namespace Quarn {

class Failure {
 public:
  Failure() = default;
  // Code 0 means "no code"; otherwise an HTTP-style status.
  explicit Failure(std::string message, uint32_t code = 0);

  // From a named template: "{name}" placeholders take `args` in order; each
  // becomes a detail. A non-zero code adds the detail "errorCode_int".
  template <class... Args>
  static Failure Named(uint32_t code, std::string_view tmpl, const Args&... args) {
    return FromNamed(code, FormatNamed(tmpl, args...));
  }
  static Failure FromNamed(uint32_t code, NamedMessage message);

  uint32_t code() const { return code_; }
  const std::string& message() const { return message_; }
  const std::vector<NamedField>& details() const { return details_; }
  // Null when no detail has that name.
  const FieldValue* FindDetail(std::string_view name) const;

 private:
  uint32_t code_ = 0;
  std::string message_;
  std::vector<NamedField> details_;
};

// The ready-made route failures.
Failure NotFound(std::string_view message = {});       // 404, "Not found" when empty
Failure InternalError(std::string_view message = {});  // 500, "Internal server error" when empty

}  // namespace Quarn
