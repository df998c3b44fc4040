#include "runtime/host_records.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "api/binding_api.h"
#include "binding/native_conversion.h"

namespace {

// The host's record types live in the host's namespace.
constexpr std::string_view kHostNameSpace = "qclient";

// Tags and name space go onto a type only when this registration created it.
template <class Builder>
void Describe(Builder& builder, const std::vector<std::string>& tags) {
  if (builder.builder().already_registered()) return;
  builder.builder().type()->name_space = std::string(kHostNameSpace);
  for (const std::string& tag : tags) builder.Tag(tag);
}

}  // namespace

void Quarn::RegisterHostRecordTypes(BindingApi& api) {
  BindingRegistry& registry = api.registry();
  const std::vector<std::string>& tags = api.registration_tags();

  auto state = registry.Enumeration<PluginManagerState>("PluginManagerState")
                   .Value("NotReady", PluginManagerState::NotReady)
                   .Value("PluginsInitialized", PluginManagerState::PluginsInitialized);
  Describe(state, tags);

  auto manager = registry.Structure<PluginManagerResource>("PluginManagerResource")
                     .Field("state", &PluginManagerResource::state);
  Describe(manager, tags);

  auto event_type = registry.Enumeration<PluginResourceEventType>("PluginResourceEventType")
                        .Value("Create", PluginResourceEventType::Create)
                        .Value("Update", PluginResourceEventType::Update)
                        .Value("Delete", PluginResourceEventType::Delete);
  Describe(event_type, tags);

  auto resource = registry.Structure<Resource>("PluginResourceEvent")
                      .Field("uri", &Resource::uri)
                      .Field("eventType", &Resource::event_type)
                      .Field("data", &Resource::data);
  Describe(resource, tags);

  auto trov_event = registry.Structure<PluginTrovEvent>("PluginTrovEvent")
                        .Field("clientId", &PluginTrovEvent::client_id)
                        .Field("subtopic", &PluginTrovEvent::subtopic)
                        .Field("typeName", &PluginTrovEvent::type_name)
                        .Field("body", &PluginTrovEvent::body);
  Describe(trov_event, tags);

  auto trov_response = registry.Structure<PluginTrovResponse>("PluginTrovResponse")
                           .Field("typeName", &PluginTrovResponse::type_name)
                           .Field("body", &PluginTrovResponse::body);
  Describe(trov_response, tags);

  auto proxy_response = registry.Structure<PluginServiceProxyResponse>("PluginServiceProxyResponse")
                            .Field("uuid", &PluginServiceProxyResponse::uuid)
                            .Field("serviceName", &PluginServiceProxyResponse::service_name)
                            .Field("methodName", &PluginServiceProxyResponse::method_name)
                            .Field("payload", &PluginServiceProxyResponse::payload)
                            .Field("status", &PluginServiceProxyResponse::status)
                            .Field("error", &PluginServiceProxyResponse::error);
  Describe(proxy_response, tags);

  struct HostEventInfo {
    const char* name;
    const char* payload_type;
    const char* description;
  };
  const HostEventInfo events[] = {
      {kOnJsonApiEvent, "PluginResourceEvent", "Fired when a resource is changed."},
      {kOnTrovEvent, "PluginTrovEvent", "Fired when a message is received over the TROV connection."},
      {kOnServiceProxyUuidEvent, "PluginServiceProxyResponse",
       "Fired when a uuid-based service proxy message is received."},
      {kOnServiceProxyMethodEvent, "PluginServiceProxyResponse",
       "Fired when a method-based service proxy message is received."},
      {kOnServiceProxyAsyncEvent, "PluginServiceProxyResponse",
       "Fired when an async service proxy message is received."},
  };
  for (const HostEventInfo& event : events) {
    // AddEvent appends the registration tags itself.
    api.AddEvent(BindingEvent{event.name, std::string(kHostNameSpace), event.payload_type, event.description, {}});
  }
}
