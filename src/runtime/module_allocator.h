// The module allocator's counters: every allocation and free made by the
// plug-in library is counted here (the library's replacement of the global
// allocation functions feeds them), and the host reads them through the
// memory-statistics callback.
//
// Counters are updated atomically, so any thread may allocate; the peak and
// the live count at the peak are updated together on a best-effort basis.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "kiv/plugin_abi.h"

namespace Quarn {

class AllocationCounters {
 public:
  // Counts one allocation of `bytes`, then raises the peak of bytes in use
  // when it is exceeded.
  void OnAllocate(uint64_t bytes) noexcept;
  // Counts one free of `bytes` (the size counted when it was allocated).
  void OnFree(uint64_t bytes) noexcept;

  // Writes the six counters and zeroes the two reserved words.
  // REQUIRES: stats is not null.
  void Fill(PluginMemoryStats* stats) const noexcept;

 private:
  std::atomic<uint64_t> peak_bytes_{0};
  std::atomic<uint64_t> live_at_peak_{0};
  std::atomic<uint64_t> bytes_allocated_{0};
  std::atomic<uint64_t> allocations_{0};
  std::atomic<uint64_t> bytes_freed_{0};
  std::atomic<uint64_t> frees_{0};
};

// The counters of this library, shared by the allocation hooks and the
// memory-statistics callback. Constant-initialised, so allocations made
// during static initialisation are counted too.
AllocationCounters& ModuleAllocationCounters() noexcept;

}  // namespace Quarn

// Memory-statistics callback (PluginCallbacks entry 2): fills `stats` from
// ModuleAllocationCounters(). `ignored` is not read; `stats` is borrowed for
// the duration of the call and a null pointer is ignored. [any thread]
extern "C" void QuarnMemoryStatistics(void* ignored, PluginMemoryStats* stats) noexcept;
