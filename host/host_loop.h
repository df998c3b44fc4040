// HostLoop: the host's side of the boundary over an in-process,
// single-threaded loop. It owns a HostApi table whose entries queue work
// (event deliveries, timer expiries, host-posted work and requests) that
// Step() runs one item at a time on the loop thread, routes requests to
// in-process handlers (stand-ins for other plug-ins) or to an attached
// plug-in's functions by method and path template, tracks subscriptions and
// waits, collects log lines, and records every call a plug-in makes.
//
// Emitted events are queued and delivered on a later step, to the
// subscribers that exist at delivery; the payload is copied at emit time,
// so the plug-in may release its record when the call returns.
//
// All members are for the loop thread, except Post(), PostEvent(),
// WaitForWork() and the log, which may be used from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_value.h"
#include "host/path_template.h"
#include "host/plugin_library.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

// The HostApi entries, in table order.
enum class CallKind : uint8_t {
  kSendRequest,
  kReserved1,
  kEmitEvent,
  kSubscribe,
  kUnsubscribe,
  kStartTimer,
  kStep,
  kBeginWait,
  kEndWait,
  kWriteLogLine,
};
// "send_request", "reserved1", "emit_event", ... "write_log_line".
std::string_view CallKindName(CallKind kind);

// "DELETE", "GET", ... "PUT" for 1..7, "CUSTOM" for 8, "" otherwise.
std::string_view MethodName(uint32_t method);
// KIV_METHOD_* for a method text (case-sensitive), 0 when unknown.
uint32_t MethodCode(std::string_view text);

// A request, owned by the host: what a plug-in sent (copied from its
// record) or what the host sends a plug-in.
struct Request {
  uint32_t method = KIV_METHOD_GET;
  std::string custom_method;                                  // read when method is KIV_METHOD_CUSTOM
  std::string path;                                           // with any query string
  std::vector<std::pair<std::string, OwnedValue>> arguments;  // typed; "" for an unnamed one
  std::vector<std::pair<std::string, std::string>> pairs;     // headers
  std::string content_type;
  std::string body;
  void* host_handle = nullptr;  // outbound: the sender's handle
  // Set by routing: the matched template's placeholders, URL-decoded.
  std::vector<PathCapture> captures;

  // A capture's value, "" when absent.
  std::string_view Param(std::string_view name) const;
  // A query-string parameter of `path`, URL-decoded.
  std::optional<std::string> Query(std::string_view name) const;
  // "GET ...", or the custom method text.
  std::string_view MethodText() const;
  // "GET /path?query"
  std::string Summary() const;
};

// A response, owned by the host: what a stand-in answers, or what the host
// read back from a plug-in (streams drained into `body` as bytes).
struct Response {
  uint32_t status = 0;               // 0: none given
  std::optional<std::string> error;  // set: the call failed
  OwnedValue body;
  std::string content_type;
  std::vector<std::pair<std::string, std::string>> headers;
  uint8_t format = 0;         // read from plug-in responses only
  uint32_t content_kind = 0;  // read from plug-in responses only
  // Set: the body is handed out as a stream, one read per chunk at most,
  // and `body` is ignored. The read numbered `stream_fail_at_read` (from 1)
  // reports failure; 0 never.
  std::optional<std::vector<std::string>> chunks;
  int stream_fail_at_read = 0;

  bool ok() const { return !error.has_value(); }
  static Response Ok(OwnedValue body, uint32_t status = 200);
  static Response Error(std::string message, uint32_t status);
  static Response Stream(std::vector<std::string> chunks, int fail_at_read = 0);
};

// A stand-in's answer to one request; runs inside send_request, on the loop
// thread. It may post work or events for later steps through the loop.
using RequestHandler = std::function<Response(const Request&)>;
// A host-side listener of events (stand-ins, the developer host's event
// stream); the value is borrowed for the duration of the call.
using EventListener = std::function<void(std::string_view name, const HostValue& payload)>;

// One call a plug-in made through the table, in order.
struct RecordedCall {
  CallKind kind = CallKind::kStep;
  std::string name;    // event name, timer or wait label, log text
  Request request;     // send_request only
  OwnedValue payload;  // emit_event only
  uint32_t flag = 0;   // subscribe/start_timer/begin_wait flag; log level
  double delay_seconds = 0;
  void* host_handle = nullptr;
  bool faulted = false;  // an injected fault answered or dropped it

