// ApiDescriptionStore: the host's view of a plug-in's API object (its
// functions with method, path template, arguments and result; its types
// with fields or enumerators; its events), built once by the loader as the
// plain records of the boundary header, together with all the memory they
// point into.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "api/binding_api.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

class AppModule;

// What a function entry's context word points to: enough for the request
// callback to dispatch without any other state.
struct ApiRequestTarget {
  const BindingApi* api = nullptr;
  const BindingFunction* function = nullptr;
  // The module whose handlers run; kept alive while a request runs (may be
  // null: then nothing guards it).
  AppModule* module = nullptr;
};

class ApiDescriptionStore {
 public:
  // Describes `api` as it is now: functions and events in registration
  // order, types in the registry's registration order. Every text is
  // copied, so later changes of `api` do not reach the description; the
  // function records themselves are referenced (through the context
  // words), so `api` must outlive the store. `module` (may be null) is
  // recorded in every request target; `request` is every entry's request
  // callback.
  ApiDescriptionStore(const BindingApi& api, AppModule* module, ApiRequestFn request);
  ApiDescriptionStore(const ApiDescriptionStore&) = delete;
  ApiDescriptionStore& operator=(const ApiDescriptionStore&) = delete;

  // Owned by the store, valid until it is destroyed.
  const ApiDescription& description() const { return description_; }

 private:
  // Copies `text` into the store; "" for an empty text.
  const char* Keep(std::string_view text);
  // Null (and 0) for an empty list.
  const char* const* KeepTags(const std::vector<std::string>& tags, uint32_t& count);
  ApiTypeRef TypeRef(const BindingTypeRef& type);

  void DescribeFunctions(const BindingApi& api, AppModule* module, ApiRequestFn request);
  void DescribeTypes(const BindingRegistry& registry);
  void DescribeEvents(const BindingApi& api);

  // Deques: elements never move, so pointers into them stay valid.
  std::deque<std::string> texts_;
  std::deque<std::vector<const char*>> tag_lists_;
  std::deque<std::vector<ApiArgumentEntry>> arguments_;
  std::deque<std::vector<ApiFieldEntry>> fields_;
  std::deque<std::vector<ApiEnumeratorEntry>> enumerators_;
  std::deque<ApiRequestTarget> targets_;

  std::vector<ApiFunctionEntry> functions_;
  std::vector<ApiTypeEntry> types_;
  std::vector<ApiEventEntry> events_;
  ApiDescription description_{};
};

}  // namespace Quarn
