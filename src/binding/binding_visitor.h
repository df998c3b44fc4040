// BindingVisitor, the interface through which a value tree is walked, and
// WalkBinding, the walk itself. The JSON writers are visitors; so may be
// anything else that serialises or inspects a whole tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "binding/binding_property.h"

namespace Quarn {

// Receives one call per node of a tree, in document order. Texts and bytes
// are borrowed for the duration of the call.
class BindingVisitor {
 public:
  virtual ~BindingVisitor() = default;

  virtual void Null() = 0;
  virtual void Bool(bool value) = 0;
  virtual void Signed(int64_t value) = 0;
  virtual void Unsigned(uint64_t value) = 0;
  virtual void Double(double value) = 0;
  virtual void String(std::string_view text) = 0;
  virtual void Blob(std::span<const uint8_t> bytes) = 0;
  virtual void Enum(const BindingEnumRecord& record) = 0;
  virtual void StartArray(size_t count) = 0;
  virtual void BeginElement(size_t index) = 0;
  virtual void EndElement(size_t index) = 0;
  virtual void EndArray(size_t count) = 0;
  virtual void StartObject(size_t count) = 0;
  virtual void Key(std::string_view name) = 0;
  virtual void EndMember() = 0;
  virtual void EndObject(size_t count) = 0;
  // A value already in the visitor's own format (for a JSON writer: JSON
  // text), passed through unchanged. WalkBinding never calls it.
  virtual void Raw(std::string_view text) = 0;
};

// Calls `visitor` for every node of `value`: Empty as Null, scalars by kind,
// a Collection as StartArray(n), then BeginElement(i), the element,
// EndElement(i) for each element, then EndArray(n); a Structure as
// StartObject(n), then Key(name), the value, EndMember() for each member in
// name order, then EndObject(n).
// Iterative: trees of any depth are walked without deep recursion.
// REQUIRES: the tree is not changed during the walk.
void WalkBinding(const BindingProperty& value, BindingVisitor& visitor);

}  // namespace Quarn
