#include "host/loop/work_queue.h"

#include <algorithm>
#include <cmath>
#include <utility>

kiv::host::WorkQueue::WorkQueue(bool virtual_time, const CallbackDepth& depth)
    : virtual_time_(virtual_time), depth_(depth), start_(std::chrono::steady_clock::now()) {}

double kiv::host::WorkQueue::Now() const {
  if (virtual_time_) return virtual_now_.load();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void kiv::host::WorkQueue::AdvanceTime(double seconds) {
  if (!virtual_time_ || !(seconds > 0)) return;
  virtual_now_.store(virtual_now_.load() + seconds);
  changed_.notify_all();
}

size_t kiv::host::WorkQueue::pending() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

uint64_t kiv::host::WorkQueue::Post(WorkItem item) {
  const double delay = item.delay_seconds >= 0 ? item.delay_seconds : 0.0;
  const double due = Now() + delay;
  uint64_t ticket;
  {
    std::lock_guard lock(mutex_);
    ticket = next_ticket_++;
    entries_.push_back({ticket, due, std::move(item)});
  }
  changed_.notify_all();
  return ticket;
}

bool kiv::host::WorkQueue::Cancel(uint64_t ticket) {
  std::lock_guard lock(mutex_);
  return std::erase_if(entries_, [&](const Entry& e) { return e.ticket == ticket; }) > 0;
}

void kiv::host::WorkQueue::DropIf(const std::function<bool(const void* code, void* owner)>& drop) {
  std::deque<Entry> dropped;  // destroyed after the lock is released
  std::lock_guard lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (drop(it->item.code, it->item.owner)) {
      dropped.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

size_t kiv::host::WorkQueue::Step() {
  uint64_t snapshot;
  {
    std::lock_guard lock(mutex_);
    snapshot = next_ticket_;
  }
  const double now = Now();
  size_t ran = 0;
  // One item at a time: the item may step re-entrantly and take the rest of
  // this batch, so the queue is searched again after each.
  for (;;) {
    std::function<void()> run;
    {
      std::lock_guard lock(mutex_);
      const bool inside = depth_.Inside();
      auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.ticket < snapshot && e.due <= now && Runnable(e, inside);
      });
      if (it == entries_.end()) break;
      run = std::move(it->item.run);
      entries_.erase(it);
    }
    run();
    ++ran;
  }
  return ran;
}

size_t kiv::host::WorkQueue::RunUntilIdle(size_t max_steps) {
  size_t total = 0;
  for (size_t i = 0; i < max_steps; ++i) {
    const size_t ran = Step();
    if (ran == 0) break;
    total += ran;
  }
  return total;
}

bool kiv::host::WorkQueue::RunUntil(const std::function<bool()>& done, size_t max_steps) {
  for (size_t i = 0; i < max_steps; ++i) {
    if (done()) return true;
    Step();
  }
  return done();
}

bool kiv::host::WorkQueue::WaitForWork(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  for (;;) {
    const double now = Now();
    const bool inside = depth_.Inside();
    double earliest = INFINITY;
    for (const Entry& e : entries_) {
      if (Runnable(e, inside)) earliest = std::min(earliest, e.due);
    }
    if (earliest <= now) return true;
    auto until = deadline;
    if (!virtual_time_ && std::isfinite(earliest)) {
      until = std::min(until, std::chrono::steady_clock::now() +
                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(earliest - now)));
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    changed_.wait_until(lock, until);
  }
}
