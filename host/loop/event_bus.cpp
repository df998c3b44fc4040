#include "host/loop/event_bus.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

void kiv::host::EventBus::Subscribe(std::string name, void* host_handle, HostEventFn callback, void* context,
                                    uint32_t flag) {
  for (const auto& s : subscriptions_) {
    if (s.name == name && s.host_handle == host_handle && s.callback == callback && s.context == context) return;
  }
  subscriptions_.push_back({next_subscription_++, std::move(name), host_handle, callback, context, flag});
}

void kiv::host::EventBus::Unsubscribe(std::string_view name, void* host_handle) {
  std::erase_if(subscriptions_,
                [&](const Subscription& s) { return s.name == name && s.host_handle == host_handle; });
}

void kiv::host::EventBus::DropPlugin(void* host_handle, const PluginLibrary* library) {
  std::erase_if(subscriptions_, [&](const Subscription& s) {
    return s.host_handle == host_handle ||
           (library != nullptr && library->Contains(reinterpret_cast<const void*>(s.callback)));
  });
}

int kiv::host::EventBus::Listen(std::string name, EventListener listener) {
  const int id = next_listener_++;
  listeners_.push_back({id, std::move(name), std::move(listener)});
  return id;
}

void kiv::host::EventBus::RemoveListener(int id) {
  std::erase_if(listeners_, [&](const Listener& l) { return l.id == id; });
}

void kiv::host::EventBus::Post(std::string name, OwnedValue payload, double delay_seconds) {
  Queue(std::move(name), std::move(payload), delay_seconds, false);
}

void kiv::host::EventBus::PostFromPlugin(std::string name, OwnedValue payload) {
  Queue(std::move(name), std::move(payload), 0, true);
}

void kiv::host::EventBus::Queue(std::string name, OwnedValue payload, double delay_seconds, bool from_plugin) {
  auto shared = std::make_shared<std::pair<std::string, OwnedValue>>(std::move(name), std::move(payload));
  WorkItem item;
  item.label = "event " + shared->first;
  item.delay_seconds = delay_seconds;
  item.run = [this, shared, from_plugin] { Deliver(shared->first, shared->second, from_plugin); };
  queue_.Post(std::move(item));
}

void kiv::host::EventBus::Deliver(const std::string& name, const OwnedValue& payload, bool from_plugin) {
  // Subscribers may come and go while others run: take the ids first and
  // skip any that are gone by their turn.
  std::vector<uint64_t> ids;
  for (const auto& s : subscriptions_) {
    if (s.name == name) ids.push_back(s.id);
  }
  if (observer_ != nullptr && !from_plugin && !ids.empty()) observer_->Delivered(queue_.Now(), name, payload.get());
  HostEvent event;
  std::memset(&event, 0, sizeof event);
  event.name = name.c_str();
  event.payload = payload.get();
  for (const uint64_t id : ids) {
    auto it = std::find_if(subscriptions_.begin(), subscriptions_.end(),
                           [&](const Subscription& s) { return s.id == id; });
    if (it == subscriptions_.end()) continue;
    const HostEventFn callback = it->callback;
    event.context = it->context;
    CallbackDepth::Scope scope(depth_);
    callback(&event);
  }
  std::vector<int> listener_ids;
  for (const auto& l : listeners_) {
    if (l.name == name || l.name == "*") listener_ids.push_back(l.id);
  }
  for (const int id : listener_ids) {
    auto it = std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) { return l.id == id; });
    if (it == listeners_.end()) continue;
    EventListener fn = it->fn;
    fn(name, payload.get());
  }
}

std::vector<std::string> kiv::host::EventBus::SubscribedNames() const {
  std::vector<std::string> names;
  for (const auto& s : subscriptions_) {
    if (std::find(names.begin(), names.end(), s.name) == names.end()) names.push_back(s.name);
  }
  return names;
}

size_t kiv::host::EventBus::SubscriberCount(std::string_view name) const {
  return static_cast<size_t>(std::count_if(subscriptions_.begin(), subscriptions_.end(),
                                           [&](const Subscription& s) { return s.name == name; }));
}
