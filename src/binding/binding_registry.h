// BindingRegistry: the table of registered native structures (fields with
// offset, type and converter) and enumerations (named values), keyed by
// name and by StaticType id; plus the type kinds and references that
// describe a field's native type.
//
// Registration happens once at start-up; afterwards the contents are only
// read, so references returned by lookups are used without the lock.
//
// The typed, member-pointer registration (registry.Structure<T>(...),
// registry.Enumeration<E>(...)) is declared here and defined in
// binding/native_conversion.h: include that header to use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_property.h"
#include "binding/static_type.h"

namespace Quarn {

// The kind of a field's native type. Codes are part of the API description.
enum class BindingTypeKind : uint8_t {
  None = 0,
  Bool = 1,
  Int8 = 2,
  UInt8 = 3,
  Int16 = 4,
  UInt16 = 5,
  Int32 = 6,
  UInt32 = 7,
  Int64 = 8,
  UInt64 = 9,
  Float = 10,
  Double = 11,
  String = 12,
  Object = 13,  // a BindingProperty held as is
  Blob = 14,
  Vector = 15,
  Enum = 16,
  Struct = 17,
  Callback = 18,
  Map = 19,
};

// "bool", "int8", ..., "map" for codes 1..19; "" for any other code.
std::string_view TypeKindName(BindingTypeKind kind);

struct BindingTypeInfo;
class BindingRegistry;

// The full type of a field, argument or result.
struct BindingTypeRef {
  BindingTypeKind kind = BindingTypeKind::None;
  // Kind of the elements of a Vector or Map; None otherwise.
  BindingTypeKind element_kind = BindingTypeKind::None;
  // Struct/Enum: the type itself; Vector/Map of structs or enums: the
  // element's type; otherwise null. Owned by the registry.
  const BindingTypeInfo* type = nullptr;
};

// Field flags.
inline constexpr uint8_t kFieldOmitWhenDefault = 1;  // native to binding: skip default values
inline constexpr uint8_t kFieldRequired = 2;         // binding to native: the member must be present

// Converts one native field; one class per native field type. The field
// address points at the field inside the native structure.
class BindingFieldConverter {
 public:
  virtual ~BindingFieldConverter() = default;
  // Assigns the field from `source`, reporting failures into `result` under
  // `name`. Does nothing when `result` has already failed.
  // `element_type` is the field's BindingTypeRef::type (may be null).
  virtual void FromBinding(BindingResult& result, void* field, const BindingProperty& source,
                           std::string_view name, const BindingTypeInfo* element_type,
                           const BindingRegistry& registry, void* context) const = 0;
  // Builds the field's value into `out`, reporting failures into `status`.
  // `out` may lie inside status.value: after a failure it must not be used.
  virtual void ToBinding(BindingResult& status, BindingProperty& out, const void* field,
                         const BindingTypeInfo* element_type, const BindingRegistry& registry) const = 0;
};

struct BindingFieldInfo {
  std::string name;
  uint32_t name_hash = 0;  // FNV-1a of the name
  std::string description;
  const StaticType* static_type = nullptr;  // of the field's native type
  size_t offset = 0;                        // in the native structure
  BindingTypeRef type;
  BindingTypeRef second_type;                        // stored only when its kind is not None
  uint8_t flags = 0;                                 // kFieldOmitWhenDefault | kFieldRequired
  std::unique_ptr<BindingFieldConverter> converter;  // owned by the field
  const BindingTypeInfo* owner = nullptr;
  uint8_t mark = 0;
};

struct BindingEnumerator {
  int32_t value = 0;
  std::string description;
};

struct BindingTypeInfo {
  size_t size = 0;  // native size in bytes
  bool is_enum = false;
  std::string name;  // the registration key
  uint32_t type_id = 0;
  const StaticType* static_type = nullptr;
  std::string name_space;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFieldInfo> fields;  // registration order (structures)
  // By name, byte order (enumerations).
  std::map<std::string, BindingEnumerator, std::less<>> enumerators;
  const BindingRegistry* registry = nullptr;
};

// True when some enumerator of `enum_type` has `value`.
bool EnumeratorIsDefined(const BindingTypeInfo& enum_type, int32_t value);
// The first name in name order whose value is `value`; null when none.
// Owned by the type info.
const char* EnumeratorName(const BindingTypeInfo& enum_type, int32_t value);
// Exact, case-sensitive lookup by name.
std::optional<int32_t> EnumeratorValue(const BindingTypeInfo& enum_type, std::string_view name);

// Adds fields, enumerators, description and tags to a type being
// registered. Every operation does nothing when the type was already
// registered (the first registration of a name wins).
class BindingTypeBuilder {
 public:
  BindingTypeBuilder(BindingRegistry& registry, BindingTypeInfo* type, bool already_registered)
      : registry_(&registry), type_(type), already_registered_(already_registered) {}

