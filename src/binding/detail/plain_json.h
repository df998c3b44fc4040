// The JSON reader's fast path: one pass over the text straight into the
// tree builder, for documents in the common form.
//
// It takes less than the full reader does and gives up at anything else:
// a malformed document, nesting deeper than kPlainJsonDepth, a NUL byte, a
// "\u" escape that is NUL or half of a surrogate pair, a number the full
// reader may refuse or round differently. Whatever it takes, the full reader
// takes too and builds the same tree from, so only speed depends on which
// path read a document. Messages and offsets come from the full reader.
//
// Internal to the binding layer.
#pragma once

#include <cstddef>
#include <string_view>

namespace Quarn {
class BindingProperty;
namespace detail {

class TreeBuilder;

inline constexpr size_t kPlainJsonDepth = 64;

// Reads `text` (one value, white space around it) into `target`. Returns
// false when it gives up, leaving `target` Empty.
bool ReadPlainJson(std::string_view text, BindingProperty& target);

// Pushes a JSON number text (already checked against the grammar): an
// integer that fits 64 bits as Signed (with a minus sign) or Unsigned, any
// other number as a correctly rounded Float, whatever the process locale.
void PushJsonNumber(std::string_view number, TreeBuilder& builder);

}  // namespace detail
}  // namespace Quarn
