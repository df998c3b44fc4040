#include "binding/static_type.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

// Records live for the process; references handed out stay valid, so the
// tables only ever grow. Readable and id-only records are kept apart so
// each lookup always yields the same kind of name.
struct StaticTypeTable {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::unique_ptr<Quarn::StaticType>> records;
};

StaticTypeTable& ReadableTypes() {
  static StaticTypeTable* table = new StaticTypeTable();  // never destroyed: used until exit
  return *table;
}

StaticTypeTable& IdOnlyTypes() {
  static StaticTypeTable* table = new StaticTypeTable();
  return *table;
}

const Quarn::StaticType& Intern(StaticTypeTable& table, uint32_t id,
                                std::string (*make_name)(uint32_t, std::string_view),
                                std::string_view compiler_name) {
  std::lock_guard<std::mutex> lock(table.mutex);
  auto& slot = table.records[id];
  if (slot == nullptr)
    slot = std::make_unique<Quarn::StaticType>(Quarn::StaticType{id, make_name(id, compiler_name)});
  return *slot;
}

std::string ReadableName(uint32_t, std::string_view compiler_name) {
  return "StaticType::Name<class " + std::string(compiler_name) + ">";
}

std::string IdName(uint32_t id, std::string_view) {
  char text[16];
  std::snprintf(text, sizeof(text), "#%08X", id);
  return text;
}

}  // namespace

const Quarn::StaticType& Quarn::detail::InternStaticType(uint32_t id, std::string_view compiler_name) {
  return Intern(ReadableTypes(), id, &ReadableName, compiler_name);
}

const Quarn::StaticType& Quarn::StaticTypeForId(uint32_t id) {
  return Intern(IdOnlyTypes(), id, &IdName, {});
}
