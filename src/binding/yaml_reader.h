// ReadYaml: reads one YAML document into a value tree.
//
// Plain scalars resolve by the YAML 1.1 word lists (null, true, false) and
// as numbers; quoted scalars are Strings. The tags !!str, !!int, !!float and
// !!bool are understood, any other tag fails; !!bool with a word outside
// both lists fails too. Plain integers that fit 64 bits are exact; integral
// numbers beyond them stay Floats. Mapping keys are texts, taken
// unresolved; an alias as a key must name a key or a String. Aliases are
// expanded by copying the anchored node as it is when the alias is read;
// an alias into a node still open is a cycle and fails. Repeated keys
// select the same member: mappings merge, sequences append, anything else
// replaces.
#pragma once

#include <string_view>

#include "binding/binding_property.h"

namespace Quarn {

// The value of `text` (UTF-8, borrowed for the call). Empty text or only
// comments gives ok and Empty. Failures carry line and column ("At line: 3
// col: 5", counted from 1; libyaml's own errors as libyaml counts them).
// Limits that keep hostile input cheap: flow collections nest at most 1000
// levels (block nesting is not limited), and aliases may copy at most
// 1000000 values in total.
BindingResult ReadYaml(std::string_view text);

}  // namespace Quarn