  // "send_request GET /a?b", "emit_event Name", "subscribe Name", "unsubscribe Name",
  // "start_timer label", "step", "begin_wait label", "end_wait", "write_log_line text".
  std::string Summary() const;
};

struct LogLine {
  uint32_t level;
  std::string text;
};

// A fault to inject into plug-in calls. A faulted send_request answers
// `error` with `status`; any other faulted call is recorded and otherwise
// ignored (no subscription, no delivery, no timer, no step, no line).
struct Fault {
  CallKind kind = CallKind::kSendRequest;
  uint32_t method = 0;        // requests: 0 matches every method
  std::string path_template;  // requests: "" matches every path
  int skip = 0;               // matching calls let through first
  int times = 1;              // matching calls that fail; -1 every one
  std::string error = "injected failure";
  uint32_t status = 500;
};

// Where a request would go.
struct RouteLookup {
  enum class Kind { kFound, kWrongMethod, kNotFound } kind = Kind::kNotFound;
  std::vector<std::string> allowed;  // kWrongMethod: the methods the path accepts
};

struct LoopOptions {
  // Virtual time: timers with a delay wait for AdvanceTime, so tests decide
  // when they expire. Otherwise the steady clock.
  bool virtual_time = false;
  // Real time only: a plug-in's step that finds nothing due waits up to
  // this long for work to arrive, so a plug-in that awaits an answer does
  // not spin. 0: never waits.
  double idle_step_wait_seconds = 0;
  // Recorded calls and log lines kept; the oldest go first. 0: no limit.
  size_t record_limit = 0;
};

class HostLoop {
 public:
  explicit HostLoop(LoopOptions options = {});
  ~HostLoop();
  HostLoop(const HostLoop&) = delete;
  HostLoop& operator=(const HostLoop&) = delete;

  // The table for host-side callers and test doubles. Owned by the loop,
  // valid for its lifetime. A plug-in loaded with LoadPlugin gets a table of
  // its own instead, which outlives the loop and refuses every call once
  // the plug-in is detached (see Detach).
  const HostApi* api() const { return &table_.api; }
  // The result word of a call the host refused (every other call gives 0).
  static constexpr uint32_t kRefused = 1;

  // ---- running
  // Runs the work that is due and was queued before this call, one item at
  // a time, and returns the number run. Work queued meanwhile waits for the
  // next step; work for outside plug-ins waits while InsidePlugin().
  // [host thread][re-entrant: a plug-in may step from inside]
  size_t Step();
  // Steps until a step runs nothing (at most max_steps); returns items run.
  size_t RunUntilIdle(size_t max_steps = 10000);
  // Steps until `done` holds (checked before each step); false when
  // max_steps ran out first.
  bool RunUntil(const std::function<bool()>& done, size_t max_steps = 10000);
  // Blocks until work is due or `timeout` passed; true when work is due.
  // [any thread]
  bool WaitForWork(std::chrono::milliseconds timeout);
  // Virtual time only: moves the clock on; due timers run on later steps.
  void AdvanceTime(double seconds);
  double NowSeconds() const;  // since the loop started
  size_t pending() const;     // queued items, due or not

  // ---- queueing host work
  // Runs `work` on a step after `delay_seconds`; returns a ticket for
  // Cancel. [any thread]
  uint64_t Post(std::function<void()> work, double delay_seconds = 0, std::string label = {});
  // Runs `work` on the first step taken while no plug-in callback is on the
  // stack (a plug-in that waits steps the loop from inside its handler; work
  // that unloads it must wait until that handler returns). [any thread]
  uint64_t PostOutsidePlugin(std::function<void()> work, std::string label = {});
  // Takes queued work out before it starts; false when it already started
  // (or ran, or never existed). [any thread]
  bool Cancel(uint64_t ticket);
  // Whether a plug-in callback (request, event, timer, init, unload) is on
  // the loop thread's stack.
  bool InsidePlugin() const { return plugin_depth_.load() > 0; }
  // Delivers an event to every subscriber of `name` on a later step.
  // [any thread]
  void PostEvent(std::string name, OwnedValue payload, double delay_seconds = 0);
  // Sends `request` to its route on a later step and hands the answer to
  // `done` there.
  void PostRequest(Request request, std::function<void(Response)> done, double delay_seconds = 0);

