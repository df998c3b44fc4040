// BoundaryObserver: what crosses a plug-in's boundary, in loop order, for a
// recorder or a replay to watch. Each call gets the loop clock's time. The
// observer must not call back into the loop. [host thread]
#pragma once

#include <cstdint>
#include <string_view>

#include "host/host_value.h"
#include "host/loop/messages.h"
#include "host/plugin_library.h"

namespace kiv::host {

class BoundaryObserver {
 public:
  virtual ~BoundaryObserver() = default;

  // A plug-in library was opened; its init runs next.
  virtual void PluginLoaded(double now, const PluginLibrary& library) = 0;
  // Its unload runs next.
  virtual void PluginUnloading(double now) = 0;
  // A host request reaches a plug-in function; returns a token for
  // InboundAnswered.
  virtual uint64_t InboundStarted(double now, const Request& request) = 0;
  virtual void InboundAnswered(double now, uint64_t token, const Response& answer) = 0;
  // A host request served by a host handler (a stand-in, a control).
  virtual void HostServed(double now, const Request& request, const Response& answer) = 0;
  // A plug-in's send_request with the answer it got (a handler's, or an
  // injected fault's).
  virtual void Outbound(double now, const Request& request, const Response& answer) = 0;
  // A plug-in's emit_event.
  virtual void Published(double now, std::string_view name, const HostValue& payload) = 0;
  // A host event about to reach a plug-in's subscription.
  virtual void Delivered(double now, std::string_view name, const HostValue& payload) = 0;
};

}  // namespace kiv::host
