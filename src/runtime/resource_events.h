// Resource events: observing other plug-ins' resources by URI (exact, or
// with "*" wildcards) and publishing the module's own. Observers of URIs
// that map to one event name share one host subscription (Subscribe).
//
//   module.ObserveResource<Session>("/kiv-login/v1/session",
//       [](const ResourceEvent<Session>& e) { ... });
//   QUARN_RETURN_IF_FAILED(module.PublishResource("/kiv-collections/v1/inventories/7/runes", runes));
#pragma once

#include <string_view>
#include <utility>

#include "binding/native_conversion.h"
#include "diagnostics/logger.h"
#include "runtime/app_module.h"
#include "runtime/event_name.h"

namespace Quarn {

// Whether `uri` matches `pattern`, both read from their first character:
// a "*" takes the characters up to the next "/" (possibly none) or up to
// the URI's end; every other character must equal the URI's. So "/a/*/c"
// matches "/a/b/c" and "/a//c" but not "/a/b/d/c"; "/a/*" matches "/a/b"
// but neither "/a/" nor "/a/b/c".
bool UriMatchesPattern(std::string_view pattern, std::string_view uri);

template <class T, class F>
void AppModule::ObserveResource(std::string_view uri, F handler) {
  ResourceHandler typed = [this, handler = std::move(handler)](const Resource& resource) {
    ResourceEvent<T> event{resource.uri, resource.event_type, T{}};
    // A deleted resource has no data to convert.
    if (resource.event_type != PluginResourceEventType::Delete) {
      BindingResult converted;
      FromBindingValue(converted, resource.data, "<value>", event.data, registry());
      if (!converted.ok()) {
        Log(kLogOkay, kChannelXtr, "Couldn't convert resource %s to C++ while handling update for URL: %s",
            StaticTypeOf<T>().name.c_str(), resource.uri.c_str());
        return;
      }
    }
    handler(event);
  };
  ObserveResourceWith(uri, std::move(typed));
}

template <class T>
Maybe<void> AppModule::PublishResource(std::string_view uri, const T& value) {
  BindingResult converted;
  ToBindingValue(converted, value, registry());
  if (!converted.ok()) return Failure(std::string(converted.ErrorMessage()));
  Resource resource{std::string(uri), PluginResourceEventType::Update, std::move(converted.value)};
  return PublishEvent(kJsonApiEventName, resource, 0);
}

}  // namespace Quarn
