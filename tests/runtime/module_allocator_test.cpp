// The allocation counters behind the memory-statistics callback.
#include "runtime/module_allocator.h"

#include <gtest/gtest.h>

#include <cstring>

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
  return Stats{raw.counters[0], raw.counters[1], raw.counters[2], raw.counters[3], raw.counters[4], raw.counters[5]};
}

void ExpectStats(const Stats& actual, const Stats& expected) {
  EXPECT_EQ(actual.peak, expected.peak);
  EXPECT_EQ(actual.live_at_peak, expected.live_at_peak);
  EXPECT_EQ(actual.allocated, expected.allocated);
  EXPECT_EQ(actual.allocations, expected.allocations);
  EXPECT_EQ(actual.freed, expected.freed);
  EXPECT_EQ(actual.frees, expected.frees);
}

TEST(AllocationCounters, StartAtZero) {
  Quarn::AllocationCounters counters;
  ExpectStats(Read(counters), {0, 0, 0, 0, 0, 0});
}

TEST(AllocationCounters, OneAllocationAndItsFree) {
  Quarn::AllocationCounters counters;
  counters.OnAllocate(100);
  counters.OnFree(100);
  ExpectStats(Read(counters), {100, 1, 100, 1, 100, 1});
}

TEST(AllocationCounters, PeakKeepsTheLiveCountOfItsMoment) {
  Quarn::AllocationCounters counters;
  counters.OnAllocate(10);
  counters.OnAllocate(20);
  counters.OnAllocate(30);  // 60 in use, 3 live: the peak
  counters.OnFree(20);
  counters.OnFree(30);
  counters.OnAllocate(15);  // 25 in use: below the peak
  ExpectStats(Read(counters), {60, 3, 75, 4, 50, 2});
}

TEST(AllocationCounters, ForeignFreesNeverWrapThePeak) {
  // A block the library did not allocate may be freed by it.
  Quarn::AllocationCounters counters;
  counters.OnFree(1000);
  counters.OnAllocate(8);
  ExpectStats(Read(counters), {0, 0, 8, 1, 1000, 1});
}

TEST(MemoryStatisticsCallback, FillsTheRecordAndIgnoresNull) {
  PluginMemoryStats stats;
  std::memset(&stats, 0xAB, sizeof(stats));
  QuarnMemoryStatistics(nullptr, &stats);
  EXPECT_EQ(stats.reserved[0], 0u);
  EXPECT_EQ(stats.reserved[1], 0u);
  QuarnMemoryStatistics(nullptr, nullptr);
}

}  // namespace
