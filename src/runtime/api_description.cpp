#include "runtime/api_description.h"

Quarn::ApiDescriptionStore::ApiDescriptionStore(const BindingApi& api, AppModule* module,
                                                ApiRequestFn request) {
  DescribeFunctions(api, module, request);
  DescribeTypes(api.registry());
  DescribeEvents(api);
  // The tables are complete: their buffers no longer move.
  description_.functions = functions_.empty() ? nullptr : functions_.data();
  description_.function_count = static_cast<uint32_t>(functions_.size());
  description_.types = types_.empty() ? nullptr : types_.data();
  description_.type_count = static_cast<uint32_t>(types_.size());
  description_.events = events_.empty() ? nullptr : events_.data();
  description_.event_count = static_cast<uint32_t>(events_.size());
}

const char* Quarn::ApiDescriptionStore::Keep(std::string_view text) {
  return texts_.emplace_back(text).c_str();
}

const char* const* Quarn::ApiDescriptionStore::KeepTags(const std::vector<std::string>& tags,
                                                        uint32_t& count) {
  count = static_cast<uint32_t>(tags.size());
  if (tags.empty()) return nullptr;
  std::vector<const char*>& list = tag_lists_.emplace_back();
  list.reserve(tags.size());
  for (const std::string& tag : tags) list.push_back(Keep(tag));
  return list.data();
}

ApiTypeRef Quarn::ApiDescriptionStore::TypeRef(const BindingTypeRef& type) {
  ApiTypeRef ref{};
  ref.kind = static_cast<uint32_t>(type.kind);
  ref.element_kind = static_cast<uint32_t>(type.element_kind);
  ref.type_name = type.type != nullptr ? Keep(type.type->name) : nullptr;
  return ref;
}

void Quarn::ApiDescriptionStore::DescribeFunctions(const BindingApi& api, AppModule* module,
                                                   ApiRequestFn request) {
  functions_.reserve(api.functions().size());
  for (const auto& function : api.functions()) {
    std::vector<ApiArgumentEntry>& arguments = arguments_.emplace_back();
    arguments.reserve(function->arguments().size());
    for (const BindingArgument& argument : function->arguments()) {
      ApiArgumentEntry entry{};
      entry.name = Keep(argument.name);
      entry.help = Keep(argument.help);
      entry.location = static_cast<uint32_t>(argument.location);
      entry.type = TypeRef(argument.type);
      entry.optional = argument.optional ? 1 : 0;
      arguments.push_back(entry);
    }

    ApiFunctionEntry entry{};
    entry.method = static_cast<uint32_t>(function->method());
    entry.flags = function->flags();
    entry.context = &targets_.emplace_back(ApiRequestTarget{&api, function.get(), module});
    entry.name = Keep(function->name());
    entry.path = Keep(function->path());
    entry.custom_method = Keep(function->custom_method());
    entry.arguments = arguments.empty() ? nullptr : arguments.data();
    entry.argument_count = static_cast<uint32_t>(arguments.size());
    entry.help = Keep(function->help());
    entry.tags = KeepTags(function->tags(), entry.tag_count);
    entry.result = TypeRef(function->result_type());
    entry.name_space = Keep(function->name_space());
    entry.request = request;
    functions_.push_back(entry);
  }
}

void Quarn::ApiDescriptionStore::DescribeTypes(const BindingRegistry& registry) {
  const std::vector<const BindingTypeInfo*> types = registry.TypesInRegistrationOrder();
  types_.reserve(types.size());
  for (const BindingTypeInfo* type : types) {
    ApiTypeEntry entry{};
    entry.name = Keep(type->name);
    entry.name_space = Keep(type->name_space);
    entry.description = Keep(type->description);
    entry.kind = type->is_enum ? KIV_TYPE_ENTRY_ENUM : KIV_TYPE_ENTRY_STRUCT;
    entry.size = static_cast<uint32_t>(type->size);
    entry.tags = KeepTags(type->tags, entry.tag_count);
    entry.type_id = type->type_id;
    if (type->is_enum) {
      std::vector<ApiEnumeratorEntry>& enumerators = enumerators_.emplace_back();
      enumerators.reserve(type->enumerators.size());
      for (const auto& [name, enumerator] : type->enumerators) {
        enumerators.push_back(ApiEnumeratorEntry{Keep(name), Keep(enumerator.description), enumerator.value});
      }
      entry.members.enumerators = enumerators.empty() ? nullptr : enumerators.data();
      entry.member_count = static_cast<uint32_t>(enumerators.size());
    } else {
      std::vector<ApiFieldEntry>& fields = fields_.emplace_back();
      fields.reserve(type->fields.size());
      for (const BindingFieldInfo& field : type->fields) {
        ApiFieldEntry field_entry{};
        field_entry.name = Keep(field.name);
        field_entry.description = Keep(field.description);
        field_entry.offset = static_cast<uint32_t>(field.offset);
        field_entry.type = TypeRef(field.type);
        field_entry.flags = field.flags;
        fields.push_back(field_entry);
      }
      entry.members.fields = fields.empty() ? nullptr : fields.data();
      entry.member_count = static_cast<uint32_t>(fields.size());
    }
    types_.push_back(entry);
  }
}

void Quarn::ApiDescriptionStore::DescribeEvents(const BindingApi& api) {
  events_.reserve(api.events().size());
  for (const BindingEvent& event : api.events()) {
    ApiEventEntry entry{};
    entry.name = Keep(event.name);
    entry.name_space = Keep(event.name_space);
    entry.payload_type = Keep(event.payload_type);
    entry.description = Keep(event.description);
    entry.tags = KeepTags(event.tags, entry.tag_count);
    events_.push_back(entry);
  }
}
