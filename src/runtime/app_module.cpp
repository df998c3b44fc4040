#include "runtime/app_module.h"

#include <utility>

#include "binding/binding_registry.h"
#include "binding/host_value_conversion.h"
#include "diagnostics/assertion.h"
#include "diagnostics/logger.h"
#include "runtime/event_name.h"

namespace {

// The host calls this for every event of a name the module subscribed to;
// the context word is the module. Nothing may escape into the host.
extern "C" void ModuleEventCallback(const HostEvent* event) noexcept {
  if (event == nullptr || event->context == nullptr) return;
  auto* module = static_cast<Quarn::AppModule*>(event->context);
  Quarn::AppModule::CallScope scope(*module);
  try {
    module->DeliverEvent(*event);
  } catch (...) {
    // A handler that throws loses its event; the host must not see it.
  }
}

// JSON API events subscribe with flag 0.
constexpr uint32_t kJsonApiFlag = 0;

}  // namespace

const Quarn::BindingRegistry& Quarn::AppModule::registry() const {
  // Before a registry is set nothing is registered: conversions of plain
  // values still work, registered types fail with their usual message.
  static const BindingRegistry* const kEmpty = new BindingRegistry();
  return registry_ != nullptr ? *registry_ : *kEmpty;
}

void Quarn::AppModule::Subscribe(std::string_view uri) {
  if (IsStopping()) return;
  const std::string name = EventNameOfUri(uri);
  auto count = subscription_counts_.find(name);
  if (count == subscription_counts_.end()) count = subscription_counts_.emplace(name, 0).first;
  if (++count->second != 1) return;
  SubscribeEvent(
      name, [this](const BindingProperty& payload) { DispatchJsonApiEvent(payload); }, kJsonApiFlag);
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
  WithdrawTimers();
  FinalizePendingRequests();
}

uint32_t Quarn::AppModule::Yield() {
  if (IsStopping()) return 0;
  BeginWait("Wait: yield", 0);
  Step();
  // An unload that ran inside the step ended the host's wait with it.
  if (IsStopping()) return 0;
  return EndWait();
}

void Quarn::AppModule::DestroyWhenIdle() {
  if (active_calls_ > 0) {
    destroy_when_idle_ = true;
    return;
  }
  delete this;
}

void Quarn::AppModule::LeaveCall() {
  // An unload that came in while a call waited inside the host destroys
  // the module only now, when nothing of it is on the stack any more.
  if (--active_calls_ == 0 && destroy_when_idle_) delete this;
}

void Quarn::AppModule::DeliverEvent(const HostEvent& event) {
  if (event.name == nullptr || IsStopping()) return;
  const auto found = event_handlers_.find(std::string_view(event.name));
  if (found == event_handlers_.end()) return;
  // A copy: the handler may unsubscribe its own name while it runs.
  const EventHandler handler = found->second;
  if (!handler) return;

  BindingProperty payload;
  std::string error;
  if (!FromHostValue(payload, event.payload, "<result>", error)) {
    Log(kLogOkay, kChannelXtr, "%s: Couldn't convert payload %s for event %s: %s", short_name_.c_str(),
        StaticTypeOf<BindingProperty>().name.c_str(), event.name, error.c_str());
    return;
  }
  Log(kLogOkay, kChannelXtr, "%s: Handling event %s", short_name_.c_str(), event.name);
  handler(payload);
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
  if (IsStopping()) return;
  std::string name(event_name);
  event_handlers_.insert_or_assign(name, std::move(handler));
  Log(kLogOkay, kChannelXtr, "%s: Subscribing to event: %s", short_name_.c_str(), name.c_str());
  SubscribeAtHost(name.c_str(), host_handle_, &ModuleEventCallback, this, flag);
}

void Quarn::AppModule::UnsubscribeEvent(std::string_view event_name) {
  const auto found = event_handlers_.find(event_name);
  if (found == event_handlers_.end()) return;
  const std::string name = found->first;
  event_handlers_.erase(found);
  if (IsStopping()) return;
  Log(kLogOkay, kChannelXtr, "%s: Unsubscribing to event: %s", short_name_.c_str(), name.c_str());
  UnsubscribeAtHost(name.c_str(), host_handle_);
}

void Quarn::AppModule::FailAwait(int code, const char* what) {
  const std::string message = Format("Caught std::future_error in AppModule::Await: (%1) %2", code, what);
  Log(kLogError, kChannelDbg, "%s", message.c_str());
  ReportFatal("ALE-6D828C10", "%s", message.c_str());
}
