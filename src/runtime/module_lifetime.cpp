// A module's construction, connection to its host and destruction. Apart
// from app_module.cpp because the telemetry sink that connecting creates
// sends through the module's requests, which build on AppModule.
#include <memory>
#include <utility>

#include "runtime/app_module.h"
#include "runtime/host_records.h"
#include "runtime/telemetry_sink.h"

namespace {

// Service-proxy answers subscribe with flag 1.
constexpr uint32_t kServiceProxyFlag = 1;

}  // namespace

Quarn::AppModule::AppModule() = default;

// A module destroyed without Shutdown still leaves no timer behind.
Quarn::AppModule::~AppModule() { WithdrawTimers(); }

void Quarn::AppModule::Connect(void* host_handle, std::string short_name, std::string user_agent) {
  host_handle_ = host_handle;
  short_name_ = std::move(short_name);
  user_agent_ = std::move(user_agent);
  telemetry_ = std::make_unique<TelemetrySink>(*this);
  SubscribeEvent(
      kOnServiceProxyUuidEvent,
      [this](const BindingProperty& payload) { OnServiceProxyAnswer(payload, /*by_method=*/false); },
      kServiceProxyFlag);
  SubscribeEvent(
      kOnServiceProxyMethodEvent,
      [this](const BindingProperty& payload) { OnServiceProxyAnswer(payload, /*by_method=*/true); },
      kServiceProxyFlag);
  SubscribeEvent(
      kOnServiceProxyAsyncEvent,
      [this](const BindingProperty& payload) { OnServiceProxyAsyncEvent(payload); }, kServiceProxyFlag);
}
