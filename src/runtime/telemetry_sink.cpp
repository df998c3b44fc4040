#include "runtime/telemetry_sink.h"

#include <string>

#include "runtime/outbound_request.h"

Quarn::Future<void> Quarn::TelemetrySink::SendTelemetryEvent(std::string_view event_name,
                                                             const BindingProperty& payload) {
  std::string url = "/telemetry/v1/events/";
  url += event_name;
  return ReadyFuture<void>(module_.Request(Method::Post, url, payload));
}
