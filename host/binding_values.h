// Bridges between the host's values and the binding values, so host code
// can read world files and documents with the binding readers (JSON, YAML,
// MessagePack) and hand the result to a plug-in as a HostValue.
#pragma once

#include "binding/binding_property.h"
#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_value.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

// A host-owned copy of `value`: structures become objects (members in name
// order), enums their number. Fails when a text, byte string or container
// is too long for a 32-bit count.
Quarn::Maybe<OwnedValue> FromBinding(const Quarn::BindingProperty& value);

// A binding value built from `value` (borrowed for the duration of the
// call). Fails on an invalid tag anywhere in the tree, with the binding
// layer's conversion message.
Quarn::Maybe<Quarn::BindingProperty> ToBinding(const HostValue& value);

}  // namespace kiv::host
