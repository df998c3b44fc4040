// HostLoop: the host's side of the boundary over an in-process,
// single-threaded loop. It puts together the work queue and clock
// (loop/work_queue.h), the route table (loop/router.h), the event bus
// (loop/event_bus.h), the host function tables (loop/boundary_bridge.h) and
// the record of what plug-ins did (loop/call_recorder.h), and loads and
// unloads plug-ins across all of them.
//
// All members are for the loop thread, except Post(), PostOutsidePlugin(),
// Cancel(), PostEvent(), WaitForWork(), WaitLabels() and the records, which
// may be used from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_value.h"
#include "host/loop/boundary_bridge.h"
#include "host/loop/call_recorder.h"
#include "host/loop/callback_depth.h"
#include "host/loop/event_bus.h"
#include "host/loop/messages.h"
#include "host/loop/router.h"
#include "host/loop/work_queue.h"
#include "host/plugin_library.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

struct LoopOptions {
  // Virtual time: timers with a delay wait for AdvanceTime, so tests decide
  // when they expire. Otherwise the steady clock.
  bool virtual_time = false;
  // Real time only: a plug-in's step that finds nothing due waits up to
  // this long for work to arrive, so a plug-in that awaits an answer does
  // not spin. 0: never waits.
  double idle_step_wait_seconds = 0;
  // Recorded calls, log lines and problems kept, each list on its own; the
  // oldest go first. 0: no limit.
  size_t record_limit = 0;
  size_t record_bytes_limit = 0;
};

class HostLoop {
 public:
  explicit HostLoop(LoopOptions options = {});
  ~HostLoop();
  HostLoop(const HostLoop&) = delete;
  HostLoop& operator=(const HostLoop&) = delete;

  // The table for host-side callers and test doubles, valid for the loop's
  // lifetime. A plug-in loaded with LoadPlugin gets a table of its own,
  // which outlives the loop and refuses every call once it is detached.
  const HostApi* api() const { return bridge_.api(); }
  static constexpr uint32_t kRefused = BoundaryBridge::kRefused;

  // ---- running (see WorkQueue)
  size_t Step() { return queue_.Step(); }  // [host thread][re-entrant]
  size_t RunUntilIdle(size_t max_steps = 10000) { return queue_.RunUntilIdle(max_steps); }
  bool RunUntil(const std::function<bool()>& done, size_t max_steps = 10000) {
    return queue_.RunUntil(done, max_steps);
  }
  bool WaitForWork(std::chrono::milliseconds timeout) { return queue_.WaitForWork(timeout); }
  void AdvanceTime(double seconds) { queue_.AdvanceTime(seconds); }
  double NowSeconds() const { return queue_.Now(); }
  size_t pending() const { return queue_.pending(); }

  // ---- queueing host work
  // Runs `work` on a step after `delay_seconds`; returns a ticket for Cancel.
  uint64_t Post(std::function<void()> work, double delay_seconds = 0, std::string label = {});
  // Runs `work` on the first step taken while no plug-in callback is on the
  // stack (a plug-in that waits steps the loop from inside its handler; work
  // that unloads it must wait until that handler returns).
  uint64_t PostOutsidePlugin(std::function<void()> work, std::string label = {});
  bool Cancel(uint64_t ticket) { return queue_.Cancel(ticket); }
  bool InsidePlugin() const { return depth_.Inside(); }
  void PostEvent(std::string name, OwnedValue payload, double delay_seconds = 0) {
    bus_.Post(std::move(name), std::move(payload), delay_seconds);
  }
  // Sends `request` to its route on a later step and hands the answer to
  // `done` there.
  void PostRequest(Request request, std::function<void(Response)> done, double delay_seconds = 0);

  // ---- routing (see Router)
  // `method` is KIV_METHOD_*, 0 every method. Returns an id for RemoveHandler.
  int HandleRequest(uint32_t method, std::string_view path_template, RequestHandler handler) {
    return router_.Add(method, path_template, std::move(handler));
  }
  void RemoveHandler(int id) { router_.Remove(id); }
  RouteLookup LookupRoute(uint32_t method, std::string_view custom_method, std::string_view path) const {
    return router_.Lookup(method, custom_method, path);
  }
  Response Dispatch(Request request) { return bridge_.Dispatch(std::move(request)); }

