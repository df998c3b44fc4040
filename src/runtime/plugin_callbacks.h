// The plain functions the host calls on a plug-in built on PluginBase: the
// three entries of its PluginCallbacks table and the request callback of
// every function entry of its API description.
//
// Each is an extern "C" trampoline: nothing but the boundary's plain
// records crosses, and no exception escapes.
#pragma once

#include <cstdint>

#include "kiv/plugin_abi.h"

namespace Quarn {

// The table stored in every plug-in object: init, unload, memory
// statistics.
PluginCallbacks MakePluginCallbacks();

}  // namespace Quarn

// Callback 0. [host thread] Connects `plugin` (a PluginBase handed out by
// the loader): stores `context` (owned by the host, valid until unload
// returns), installs the plug-in's log target, builds the User-Agent text
// "QuarnClient/<core version> (<short name>)", connects the module (host
// handle, names, service-proxy subscriptions) and runs the plug-in's Init.
// Returns Init's result; 0, connecting nothing, when either pointer or the
// context's function table is null.
// [re-entrant: Init may step the host]
extern "C" uint8_t QuarnPluginInit(void* plugin, const HostContext* context) noexcept;

// Callback 1. [host thread] Sets the stopping flag, runs the shutdown hook
// (every host subscription withdrawn, tables cleared, timers withdrawn),
// forgets the host context (no host call after this) and destroys
// `plugin`; the object is gone on return, or once the calls of it still
// waiting inside the host have returned. A null pointer is ignored.
extern "C" void QuarnPluginUnload(void* plugin) noexcept;

// The request callback of every function entry. `request->function` is the
// matched ApiFunctionEntry of this plug-in's API description; `request` is
// borrowed for the duration of the call. `response` is filled entirely and
// its `release` set; the host calls it once when done. A request without a
// known function gets status 404 "Invalid function".
// [host thread] [re-entrant: handlers may step the host]
extern "C" void QuarnApiRequest(HostResponse* response, const HostRequest* request) noexcept;
