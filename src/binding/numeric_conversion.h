// The scalar rules of native conversion: a binding value to a number, bool,
// enumerator or text, with range checks and the exact failure messages.
//
// Every rule does nothing and returns 0 (false, 0.0, "") when `result` has
// already failed; a rule that fails calls result.Fail(message) and returns
// 0. `name` (a field, argument or fixed word such as "yaml") fills '%1' of
// the messages; `type_name` is the native type's name in messages ("int32").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_property.h"

namespace Quarn {

struct BindingTypeInfo;
class BindingRegistry;

// Signed, Unsigned, Float (truncated), String (base prefix "0x"/"0"
// detected), Enum; accepted within [min, max].
int64_t ToSigned(BindingResult& result, const BindingProperty& value, std::string_view name, int64_t min,
                 int64_t max, std::string_view type_name);
// As ToSigned, within [0, max]; a text starting with "-" is out of range.
uint64_t ToUnsigned(BindingResult& result, const BindingProperty& value, std::string_view name, uint64_t max,
                    std::string_view type_name);
// Numbers and decimal or hexadecimal floating-point text within [min, max];
// a NaN Float passes.
double ToDouble(BindingResult& result, const BindingProperty& value, std::string_view name, double min,
                double max, std::string_view type_name);
// Bool, or exactly "true"/"1"/"false"/"0".
bool ToBool(BindingResult& result, const BindingProperty& value, std::string_view name);
// A defined value of `enum_type`: by number, enumerator name or numeric text.
int32_t ToEnum(BindingResult& result, const BindingProperty& value, std::string_view name,
               const BindingTypeInfo& enum_type);
// String, or an Enum's name (looked up in `registry`, which may be null).
std::string ToText(BindingResult& result, const BindingProperty& value, std::string_view name,
                   const BindingRegistry* registry);

}  // namespace Quarn
