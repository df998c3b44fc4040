// Quarn::AppModule: the runtime's module base. It keeps what a module needs
// to live inside the host: the host handle and names, the stopping flag,
// the event-handler and subscription tables, the service-proxy and timer
// tables, and awaiting (Await, Yield) by stepping the host.
//
// The host's function table is reached only through the pure virtual slots
// 4-12, which PluginBase implements as plain forwards; the slot order is
// part of the module's contract and must not change.
//
// Everything runs on the host's thread. Calls that step the host (Await,
// Yield, requests) are re-entrant: events, requests and timers of this
// module may run before they return.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "binding/maybe_type.h"
#include "binding/message_format.h"
#include "binding/static_type.h"
#include "kiv/plugin_abi.h"
#include "runtime/host_records.h"

namespace Quarn {

class AppModule {
 public:
  // Handles one delivered host event; the record is borrowed for the
  // duration of the call. A handler converts the payload itself.
  using EventHandler = std::function<void(const HostEvent& event)>;
  // A typed observer of resource changes.
  using ResourceHandler = std::function<void(const Resource& resource)>;
  // Completes a pending service-proxy request with its answer.
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
  // once each, then clears the handler, observer and subscription tables;
  // the service-proxy tables are cleared under the module lock (their
  // promises break). Safe to call more than once.
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

  // Waits for `future` by stepping the host until it is ready. A future
  // that is ready on arrival returns at once without any host call;
  // otherwise begin wait ("Wait: future<type>") is called once, step once
  // per poll, end wait once.
  // [re-entrant: other callbacks may run before this returns] Re-read any
  // module state read before the call; hold no module lock across it.
  // REQUIRES: called on the host thread.
  // Returns the future's value, failures included. A future error (no
  // state, or its promise dropped unset) is fatal: "ALE-6D828C10".
  template <class T>
  Maybe<T> Await(Future<T> future);

  // Lets the host run once: begin wait "Wait: yield", step, end wait.
  // Returns end wait's result word.
  // [re-entrant: other callbacks may run before this returns]
  uint32_t Yield();

  // Stores the host handle, the short name and the User-Agent text, then
  // subscribes to the three service-proxy events (flag 1).
  // REQUIRES: the host's function table is reachable through the slots.
  void Connect(void* host_handle, std::string short_name, std::string user_agent);

  // Set once unload begins; service-proxy requests then fail at once.
  bool IsStopping() const { return stopping_; }
  void SetStopping() { stopping_ = true; }

  // Null until connected.
  void* host_handle() const { return host_handle_; }
  // Empty until connected.
  const std::string& short_name() const { return short_name_; }
  const std::string& user_agent() const { return user_agent_; }

  // Runs the handler stored for the event's name with `event` (borrowed
  // for the duration of the call); an event without handler is ignored.
  // This is what the module's event callback does for the host.
  // [re-entrant: a handler may step the host]
  void DeliverEvent(const HostEvent& event);

  // Event names that currently have a handler, in name order.
  std::vector<std::string> HandledEventNames() const;
  // Observers currently counted for `event_name` (0 when none).
  int32_t SubscriptionCount(std::string_view event_name) const;

 protected:
  // Stores `handler` for `event_name`, replacing an earlier one, and
  // subscribes at the host with the module's event callback, this module
  // as context and `flag`. The host is asked once per call.
  void SubscribeEvent(std::string_view event_name, EventHandler handler, uint32_t flag);
  // Unsubscribes at the host and drops the handler; nothing happens when
  // the name has no handler.
  void UnsubscribeEvent(std::string_view event_name);

 private:
  // The JSON API dispatch handler: routes a resource event to the exact
  // observer of its URI and to every matching pattern observer.
  void DispatchJsonApiEvent(const HostEvent& event);
  // The handlers of the three service-proxy events.
  void OnServiceProxyUuidEvent(const HostEvent& event);
  void OnServiceProxyMethodEvent(const HostEvent& event);
  void OnServiceProxyAsyncEvent(const HostEvent& event);

  // Logs the future error and ends the process ("ALE-6D828C10").
  [[noreturn]] static void FailAwait(int code, const char* what);

  bool stopping_ = false;
  void* host_handle_ = nullptr;  // the host's word, passed back unchanged
  std::string short_name_;
  std::string user_agent_;

  // Event name -> the one handler of that name.
  std::map<std::string, EventHandler, std::less<>> event_handlers_;
  // Event name -> observers that asked for it.
  std::map<std::string, int32_t, std::less<>> subscription_counts_;
  // URI -> typed observer, for URIs without and with "*".
  std::map<std::string, ResourceHandler, std::less<>> exact_observers_;
  std::map<std::string, ResourceHandler, std::less<>> pattern_observers_;
  // Backend class name -> push-message handler.
  std::map<std::string, TrovHandler, std::less<>> trov_handlers_;
  // Registered DTO type name -> backend class name, and static type id ->
  // backend class name.
  std::map<std::string, std::string, std::less<>> trov_class_by_type_name_;
  std::map<uint32_t, std::string> trov_class_by_type_id_;

  // Guards the three service-proxy tables. Never held across a host call
  // that can re-enter this module, except around completion callbacks.
  std::mutex module_lock_;
  // Request key -> completion of the request waiting for it.
  std::map<std::string, ServiceProxyCallback, std::less<>> pending_proxy_requests_;
  // Request key -> latest answer that arrived for it.
  std::map<std::string, PluginServiceProxyResponse, std::less<>> arrived_proxy_answers_;
  // "service.method" -> handler of async answers.
  std::map<std::string, ServiceProxyCallback, std::less<>> async_proxy_handlers_;

  // Guards the timer table and counter.
  std::mutex timer_lock_;
  // Timer number -> callback; the node's address is the timer's context.
  std::map<uint64_t, TimerCallback> timers_;
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
      if (!waiting) {
        const std::string label = Format("Wait: future<%1>", StaticTypeOf<Maybe<T>>().name);
        BeginWait(label.c_str(), 0);
        waiting = true;
      }
      Step();
    }
    if (waiting) {
      waiting = false;
      EndWait();
    }
    return future.get();
  } catch (const std::future_error& error) {
    if (waiting) EndWait();
    FailAwait(error.code().value(), error.what());
  }
}

}  // namespace Quarn
