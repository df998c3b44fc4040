// BoundaryBridge: the host function tables and what their entries do. Each
// entry admits or refuses the call, records it (where an injected fault may
// take it), then serves it from the queue, the router, the event bus or the
// recorder. It also sends requests to plug-in functions and hands answers
// to plug-ins as response records.
//
// Each plug-in gets a table of its own. A plug-in may keep its table pointer
// past its unload and past the loop (in a static, a late thread), so those
// tables stay allocated for the life of the process and refuse every call
// once their plug-in is detached.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/loop/boundary_observer.h"
#include "host/loop/call_recorder.h"
#include "host/loop/callback_depth.h"
#include "host/loop/event_bus.h"
#include "host/loop/messages.h"
#include "host/loop/response_blocks.h"
#include "host/loop/router.h"
#include "host/loop/work_queue.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

class BoundaryBridge {
 public:
  // The result word of a call the host refused (every other call gives 0).
  static constexpr uint32_t kRefused = 1;

  // Real time only: a plug-in's step that finds nothing due waits up to
  // `idle_step_wait_seconds` for work to arrive. The other arguments must
  // outlive the bridge.
  BoundaryBridge(double idle_step_wait_seconds, CallbackDepth& depth, WorkQueue& queue, Router& router,
                 EventBus& bus, CallRecorder& recorder);
  // Detaches every plug-in table: later calls through them are refused.
  ~BoundaryBridge();
  BoundaryBridge(const BoundaryBridge&) = delete;
  BoundaryBridge& operator=(const BoundaryBridge&) = delete;

  // The table for host-side callers and test doubles, valid for the
  // bridge's lifetime.
  const HostApi* api() const { return &table_.api; }
  // The table of the plug-in of `host_handle`, made on first use.
  const HostApi* PluginApi(void* host_handle);
  // From here the plug-in's table refuses subscribe, start_timer and
  // emit_event, and serves the rest.
  void BeginUnload(void* host_handle);
  // From here the plug-in's table refuses every call: send_request answers
  // an error, the others do nothing and give kRefused.
  void Detach(void* host_handle);

  // Routes `request` now (see Router and NoRouteResponse). A plug-in
  // response is copied and released before this returns.
  // [host thread][re-entrant]
  Response Dispatch(Request request);

  // Sees what crosses the plug-ins' boundary; null: nobody. Must outlive
  // its use here.
  void SetObserver(BoundaryObserver* observer) { observer_ = observer; }

  // Labels of the open waits, outermost first. [any thread]
  std::vector<std::string> WaitLabels() const;
  size_t open_waits() const;  // [any thread]
  // How often a plug-in began a wait or stepped the host; a dispatch that
  // moved it had to wait for something. [any thread]
  uint64_t blocking_calls() const { return blocking_calls_.load(std::memory_order_relaxed); }
  const ResponseBlocks& responses() const { return responses_; }

 private:
  enum TableState : int { kOpen, kUnloading, kDetached };
  struct Table {
    HostApi api;  // must come first: the entries cast the table pointer back
    std::atomic<BoundaryBridge*> bridge;
    void* host_handle;  // the plug-in it was handed to; null for api()
    std::atomic<int> state;
  };

  static void FillTable(Table& table, BoundaryBridge* bridge, void* host_handle);
  static Table& TableOf(const HostApi* api);
  // The bridge that serves a call, or null when the host refuses it: its
  // plug-in is detached, or unloading and the call would start something.
  static BoundaryBridge* Admit(const HostApi* api, CallKind kind);
  Table& PluginTable(void* host_handle);
  Response CallFunction(const Route& route, Request request);

  static uint32_t SendRequestEntry(const HostApi* api, HostResponse* response,
                                   const HostRequest* request) noexcept;
  static uint32_t Reserved1Entry(const HostApi* api, uintptr_t word0, uintptr_t word1) noexcept;
  static uint32_t EmitEventEntry(const HostApi* api, const HostEvent* event) noexcept;
  static uint32_t SubscribeEntry(const HostApi* api, const char* name, void* host_handle,
                                 HostEventFn callback, void* context, uint32_t flag) noexcept;
  static uint32_t UnsubscribeEntry(const HostApi* api, const char* name, void* host_handle) noexcept;
  static uint32_t StartTimerEntry(const HostApi* api, const char* label, HostTimerFn callback, void* context,
                                  double delay_seconds, uint32_t flag) noexcept;
  static uint32_t StepEntry(const HostApi* api) noexcept;
  static uint32_t BeginWaitEntry(const HostApi* api, const char* label, uint32_t flag) noexcept;
  static uint32_t EndWaitEntry(const HostApi* api) noexcept;
  static uint32_t WriteLogLineEntry(const HostApi* api, uint32_t level, const char* message) noexcept;

  const double idle_step_wait_seconds_;
  CallbackDepth& depth_;
  WorkQueue& queue_;
  Router& router_;
  EventBus& bus_;
  CallRecorder& recorder_;
  Table table_;
  std::map<void*, Table*> plugin_tables_;  // never freed: see the top of this file
  ResponseBlocks responses_;
  uintptr_t next_token_ = 1;
  BoundaryObserver* observer_ = nullptr;
  int outbound_depth_ = 0;  // send_request calls being served: their dispatches are not the host's
  mutable std::mutex waits_mutex_;  // guards waits_
  std::vector<std::string> waits_;
  std::atomic<uint64_t> blocking_calls_{0};
};

}  // namespace kiv::host
