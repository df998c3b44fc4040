#include "runtime/plugin_callbacks.h"

#include <optional>
#include <string>

#include "api/dispatch.h"
#include "binding/message_format.h"
#include "runtime/api_description.h"
#include "runtime/module_allocator.h"
#include "runtime/plugin_base.h"
#include "runtime/plugin_log_target.h"

struct Quarn::detail::PluginLifecycle {
  static bool Init(PluginBase& plugin, const HostContext* context) {
    // Init may wait inside the host, where an unload could arrive.
    AppModule::CallScope scope(plugin);
    plugin.host_context_ = context;
    InstallLogTarget(plugin);
    const std::string user_agent =
        Format("QuarnClient/%1 (%2)", plugin.core_version_.ToText(), plugin.names_.short_name);
    plugin.Connect(context->host_handle, plugin.names_.short_name, user_agent);
    return plugin.Init();
  }

  // Routes the process's log lines to the host, unless another plug-in of
  // the process already did.
  static void InstallLogTarget(PluginBase& plugin) {
    InstallPluginLogTarget(plugin.host_api(), plugin.log_target_, Logger::Instance(), &plugin);
  }

  static void Unload(PluginBase* plugin) {
    plugin->SetStopping();
    try {
      plugin->Shutdown();
    } catch (...) {
      // Destroy the object regardless: the host will never call it again.
    }
    // The context is valid only until unload returns; a call still waiting
    // inside the host must not reach it when it unwinds.
    plugin->host_context_ = nullptr;
    // An unload that arrives while a request, event or timer of the plug-in
    // waits inside the host (a step) must not free the object under it:
    // the object goes when that call returns.
    plugin->DestroyWhenIdle();
  }
};

PluginCallbacks Quarn::MakePluginCallbacks() {
  return PluginCallbacks{&QuarnPluginInit, &QuarnPluginUnload, &QuarnMemoryStatistics};
}

extern "C" uint8_t QuarnPluginInit(void* plugin, const HostContext* context) noexcept {
  // Without a function table the plug-in could never reach the host.
  if (plugin == nullptr || context == nullptr || context->api == nullptr) return 0;
  try {
    return Quarn::detail::PluginLifecycle::Init(*static_cast<Quarn::PluginBase*>(plugin), context) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

extern "C" void QuarnPluginUnload(void* plugin) noexcept {
  if (plugin == nullptr) return;
  Quarn::detail::PluginLifecycle::Unload(static_cast<Quarn::PluginBase*>(plugin));
}

namespace {

// A status and a static error text; the release function frees nothing of
// it but keeps the contract that the host always has one to call.
void WriteError(HostResponse* response, uint32_t status, const char* error) {
  *response = HostResponse{};
  response->error = error;
  response->status = status;
  response->release = &Quarn::ReleaseResponse;
}

}  // namespace

extern "C" void QuarnApiRequest(HostResponse* response, const HostRequest* request) noexcept {
  if (response == nullptr) return;
  const auto* entry = request != nullptr ? static_cast<const ApiFunctionEntry*>(request->function) : nullptr;
  const auto* target = entry != nullptr ? static_cast<const Quarn::ApiRequestTarget*>(entry->context) : nullptr;
  if (target == nullptr || target->api == nullptr || target->function == nullptr) {
    WriteError(response, 404, "Invalid function");
    return;
  }
  std::optional<Quarn::AppModule::CallScope> scope;
  if (target->module != nullptr) scope.emplace(*target->module);
  try {
    Quarn::DispatchRequest(*target->api, *target->function, *response, *request);
  } catch (...) {
    // Whatever the dispatcher wrote is released before the record is
    // reused for the failure.
    Quarn::ReleaseResponse(response);
    WriteError(response, 500, "Internal server error");
  }
}
