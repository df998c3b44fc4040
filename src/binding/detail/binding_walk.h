// The tree walk behind WalkBinding, as a template so that writers declared
// `final` get their calls inlined instead of dispatched per node. It reads
// the records directly: a getter call per node costs the writers a tenth.
#pragma once

#include <cstddef>
#include <vector>

#include "binding/binding_property.h"
#include "binding/detail/binding_document.h"

namespace Quarn::detail {

// Calls the visitor operations of BindingVisitor on `visitor` (any type
// with those members) for every node of `root`. Uses an explicit stack, so
// depth is bounded by memory, not by the call stack.
template <class Visitor>
void WalkBindingTree(const BindingProperty& root, Visitor& visitor) {
  // One open container; its children are fetched once, when it opens.
  struct Frame {
    const BindingProperty* elements;  // Collection
    const BindingMember* members;     // Structure
    size_t index;
    size_t count;
    bool is_array;
  };
  std::vector<Frame> stack;
  const BindingProperty* node = &root;

  for (;;) {
    // Visit `node`: scalars complete at once, containers push a frame.
    switch (node->kind()) {
      case BindingPropertyKind::Empty:
        visitor.Null();
        break;
      case BindingPropertyKind::Bool:
        visitor.Bool(node->GetBool());
        break;
      case BindingPropertyKind::Signed:
        visitor.Signed(node->GetSigned());
        break;
      case BindingPropertyKind::Unsigned:
        visitor.Unsigned(node->GetUnsigned());
        break;
      case BindingPropertyKind::Float:
        visitor.Double(node->GetDouble());
        break;
      case BindingPropertyKind::String:
        visitor.String(static_cast<const InternedString*>(BindingDocument::Record(*node))->view());
        break;
      case BindingPropertyKind::Blob:
        visitor.Blob(node->GetBlob());
        break;
      case BindingPropertyKind::Enum:
        visitor.Enum(node->GetEnum());
        break;
      case BindingPropertyKind::Collection: {
        const auto* record = static_cast<const CollectionRecord*>(BindingDocument::Record(*node));
        visitor.StartArray(record->size);
        stack.push_back({record->data, nullptr, 0, record->size, true});
        break;
      }
      case BindingPropertyKind::Structure: {
        const auto* record = static_cast<const StructureRecord*>(BindingDocument::Record(*node));
        visitor.StartObject(record->size);
        stack.push_back({nullptr, record->members, 0, record->size, false});
        break;
      }
      default:
        // A kind outside the table has no form; write it as null so the
        // output stays well formed.
        visitor.Null();
        break;
    }

    // Find the next node: close finished containers, open the next child.
    node = nullptr;
    while (!stack.empty()) {
      Frame& top = stack.back();
      const bool is_array = top.is_array;
      if (top.index > 0) {
        if (is_array) {
          visitor.EndElement(top.index - 1);
        } else {
          visitor.EndMember();
        }
      }
      if (top.index == top.count) {
        if (is_array) {
          visitor.EndArray(top.count);
        } else {
          visitor.EndObject(top.count);
        }
        stack.pop_back();
        continue;
      }
      const size_t i = top.index++;
      if (is_array) {
        visitor.BeginElement(i);
        node = top.elements + i;
      } else {
        visitor.Key(BindingDocument::NameOf(top.members[i])->view());
        node = &top.members[i].value();
      }
      break;
    }
    if (node == nullptr) return;
  }
}

}  // namespace Quarn::detail
