// EventBus: plug-in subscriptions by event name and host-side listeners.
// Posted events are queued and delivered on a later step to the subscribers
// that exist at delivery; the payload is copied at posting, so an emitter may
// release its record when the call returns. For the loop thread, except Post.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_value.h"
#include "host/loop/boundary_observer.h"
#include "host/loop/callback_depth.h"
#include "host/loop/work_queue.h"
#include "host/plugin_library.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

// A host-side listener of events (stand-ins, the developer host's event
// stream); the value is borrowed for the duration of the call.
using EventListener = std::function<void(std::string_view name, const HostValue& payload)>;

class EventBus {
 public:
  // Both must outlive the bus.
  EventBus(WorkQueue& queue, CallbackDepth& depth) : queue_(queue), depth_(depth) {}
  EventBus(const EventBus&) = delete;
  EventBus& operator=(const EventBus&) = delete;

  // A second identical subscription (name, plug-in, callback, context) is
  // ignored.
  void Subscribe(std::string name, void* host_handle, HostEventFn callback, void* context, uint32_t flag);
  void Unsubscribe(std::string_view name, void* host_handle);
  // Forgets the subscriptions of a plug-in: by handle, and by callback
  // address when `library` (may be null) is given.
  void DropPlugin(void* host_handle, const PluginLibrary* library);

  // `name` "*" hears every event. Returns an id for RemoveListener.
  int Listen(std::string name, EventListener listener);
  void RemoveListener(int id);

  // Delivers the event on a step after `delay_seconds`. [any thread]
  void Post(std::string name, OwnedValue payload, double delay_seconds = 0);
  // Post for an event a plug-in emitted: the observer does not see its
  // deliveries, which are the plug-in's output, not its input.
  void PostFromPlugin(std::string name, OwnedValue payload);
  // Delivers now: subscribers first, then listeners. Those removed by an
  // earlier one are skipped. [host thread][re-entrant]
  void Deliver(const std::string& name, const OwnedValue& payload, bool from_plugin = false);
  // Sees host events reach plug-in subscriptions; null: nobody.
  void SetObserver(BoundaryObserver* observer) { observer_ = observer; }

  std::vector<std::string> SubscribedNames() const;
  size_t SubscriberCount(std::string_view name) const;

 private:
  struct Subscription {
    uint64_t id;
    std::string name;
    void* host_handle;
    HostEventFn callback;
    void* context;
    uint32_t flag;
  };
  struct Listener {
    int id;
    std::string name;
    EventListener fn;
  };

  WorkQueue& queue_;
  CallbackDepth& depth_;
  std::vector<Subscription> subscriptions_;
  uint64_t next_subscription_ = 1;
  std::vector<Listener> listeners_;
  int next_listener_ = 1;
  BoundaryObserver* observer_ = nullptr;

  void Queue(std::string name, OwnedValue payload, double delay_seconds, bool from_plugin);
};

}  // namespace kiv::host
