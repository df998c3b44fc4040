// Dump: a compact text of a value tree that keeps the kinds JSON hides
// (u1 Unsigned, s-1 Signed, f1.5 Float, "x" String, ~ Empty). For the
// small trees of reader tests; it recurses.
#pragma once

#include <charconv>
#include <string>

#include "binding/binding_property.h"

namespace kiv_test {

inline std::string Dump(const Quarn::BindingProperty& value) {
  using Kind = Quarn::BindingPropertyKind;
  switch (value.kind()) {
    case Kind::Empty:
      return "~";
    case Kind::Bool:
      return value.GetBool() ? "true" : "false";
    case Kind::Signed:
      return "s" + std::to_string(value.GetSigned());
    case Kind::Unsigned:
      return "u" + std::to_string(value.GetUnsigned());
    case Kind::Float: {
      char buffer[64];
      const auto end = std::to_chars(buffer, buffer + sizeof(buffer), value.GetDouble()).ptr;
      return "f" + std::string(buffer, end);
    }
    case Kind::String:
      return "\"" + std::string(value.GetString()) + "\"";
    case Kind::Blob: {
      std::string out = "b'";
      for (uint8_t byte : value.GetBlob()) out += static_cast<char>(byte);
      return out + "'";
    }
    case Kind::Enum:
      return "e" + std::to_string(value.GetEnum().value);
    case Kind::Collection: {
      std::string out = "[";
      for (const auto& element : value.Elements()) {
        if (out.size() > 1) out += ",";
        out += Dump(element);
      }
      return out + "]";
    }
    case Kind::Structure: {
      std::string out = "{";
      for (const auto& member : value.Members()) {
        if (out.size() > 1) out += ",";
        out += std::string(member.name()) + ":" + Dump(member.value());
      }
      return out + "}";
    }
  }
  return "?";
}

}  // namespace kiv_test
