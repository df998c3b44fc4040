#include "host/loop/response_blocks.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "support/fake_host.h"

namespace {

HostResponse Get(const HostApi* api, const char* path) {
  HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = KIV_METHOD_GET;
  request.path = path;
  HostResponse response;
  api->send_request(api, &response, &request);
  return response;
}

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
      const HostResponseReleaseFn release = response.release;
      release(&response);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    HostResponse response = Get(host.api(), "/r");
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
