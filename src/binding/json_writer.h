// ToJson: writes a value tree as JSON text, compact or pretty.
//
// Members are written in name order, 64-bit integers exactly and unquoted,
// Floats in their shortest round-trip form with a fraction ("1.0", "-0.0"),
// Blobs as padded Base64 strings, Enums by enumerator name when a registry
// knows one and as their number otherwise. A NaN or infinite Float, which
// has no JSON form, is written as null.
#pragma once

#include <cstdio>
#include <string>

#include "binding/binding_property.h"
#include "binding/binding_visitor.h"

namespace Quarn {

class BindingRegistry;

// The JSON text of `value`; "" for an Empty value.
// `registry` (borrowed for the duration of the call, may be null) names
// enumerators. `newline` null or "" writes compact JSON; otherwise the
// output is pretty (four spaces per level) and each line end is `newline`
// ("\r\n" gives Windows line ends). Never fails; any depth is safe.
std::string ToJson(const BindingProperty& value, const BindingRegistry* registry = nullptr,
                   const char* newline = nullptr);

// Writes the same text as ToJson (line ends "\n" when pretty) to `out` as
// it goes, through a small buffer, so a large value is never held as text
// whole. False when writing failed.
bool WriteJson(const BindingProperty& value, std::FILE* out, bool pretty,
               const BindingRegistry* registry = nullptr);

}  // namespace Quarn
