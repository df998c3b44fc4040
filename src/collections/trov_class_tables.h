// The TROV class tables: which backend class each registered DTO travels
// as. Backend calls annotate arguments with "__class" by registered type
// name and check the class of an answer by the native type's id.
//
// Filled once by RegisterTrovDtos (collections/type_registration.h) during
// API registration; only read afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace Quarn::Client::Collections {

struct TrovClassTables {
  // Registered DTO name ("CollectionsTrovSpellBookDTO") -> backend class name.
  std::map<std::string, std::string, std::less<>> class_by_type_name;
  // StaticType id of the native DTO -> backend class name.
  std::map<uint32_t, std::string> class_by_type_id;
};

}  // namespace Quarn::Client::Collections
