// FromJson: reads JSON text into a value tree.
//
// Strict JSON (no comments, trailing commas, NaN or Infinity); the whole
// text must be one value followed only by white space. Numbers without sign,
// fraction or exponent that fit 64 bits become Unsigned, such numbers with a
// minus sign Signed, all others Float. A key that occurs twice selects the
// same member: objects merge, arrays append, anything else replaces.
#pragma once

#include <string>
#include <string_view>

#include "binding/binding_property.h"

namespace Quarn {

// The value of `text`, read up to its first NUL byte. Blank text (spaces,
// tabs, line ends only) gives ok and an Empty value. On malformed text the
// result fails with "Error: <reason> at offset <byte offset>." where the
// offset counts from the start of `text`. Any nesting depth is safe.
BindingResult FromJson(std::string_view text);

// The failure text for a RapidJSON error code (an int, so that callers need
// not include RapidJSON) and byte offset: "Error: %s at offset %u.".
std::string JsonErrorMessage(int code, size_t offset);

}  // namespace Quarn
