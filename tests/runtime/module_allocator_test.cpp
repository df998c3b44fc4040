// The allocation counters behind the memory-statistics callback, alone and
// in the built plug-in library.
#include "runtime/module_allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "host/plugin_library.h"
#include "support/fake_host.h"

namespace {

struct Stats {
  uint64_t peak, live_at_peak, allocated, allocations, freed, frees;
};

Stats Read(const Quarn::AllocationCounters& counters) {
  PluginMemoryStats raw;
  std::memset(&raw, 0xAB, sizeof(raw));
  counters.Fill(&raw);
  EXPECT_EQ(raw.reserved[0], 0u);
  EXPECT_EQ(raw.reserved[1], 0u);
  return Stats{raw.counters[0], raw.counters[1], raw.counters[2],
               raw.counters[3], raw.counters[4], raw.counters[5]};
}

bool operator==(const Stats& a, const Stats& b) {
  return a.peak == b.peak && a.live_at_peak == b.live_at_peak && a.allocated == b.allocated &&
         a.allocations == b.allocations && a.freed == b.freed && a.frees == b.frees;
}

TEST(AllocationCounters, PeakKeepsTheLiveCountOfItsMomentAndForeignFreesNeverWrapIt) {
  const struct {
    std::vector<int64_t> steps;  // positive: allocate that many bytes; negative: free them
    Stats expected;
  } cases[] = {
      {{}, {0, 0, 0, 0, 0, 0}},
      {{100, -100}, {100, 1, 100, 1, 100, 1}},
      // 60 in use with 3 live is the peak; 25 in use afterwards is below it.
      {{10, 20, 30, -20, -30, 15}, {60, 3, 75, 4, 50, 2}},
      // A block the library did not allocate may be freed by it.
      {{-1000, 8}, {0, 0, 8, 1, 1000, 1}},
  };
  for (const auto& c : cases) {
    Quarn::AllocationCounters counters;
    for (int64_t step : c.steps) {
      if (step > 0) counters.OnAllocate(static_cast<uint64_t>(step));
      if (step < 0) counters.OnFree(static_cast<uint64_t>(-step));
    }
    const Stats got = Read(counters);
    EXPECT_TRUE(got == c.expected) << "peak " << got.peak << " live " << got.live_at_peak << " allocated "
                                   << got.allocated << " in " << got.allocations << " freed " << got.freed
                                   << " in " << got.frees << " (case with " << c.steps.size() << " steps)";
  }
}

TEST(MemoryStatisticsCallback, FillsTheRecordAndIgnoresNull) {
  PluginMemoryStats stats;
  std::memset(&stats, 0xAB, sizeof(stats));
  QuarnMemoryStatistics(nullptr, &stats);
  EXPECT_EQ(stats.reserved[0], 0u);
  EXPECT_EQ(stats.reserved[1], 0u);
  QuarnMemoryStatistics(nullptr, nullptr);
}

// Loading the library built its API object: allocations were counted, none
// freed twice, and the peak never exceeds what was allocated.
TEST(PluginEntry, CountsItsOwnAllocations) {
  kiv::test::FakeHost host;
  auto library = kiv::host::PluginLibrary::Load(KIV_PLUGIN_PATH);
  ASSERT_TRUE(library.ok()) << library.FailureMessage();
  const PluginMemoryStats loaded = (*library)->MemoryStats();
  ASSERT_TRUE((*library)->Init(host.api(), host.handle()).ok());
  const PluginMemoryStats initialised = (*library)->MemoryStats();
  (*library)->Unload();
  EXPECT_GT(loaded.counters[3], 0u);
  EXPECT_GT(loaded.counters[0], 0u);
  EXPECT_LE(loaded.counters[0], loaded.counters[2]);
  EXPECT_LE(loaded.counters[1], loaded.counters[3]);
  EXPECT_LE(loaded.counters[5], loaded.counters[3]);
  EXPECT_GE(initialised.counters[3], loaded.counters[3]);
  EXPECT_EQ(loaded.reserved[0], 0u);
  EXPECT_EQ(loaded.reserved[1], 0u);
}

}  // namespace