  // ---- routing
  // Adds a stand-in for `method` (KIV_METHOD_*, 0 every method) requests
  // whose path (without query) matches `path_template`. Routes are tried
  // together with attached plug-ins' functions; among several matches the
  // one whose placeholders took the fewest characters wins, the first on
  // equal counts. Returns an id for RemoveHandler.
  int HandleRequest(uint32_t method, std::string_view path_template, RequestHandler handler);
  void RemoveHandler(int id);
  // Makes the functions of `description` reachable by method and path
  // template, called with `host_handle`'s plug-in. The description must stay
  // valid until Detach. `library`, when given, lets Detach drop the
  // plug-in's leftover timers and subscriptions by code address.
  void AttachDescription(const ApiDescription& description, void* host_handle,
                         const PluginLibrary* library = nullptr);
  // Forgets the routes, subscriptions and queued work (timers, deliveries)
  // of a plug-in. From then on the plug-in's own table refuses every call:
  // send_request answers an error, the others do nothing and give kRefused.
  void Detach(void* host_handle);
  // A fresh host handle for a plug-in ((void*)1, (void*)2, ...).
  void* NewHostHandle();
  // Loads, attaches and inits a plug-in library; the library unloads when
  // the returned object is destroyed (call UnloadPlugin first to detach it).
  // REQUIRES: the library is unloaded before this loop is destroyed (its
  // unload calls the table). On an init failure the plug-in is unloaded.
  Quarn::Maybe<std::unique_ptr<PluginLibrary>> LoadPlugin(const std::string& path,
                                                          const LoadOptions& options = {});
  // Unloads the plug-in and detaches it. Its routes, subscriptions and
  // queued work go first, so nothing reaches the plug-in while it unloads;
  // during unload its table still serves unsubscribe, send_request, step,
  // waits and log lines, and refuses subscribe, start_timer and emit_event.
  // REQUIRES: !InsidePlugin() (use PostOutsidePlugin from a handler).
  void UnloadPlugin(PluginLibrary& library);

  RouteLookup LookupRoute(uint32_t method, std::string_view custom_method, std::string_view path) const;
  // Routes `request` now. No route: 404 "No route for GET /path"; a route
  // for another method: 405 "Method GET not allowed for /path". A plug-in
  // response is copied and released before this returns.
  // [host thread][re-entrant]
  Response Dispatch(Request request);

  // ---- faults
  // Returns an id for RemoveFault.
  int InjectFault(Fault fault);
  void RemoveFault(int id);
  void ClearFaults();

  // ---- events seen by the host
  // `name` "*" hears every event. Returns an id for RemoveListener.
  int Listen(std::string name, EventListener listener);
  void RemoveListener(int id);
  // Called for every log line as it arrives (e.g. to print it). [any thread]
  void SetLogSink(std::function<void(const LogLine&)> sink);

  // ---- inspection
  std::vector<RecordedCall> Calls() const;
  void ClearCalls();
  std::vector<LogLine> LogLines() const;
  // Misuse seen at the boundary: invalid payloads, end_wait without
  // begin_wait, null names or callbacks. Empty for a well-behaved plug-in.
  std::vector<std::string> Problems() const;
  // Labels of the open waits, outermost first. [any thread]
  std::vector<std::string> WaitLabels() const;
  // Event names with plug-in subscribers, and the subscriber count of one.
  std::vector<std::string> SubscribedNames() const;
  size_t SubscriberCount(std::string_view name) const;
  // Streamed responses handed out: reads made and streams closed.
  int stream_reads() const { return stream_reads_; }
  int streams_closed() const { return streams_closed_; }
  // Responses handed to plug-ins whose release they have not called yet.
  size_t unreleased_responses() const { return blocks_.size(); }

