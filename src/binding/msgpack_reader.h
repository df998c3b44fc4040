// ReadMsgPack: reads one MessagePack value into a value tree.
//
// Positive and negative fixints and the int formats give Signed, the uint
// formats Unsigned, float 32/64 Float, str String, bin Blob, array
// Collection, map Structure (keys must be strings); nil leaves its target
// as it was. Ext types and 0xC1 are errors. A repeated map key selects the
// same member, so the last value wins, and a map or array over one of the
// same kind merges into it (members by name, elements by index).
#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/binding_property.h"

namespace Quarn {

struct MsgPackReadResult {
  BindingResult result;
  // Where reading stopped: the end of the root value, the end of the data,
  // or the position of a failure.
  size_t consumed = 0;
};

// Reads the first value of `data` (`size` bytes, borrowed for the call).
// Data that ends inside a container is not an error: the containers hold
// what was read. Bytes after the root value are left unread (see consumed).
// A malformed value fails the result with a message naming the position.
// Iterative: any nesting depth is safe.
MsgPackReadResult ReadMsgPack(const uint8_t* data, size_t size);

}  // namespace Quarn
