// Message templates: the bounded printf-compatible positional formatter
// ("%1", "%2$5d", ...) and the named form ("{method}") built on it.
//
// Formatting never fails: a bad or over-long placeholder, or one whose
// argument is missing, ends the output there; overflow is cut at capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Quarn {

// One argument of a formatting call: a borrowed reference to the value plus
// the formatter chosen by its type. Valid only for the duration of the call.
class FormatArg {
 public:
  enum class Kind : uint8_t { kInt32, kUint32, kInt64, kUint64, kUint8, kChar, kDouble, kText, kBool };

  FormatArg(int32_t v) : kind_(Kind::kInt32) { value_.i = v; }
  FormatArg(uint32_t v) : kind_(Kind::kUint32) { value_.u = v; }
  FormatArg(long v) : kind_(Kind::kInt64) { value_.i = v; }
  FormatArg(unsigned long v) : kind_(Kind::kUint64) { value_.u = v; }
  FormatArg(long long v) : kind_(Kind::kInt64) { value_.i = v; }
  FormatArg(unsigned long long v) : kind_(Kind::kUint64) { value_.u = v; }
  FormatArg(uint8_t v) : kind_(Kind::kUint8) { value_.u = v; }
  FormatArg(char v) : kind_(Kind::kChar) { value_.i = v; }
  FormatArg(int8_t v) : kind_(Kind::kChar) { value_.i = v; }
  FormatArg(int16_t v) : kind_(Kind::kInt32) { value_.i = v; }
  FormatArg(uint16_t v) : kind_(Kind::kUint32) { value_.u = v; }
  FormatArg(double v) : kind_(Kind::kDouble) { value_.d = v; }
  FormatArg(float v) : kind_(Kind::kDouble) { value_.d = v; }
  FormatArg(bool v) : kind_(Kind::kBool) { value_.u = v ? 1 : 0; }
  FormatArg(const char* v) : kind_(Kind::kText), text_(v ? v : "") {}
  FormatArg(std::string_view v) : kind_(Kind::kText), text_(v) {}
  FormatArg(const std::string& v) : kind_(Kind::kText), text_(v) {}

  Kind kind() const { return kind_; }
  int64_t AsSigned() const { return value_.i; }
  uint64_t AsUnsigned() const { return value_.u; }
  double AsDouble() const { return value_.d; }
  std::string_view AsText() const { return text_; }

 private:
  Kind kind_;
  union {
    int64_t i;
    uint64_t u;
    double d;
  } value_{};
  std::string_view text_;
};

// Every binding-layer message fits this buffer (4095 characters and a NUL).
inline constexpr size_t kMessageCapacity = 4096;

// Formats `tmpl` with positional placeholders into `buffer`; returns the
// number of characters written. The buffer is always NUL-terminated.
// REQUIRES: capacity > 0.
size_t FormatMessage(char* buffer, size_t capacity, std::string_view tmpl, const FormatArg* args,
                     size_t count);

// FormatMessage into a new text with a 4096-byte buffer.
std::string FormatToString(std::string_view tmpl, const FormatArg* args, size_t count);

template <class... Args>
std::string Format(std::string_view tmpl, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatToString(tmpl, nullptr, 0);
  } else {
    const FormatArg table[] = {FormatArg(args)...};
    return FormatToString(tmpl, table, sizeof...(Args));
  }
}

// A named field of a formatted message: "errorCode_int" -> 404.
using FieldValue = std::variant<bool, int64_t, uint64_t, double, std::string>;
struct NamedField {
  std::string name;  // with its type suffix ("_int", "_str", ...)
  FieldValue value;
};

struct NamedMessage {
  std::string text;
  std::vector<NamedField> fields;
};

// Formats a "{name}" template: placeholders take the arguments in order of
// appearance; each adds a named field.
NamedMessage FormatNamedArgs(std::string_view tmpl, const FormatArg* args, size_t count);

template <class... Args>
NamedMessage FormatNamed(std::string_view tmpl, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatNamedArgs(tmpl, nullptr, 0);
  } else {
    const FormatArg table[] = {FormatArg(args)...};
    return FormatNamedArgs(tmpl, table, sizeof...(Args));
  }
}

}  // namespace Quarn