  // ---- plug-ins
  // Makes the functions of `description` reachable, called with
  // `host_handle`'s plug-in. The description must stay valid until Detach.
  // `library`, when given, lets Detach drop the plug-in's leftover timers
  // and subscriptions by code address.
  void AttachDescription(const ApiDescription& description, void* host_handle,
                         const PluginLibrary* library = nullptr);
  // Forgets the plug-in's routes, subscriptions and queued work; from then
  // on its table refuses every call.
  void Detach(void* host_handle);
  // A fresh host handle for a plug-in ((void*)1, (void*)2, ...).
  void* NewHostHandle() { return reinterpret_cast<void*>(next_handle_++); }
  // Loads, attaches and inits a plug-in library; the library unloads when
  // the returned object is destroyed (call UnloadPlugin first to detach it).
  // REQUIRES: the library is unloaded before this loop is destroyed. On an
  // init failure the plug-in is unloaded.
  Quarn::Maybe<std::unique_ptr<PluginLibrary>> LoadPlugin(const std::string& path,
                                                          const LoadOptions& options = {});
  // Drops the plug-in's routes, subscriptions and queued work, unloads it and
  // detaches it. During unload its table serves unsubscribe, send_request,
  // step, waits and log lines, and refuses subscribe, start_timer and
  // emit_event. REQUIRES: !InsidePlugin() (use PostOutsidePlugin).
  void UnloadPlugin(PluginLibrary& library);

  // ---- faults and records (see CallRecorder)
  int InjectFault(Fault fault) { return recorder_.InjectFault(std::move(fault)); }
  void RemoveFault(int id) { recorder_.RemoveFault(id); }
  void ClearFaults() { recorder_.ClearFaults(); }
  void SetLogSink(std::function<void(const LogLine&)> sink) { recorder_.SetLogSink(std::move(sink)); }
  std::vector<RecordedCall> Calls() const { return recorder_.Calls(); }
  void ClearCalls() { recorder_.ClearCalls(); }
  std::vector<LogLine> LogLines() const { return recorder_.LogLines(); }
  // Misuse seen at the boundary: invalid payloads, end_wait without
  // begin_wait, null names or callbacks. Empty for a well-behaved plug-in.
  std::vector<std::string> Problems() const { return recorder_.Problems(); }

  // ---- watching the boundary: `observer` (null: nobody) sees each
  // plug-in's loading and unloading, host requests, outbound calls,
  // published events and the host events delivered to plug-ins.
  void SetObserver(BoundaryObserver* observer);

  // ---- events (see EventBus)
  int Listen(std::string name, EventListener listener) { return bus_.Listen(std::move(name), std::move(listener)); }
  void RemoveListener(int id) { bus_.RemoveListener(id); }
  std::vector<std::string> SubscribedNames() const { return bus_.SubscribedNames(); }
  size_t SubscriberCount(std::string_view name) const { return bus_.SubscriberCount(name); }

  // ---- boundary state
  std::vector<std::string> WaitLabels() const { return bridge_.WaitLabels(); }
  uint64_t blocking_calls() const { return bridge_.blocking_calls(); }
  size_t open_waits() const { return bridge_.open_waits(); }
  int stream_reads() const { return bridge_.responses().stream_reads(); }
  int streams_closed() const { return bridge_.responses().streams_closed(); }
  // Responses handed to plug-ins whose release they have not called yet.
  size_t unreleased_responses() const { return bridge_.responses().unreleased(); }

 private:
  void DropPluginWork(void* host_handle);

  std::map<void*, const PluginLibrary*> libraries_;
  BoundaryObserver* observer_ = nullptr;
  uintptr_t next_handle_ = 1;
  CallbackDepth depth_;
  WorkQueue queue_;
  CallRecorder recorder_;
  Router router_;
  EventBus bus_;
  BoundaryBridge bridge_;  // last, so its tables are detached before the rest goes
};

}  // namespace kiv::host
