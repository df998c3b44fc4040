// Native forms of the host's record types: what the host's events carry
// (resource changes, TROV push messages, service-proxy answers) and the
// plug-in manager's state. The loader registers them in every plug-in's
// API object (RegisterHostRecordTypes).
#pragma once

#include <cstdint>
#include <string>

#include "binding/binding_property.h"

namespace Quarn {

class BindingApi;

enum class PluginManagerState : int32_t {
  NotReady = 0,
  PluginsInitialized = 1,
};

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : int32_t {
  Create = 0,
  Update = 1,
  Delete = 2,
};

// The payload of a JSON API event (registered as PluginResourceEvent).
struct Resource {
  std::string uri;
  PluginResourceEventType event_type = PluginResourceEventType::Create;
  BindingProperty data;
};

// A backend push message.
struct PluginTrovEvent {
  std::string client_id;
  std::string subtopic;
  std::string type_name;  // backend class name of `body`
  BindingProperty body;
};

// The answer of a remote method invocation.
struct PluginTrovResponse {
  std::string type_name;  // backend class name of `body`
  BindingProperty body;
};

// The answer to a service-proxy request; `payload` is JSON text.
struct PluginServiceProxyResponse {
  std::string uuid;
  std::string service_name;
  std::string method_name;
  std::string payload;
  std::string status;
  std::string error;  // empty unless the request failed
};

// The events the host may deliver to any plug-in.
inline constexpr const char* kOnJsonApiEvent = "OnJsonApiEvent";
inline constexpr const char* kOnTrovEvent = "OnTrovEvent";
inline constexpr const char* kOnServiceProxyUuidEvent = "OnServiceProxyUuidEvent";
inline constexpr const char* kOnServiceProxyMethodEvent = "OnServiceProxyMethodEvent";
inline constexpr const char* kOnServiceProxyAsyncEvent = "OnServiceProxyAsyncEvent";

// Registers the seven host record types (PluginManagerState ...
// PluginServiceProxyResponse) and the five host events with their
// descriptions in `api`, in that order. Tags come from the API's current
// registration tags. A type or event already registered stays as it is.
void RegisterHostRecordTypes(BindingApi& api);

}  // namespace Quarn
