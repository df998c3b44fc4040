#include "host/loop/work_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using kiv::host::CallbackDepth;
using kiv::host::WorkItem;
using kiv::host::WorkQueue;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

WorkItem Work(std::function<void()> run, double delay_seconds = 0) {
  WorkItem item;
  item.run = std::move(run);
  item.delay_seconds = delay_seconds;
  return item;
}

struct Posted {
  const char* name;
  double delay;
  bool cancel;  // cancelled right after posting
};

struct OrderCase {
  std::vector<Posted> posted;
  std::vector<double> advances;  // a step after each
  std::vector<std::string> ran;
};

TEST(WorkQueue, RunsDueWorkInPostingOrderAndNeverCancelledWork) {
  const OrderCase kCases[] = {
      {{{"a", 0, false}, {"b", 0, false}, {"c", 0, false}}, {0}, {"a", "b", "c"}},
      {{{"late", 2, false}, {"now", 0, false}}, {0, 1.9, 0.1}, {"now", "late"}},
      {{{"x", 1, false}, {"y", 0.5, false}}, {1}, {"x", "y"}},  // both due: posting order
      {{{"a", 0, true}, {"b", 0, false}}, {0}, {"b"}},
      {{{"a", 1, true}, {"b", 1, false}}, {2}, {"b"}},
      {{{"neg", -1, false}, {"nan", std::nan(""), false}}, {0}, {"neg", "nan"}},  // no delay
      {{{"never", INFINITY, false}}, {1e9}, {}},
  };
  for (size_t n = 0; n < std::size(kCases); ++n) {
    const OrderCase& c = kCases[n];
    CallbackDepth depth;
    WorkQueue queue(/*virtual_time=*/true, depth);
    std::vector<std::string> ran;
    for (const Posted& p : c.posted) {
      const uint64_t ticket = queue.Post(Work([&ran, name = p.name] { ran.push_back(name); }, p.delay));
      if (p.cancel) {
        EXPECT_TRUE(queue.Cancel(ticket)) << "case " << n;
      }
    }
    for (double seconds : c.advances) {
      queue.AdvanceTime(seconds);
      queue.Step();
    }
    EXPECT_THAT(ran, ElementsAreArray(c.ran)) << "case " << n;
  }
}

TEST(WorkQueue, CancelFailsOnceWorkStarted) {
  CallbackDepth depth;
  WorkQueue queue(true, depth);
  uint64_t self = 0;
  bool cancelled_inside = true;
  self = queue.Post(Work([&] { cancelled_inside = queue.Cancel(self); }));
  queue.Step();
  EXPECT_FALSE(cancelled_inside);
  EXPECT_FALSE(queue.Cancel(self)) << "ran";
  EXPECT_FALSE(queue.Cancel(12345)) << "never existed";
}

TEST(WorkQueue, OutsidePluginWorkWaitsUntilNoCallbackIsOnTheStack) {
  CallbackDepth depth;
  WorkQueue queue(true, depth);
  std::vector<std::string> ran;
  WorkItem unload = Work([&] { ran.push_back("unload"); });
  unload.outside_plugin = true;
  queue.Post(Work([&] {
    CallbackDepth::Scope scope(depth);  // a plug-in handler that waits
    queue.Post(Work([&] { ran.push_back("answer"); }));
    queue.Post(std::move(unload));
    while (queue.pending() > 1) queue.Step();
    ran.push_back("handler returns");
  }));
  queue.RunUntilIdle(10);
  EXPECT_THAT(ran, ElementsAre("answer", "handler returns", "unload"));
}

TEST(WorkQueue, WaitForWorkWakesWhenAnotherThreadPosts) {
  CallbackDepth depth;
  WorkQueue queue(false, depth);
  EXPECT_FALSE(queue.WaitForWork(std::chrono::milliseconds(1)));
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.Post(Work([] {}));
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(queue.WaitForWork(std::chrono::seconds(10)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  poster.join();
  EXPECT_EQ(queue.Step(), 1u);
}

}  // namespace
