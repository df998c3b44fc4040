#include "binding/numeric_conversion.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "binding/binding_registry.h"
#include "binding/conversion_messages.h"
#include "binding/detail/c_locale_numbers.h"
#include "binding/message_format.h"

namespace Msg = Quarn::ConversionMessage;
using Quarn::BindingPropertyKind;

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The first character after leading white space.
char FirstSignificant(const char* text) {
  while (IsSpace(*text)) ++text;
  return *text;
}

template <class... Args>
void Fail(Quarn::BindingResult& result, std::string_view tmpl, const Args&... args) {
  result.Fail(Quarn::Format(tmpl, args...));
}

}  // namespace

int64_t Quarn::ToSigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                        int64_t min, int64_t max, std::string_view type_name) {
  if (!result.ok()) return 0;
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, Msg::kRequired, name);
      return 0;
    case BindingPropertyKind::Signed: {
      const int64_t v = value.GetSigned();
      if (v < min || v > max) break;
      return v;
    }
    case BindingPropertyKind::Unsigned: {
      const uint64_t v = value.GetUnsigned();
      if (max < 0 || v > static_cast<uint64_t>(max) || (min > 0 && v < static_cast<uint64_t>(min))) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      return static_cast<int64_t>(v);
    }
    case BindingPropertyKind::Float: {
      const double v = value.GetDouble();
      // A NaN has no integer value; 2^63 itself does not fit although it
      // compares equal to the rounded maximum.
      if (std::isnan(v) || v < static_cast<double>(min) || v > static_cast<double>(max) || v >= kTwoTo63) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      const auto truncated = static_cast<int64_t>(v);
      if (truncated < min || truncated > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      return truncated;
    }
    case BindingPropertyKind::String: {
      const std::string_view text = value.GetString();
      if (text.empty()) {
        if (0 < min || 0 > max) {
          Fail(result, Msg::kOutOfRange, text, name, type_name);
          return 0;
        }
        return 0;
      }
      char* end = nullptr;
      errno = 0;
      const long long v = detail::StrToSigned(text.data(), &end, 0);  // interned texts are NUL-terminated
      if (end == text.data() || *end != '\0') {
        Fail(result, Msg::kIncorrectFormat, text, name, type_name);
        return 0;
      }
      if (errno == ERANGE || v < min || v > max) {
        Fail(result, Msg::kOutOfRange, text, name, type_name);
        return 0;
      }
      return v;
    }
    case BindingPropertyKind::Enum: {
      const int64_t v = value.GetEnum().value;
      if (v < min || v > max) break;
      return v;
    }
    default:
      Fail(result, Msg::kInvalidType, name, type_name, KindName(value.kind()));
      return 0;
  }
  // Signed and Enum out of range.
  Fail(result, Msg::kOutOfRange,
       value.kind() == BindingPropertyKind::Signed ? value.GetSigned() : int64_t{value.GetEnum().value}, name,
       type_name);
  return 0;
}

uint64_t Quarn::ToUnsigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                           uint64_t max, std::string_view type_name) {
  if (!result.ok()) return 0;
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, Msg::kRequired, name);
      return 0;
    case BindingPropertyKind::Signed: {
      const int64_t v = value.GetSigned();
      if (v < 0 || static_cast<uint64_t>(v) > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      return static_cast<uint64_t>(v);
    }
    case BindingPropertyKind::Unsigned: {
      const uint64_t v = value.GetUnsigned();
      if (v > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      return v;
    }
    case BindingPropertyKind::Float: {
      const double v = value.GetDouble();
      if (std::isnan(v) || v < 0 || v > static_cast<double>(max) || v >= kTwoTo64) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      const auto truncated = static_cast<uint64_t>(v);
      if (truncated > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      return truncated;
    }
    case BindingPropertyKind::String: {
      const std::string_view text = value.GetString();
      if (text.empty()) return 0;
      char* end = nullptr;
      errno = 0;
      const unsigned long long v = detail::StrToUnsigned(text.data(), &end, 0);
      if (end == text.data() || *end != '\0') {
        Fail(result, Msg::kIncorrectFormat, text, name, type_name);
        return 0;
      }
      // The C conversion negates "-1" into the maximum; a sign (after any
      // leading white space) is out of range for an unsigned type.
      if (FirstSignificant(text.data()) == '-' || errno == ERANGE || v > max) {
        Fail(result, Msg::kOutOfRange, text, name, type_name);
        return 0;
      }
      return v;
    }
    case BindingPropertyKind::Enum: {
      const int32_t v = value.GetEnum().value;
      if (v < 0 || static_cast<uint64_t>(v) > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0;
      }
      return static_cast<uint64_t>(v);
    }
    default:
      Fail(result, Msg::kInvalidType, name, type_name, KindName(value.kind()));
      return 0;
  }
}

double Quarn::ToDouble(BindingResult& result, const BindingProperty& value, std::string_view name, double min,
                       double max, std::string_view type_name) {
  if (!result.ok()) return 0.0;
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, Msg::kRequired, name);
      return 0.0;
    case BindingPropertyKind::Signed: {
      const int64_t v = value.GetSigned();
      const auto d = static_cast<double>(v);
      if (d < min || d > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0.0;
      }
      return d;
    }
    case BindingPropertyKind::Unsigned: {
      const uint64_t v = value.GetUnsigned();
      const auto d = static_cast<double>(v);
      if (d < min || d > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0.0;
      }
      return d;
    }
    case BindingPropertyKind::Float: {
      const double v = value.GetDouble();
      if (v < min || v > max) {  // a NaN passes
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0.0;
      }
      return v;
    }
    case BindingPropertyKind::String: {
      const std::string_view text = value.GetString();
      if (text.empty()) return 0.0;
      // Only decimal and hexadecimal numbers: the C conversion would also
      // take "inf" and "nan".
      const char* p = text.data();
      while (IsSpace(*p)) ++p;
      if (*p == '+' || *p == '-') ++p;
      const bool numeric = (*p >= '0' && *p <= '9') || (*p == '.' && p[1] >= '0' && p[1] <= '9');
      char* end = nullptr;
      errno = 0;
      const double v = detail::StrToDouble(text.data(), &end);
      if (!numeric || end == text.data() || *end != '\0') {
        Fail(result, Msg::kIncorrectFormat, text, name, type_name);
        return 0.0;
      }
      if ((errno == ERANGE && std::isinf(v)) || v < min || v > max) {
        Fail(result, Msg::kOutOfRange, text, name, type_name);
        return 0.0;
      }
      return v;
    }
    case BindingPropertyKind::Enum: {
      const int32_t v = value.GetEnum().value;
      if (v < min || v > max) {
        Fail(result, Msg::kOutOfRange, v, name, type_name);
        return 0.0;
      }
      return v;
    }
    default:
      Fail(result, Msg::kInvalidType, name, type_name, KindName(value.kind()));
      return 0.0;
  }
}

