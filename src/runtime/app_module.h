// Quarn::AppModule: the runtime's module base. It keeps what a module needs
// to live inside the host: the host handle and names, the stopping flag,
// the event-handler and subscription tables, the service-proxy and timer
// tables, the TROV class tables, the telemetry sink, and awaiting (Await,
// Yield) by stepping the host.
//
// The host's function table is reached only through the pure virtual slots
// 4-12, which PluginBase implements as plain forwards; the slot order is
// part of the module's contract and must not change.
//
// The typed operations are member templates defined beside their concept;
// include the header that defines the one you call:
//   Request                                   runtime/outbound_request.h
//   ObserveResource, PublishResource          runtime/resource_events.h
//   Invoke, ObserveTrovEvent                  runtime/trov_calls.h
//   ServiceProxyRequest, CallServiceProxy...  runtime/service_proxy.h
//
// Everything runs on the host's thread. Calls that step the host (Await,
// Yield, requests, emitting) are re-entrant: events, requests and timers of
// this module may run before they return.
//
// Once unload has begun (IsStopping), the module calls the host only to
// withdraw its subscriptions and to release responses it holds: awaiting
// ends, and requests, publishing, subscribing and timers fail or do
// nothing without a host call. The host may be gone by the time a waiting
// handler unwinds.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "api/method.h"
#include "binding/binding_property.h"
#include "binding/maybe_type.h"
#include "binding/message_format.h"
#include "binding/static_type.h"
#include "kiv/plugin_abi.h"
#include "runtime/host_records.h"
#include "runtime/trov_class_tables.h"

namespace Quarn {

class BindingRegistry;
class TelemetrySink;

namespace detail {
// The host's way into a module's timers (module_timers.cpp).
struct TimerFiring;
}  // namespace detail

// The error text of work refused because unload has begun: service-proxy
// requests, waits, requests and events.
inline constexpr std::string_view kFinalizing = "Finalizing";

// What an observer of a resource receives: the event with its data
// converted to T (left default for "Delete").
template <class T>
struct ResourceEvent {
  std::string uri;
  PluginResourceEventType event_type = PluginResourceEventType::Create;
  T data{};
};

class AppModule {
 public:
  // Handles one delivered host event; `payload` is the event's payload,
  // already converted, borrowed for the duration of the call.
  using EventHandler = std::function<void(const BindingProperty& payload)>;
  // A typed observer of resource changes.
  using ResourceHandler = std::function<void(const Resource& resource)>;
  // Completes a service-proxy request with its answer; runs under the
  // module lock, so it must not start a request or take that lock.
  using ServiceProxyCallback = std::function<void(const PluginServiceProxyResponse& answer)>;
  // Runs a push message of one backend class.
  using TrovHandler = std::function<void(const PluginTrovEvent& event)>;
  using TimerCallback = std::function<void()>;

  // Tables empty, stopping flag clear, timer counter at 1.
  AppModule();
  AppModule(const AppModule&) = delete;
  AppModule& operator=(const AppModule&) = delete;

  // Slot 0. Counts one more observer of the URI's event name (EventNameOfUri);
  // the first one installs the JSON API dispatch handler and subscribes at
  // the host (flag 0).
  virtual void Subscribe(std::string_view uri);
  // Slot 1. Counts one observer less; the last one unsubscribes at the host
  // and drops the handler. A name never subscribed is ignored.
  virtual void Unsubscribe(std::string_view uri);
  // Slot 2.
  virtual ~AppModule();
  // Slot 3. Unsubscribes at the host every event name that has a handler,
  // once each, then clears the handler, observer and TROV tables. Under the
  // module lock, every pending service-proxy request is completed with the
  // error "Finalizing" (so no awaited future breaks) and the service-proxy
  // tables are cleared. Pending timers are withdrawn: the host may still
  // fire them, and then nothing runs. Safe to call more than once.
  virtual void Shutdown();

  // Slots 4-12: the host's function table, entries 0-8, same arguments
  // after the table pointer. Result words are the host's and are not read.
  // [host thread]
  // [re-entrant: other callbacks may run before this returns]
  virtual uint32_t SendRequest(HostResponse* response, const HostRequest* request) = 0;
  // Never called by this runtime; kept so every slot stays in place.
  virtual uint32_t ReservedHostCall(uintptr_t word0, uintptr_t word1) = 0;
  // [re-entrant: other callbacks may run before this returns]
  virtual uint32_t EmitEvent(const HostEvent* event) = 0;
  virtual uint32_t SubscribeAtHost(const char* name, void* host_handle, HostEventFn callback, void* context,
                                   uint32_t flag) = 0;
  virtual uint32_t UnsubscribeAtHost(const char* name, void* host_handle) = 0;
  virtual uint32_t StartTimer(const char* label, HostTimerFn callback, void* context, double delay_seconds,
                              uint32_t flag) = 0;
  // [re-entrant: other callbacks may run before this returns]
  virtual uint32_t Step() = 0;
  virtual uint32_t BeginWait(const char* label, uint32_t flag) = 0;
  virtual uint32_t EndWait() = 0;

