#include "binding/binding_registry.h"

#include <utility>

std::string_view Quarn::TypeKindName(BindingTypeKind kind) {
  static constexpr std::string_view kNames[] = {
      "",      "bool",   "int8",   "uint8",  "int16", "uint16", "int32", "uint32", "int64",    "uint64",
      "float", "double", "string", "object", "blob",  "vector", "enum",  "struct", "callback", "map"};
  const auto code = static_cast<size_t>(kind);
  return code < std::size(kNames) ? kNames[code] : std::string_view();
}

bool Quarn::EnumeratorIsDefined(const BindingTypeInfo& enum_type, int32_t value) {
  return EnumeratorName(enum_type, value) != nullptr;
}

const char* Quarn::EnumeratorName(const BindingTypeInfo& enum_type, int32_t value) {
  // Name order decides between enumerators that share a value.
  for (const auto& [name, enumerator] : enum_type.enumerators) {
    if (enumerator.value == value) return name.c_str();
  }
  return nullptr;
}

std::optional<int32_t> Quarn::EnumeratorValue(const BindingTypeInfo& enum_type, std::string_view name) {
  const auto found = enum_type.enumerators.find(name);
  if (found == enum_type.enumerators.end()) return std::nullopt;
  return found->second.value;
}

Quarn::BindingTypeBuilder& Quarn::BindingTypeBuilder::AddField(
    std::string_view name, std::string_view description, size_t offset, const StaticType& field_type,
    BindingTypeRef type, BindingTypeRef second_type, uint8_t flags,
    std::unique_ptr<BindingFieldConverter> converter, uint8_t mark) {
  if (already_registered_) return *this;
  BindingFieldInfo& field = type_->fields.emplace_back();
  field.name = std::string(name);
  field.name_hash = detail::Fnv1a(name);
  field.description = std::string(description);
  field.static_type = &field_type;
  field.offset = offset;
  field.type = type;
  if (second_type.kind != BindingTypeKind::None) field.second_type = second_type;
  field.flags = flags;
  field.converter = std::move(converter);
  field.owner = type_;
  field.mark = mark;
  current_offset_ = offset;
  return *this;
}

Quarn::BindingTypeBuilder& Quarn::BindingTypeBuilder::AddEnumerator(std::string_view name, int32_t value,
                                                                    std::string_view description) {
  if (already_registered_) return *this;
  type_->enumerators.insert_or_assign(std::string(name), BindingEnumerator{value, std::string(description)});
  return *this;
}

Quarn::BindingTypeBuilder& Quarn::BindingTypeBuilder::SetDescription(std::string_view text) {
  if (!already_registered_) type_->description = std::string(text);
  return *this;
}

Quarn::BindingTypeBuilder& Quarn::BindingTypeBuilder::AddTag(std::string_view tag) {
  if (!already_registered_ && !tag.empty()) type_->tags.emplace_back(tag);
  return *this;
}

Quarn::BindingTypeBuilder& Quarn::BindingTypeBuilder::AddTags(std::initializer_list<std::string_view> tags) {
  for (std::string_view tag : tags) AddTag(tag);
  return *this;
}

size_t Quarn::BindingRegistry::IdHash::operator()(uint32_t id) const {
  uint32_t hash = 0x811C9DC5u;
  for (int i = 0; i < 4; ++i) {
    hash ^= (id >> (8 * i)) & 0xFFu;
    hash *= 0x01000193u;
  }
  return hash;
}

Quarn::BindingTypeBuilder Quarn::BindingRegistry::RegisterType(size_t size, std::string_view name,
                                                               const StaticType& type, bool is_enum) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = by_name_.find(name);
  if (found != by_name_.end())
    return BindingTypeBuilder(*this, found->second.get(), /*already_registered=*/true);
  auto info = std::make_unique<BindingTypeInfo>();
  info->size = size;
  info->is_enum = is_enum;
  info->name = std::string(name);
  info->type_id = type.id;
  info->static_type = &type;
  info->registry = this;
  BindingTypeInfo* raw = info.get();
  by_name_.emplace(raw->name, std::move(info));
  if (type.id != kUnindexedTypeId) by_id_.emplace(type.id, raw);
  order_.push_back(raw);
  return BindingTypeBuilder(*this, raw, /*already_registered=*/false);
}

const Quarn::BindingTypeInfo* Quarn::BindingRegistry::FindByName(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = by_name_.find(name);
  return found == by_name_.end() ? nullptr : found->second.get();
}

const Quarn::BindingTypeInfo* Quarn::BindingRegistry::FindById(const StaticType& type) const {
  return FindById(type.id);
}

const Quarn::BindingTypeInfo* Quarn::BindingRegistry::FindById(uint32_t type_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = by_id_.find(type_id);
  return found == by_id_.end() ? nullptr : found->second;
}

std::map<std::string, const Quarn::BindingTypeInfo*, std::less<>> Quarn::BindingRegistry::ListTypes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<std::string, const BindingTypeInfo*, std::less<>> types;
  for (const auto& [name, info] : by_name_) types.emplace(name, info.get());
  return types;
}

std::vector<const Quarn::BindingTypeInfo*> Quarn::BindingRegistry::TypesInRegistrationOrder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return order_;
}

const char* Quarn::BindingRegistry::EnumeratorName(const StaticType& enum_type, int32_t value) const {
  const BindingTypeInfo* info = FindById(enum_type);
  return info == nullptr ? nullptr : Quarn::EnumeratorName(*info, value);
}
