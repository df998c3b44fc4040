// CallbackDepth: how many plug-in callbacks (request, event, timer, init,
// unload) are on the loop thread's stack. Work that unloads a plug-in waits
// until none is. Read from any thread.
#pragma once

#include <atomic>

namespace kiv::host {

class CallbackDepth {
 public:
  bool Inside() const { return depth_.load() > 0; }

  // Counts one callback for as long as it lives.
  class Scope {
   public:
    explicit Scope(CallbackDepth& depth) : depth_(depth) { ++depth_.depth_; }
    ~Scope() { --depth_.depth_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    CallbackDepth& depth_;
  };

 private:
  std::atomic<int> depth_{0};
};

}  // namespace kiv::host