  // ---- awaiting

  // Waits for `future` by stepping the host until it is ready. A future
  // that is ready on arrival returns at once without any host call;
  // otherwise begin wait ("Wait: future<type>") is called once, step once
  // per poll, end wait once. When the module is stopping, or starts to
  // while it waits, the wait ends without any further host call (no end
  // wait): the future's value when it is ready, else the failure
  // "Finalizing".
  // [re-entrant: other callbacks may run before this returns] Re-read any
  // module state read before the call; hold no module lock across it.
  // REQUIRES: called on the host thread.
  // Returns the future's value, failures included. A future error (no
  // state, or its promise dropped unset) is fatal: "ALE-6D828C10".
  template <class T>
  Maybe<T> Await(Future<T> future);

  // Lets the host run once: begin wait "Wait: yield", step, end wait.
  // Returns end wait's result word; 0, without a host call, when stopping
  // (no end wait either when unload ran inside the step).
  // [re-entrant: other callbacks may run before this returns]
  uint32_t Yield();

  // ---- outbound requests (runtime/outbound_request.h)

  // Sends `method` `url` with each parameter as an unnamed typed argument,
  // in order, and returns the answer's body converted to T (void: only the
  // error check). Failures:
  //   400 "Request not sent: Error converting parameters for {method} {url}: {error}"
  //   <status> "Error response for {method} {url}: {error}"
  //   0 "Error reading streamed response for {method} {url}: {error}"
  //   0 "Error converting response for {method} {url}: {error}"
  //   503 "Request not sent: {method} {url}: Finalizing" (stopping)
  // The response's release function is called on every path.
  // REQUIRES: connected (the host handle is known).
  // [re-entrant: other callbacks may run before this returns]
  template <class T = void, class... P>
  Maybe<T> Request(Method method, std::string_view url, const P&... parameters);

  // ---- resource events (runtime/resource_events.h)

  // Calls `handler(const ResourceEvent<T>&)` for every change of `uri`
  // (exact) or of the URIs `uri` matches (with "*"); replaces an earlier
  // observer of the same text and subscribes (Subscribe). For an exact URI
  // the current value is fetched with a GET and delivered at once as
  // "Create"; a failed GET delivers nothing. Data that cannot be converted
  // to T is dropped. [re-entrant]
  template <class T, class F>
  void ObserveResource(std::string_view uri, F handler);
  // Announces an update of `uri` with `value` (PublishEvent under
  // "OnJsonApiEvent", word 0). Conversion failures, and "Finalizing" when
  // stopping, are returned; nothing is sent then. [re-entrant]
  template <class T>
  Maybe<void> PublishResource(std::string_view uri, const T& value);
  // Emits `resource` (as the registered PluginResourceEvent) under its
  // URI's event name with `word`, and again under `base_name` when that
  // differs. Conversion failures, and "Finalizing" when stopping, are
  // returned; nothing is sent then. [re-entrant]
  Maybe<void> PublishEvent(std::string_view base_name, const Resource& resource, uintptr_t word);

  // ---- backend calls over TROV (runtime/trov_calls.h)

  // Calls `destination`.`method` on the backend through the login
  // plug-in's invoke endpoint; arguments annotated with "__class" from
  // trov_classes(). The returned future is always ready.
  // [re-entrant: other callbacks may run before this returns]
  template <class T = void, class... A>
  Future<T> Invoke(std::string_view destination, std::string_view method, const A&... arguments);
  // Runs `handler(const T&)` on a later host turn for every push message of
  // backend class `class_name` whose body converts to T. Replaces an
  // earlier handler of that class; the host is asked once per class.
  template <class T, class F>
  void ObserveTrovEvent(std::string_view class_name, F handler);

  // ---- service proxies (runtime/service_proxy.h)

