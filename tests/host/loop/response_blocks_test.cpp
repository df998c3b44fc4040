#include "host/loop/response_blocks.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "support/fake_host.h"
#include "tests/host/serve_fixture.h"

namespace {

// A plug-in may release its answers on a worker thread while the loop
// thread is handing out more.
TEST(ResponseBlocks, ReleasedFromAnotherThreadWhileTheLoopAnswers) {
  kiv::test::FakeHost host;
  host.AnswerJson("GET", "/r", R"({"n":[1,2,3]})");
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<HostResponse> handed;
  bool done = false;
  std::thread releaser([&] {
    for (;;) {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return done || !handed.empty(); });
      if (handed.empty()) return;
      HostResponse response = handed.front();
      handed.pop_front();
      lock.unlock();
      kiv::test::Release(response);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    HostResponse response = kiv::test::SendFrom(host.api(), "/r");
    {
      std::lock_guard lock(mutex);
      handed.push_back(response);
    }
    ready.notify_one();
  }
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  ready.notify_one();
  releaser.join();
  EXPECT_EQ(host.unreleased_responses(), 0u);
}

}  // namespace
