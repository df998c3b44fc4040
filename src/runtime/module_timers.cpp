// The module's timer table: AppModule::StartTimerAt/StartTimerIn, and the
// running and withdrawing of its timers.
//
// The host gets a process-wide token as a timer's context, never an address
// inside a module: a timer that the host fires after the module withdrew it
// (at unload) or after the module is gone finds no token and runs nothing.
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "runtime/app_module.h"

namespace {

struct LiveTimer {
  Quarn::AppModule* module;
  uint64_t number;
};

// Every module's pending timers, by token. Never destroyed: a host may fire
// a timer while the process exits.
struct LiveTimers {
  std::mutex lock;
  std::map<uintptr_t, LiveTimer> by_token;
  uintptr_t next_token = 1;
};

LiveTimers& Live() {
  static LiveTimers* const live = new LiveTimers();
  return *live;
}

}  // namespace

struct Quarn::detail::TimerFiring {
  static void Fire(void* context) {
    LiveTimers& live = Live();
    LiveTimer timer{};
    {
      std::lock_guard<std::mutex> lock(live.lock);
      const auto found = live.by_token.find(reinterpret_cast<uintptr_t>(context));
      if (found == live.by_token.end()) return;
      timer = found->second;
      live.by_token.erase(found);
    }
    AppModule::CallScope scope(*timer.module);
    timer.module->RunTimer(timer.number);
  }
};

namespace {

// The host calls this once per started timer with its token as context.
extern "C" void ModuleTimerCallback(void* context) noexcept {
  try {
    Quarn::detail::TimerFiring::Fire(context);
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
  if (IsStopping()) return 0;
  LiveTimers& live = Live();
  uintptr_t token = 0;
  {
    std::lock_guard<std::mutex> lock(live.lock);
    token = live.next_token++;
  }
  uint64_t number = 0;
  {
    std::lock_guard<std::mutex> lock(timer_lock_);
    number = next_timer_++;
    timers_.emplace(number, PendingTimer{token, std::move(callback)});
  }
  {
    std::lock_guard<std::mutex> lock(live.lock);
    live.by_token.emplace(token, LiveTimer{this, number});
  }
  const std::string text(label);
  StartTimer(text.c_str(), &ModuleTimerCallback, reinterpret_cast<void*>(token),
             delay_seconds > 0 ? delay_seconds : 0.0, 0);
  return number;
}

void Quarn::AppModule::RunTimer(uint64_t number) {
  TimerCallback callback;
  {
    std::lock_guard<std::mutex> lock(timer_lock_);
    const auto found = timers_.find(number);
    if (found == timers_.end()) return;
    callback = std::move(found->second.callback);
    timers_.erase(found);
  }
  // Once unload has begun, the module's work is over; a timer that fires
  // while an earlier call still unwinds must not start new work.
  if (callback && !IsStopping()) callback();
}

void Quarn::AppModule::WithdrawTimers() {
  std::vector<uintptr_t> tokens;
  {
    std::lock_guard<std::mutex> lock(timer_lock_);
    tokens.reserve(timers_.size());
    for (const auto& [number, timer] : timers_) tokens.push_back(timer.token);
    timers_.clear();
  }
  LiveTimers& live = Live();
  std::lock_guard<std::mutex> lock(live.lock);
  for (const uintptr_t token : tokens) live.by_token.erase(token);
}

size_t Quarn::AppModule::PendingTimerCount() const {
  std::lock_guard<std::mutex> lock(timer_lock_);
  return timers_.size();
}
