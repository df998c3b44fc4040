#include "runtime/resource_events.h"

#include <string>
#include <vector>

#include "binding/host_value_conversion.h"
#include "runtime/outbound_request.h"

bool Quarn::UriMatchesPattern(std::string_view pattern, std::string_view uri) {
  size_t p = 0;
  size_t u = 0;
  while (p < pattern.size() && u < uri.size()) {
    if (pattern[p] != '*') {
      if (pattern[p] != uri[u]) return false;
      ++p;
      ++u;
    } else if (uri[u] == '/') {
      ++p;  // the "*" ends before the "/", possibly empty
    } else {
      ++u;
      if (u == uri.size()) ++p;  // the "*" ends with the URI
    }
  }
  return p == pattern.size() && u == uri.size();
}

void Quarn::AppModule::ObserveResourceWith(std::string_view uri, ResourceHandler handler) {
  if (IsStopping()) return;
  const bool is_pattern = uri.find('*') != std::string_view::npos;
  auto& observers = is_pattern ? pattern_observers_ : exact_observers_;
  observers.insert_or_assign(std::string(uri), handler);
  Subscribe(uri);
  if (is_pattern) return;

  // Deliver the current value now, so the observer does not wait for the
  // next change. A failed fetch is not an error: the first event will do.
  Maybe<BindingProperty> current = Request<BindingProperty>(Method::Get, uri);
  if (current.HasFailure()) return;
  handler(Resource{std::string(uri), PluginResourceEventType::Create, current.TakeValue()});
}

void Quarn::AppModule::DispatchJsonApiEvent(const BindingProperty& payload) {
  Resource resource;
  BindingResult converted;
  FromBindingValue(converted, payload, "<result>", resource, registry());
  if (!converted.ok()) {
    Log(kLogOkay, kChannelXtr, "%s: Couldn't convert payload %s for event %s: %s", short_name_.c_str(),
        StaticTypeOf<Resource>().name.c_str(), kOnJsonApiEvent,
        std::string(converted.ErrorMessage()).c_str());
    return;
  }
  if (resource.uri.empty() || resource.uri.front() != '/') resource.uri.insert(0, 1, '/');

  // Copies of the handlers: an observer may observe again (replacing
  // itself) or wait inside the host while this runs.
  std::vector<ResourceHandler> handlers;
  if (const auto exact = exact_observers_.find(resource.uri); exact != exact_observers_.end()) {
    handlers.push_back(exact->second);
  }
  for (const auto& [pattern, handler] : pattern_observers_) {
    if (UriMatchesPattern(pattern, resource.uri)) handlers.push_back(handler);
  }
  for (const ResourceHandler& handler : handlers) {
    if (handler) handler(resource);
  }
}

Quarn::Maybe<void> Quarn::AppModule::PublishEvent(std::string_view base_name, const Resource& resource,
                                                  uintptr_t word) {
  if (IsStopping()) return Failure(std::string(kFinalizing));
  BindingResult converted;
  ToBindingValue(converted, resource, registry());
  if (!converted.ok()) return Failure(std::string(converted.ErrorMessage()));
  HostValue payload{};
  std::string error;
  if (!ToHostValue(payload, converted.value, &registry(), error)) return Failure(error);

  const std::string name = EventNameOfUri(resource.uri);
  const std::string base(base_name);
  HostEvent event{};
  event.name = name.c_str();
  event.payload = payload;
  event.emitter_word = word;
  Log(kLogOkay, kChannelXtr, "%s: Sending event: %s", short_name_.c_str(), name.c_str());
  EmitEvent(&event);
  // Observers of the plain base name hear every resource as well.
  if (name != base) {
    event.name = base.c_str();
    EmitEvent(&event);
  }
  ReleaseHostValue(payload);
  return {};
}
