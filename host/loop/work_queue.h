// WorkQueue: the host's queue of work items and its clock. Step() runs the
// items that are due and were queued before it, one at a time, on the loop
// thread; an item may step again from inside (a plug-in that awaits an
// answer) and take the rest of the batch.
//
// Post, Cancel, WaitForWork, Now and pending may be used from any thread;
// the rest is for the loop thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "host/loop/callback_depth.h"

namespace kiv::host {

struct WorkItem {
  std::function<void()> run;
  double delay_seconds = 0;  // negative or NaN: none
  std::string label;
  const void* code = nullptr;   // a plug-in callback, so a detach can drop it by address
  void* owner = nullptr;        // the plug-in that queued it, so a detach can drop it
  bool outside_plugin = false;  // waits for a step with no plug-in callback on the stack
};

class WorkQueue {
 public:
  // Virtual time: the clock moves only by AdvanceTime, so tests decide when
  // delayed work is due. Otherwise the steady clock. `depth` says when a
  // plug-in callback is on the stack; it must outlive the queue.
  WorkQueue(bool virtual_time, const CallbackDepth& depth);
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues `item`; returns its ticket for Cancel. [any thread]
  uint64_t Post(WorkItem item);
  // Takes queued work out before it starts; false when it already started
  // (or ran, or never existed). [any thread]
  bool Cancel(uint64_t ticket);
  // Takes out every queued item for which `drop(code, owner)` holds.
  void DropIf(const std::function<bool(const void* code, void* owner)>& drop);

  // Runs the due items queued before this call and returns how many ran.
  // Items marked outside_plugin wait while a plug-in callback is on the stack.
  // [host thread][re-entrant]
  size_t Step();
  // Steps until a step runs nothing (at most max_steps); returns items run.
  size_t RunUntilIdle(size_t max_steps);
  // Steps until `done` holds (checked before each step); false when
  // max_steps ran out first.
  bool RunUntil(const std::function<bool()>& done, size_t max_steps);
  // Blocks until work is due or `timeout` passed; true when work is due.
  // [any thread]
  bool WaitForWork(std::chrono::milliseconds timeout);

  // Virtual time only: moves the clock on.
  void AdvanceTime(double seconds);
  double Now() const;  // seconds since the queue was made
  bool virtual_time() const { return virtual_time_; }
  size_t pending() const;  // queued items, due or not

 private:
  struct Entry {
    uint64_t ticket;
    double due;
    WorkItem item;
  };
  bool Runnable(const Entry& entry, bool inside) const { return !(inside && entry.item.outside_plugin); }

  const bool virtual_time_;
  const CallbackDepth& depth_;
  const std::chrono::steady_clock::time_point start_;
  std::atomic<double> virtual_now_{0};

  mutable std::mutex mutex_;  // guards entries_ and next_ticket_
  std::condition_variable changed_;
  std::deque<Entry> entries_;
  uint64_t next_ticket_ = 0;
};

}  // namespace kiv::host