  // Takes ownership of `converter`. `second_type` is stored only when its
  // kind is not None.
  BindingTypeBuilder& AddField(std::string_view name, std::string_view description, size_t offset,
                               const StaticType& field_type, BindingTypeRef type, BindingTypeRef second_type,
                               uint8_t flags, std::unique_ptr<BindingFieldConverter> converter,
                               uint8_t mark = 0);
  // Inserts or overwrites the enumerator of that name.
  BindingTypeBuilder& AddEnumerator(std::string_view name, int32_t value, std::string_view description = {});
  BindingTypeBuilder& SetDescription(std::string_view text);
  BindingTypeBuilder& AddTag(std::string_view tag);  // "" is ignored
  BindingTypeBuilder& AddTags(std::initializer_list<std::string_view> tags);

  bool already_registered() const { return already_registered_; }
  BindingTypeInfo* type() const { return type_; }
  BindingRegistry& registry() const { return *registry_; }

 private:
  BindingRegistry* registry_;
  BindingTypeInfo* type_;
  size_t current_offset_ = 0;  // end of the last field added, for help only
  bool already_registered_;
};

template <class T>
class StructureBuilder;  // binding/native_conversion.h
template <class E>
class EnumerationBuilder;  // binding/native_conversion.h

class BindingRegistry {
 public:
  BindingRegistry() = default;
  BindingRegistry(const BindingRegistry&) = delete;
  BindingRegistry& operator=(const BindingRegistry&) = delete;

  // Under the mutex: a builder for a new type, or (already_registered set)
  // for the existing type of that name. A type whose id is
  // kUnindexedTypeId is found by name only.
  BindingTypeBuilder RegisterType(size_t size, std::string_view name, const StaticType& type, bool is_enum);

  // Typed registration from member pointers; see binding/native_conversion.h.
  //   registry.Structure<PageDto>("PageDto").Field("id", &PageDto::id);
  //   registry.Enumeration<Kind>("Kind").Value("summoner-icon", Kind::kSummonerIcon);
  template <class T>
  StructureBuilder<T> Structure(std::string_view name);
  template <class E>
  EnumerationBuilder<E> Enumeration(std::string_view name);

  // Null when not registered. The result is owned by the registry and lives
  // as long as it.
  const BindingTypeInfo* FindByName(std::string_view name) const;
  const BindingTypeInfo* FindById(const StaticType& type) const;
  const BindingTypeInfo* FindById(uint32_t type_id) const;

  // Copies taken under the mutex: by name, and in registration order.
  std::map<std::string, const BindingTypeInfo*, std::less<>> ListTypes() const;
  std::vector<const BindingTypeInfo*> TypesInRegistrationOrder() const;

  // The enumerator name of `value` in the enumeration registered for
  // `enum_type`; null when the type is unknown or the value has no name.
  const char* EnumeratorName(const StaticType& enum_type, int32_t value) const;

  // Registered under this id, a type is found by name only.
  static constexpr uint32_t kUnindexedTypeId = 0x1BE7EF8E;

 private:
  // FNV-1a over the id's four bytes, low byte first.
  struct IdHash {
    size_t operator()(uint32_t id) const;
  };

  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<BindingTypeInfo>, std::less<>> by_name_;
  std::unordered_map<uint32_t, const BindingTypeInfo*, IdHash> by_id_;
  std::vector<const BindingTypeInfo*> order_;
};

}  // namespace Quarn
