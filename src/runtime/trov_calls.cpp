#include "runtime/trov_calls.h"

#include "binding/message_format.h"
#include "runtime/event_name.h"
#include "runtime/outbound_request.h"

namespace {

// Push messages subscribe like service-proxy answers.
constexpr uint32_t kTrovEventFlag = 1;

}  // namespace

Quarn::Failure Quarn::detail::TrovParameterFailure(std::string_view error) {
  return Failure::Named(0, "Couldn't convert TROV call parameters: {error}", error);
}

Quarn::Failure Quarn::detail::TrovClassFailure(std::string_view expected, std::string_view destination,
                                               std::string_view method, std::string_view actual) {
  return Failure::Named(
      0, "Expected '{expected}' as TROV response for {destination}.{method}, but got '{actual}'", expected,
      destination, method, actual);
}

Quarn::Failure Quarn::detail::TrovBodyFailure(std::string_view type_name, std::string_view json) {
  return Failure::Named(0, "Couldn't convert TROV DTO {name} to C++ from {json}", type_name, json);
}

Quarn::Maybe<Quarn::PluginTrovResponse> Quarn::AppModule::SendInvoke(std::string_view destination,
                                                                     std::string_view method,
                                                                     const BindingProperty& arguments) {
  return Request<PluginTrovResponse>(Method::Post, kTrovInvokePath, std::string(destination),
                                     std::string(method), arguments);
}

void Quarn::AppModule::ObserveTrovClass(std::string_view class_name, TrovHandler handler) {
  if (IsStopping()) return;
  trov_handlers_.insert_or_assign(std::string(class_name), std::move(handler));
  const std::string name = TrovEventName(class_name);
  // A class observed again only gets its new handler: a second host
  // subscription would deliver every message twice.
  if (event_handlers_.find(name) != event_handlers_.end()) return;
  Log(kLogOkay, kChannelXtr, "%s: Subscribing to TROV event: %s", short_name_.c_str(), name.c_str());
  SubscribeEvent(
      name, [this](const BindingProperty& payload) { DispatchTrovEvent(payload); }, kTrovEventFlag);
}

void Quarn::AppModule::DispatchTrovEvent(const BindingProperty& payload) {
  PluginTrovEvent event;
  BindingResult converted;
  FromBindingValue(converted, payload, "<result>", event, registry());
  if (!converted.ok()) {
    Log(kLogOkay, kChannelXtr, "%s: Couldn't convert payload %s for event %s: %s", short_name_.c_str(),
        StaticTypeOf<PluginTrovEvent>().name.c_str(), kOnTrovEvent,
        std::string(converted.ErrorMessage()).c_str());
    return;
  }
  const auto found = trov_handlers_.find(event.type_name);
  if (found == trov_handlers_.end()) return;
  // Never inside the event delivery: the handler runs on a later host turn,
  // with its own copy of the message.
  const std::string label = Format("Event: OnTrovEvent (%1)", event.type_name);
  StartTimerIn(label, 0, [handler = found->second, event = std::move(event)] { handler(event); });
}
