#include "runtime/trov_class_tables.h"

#include <utility>
#include <vector>

void Quarn::TrovClassTables::Add(std::string_view type_name, uint32_t type_id, std::string_view class_name) {
  class_by_type_name.insert_or_assign(std::string(type_name), std::string(class_name));
  class_by_type_id.insert_or_assign(type_id, std::string(class_name));
}

const std::string* Quarn::TrovClassTables::ClassOfTypeName(std::string_view type_name) const {
  const auto found = class_by_type_name.find(type_name);
  return found == class_by_type_name.end() ? nullptr : &found->second;
}

const std::string* Quarn::TrovClassTables::ClassOfType(uint32_t type_id) const {
  const auto found = class_by_type_id.find(type_id);
  return found == class_by_type_id.end() ? nullptr : &found->second;
}

void Quarn::AnnotateTrovClasses(BindingProperty& value, const BindingTypeRef& type,
                                const TrovClassTables& tables) {
  // The value tree mirrors the native type, so walk both together. An
  // explicit stack keeps deep lists of DTOs safe.
  std::vector<std::pair<BindingProperty*, BindingTypeRef>> stack{{&value, type}};
  while (!stack.empty()) {
    auto [node, ref] = stack.back();
    stack.pop_back();
    switch (ref.kind) {
      case BindingTypeKind::Struct: {
        if (ref.type == nullptr || !node->IsStructure()) break;
        // Before the fields are queued: a new member moves the structure's
        // members (and only those).
        if (const std::string* class_name = tables.ClassOfTypeName(ref.type->name)) {
          node->Member("__class").SetString(*class_name);
        }
        for (const BindingFieldInfo& field : ref.type->fields) {
          BindingProperty* member = node->FindMember(field.name);
          if (member == nullptr) continue;
          BindingTypeRef field_type = field.type;
          // A structure registered after its owner is resolved only now.
          if (field_type.kind == BindingTypeKind::Struct && field_type.type == nullptr &&
              field.static_type != nullptr && ref.type->registry != nullptr) {
            field_type.type = ref.type->registry->FindById(*field.static_type);
          }
          stack.emplace_back(member, field_type);
        }
        break;
      }
      case BindingTypeKind::Vector:
        for (BindingProperty& element : node->Elements()) {
          stack.emplace_back(&element, BindingTypeRef{ref.element_kind, BindingTypeKind::None, ref.type});
        }
        break;
      case BindingTypeKind::Map:
        for (BindingMember& member : node->Members()) {
          stack.emplace_back(&member.value(),
                             BindingTypeRef{ref.element_kind, BindingTypeKind::None, ref.type});
        }
        break;
      default:
        break;
    }
  }
}