  // Starts a service-proxy request: a uuid request when `reply_method` is
  // empty, else a method request keyed "service.reply_method". Returns ""
  // when sent (then `callback` runs exactly once, with the answer, or with
  // the error "Finalizing" at unload); otherwise the error text ("Finalizing",
  // "Request already in flight", a conversion or request failure) and the
  // callback is dropped. [re-entrant]
  template <class P>
  std::string ServiceProxyRequest(std::string_view service, std::string_view method, const P& payload,
                                  std::string_view reply_method, std::string_view fifth_argument,
                                  ServiceProxyCallback callback);
  // A uuid request whose answer's payload is converted to T; awaits it.
  // [re-entrant: other callbacks may run before this returns]
  template <class T, class P>
  Maybe<T> CallServiceProxy(std::string_view service, std::string_view method, const P& payload);
  // The same, passing `reply_method` (non-empty: a method request) and
  // `fifth_argument` on. [re-entrant]
  template <class T, class P>
  Maybe<T> CallServiceProxyWithReply(std::string_view service, std::string_view method, const P& payload,
                                     std::string_view reply_method, std::string_view fifth_argument);
  // Handles "OnServiceProxyAsyncEvent" answers of `service`.`method`;
  // replaces an earlier handler. The handler runs outside the module lock.
  void SetAsyncServiceProxyHandler(std::string_view service, std::string_view method,
                                   ServiceProxyCallback handler);

  // ---- timers

  // Starts a host timer that runs `callback` once, on a later host turn, at
  // `when` (delay 0 when that has passed). Returns the timer's number
  // (1, 2, ...). A module that is stopping starts nothing and returns 0,
  // and skips the callbacks of timers started before.
  uint64_t StartTimerAt(std::string_view label, std::chrono::steady_clock::time_point when,
                        TimerCallback callback);
  uint64_t StartTimerIn(std::string_view label, double delay_seconds, TimerCallback callback);
  // Timers started and not run yet.
  size_t PendingTimerCount() const;

  // ---- connection and lifetime

  // Stores the host handle, the short name and the User-Agent text, creates
  // the telemetry sink, then subscribes to the three service-proxy events
  // (flag 1).
  // REQUIRES: the host's function table is reachable through the slots.
  void Connect(void* host_handle, std::string short_name, std::string user_agent);

  // Set once unload begins (see the class comment). Read from any thread.
  bool IsStopping() const { return stopping_.load(std::memory_order_acquire); }
  void SetStopping() { stopping_.store(true, std::memory_order_release); }

  // Marks a call from the host into this module (request, event, timer,
  // init) for as long as it runs, so that an unload arriving while it
  // waits inside the host does not free the module under it.
  class CallScope {
   public:
    explicit CallScope(AppModule& module) : module_(module) { ++module_.active_calls_; }
    // May destroy the module (see DestroyWhenIdle).
    ~CallScope() { module_.LeaveCall(); }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

   private:
    AppModule& module_;
  };
  // Destroys the module now when no call from the host runs in it,
  // otherwise when the outermost such call returns.
  // REQUIRES: the module was created with new; Shutdown has run.
  void DestroyWhenIdle();

  // Null until connected.
  void* host_handle() const { return host_handle_; }
  // Empty until connected.
  const std::string& short_name() const { return short_name_; }
  const std::string& user_agent() const { return user_agent_; }
  // Null until connected; owned by the module.
  TelemetrySink* telemetry() const { return telemetry_.get(); }

  // The registry that conversions use: the plug-in's API registry, or an
  // empty one until a registry is set. Lives as long as the module.
  const BindingRegistry& registry() const;

  // DTO name / native type -> backend class name; filled at registration,
  // read by Invoke.
  TrovClassTables& trov_classes() { return trov_classes_; }
  const TrovClassTables& trov_classes() const { return trov_classes_; }

  // Converts the event's payload and runs the handler stored for its name;
  // an event without handler, or whose payload cannot be converted, is
  // dropped. This is what the module's event callback does for the host;
  // `event` is borrowed for the duration of the call.
  // [re-entrant: a handler may step the host]
  void DeliverEvent(const HostEvent& event);

  // Event names that currently have a handler, in name order.
  std::vector<std::string> HandledEventNames() const;
  // Observers currently counted for `event_name` (0 when none).
  int32_t SubscriptionCount(std::string_view event_name) const;

 protected:
  // Conversions use `registry` from now on; it must outlive the module.
  void UseRegistry(const BindingRegistry& registry) { registry_ = &registry; }

  // Stores `handler` for `event_name`, replacing an earlier one, and
  // subscribes at the host with the module's event callback, this module
  // as context and `flag`. The host is asked once per call. Does nothing
  // when stopping.
  void SubscribeEvent(std::string_view event_name, EventHandler handler, uint32_t flag);
  // Unsubscribes at the host and drops the handler; nothing happens when
  // the name has no handler. When stopping only the handler goes (unload
  // withdraws every subscription itself).
  void UnsubscribeEvent(std::string_view event_name);

