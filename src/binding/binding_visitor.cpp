#include "binding/binding_visitor.h"

#include "binding/detail/binding_walk.h"

void Quarn::WalkBinding(const BindingProperty& value, BindingVisitor& visitor) {
  detail::WalkBindingTree(value, visitor);
}
