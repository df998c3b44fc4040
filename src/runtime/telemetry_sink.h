// Quarn::TelemetrySink: posts telemetry events to the host's telemetry
// endpoint on behalf of its module. Created when the module connects.
#pragma once

#include <string_view>

#include "binding/binding_property.h"
#include "binding/maybe_type.h"

namespace Quarn {

class AppModule;

class TelemetrySink {
 public:
  // `module` owns the sink and outlives it.
  explicit TelemetrySink(AppModule& module) : module_(module) {}

  // POSTs `payload` as the single typed argument to
  // "/telemetry/v1/events/" followed by `event_name`. The returned future
  // is already satisfied: success, or the request's failure (nothing is
  // retried). [re-entrant: other callbacks may run before this returns]
  Future<void> SendTelemetryEvent(std::string_view event_name, const BindingProperty& payload);

 private:
  AppModule& module_;
};

}  // namespace Quarn