 private:
  void LeaveCall();

  // module_timers.cpp
  friend struct detail::TimerFiring;
  // Runs the callback of timer `number` unless it ran, was withdrawn or the
  // module is stopping; the entry goes first. [re-entrant]
  void RunTimer(uint64_t number);
  // Forgets every pending timer, so a late fire from the host finds none.
  void WithdrawTimers();

  // resource_events.cpp
  void ObserveResourceWith(std::string_view uri, ResourceHandler handler);
  void DispatchJsonApiEvent(const BindingProperty& payload);

  // trov_calls.cpp
  void ObserveTrovClass(std::string_view class_name, TrovHandler handler);
  void DispatchTrovEvent(const BindingProperty& payload);
  Maybe<PluginTrovResponse> SendInvoke(std::string_view destination, std::string_view method,
                                       const BindingProperty& arguments);

  // service_proxy.cpp
  std::string StartServiceProxyRequest(std::string_view service, std::string_view method,
                                       const std::string& payload_json, std::string_view reply_method,
                                       std::string_view fifth_argument, ServiceProxyCallback callback);
  void OnServiceProxyAnswer(const BindingProperty& payload, bool by_method);
  void OnServiceProxyAsyncEvent(const BindingProperty& payload);
  // REQUIRES: module_lock_ held.
  void FulfilLocked();
  void FinalizePendingRequests();

  // Logs the future error and ends the process ("ALE-6D828C10").
  [[noreturn]] static void FailAwait(int code, const char* what);

  std::atomic<bool> stopping_{false};
  void* host_handle_ = nullptr;  // the host's word, passed back unchanged
  std::string short_name_;
  std::string user_agent_;
  const BindingRegistry* registry_ = nullptr;  // borrowed; see UseRegistry
  std::unique_ptr<TelemetrySink> telemetry_;
  TrovClassTables trov_classes_;

  // Calls from the host running in the module, and whether unload asked
  // for destruction while one ran.
  int active_calls_ = 0;
  bool destroy_when_idle_ = false;

  // Event name -> the one handler of that name.
  std::map<std::string, EventHandler, std::less<>> event_handlers_;
  // Event name -> observers that asked for it.
  std::map<std::string, int32_t, std::less<>> subscription_counts_;
  // URI -> typed observer, for URIs without and with "*".
  std::map<std::string, ResourceHandler, std::less<>> exact_observers_;
  std::map<std::string, ResourceHandler, std::less<>> pattern_observers_;
  // Backend class name -> push-message handler.
  std::map<std::string, TrovHandler, std::less<>> trov_handlers_;

  // Guards the three service-proxy tables. Held while completion callbacks
  // run; never held across a host call.
  std::mutex module_lock_;
  // Request key -> completion of the request waiting for it.
  std::map<std::string, ServiceProxyCallback, std::less<>> pending_proxy_requests_;
  // Request key -> latest answer that arrived for it.
  std::map<std::string, PluginServiceProxyResponse, std::less<>> arrived_proxy_answers_;
  // "service.method" -> handler of async answers.
  std::map<std::string, ServiceProxyCallback, std::less<>> async_proxy_handlers_;

  // One started timer: the process-wide token the host got as context
  // (see module_timers.cpp) and what to run.
  struct PendingTimer {
    uintptr_t token;
    TimerCallback callback;
  };
  // Guards the timer table and counter.
  mutable std::mutex timer_lock_;
  // Timer number -> pending timer, until it runs or is withdrawn.
  std::map<uint64_t, PendingTimer> timers_;
  uint64_t next_timer_ = 1;
};

template <class T>
Maybe<T> AppModule::Await(Future<T> future) {
  bool waiting = false;
  try {
    for (;;) {
      const std::future_status status = future.wait_for(std::chrono::seconds(0));
      // A deferred future runs when its value is taken; stepping the host
      // would never make it ready.
      if (status != std::future_status::timeout) break;
      // Unload has begun: the answer can no longer come, and the host's
      // wait is over with the plug-in (no end wait).
      if (IsStopping()) return Failure(std::string(kFinalizing));
      if (!waiting) {
        const std::string label = Format("Wait: future<%1>", StaticTypeOf<Maybe<T>>().name);
        BeginWait(label.c_str(), 0);
        waiting = true;
      }
      Step();
    }
    if (waiting && !IsStopping()) {
      waiting = false;
      EndWait();
    }
    return future.get();
  } catch (const std::future_error& error) {
    if (waiting && !IsStopping()) EndWait();
    FailAwait(error.code().value(), error.what());
  }
}

}  // namespace Quarn
