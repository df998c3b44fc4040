// Quarn::TrovClassTables: which backend class each registered DTO travels
// as over TROV. Backend calls annotate their arguments with "__class" by
// registered type name and check the class of an answer by native type.
//
// Filled once during API registration (by the plug-in's register-API hook),
// read-only afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/static_type.h"

namespace Quarn {

struct TrovClassTables {
  // Registered DTO name ("CollectionsTrovSpellBookDTO") -> backend class name.
  std::map<std::string, std::string, std::less<>> class_by_type_name;
  // StaticType id of the native DTO -> backend class name.
  std::map<uint32_t, std::string> class_by_type_id;

  // Records T, registered as `type_name`, as backend class `class_name`
  // in both tables (replacing earlier entries).
  template <class T>
  void Add(std::string_view type_name, std::string_view class_name) {
    Add(type_name, StaticTypeOf<T>().id, class_name);
  }
  void Add(std::string_view type_name, uint32_t type_id, std::string_view class_name);

  // Null when the name or type has no class. Owned by the tables.
  const std::string* ClassOfTypeName(std::string_view type_name) const;
  const std::string* ClassOfType(uint32_t type_id) const;
};

// Adds the member "__class" to `value` when `type` is a registered
// structure whose name has a backend class, and applies the same rule to
// every field of such a structure, every element of a list and every value
// of a map, at any depth. `value` is what ToBindingValue made of a native
// value described by `type`; members it lacks are skipped.
void AnnotateTrovClasses(BindingProperty& value, const BindingTypeRef& type, const TrovClassTables& tables);

}  // namespace Quarn
