// The JSON reader without its fast path: RapidJSON reads every document.
// FromJson gives the same result for every text; tests and fuzzing compare
// the two.
//
// Internal to the binding layer.
#pragma once

#include <string_view>

#include "binding/binding_property.h"

namespace Quarn::detail {

BindingResult ReadJsonInFull(std::string_view text);

}  // namespace Quarn::detail
