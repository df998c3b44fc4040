// The module's timer table: AppModule::StartTimerAt/StartTimerIn/RunTimer.
#include <algorithm>

#include "runtime/app_module.h"

namespace {

// The host calls this once per started timer with the entry as context.
extern "C" void ModuleTimerCallback(void* context) noexcept {
  if (context == nullptr) return;
  auto* entry = static_cast<Quarn::AppModule::TimerEntry*>(context);
  Quarn::AppModule& module = *entry->module;
  Quarn::AppModule::CallScope scope(module);
  try {
    module.RunTimer(*entry);
  } catch (...) {
    // Nothing may escape into the host.
  }
}

}  // namespace

uint64_t Quarn::AppModule::StartTimerAt(std::string_view label, std::chrono::steady_clock::time_point when,
                                        TimerCallback callback) {
  const std::chrono::duration<double> delay = when - std::chrono::steady_clock::now();
  return StartTimerIn(label, std::max(0.0, delay.count()), std::move(callback));
}

uint64_t Quarn::AppModule::StartTimerIn(std::string_view label, double delay_seconds,
                                        TimerCallback callback) {
  TimerEntry* entry = nullptr;
  uint64_t number = 0;
  {
    std::lock_guard<std::mutex> lock(timer_lock_);
    number = next_timer_++;
    entry = &timers_.emplace(number, TimerEntry{this, number, std::move(callback)}).first->second;
  }
  // The host never runs a timer inside start_timer, so the entry cannot be
  // gone before the call returns.
  const std::string text(label);
  StartTimer(text.c_str(), &ModuleTimerCallback, entry, delay_seconds > 0 ? delay_seconds : 0.0, 0);
  return number;
}

void Quarn::AppModule::RunTimer(TimerEntry& entry) {
  const uint64_t number = entry.number;
  // A copy, so the entry may go while the callback runs (re-entrantly).
  TimerCallback callback;
  {
    std::lock_guard<std::mutex> lock(timer_lock_);
    if (timers_.find(number) == timers_.end()) return;
    callback = entry.callback;
  }
  // Once unload has begun, the module's work is over; a timer that fires
  // while an earlier call still unwinds must not start new work.
  if (callback && !stopping_) callback();
  std::lock_guard<std::mutex> lock(timer_lock_);
  timers_.erase(number);
}

size_t Quarn::AppModule::PendingTimerCount() const {
  std::lock_guard<std::mutex> lock(timer_lock_);
  return timers_.size();
}
