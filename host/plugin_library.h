// PluginLibrary: one plug-in shared library loaded the way the client's host
// loads it: dlopen, the entry "load_<name>" called with a start record that
// holds the core's plug-in API version, the returned record checked, then
// init with a HostContext and, at the end, unload and dlclose.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

struct ApiVersion {
  uint32_t major = KIV_PLUGIN_API_MAJOR;
  uint32_t minor = KIV_PLUGIN_API_MINOR;
  uint32_t patch = KIV_PLUGIN_API_PATCH;

  std::string ToString() const;  // "18.0.0"
  // "X.Y.Z", three decimal numbers; fails with "invalid version '<text>'
  // (expected X.Y.Z)".
  static Quarn::Maybe<ApiVersion> Parse(std::string_view text);
  bool operator==(const ApiVersion&) const = default;
};

struct LoadOptions {
  std::string entry_name;   // empty: derived from the file name (EntryNameForLibrary)
  ApiVersion core_version;  // written into words 0-2 of the start record
};

// "load_" plus the file name without directory, "lib" prefix and the
// extension from the first ".": /x/libkiv_collections.so -> load_kiv_collections.
std::string EntryNameForLibrary(std::string_view path);

// The full name of a plug-in of kind "backend": "ozm-be-" + short name.
std::string BackendFullName(std::string_view short_name);

class PluginLibrary {
 public:
  // Opens `path` (RTLD_NOW | RTLD_LOCAL), calls the entry and checks what it
  // wrote back. Does not call init. Failures, all with the path in them:
  //   "cannot open plug-in <path>: <dlerror text>"
  //   "plug-in <path> has no entry <name>: <dlerror text>"
  //   "plug-in <path>: the entry returned no <callback table|init or unload
  //    callback|plug-in object|short name|API description>"
  //   "plug-in <path> (<short name>) supports plugin API <v>, which core <v>
  //    cannot load"
  // On failure after the entry ran, the plug-in is unloaded when it can be,
  // and the library is closed.
  // [re-entrant: an entry that ends the process ends it here]
  static Quarn::Maybe<std::unique_ptr<PluginLibrary>> Load(const std::string& path,
                                                           const LoadOptions& options = {});

  // Unloads the plug-in (when not done yet), then closes the library.
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Calls init with a HostContext {api, host_handle} that this object owns
  // until unload returns. REQUIRES: loaded(), not initialized yet.
  // Fails with "plug-in <short name>: init returned false" (the plug-in stays
  // loaded; call Unload).
  // [host thread][re-entrant: the plug-in calls the host table from init]
  Quarn::Maybe<void> Init(const HostApi* api, void* host_handle);

  // Calls unload once; later calls do nothing. Every pointer the plug-in
  // handed over (plug-in object, callbacks, short name, description) is
  // invalid afterwards. [host thread]
  void Unload();

  bool loaded() const { return loaded_; }
  bool initialized() const { return initialized_; }
  const std::string& path() const { return path_; }
  const std::string& entry_name() const { return entry_name_; }
  // Words 0-2 as the plug-in wrote them back: its own API version.
  ApiVersion api_version() const { return api_version_; }
  ApiVersion core_version() const { return core_version_; }

  // Owned by the plug-in, valid until Unload. REQUIRES: loaded().
  std::string_view short_name() const;
  const ApiDescription& description() const;
  void* plugin() const { return record_.plugin; }
  const HostContext& context() const { return context_; }

  // The plug-in's allocation counters; zeros when it has no such callback
  // or is unloaded. [any thread]
  PluginMemoryStats MemoryStats() const;

  // Whether `address` (code or data) lies inside this library's image; the
  // host uses it to drop timers and subscriptions of an unloaded plug-in.
  bool Contains(const void* address) const;

 private:
  PluginLibrary() = default;

  std::string path_;
  std::string entry_name_;
  void* handle_ = nullptr;  // dlopen handle
  const void* image_base_ = nullptr;
  PluginStartRecord record_{};
  HostContext context_{};
  ApiVersion api_version_;
  ApiVersion core_version_;
  bool loaded_ = false;
  bool initialized_ = false;
};

}  // namespace kiv::host
