// Quarn::PluginBase: a module that is a plug-in. It forwards the module's
// host slots to the host's function table, and keeps what the loader and
// the init callback establish: the core's API version, the plug-in's names,
// registration tags and API name, the API object with its registered
// functions, types and events, the host context, the callback table and
// the API description handed to the host.
//
// A concrete plug-in derives from it, overrides RegisterApi (slot 13) and
// Init (slot 14), and is created by its library entry, which hands it to
// LoadPlugin.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "api/binding_api.h"
#include "diagnostics/log_target.h"
#include "kiv/plugin_abi.h"
#include "runtime/app_module.h"
#include "runtime/plugin_api_version.h"
#include "runtime/plugin_names.h"

namespace Quarn {

class ApiDescriptionStore;
class PluginBase;

// The result word of a host slot that had no host to call.
inline constexpr uint32_t kHostCallRefused = 0xFFFFFFFFu;

// Runs the loader: version check (fatal when incompatible), names, tags,
// API name, host record types, RegisterApi, API description, and writes
// `record` back. See plugin_loader.h.
void LoadPlugin(PluginBase& plugin, PluginStartRecord& record, std::string_view short_name);

namespace detail {
// The init and unload callbacks' access to a plug-in (plugin_callbacks.cpp).
struct PluginLifecycle;
}  // namespace detail

class PluginBase : public AppModule {
 public:
  // `kind` is the plug-in kind text ("backend", "frontend"). Creates the
  // API object (with its builtin types and event) and an empty log-target
  // slot; the loader fills the callback table.
  explicit PluginBase(std::string_view kind);
  ~PluginBase() override;

  // Slots 4-12: plain forwards to the host's function table, entries 0-8.
  // Before the host context is known, after unload, or when the host left
  // an entry null, they call nothing and return kHostCallRefused; a
  // request then gets the error "No host to send the request to" (503) in
  // its response.
  uint32_t SendRequest(HostResponse* response, const HostRequest* request) override;
  uint32_t ReservedHostCall(uintptr_t word0, uintptr_t word1) override;
  uint32_t EmitEvent(const HostEvent* event) override;
  uint32_t SubscribeAtHost(const char* name, void* host_handle, HostEventFn callback, void* context,
                           uint32_t flag) override;
  uint32_t UnsubscribeAtHost(const char* name, void* host_handle) override;
  uint32_t StartTimer(const char* label, HostTimerFn callback, void* context, double delay_seconds,
                      uint32_t flag) override;
  uint32_t Step() override;
  uint32_t BeginWait(const char* label, uint32_t flag) override;
  uint32_t EndWait() override;

  // Slot 13. Registers the plug-in's functions, types and events in api();
  // called once by the loader, before the host has any callback. Does
  // nothing by default.
  virtual void RegisterApi();
  // Slot 14. Starts the plug-in's own work; called once from the init
  // callback after the plug-in is connected. Its result is the init
  // callback's. True by default.
  virtual bool Init();

  const std::string& kind() const { return kind_; }
  // Set by the loader.
  const PluginApiVersion& core_version() const { return core_version_; }
  const PluginNames& names() const { return names_; }
  const std::vector<std::string>& registration_tags() const { return registration_tags_; }
  // The short name through the derived-name rule ("KivCollections"); the
  // prefix of the type names the plug-in registers for its endpoints.
  const std::string& api_name() const { return api_name_; }

  BindingApi& api() { return api_; }
  const BindingApi& api() const { return api_; }

  // Owned by the host, valid until unload returns; null before init and
  // once unload has withdrawn the subscriptions.
  const HostContext* host_context() const { return host_context_; }
  // The host's function table, or null when there is no host context.
  const HostApi* host_api() const { return host_context_ != nullptr ? host_context_->api : nullptr; }

  // Owned by the plug-in object; filled by the loader and handed to the
  // host in the start record (all null before).
  const PluginCallbacks& callbacks() const { return callbacks_; }
  // Null until the loader has built it; owned by the plug-in object.
  const ApiDescription* api_description() const;

 protected:
  // The plug-in's log target; installed by the init callback, detached by
  // its destructor. Empty until then.
  std::unique_ptr<LogTarget> log_target_;

 private:
  friend void LoadPlugin(PluginBase& plugin, PluginStartRecord& record, std::string_view short_name);
  friend struct detail::PluginLifecycle;

  std::string kind_;
  PluginApiVersion core_version_;
  PluginNames names_;
  std::vector<std::string> registration_tags_;
  std::string api_name_;
  BindingApi api_;
  const HostContext* host_context_ = nullptr;
  PluginCallbacks callbacks_{};
  std::unique_ptr<ApiDescriptionStore> api_description_;
};

}  // namespace Quarn
