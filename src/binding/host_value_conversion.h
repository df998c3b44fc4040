// Conversion between binding values and the host's tagged HostValue
// records (include/kiv/plugin_abi.h). Both directions walk the tree with an
// explicit stack, so any depth is safe.
#pragma once

#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

class BindingRegistry;

// Builds `target` from `value` (borrowed for the duration of the call; its
// texts and bytes are copied). Tags 5/6 and 7/8 read alike. On a tag above
// 10 anywhere in the tree, returns false, leaves `target` Empty and sets
// `error` to "Couldn't assign value to '<name>' of type object because the
// input is of an incompatible type '<tag name>'.".
bool FromHostValue(BindingProperty& target, const HostValue& value, std::string_view name,
                   std::string& error);

// Builds `out` from `value`: texts as tag 6, bytes as tag 8, collections as
// tag 9, structures as tag 10 (members in name order, each entry's last byte
// 1), enums by name (tag 6) when `registry` (may be null) names the value,
// else as tag 2. Everything allocated is owned by the caller and released by
// ReleaseHostValue(out). On failure (a text, byte string or container too
// long for the record's 32-bit count) returns false, leaves `out` as tag 0
// with nothing allocated, and sets `error` when given.
bool ToHostValue(HostValue& out, const BindingProperty& value, const BindingRegistry* registry);
bool ToHostValue(HostValue& out, const BindingProperty& value, const BindingRegistry* registry,
                 std::string& error);

// As ToHostValue, but the whole tree of a Collection or Structure lives in
// one allocation that starts at out.data.seq.data (null for an empty
// container): texts are tag 5, bytes tag 7 and member keys have their last
// byte 0, all borrowed from that block. Free it with one std::free of that
// pointer, never with ReleaseHostValue: an answer is written and released
// with two allocator calls instead of two per text and container.
// REQUIRES: value is a Collection or a Structure.
bool ToHostValueInOneBlock(HostValue& out, const BindingProperty& value, const BindingRegistry* registry,
                           std::string& error);

// Frees what ToHostValue allocated in `value` (tags 6, 8, 9, 10, and member
// keys) and resets it to tag 0. Only for values built by ToHostValue.
void ReleaseHostValue(HostValue& value);

}  // namespace Quarn
