// Unloading a plug-in through the real boundary: once it is detached, its
// own host table refuses every call, and nothing it left queued runs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "host/host_loop.h"
#include "host/plugin_library.h"
#include "tests/host/serve_fixture.h"

namespace {

using kiv::host::HostLoop;
using kiv::host::Request;

constexpr uint32_t kRefused = 1;

struct Loaded {
  HostLoop loop{kiv::host::LoopOptions{.virtual_time = true}};
  std::unique_ptr<kiv::host::PluginLibrary> plugin;

  explicit Loaded(const char* path) {
    auto loaded = loop.LoadPlugin(path);
    if (loaded.HasFailure()) {
      ADD_FAILURE() << loaded.failure().message();
      return;
    }
    plugin = loaded.TakeValue();
  }
  kiv::host::Response Send(uint32_t method, const std::string& path) {
    Request request;
    request.method = method;
    request.path = path;
    return loop.Dispatch(request);
  }
};

void NoTimer(void*) { ADD_FAILURE() << "a timer of an unloaded plug-in ran"; }
void NoEvent(const HostEvent*) { ADD_FAILURE() << "an event reached an unloaded plug-in"; }

TEST(PluginUnload, TheHostRefusesEveryCallThroughAnUnloadedPluginsTable) {
  Loaded run(KIV_PROBE_PLUGIN_PATH);
  ASSERT_TRUE(run.plugin);
  // What a plug-in that kept its context past unload would call with.
  const HostApi* api = run.plugin->context().api;
  void* handle = run.plugin->context().host_handle;
  ASSERT_NE(api, run.loop.api()) << "each plug-in gets a table of its own";
  run.loop.UnloadPlugin(*run.plugin);
  run.loop.ClearCalls();
  const size_t lines_before = run.loop.LogLines().size();

  HostResponse response;
  HostEvent event;
  std::memset(&event, 0, sizeof event);
  event.name = "OnJsonApiEvent";
  const std::pair<const char*, std::function<uint32_t()>> calls[] = {
      {"send_request",
       [&] {
         uint32_t result = 0;
         response = kiv::test::SendFrom(api, "/kiv-login/v1/session", handle, &result);
         return result;
       }},
      {"emit_event", [&] { return api->emit_event(api, &event); }},
      {"subscribe", [&] { return api->subscribe(api, "OnJsonApiEvent", handle, NoEvent, nullptr, 0); }},
      {"unsubscribe", [&] { return api->unsubscribe(api, "OnJsonApiEvent", handle); }},
      {"start_timer", [&] { return api->start_timer(api, "late", NoTimer, nullptr, 0.0, 0); }},
      {"step", [&] { return api->step(api); }},
      {"begin_wait", [&] { return api->begin_wait(api, "late wait", 0); }},
      {"end_wait", [&] { return api->end_wait(api); }},
      {"write_log_line", [&] { return api->write_log_line(api, 2, "after unload"); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), kRefused) << name;

  const char* error = response.error;
  EXPECT_STREQ(error, "The host refused the call: the plug-in was unloaded");
  const uint32_t status = response.status;  // packed: copied out before comparing
  EXPECT_EQ(status, 503u);
  ASSERT_NE(static_cast<HostResponseReleaseFn>(response.release), nullptr);
  kiv::test::Release(response);
  EXPECT_TRUE(run.loop.Calls().empty()) << run.loop.Calls().front().Summary();
  EXPECT_EQ(run.loop.SubscriberCount("OnJsonApiEvent"), 0u);
  EXPECT_TRUE(run.loop.WaitLabels().empty());
  EXPECT_EQ(run.loop.LogLines().size(), lines_before);
  EXPECT_EQ(run.loop.pending(), 0u);
  run.loop.AdvanceTime(1);
  EXPECT_EQ(run.loop.RunUntilIdle(), 0u);
  EXPECT_EQ(run.loop.Problems().size(), std::size(calls));
}

TEST(PluginUnload, APendingTimerNeverFiresIntoTheUnloadedPlugin) {
  Loaded run(KIV_PROBE_PLUGIN_PATH);
  ASSERT_TRUE(run.plugin);
  const size_t before = run.loop.pending();
  ASSERT_TRUE(run.Send(KIV_METHOD_POST, "/probe/v1/timers/60").ok());
  ASSERT_EQ(run.loop.pending(), before + 1);
  run.loop.UnloadPlugin(*run.plugin);
  EXPECT_EQ(run.loop.pending(), 0u);
  // Under the sanitizer a timer fired into the freed module is a report.
  run.loop.AdvanceTime(120);
  EXPECT_EQ(run.loop.RunUntilIdle(), 0u);
  run.plugin.reset();
  EXPECT_EQ(run.loop.RunUntilIdle(), 0u);
}

}  // namespace
