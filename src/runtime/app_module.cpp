#include "runtime/app_module.h"

#include <utility>

#include "diagnostics/assertion.h"
#include "diagnostics/logger.h"
#include "runtime/event_name.h"

namespace {

// The host calls this for every event of a name the module subscribed to;
// the context word is the module. Nothing may escape into the host.
extern "C" void ModuleEventCallback(const HostEvent* event) noexcept {
  if (event == nullptr || event->context == nullptr) return;
  try {
    static_cast<Quarn::AppModule*>(event->context)->DeliverEvent(*event);
  } catch (...) {
    // A handler that throws loses its event; the host must not see it.
  }
}

// Subscription flags the host distinguishes.
constexpr uint32_t kJsonApiFlag = 0;
constexpr uint32_t kServiceProxyFlag = 1;

}  // namespace

Quarn::AppModule::AppModule() = default;

Quarn::AppModule::~AppModule() = default;

void Quarn::AppModule::Subscribe(std::string_view uri) {
  const std::string name = EventNameOfUri(uri);
  auto count = subscription_counts_.find(name);
  if (count == subscription_counts_.end()) count = subscription_counts_.emplace(name, 0).first;
  if (++count->second != 1) return;
  SubscribeEvent(name, [this](const HostEvent& event) { DispatchJsonApiEvent(event); }, kJsonApiFlag);
}

void Quarn::AppModule::Unsubscribe(std::string_view uri) {
  const std::string name = EventNameOfUri(uri);
  auto count = subscription_counts_.find(name);
  if (count == subscription_counts_.end()) return;
  if (--count->second > 0) return;
  subscription_counts_.erase(count);
  UnsubscribeEvent(name);
}

void Quarn::AppModule::Shutdown() {
  // Move the table out first: unsubscribing may re-enter the module.
  const std::map<std::string, EventHandler, std::less<>> handlers = std::exchange(event_handlers_, {});
  for (const auto& [name, handler] : handlers) UnsubscribeAtHost(name.c_str(), host_handle_);
  subscription_counts_.clear();
  exact_observers_.clear();
  pattern_observers_.clear();
  trov_handlers_.clear();

  // Destroy the callbacks after the lock is released: dropping a promise
  // wakes its future, which must not find the lock held.
  std::map<std::string, ServiceProxyCallback, std::less<>> pending;
  std::map<std::string, PluginServiceProxyResponse, std::less<>> arrived;
  std::map<std::string, ServiceProxyCallback, std::less<>> async;
  {
    std::lock_guard<std::mutex> lock(module_lock_);
    pending.swap(pending_proxy_requests_);
    arrived.swap(arrived_proxy_answers_);
    async.swap(async_proxy_handlers_);
  }
}

uint32_t Quarn::AppModule::Yield() {
  BeginWait("Wait: yield", 0);
  Step();
  return EndWait();
}

void Quarn::AppModule::Connect(void* host_handle, std::string short_name, std::string user_agent) {
  host_handle_ = host_handle;
  short_name_ = std::move(short_name);
  user_agent_ = std::move(user_agent);
  SubscribeEvent(kOnServiceProxyUuidEvent, [this](const HostEvent& event) { OnServiceProxyUuidEvent(event); },
                 kServiceProxyFlag);
  SubscribeEvent(kOnServiceProxyMethodEvent,
                 [this](const HostEvent& event) { OnServiceProxyMethodEvent(event); }, kServiceProxyFlag);
  SubscribeEvent(kOnServiceProxyAsyncEvent, [this](const HostEvent& event) { OnServiceProxyAsyncEvent(event); },
                 kServiceProxyFlag);
}

void Quarn::AppModule::DeliverEvent(const HostEvent& event) {
  if (event.name == nullptr) return;
  const auto found = event_handlers_.find(std::string_view(event.name));
  if (found == event_handlers_.end()) return;
  // A copy: the handler may unsubscribe its own name while it runs.
  const EventHandler handler = found->second;
  if (handler) handler(event);
}

std::vector<std::string> Quarn::AppModule::HandledEventNames() const {
  std::vector<std::string> names;
  names.reserve(event_handlers_.size());
  for (const auto& entry : event_handlers_) names.push_back(entry.first);
  return names;
}

int32_t Quarn::AppModule::SubscriptionCount(std::string_view event_name) const {
  const auto found = subscription_counts_.find(event_name);
  return found == subscription_counts_.end() ? 0 : found->second;
}

void Quarn::AppModule::SubscribeEvent(std::string_view event_name, EventHandler handler, uint32_t flag) {
  std::string name(event_name);
  event_handlers_.insert_or_assign(name, std::move(handler));
  SubscribeAtHost(name.c_str(), host_handle_, &ModuleEventCallback, this, flag);
}

void Quarn::AppModule::UnsubscribeEvent(std::string_view event_name) {
  const auto found = event_handlers_.find(event_name);
  if (found == event_handlers_.end()) return;
  const std::string name = found->first;
  event_handlers_.erase(found);
  UnsubscribeAtHost(name.c_str(), host_handle_);
}

void Quarn::AppModule::DispatchJsonApiEvent(const HostEvent& /*event*/) {
  // Resource observers are not routed yet: the payload conversion and the
  // observer tables are filled in by the resource-event layer.
}

void Quarn::AppModule::OnServiceProxyUuidEvent(const HostEvent& /*event*/) {}

void Quarn::AppModule::OnServiceProxyMethodEvent(const HostEvent& /*event*/) {}

void Quarn::AppModule::OnServiceProxyAsyncEvent(const HostEvent& /*event*/) {}

void Quarn::AppModule::FailAwait(int code, const char* what) {
  const std::string message = Format("Caught std::future_error in AppModule::Await: (%1) %2", code, what);
  Log(kLogError, kChannelDbg, "%s", message.c_str());
  ReportFatal("ALE-6D828C10", "%s", message.c_str());
}
