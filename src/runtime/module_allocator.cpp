#include "runtime/module_allocator.h"

#include <cstring>

void Quarn::AllocationCounters::OnAllocate(uint64_t bytes) noexcept {
  const uint64_t allocated = bytes_allocated_.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  const uint64_t count = allocations_.fetch_add(1, std::memory_order_relaxed) + 1;
  const uint64_t freed = bytes_freed_.load(std::memory_order_relaxed);
  // A free counted for memory this library did not allocate (handed over by
  // the runtime library) can leave more freed than allocated; never wrap.
  const uint64_t in_use = allocated > freed ? allocated - freed : 0;
  uint64_t peak = peak_bytes_.load(std::memory_order_relaxed);
  while (in_use > peak) {
    if (peak_bytes_.compare_exchange_weak(peak, in_use, std::memory_order_relaxed)) {
      const uint64_t frees = frees_.load(std::memory_order_relaxed);
      live_at_peak_.store(count > frees ? count - frees : 0, std::memory_order_relaxed);
      break;
    }
  }
}

void Quarn::AllocationCounters::OnFree(uint64_t bytes) noexcept {
  bytes_freed_.fetch_add(bytes, std::memory_order_relaxed);
  frees_.fetch_add(1, std::memory_order_relaxed);
}

void Quarn::AllocationCounters::Fill(PluginMemoryStats* stats) const noexcept {
  std::memset(stats, 0, sizeof(*stats));
  stats->counters[0] = peak_bytes_.load(std::memory_order_relaxed);
  stats->counters[1] = live_at_peak_.load(std::memory_order_relaxed);
  stats->counters[2] = bytes_allocated_.load(std::memory_order_relaxed);
  stats->counters[3] = allocations_.load(std::memory_order_relaxed);
  stats->counters[4] = bytes_freed_.load(std::memory_order_relaxed);
  stats->counters[5] = frees_.load(std::memory_order_relaxed);
}

Quarn::AllocationCounters& Quarn::ModuleAllocationCounters() noexcept {
  // constinit: the allocation hooks may run before any dynamic initialiser.
  static constinit AllocationCounters counters;
  return counters;
}

extern "C" void QuarnMemoryStatistics(void* /*ignored*/, PluginMemoryStats* stats) noexcept {
  if (stats != nullptr) Quarn::ModuleAllocationCounters().Fill(stats);
}
