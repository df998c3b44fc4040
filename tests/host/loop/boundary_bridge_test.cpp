#include "host/loop/boundary_bridge.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/fake_host.h"
#include "tests/host/serve_fixture.h"

namespace {

using kiv::host::BoundaryBridge;

// The pieces a bridge serves calls from, as the loop puts them together.
struct Pieces {
  kiv::host::CallbackDepth depth;
  kiv::host::WorkQueue queue{/*virtual_time=*/true, depth};
  kiv::host::CallRecorder recorder;
  kiv::host::Router router;
  kiv::host::EventBus bus{queue, depth};
  BoundaryBridge bridge{0, depth, queue, router, bus, recorder};
};

void Timer(void*) {}
void Event(const HostEvent*) {}

enum class State { kOpen, kUnloading, kDetached, kLoopGone };

TEST(BoundaryBridge, APluginTableRefusesByItsPluginsState) {
  constexpr uint32_t R = BoundaryBridge::kRefused;
  using Call = uint32_t (*)(const HostApi*, void*);
  struct Row {
    const char* name;
    Call call;  // as a plug-in calls the entry; its result word
    uint32_t open, unloading, detached, loop_gone;
  };
  // While unloading, a plug-in may still finish what it does (requests,
  // steps, waits, log lines, unsubscribing) but start nothing new.
  const Row kRows[] = {
      {"send_request",
       [](const HostApi* api, void*) {
         uint32_t result = 99;
         HostResponse response = kiv::test::SendFrom(api, "/nowhere", nullptr, &result);
         kiv::test::Release(response);
         return result;
       },
       0, 0, R, R},
      {"reserved1", [](const HostApi* api, void*) { return api->reserved1(api, 0, 0); }, 0, 0, R, R},
      {"emit_event",
       [](const HostApi* api, void*) {
         HostEvent event;
         std::memset(&event, 0, sizeof event);
         event.name = "OnX";
         return api->emit_event(api, &event);
       },
       0, R, R, R},
      {"subscribe", [](const HostApi* api, void* h) { return api->subscribe(api, "OnX", h, Event, nullptr, 0); },
       0, R, R, R},
      {"unsubscribe", [](const HostApi* api, void* h) { return api->unsubscribe(api, "OnX", h); }, 0, 0, R, R},
      {"start_timer", [](const HostApi* api, void*) { return api->start_timer(api, "t", Timer, nullptr, 1.0, 0); },
       0, R, R, R},
      {"step", [](const HostApi* api, void*) { return api->step(api); }, 0, 0, R, R},
      {"begin_wait", [](const HostApi* api, void*) { return api->begin_wait(api, "w", 0); }, 0, 0, R, R},
      {"end_wait", [](const HostApi* api, void*) { return api->end_wait(api); }, 0, 0, R, R},
      {"write_log_line", [](const HostApi* api, void*) { return api->write_log_line(api, 2, "line"); }, 0, 0, R,
       R},
  };
  void* const handle = reinterpret_cast<void*>(7);
  for (const State state : {State::kOpen, State::kUnloading, State::kDetached, State::kLoopGone}) {
    auto pieces = std::make_unique<Pieces>();
    const HostApi* api = pieces->bridge.PluginApi(handle);
    ASSERT_EQ(api, pieces->bridge.PluginApi(handle)) << "one table per plug-in";
    ASSERT_NE(api, pieces->bridge.api());
    if (state == State::kUnloading) pieces->bridge.BeginUnload(handle);
    if (state == State::kDetached) pieces->bridge.Detach(handle);
    if (state == State::kLoopGone) pieces.reset();  // a call now must not touch the freed loop
    for (const Row& row : kRows) {
      const uint32_t expected = state == State::kOpen        ? row.open
                                : state == State::kUnloading ? row.unloading
                                : state == State::kDetached  ? row.detached
                                                             : row.loop_gone;
      EXPECT_EQ(row.call(api, handle), expected) << row.name << " in state " << static_cast<int>(state);
    }
    if (pieces) {
      const size_t refused = state == State::kUnloading ? 3 : state == State::kDetached ? std::size(kRows) : 0;
      size_t problems = 0;
      for (const auto& p : pieces->recorder.Problems()) problems += p.find(": refused") != std::string::npos;
      EXPECT_EQ(problems, refused) << "each refusal is reported, state " << static_cast<int>(state);
    }
  }
}

TEST(BoundaryBridge, AResponseOutlivingItsLoopIsNeitherReadNorFreedTwice) {
  auto pieces = std::make_unique<Pieces>();
  pieces->router.Add(KIV_METHOD_GET, "/s", [](const kiv::host::Request&) {
    return kiv::host::Response::Stream({"abc", "def"});
  });
  HostResponse response = kiv::test::SendFrom(pieces->bridge.api(), "/s");
  const HostStreamReadFn read = response.stream_read;
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(pieces->bridge.responses().unreleased(), 1u);
  pieces.reset();

  char buffer[16];
  uint32_t size = sizeof buffer;
  uint8_t more = 0;
  EXPECT_EQ(read(response.stream_context, buffer, &size, &more), 0) << "the block went with its loop";
  const HostResponseReleaseFn release = response.release;
  HostResponse copy = response;
  release(&response);
  release(&copy);
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