bool Quarn::ToBool(BindingResult& result, const BindingProperty& value, std::string_view name) {
  if (!result.ok()) return false;
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, Msg::kRequired, name);
      return false;
    case BindingPropertyKind::Bool:
      return value.GetBool();
    case BindingPropertyKind::String: {
      const std::string_view text = value.GetString();
      if (text == "1" || text == "true") return true;
      if (text == "0" || text == "false") return false;
      Fail(result, Msg::kBoolFormat, text, name);
      return false;
    }
    default:
      Fail(result, Msg::kBoolInvalidType, name, KindName(value.kind()));
      return false;
  }
}

int32_t Quarn::ToEnum(BindingResult& result, const BindingProperty& value, std::string_view name,
                      const BindingTypeInfo& enum_type) {
  if (!result.ok()) return 0;
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, Msg::kRequired, name);
      return 0;
    case BindingPropertyKind::Signed:
    case BindingPropertyKind::Unsigned: {
      const uint64_t bits = value.kind() == BindingPropertyKind::Signed
                                ? static_cast<uint64_t>(value.GetSigned())
                                : value.GetUnsigned();
      const auto low = static_cast<int32_t>(static_cast<uint32_t>(bits));
      if (EnumeratorIsDefined(enum_type, low)) return low;
      if (value.kind() == BindingPropertyKind::Signed) {
        Fail(result, Msg::kEnumNotValid, value.GetSigned(), enum_type.name, name);
      } else {
        Fail(result, Msg::kEnumNotValid, value.GetUnsigned(), enum_type.name, name);
      }
      return 0;
    }
    case BindingPropertyKind::String: {
      const std::string_view text = value.GetString();
      if (const auto found = EnumeratorValue(enum_type, text)) return *found;
      BindingResult parsed;
      const int64_t number = ToSigned(parsed, value, name, std::numeric_limits<int64_t>::min(),
                                      std::numeric_limits<int64_t>::max(), enum_type.name);
      if (parsed.ok() && number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max() &&
          EnumeratorIsDefined(enum_type, static_cast<int32_t>(number))) {
        return static_cast<int32_t>(number);
      }
      Fail(result, Msg::kEnumNotValid, text, enum_type.name, name);
      return 0;
    }
    case BindingPropertyKind::Enum: {
      const int32_t v = value.GetEnum().value;
      if (EnumeratorIsDefined(enum_type, v)) return v;
      Fail(result, Msg::kEnumNotValid, v, enum_type.name, name);
      return 0;
    }
    default:
      Fail(result, Msg::kEnumInvalidType, name, KindName(value.kind()));
      return 0;
  }
}

std::string Quarn::ToText(BindingResult& result, const BindingProperty& value, std::string_view name,
                          const BindingRegistry* registry) {
  if (!result.ok()) return {};
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, Msg::kRequired, name);
      return {};
    case BindingPropertyKind::String:
      return std::string(value.GetString());
    case BindingPropertyKind::Enum: {
      const BindingEnumRecord record = value.GetEnum();
      const char* enumerator = registry != nullptr && record.type != nullptr
                                   ? registry->EnumeratorName(*record.type, record.value)
                                   : nullptr;
      if (enumerator != nullptr) return enumerator;
      Fail(result, Msg::kEnumNameMissing, record.value, name);
      return {};
    }
    default:
      Fail(result, Msg::kNotAString, name);
      return {};
  }
}