 private:
  enum TableState : int { kOpen, kUnloading, kDetached };
  struct Table {
    HostApi api;  // must come first: the trampolines cast the table pointer back
    std::atomic<HostLoop*> loop;
    void* host_handle;  // the plug-in it was handed to; null for api()
    std::atomic<int> state;
  };
  struct Work {
    uint64_t seq;
    double due;
    std::function<void()> run;
    std::string label;
    const void* code = nullptr;   // a plug-in callback, so Detach can drop it
    void* owner = nullptr;        // the plug-in that queued it, so Detach can drop it
    bool outside_plugin = false;  // waits for a step with no plug-in callback on the stack
  };
  class CallbackScope;
  struct Subscription {
    uint64_t id;
    std::string name;
    void* host_handle;
    HostEventFn callback;
    void* context;
    uint32_t flag;
  };
  struct Route {
    int id;
    PathTemplate path;
    uint32_t method;
    std::string custom_method;
    RequestHandler handler;                      // stand-in
    const ApiFunctionEntry* function = nullptr;  // or a plug-in function
    void* host_handle = nullptr;
  };
  struct Listener {
    int id;
    std::string name;
    EventListener fn;
  };
  struct ResponseBlock;

  static Table& TableOf(const HostApi* api);
  static HostLoop& From(const HostApi* api);
  // The loop that serves a call, or null when the host refuses it: its
  // plug-in is detached, or unloading and the call would start something.
  static HostLoop* Admit(const HostApi* api, CallKind kind);
  // The table handed to the plug-in of `host_handle`, made on first use.
  Table& PluginTable(void* host_handle);
  void DropPluginWork(void* host_handle);
  static void FillTable(Table& table, HostLoop* loop, void* host_handle);
  // Every table handed to a plug-in. A plug-in may keep its table pointer
  // past its unload and past the loop (in a static, a late thread), so the
  // tables stay allocated for the life of the process and say whether their
  // plug-in is still attached.
  static std::vector<std::unique_ptr<Table>>& AllPluginTables();
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
  static uint8_t StreamRead(void* context, char* buffer, uint32_t* size, uint8_t* more);
  static void StreamClose(void* context);
  static void ReleaseResponse(HostResponse* response);

  // Records a plug-in call; returns whether a fault takes it (and the fault).
  std::optional<Fault> Record(RecordedCall call);
  // Drops the oldest records beyond the limit. REQUIRES: record_mutex_ held.
  void TrimRecords();
  void Problem(std::string text);
  uint64_t Enqueue(Work work);
  void Deliver(const std::string& name, const OwnedValue& payload);
  Response CallFunction(const Route& route, Request request);
  void FillResponse(HostResponse* response, Response answer);
  double Now() const;

  Table table_;
  std::map<void*, Table*> plugin_tables_;  // never freed: see PluginTable
  std::atomic<int> plugin_depth_{0};
  LoopOptions options_;
  std::chrono::steady_clock::time_point start_;
  double virtual_now_ = 0;

  mutable std::mutex queue_mutex_;  // guards queue_ and next_seq_
  std::condition_variable queue_cv_;
  std::deque<Work> queue_;
  uint64_t next_seq_ = 0;

  std::vector<Subscription> subscriptions_;
  uint64_t next_subscription_ = 1;
  std::vector<Route> routes_;
  int next_route_ = 1;
  std::vector<Listener> listeners_;
  int next_listener_ = 1;
  std::map<void*, const PluginLibrary*> libraries_;
  uintptr_t next_handle_ = 1;
  uintptr_t next_token_ = 1;

  struct ActiveFault {
    int id;
    Fault fault;
    std::optional<PathTemplate> path;
    int seen = 0;
    int fired = 0;
  };
  std::vector<ActiveFault> faults_;
  int next_fault_ = 1;

  mutable std::mutex record_mutex_;  // guards calls_, log_, problems_, log_sink_
  std::vector<RecordedCall> calls_;
  std::vector<LogLine> log_;
  std::vector<std::string> problems_;
  std::function<void(const LogLine&)> log_sink_;

  std::vector<std::string> waits_;  // guarded by record_mutex_
  std::map<ResponseBlock*, std::unique_ptr<ResponseBlock>> blocks_;
  int stream_reads_ = 0;
  int streams_closed_ = 0;
};

}  // namespace kiv::host
