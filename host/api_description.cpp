#include "host/api_description.h"

#include <iterator>

namespace {

std::string ScalarName(uint32_t kind, const char* type_name) {
  static constexpr std::string_view kNames[] = {"none",   "bool",   "int8",   "uint8",  "int16",
                                                "uint16", "int32",  "uint32", "int64",  "uint64",
                                                "float",  "double", "string", "object", "blob"};
  if (kind < std::size(kNames)) return std::string(kNames[kind]);
  switch (kind) {
    case KIV_TYPE_ENUM:
    case KIV_TYPE_STRUCT:
      if (type_name != nullptr && type_name[0] != '\0') return type_name;
      return kind == KIV_TYPE_ENUM ? "enum" : "struct";
    case KIV_TYPE_CALLBACK:
      return "callback";
    default:
      return "kind " + std::to_string(kind);
  }
}

}  // namespace

std::string kiv::host::TypeRefName(const ApiTypeRef& type) {
  if (type.kind == KIV_TYPE_VECTOR) return "vector<" + ScalarName(type.element_kind, type.type_name) + ">";
  if (type.kind == KIV_TYPE_MAP) return "map<string, " + ScalarName(type.element_kind, type.type_name) + ">";
  return ScalarName(type.kind, type.type_name);
}

std::string kiv::host::LocationName(uint32_t location) {
  switch (location) {
    case KIV_LOCATION_ANY:
      return "any";
    case KIV_LOCATION_QUERY:
      return "query";
    case KIV_LOCATION_PATH:
      return "path";
    case KIV_LOCATION_HEADER:
      return "header";
    case KIV_LOCATION_BODY:
      return "body";
    default:
      return "location " + std::to_string(location);
  }
}

std::string kiv::host::TypeEntryKindName(uint32_t kind) {
  if (kind == KIV_TYPE_ENTRY_STRUCT) return "struct";
  if (kind == KIV_TYPE_ENTRY_ENUM) return "enum";
  return "kind " + std::to_string(kind);
}

std::string kiv::host::JoinTags(const char* const* tags, uint32_t count) {
  std::string out;
  if (tags == nullptr) return out;
  for (uint32_t i = 0; i < count; ++i) {
    if (!out.empty()) out += ", ";
    out += TextOf(tags[i]);
  }
  return out;
}
