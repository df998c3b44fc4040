#include "host/plugin_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/fake_host.h"
#include "tests/host/serve_fixture.h"

namespace {

using kiv::host::ApiVersion;
using kiv::host::LoadOptions;
using kiv::host::PluginLibrary;
using kiv::test::FakeHost;
using ::testing::ElementsAre;

TEST(PluginLibrary, EntryNameComesFromTheFileName) {
  EXPECT_EQ(kiv::host::EntryNameForLibrary("/x/y/libkiv_collections.so"), "load_kiv_collections");
  EXPECT_EQ(kiv::host::EntryNameForLibrary("libkiv_minimal.so.1.2"), "load_kiv_minimal");
  EXPECT_EQ(kiv::host::EntryNameForLibrary("plain.so"), "load_plain");
}

TEST(PluginLibrary, VersionsParseStrictly) {
  EXPECT_EQ(ApiVersion::Parse("18.3.1").value(), (ApiVersion{18, 3, 1}));
  for (const char* bad : {"18.0", "18.0.0.1", "a.b.c", "18..0", "-1.0.0", ""}) {
    EXPECT_EQ(ApiVersion::Parse(bad).FailureMessage(),
              "invalid version '" + std::string(bad) + "' (expected X.Y.Z)");
  }
}

TEST(PluginLibrary, StartRecordCarriesTheCoreVersionAndComesBackWithThePlugins) {
  LoadOptions options;
  options.core_version = {18, 3, 1};
  auto lib = PluginLibrary::Load(KIV_MINIMAL_PLUGIN_PATH, options);
  ASSERT_TRUE(lib.ok()) << lib.FailureMessage();
  EXPECT_EQ((*lib)->core_version(), (ApiVersion{18, 3, 1}));
  EXPECT_EQ((*lib)->api_version(), (ApiVersion{18, 0, 0}));
  EXPECT_EQ((*lib)->short_name(), "kiv-minimal");
  EXPECT_EQ(kiv::host::BackendFullName((*lib)->short_name()), "ozm-be-kiv-minimal");
  EXPECT_EQ(uint32_t{(*lib)->description().function_count}, 2u);
  EXPECT_EQ(uint64_t{(*lib)->MemoryStats().counters[5]}, 6u);
  // Destroyed without init: unload still runs, so nothing leaks.
}

// A plug-in loaded into a fake host, which outlives it.
struct Loaded {
  FakeHost host;
  std::unique_ptr<PluginLibrary> plugin;

  explicit Loaded(const char* path) {
    auto loaded = host.LoadPlugin(path);
    EXPECT_TRUE(loaded.ok()) << loaded.FailureMessage();
    if (loaded.ok()) plugin = loaded.TakeValue();
  }
};

// Init's calls carry the plug-in's own handle; its event handler reaches
// the host through its table; unload withdraws what init set up.
TEST(PluginLibrary, LoadedPluginRunsThroughTheHostAndUnloadsCleanly) {
  Loaded run(KIV_MINIMAL_PLUGIN_PATH);
  ASSERT_TRUE(run.plugin);
  FakeHost& host = run.host;
  std::unique_ptr<PluginLibrary>& plugin = run.plugin;
  EXPECT_THAT(host.CallSummaries(), ElementsAre("write_log_line minimal ready", "subscribe OnMinimalPing",
                                                "start_timer minimal-tick"));
  void* const handle = plugin->context().host_handle;  // packed: copied out before comparing
  EXPECT_EQ(host.CallsOf(kiv::host::CallKind::kSubscribe).at(0).host_handle, handle);
  host.DeliverJson("OnMinimalPing", R"({"n":1})");
  host.Step();  // the plug-in hears the ping and emits the pong
  EXPECT_THAT(host.EmittedPayloads("OnMinimalPong"), ElementsAre(R"({"n":1})"));
  host.Step();  // delivers the pong to nobody
  ASSERT_EQ(host.pending(), 1u) << "the tick timer";

  host.UnloadPlugin(*plugin);
  plugin.reset();
  EXPECT_EQ(host.CallSummaries().back(), "unsubscribe OnMinimalPing");
  EXPECT_FALSE(host.IsSubscribed("OnMinimalPing"));
  EXPECT_EQ(host.pending(), 0u) << "the plug-in's timer must not fire after unload";
  host.AdvanceTime(2);
  host.RunUntilIdle();
  EXPECT_EQ(host.LogTexts().back(), "minimal ready");
  EXPECT_EQ(host.Send("GET", "/minimal/v1/echo/x").status, 404u);
}

// Once a plug-in is detached its own host table refuses every call, and
// nothing it left queued runs.
void NoTimer(void*) { ADD_FAILURE() << "a timer of an unloaded plug-in ran"; }
void NoEvent(const HostEvent*) { ADD_FAILURE() << "an event reached an unloaded plug-in"; }

TEST(PluginUnload, TheHostRefusesCallsThroughAnUnloadedPluginsTableAndDropsItsTimers) {
  Loaded run(KIV_PROBE_PLUGIN_PATH);
  ASSERT_TRUE(run.plugin);
  // What a plug-in that kept its context past unload would call with.
  const HostApi* api = run.plugin->context().api;
  void* handle = run.plugin->context().host_handle;
  ASSERT_NE(api, run.host.api()) << "each plug-in gets a table of its own";
  const size_t before = run.host.pending();
  ASSERT_TRUE(run.host.Send("POST", "/probe/v1/timers/60").ok());
  ASSERT_EQ(run.host.pending(), before + 1);
  run.host.UnloadPlugin(*run.plugin);
  run.host.ClearCalls();
  // Every call kind in every state is the bridge's test; this shows the
  // unload detached this plug-in's table.
  uint32_t result = 0;
  HostResponse response = kiv::test::SendFrom(api, "/kiv-login/v1/session", handle, &result);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(api->subscribe(api, "OnJsonApiEvent", handle, NoEvent, nullptr, 0), 1u);
  EXPECT_EQ(api->start_timer(api, "late", NoTimer, nullptr, 0.0, 0), 1u);
  const char* error = response.error;
  EXPECT_STREQ(error, "The host refused the call: the plug-in was unloaded");
  const uint32_t status = response.status;  // packed: copied out before comparing
  EXPECT_EQ(status, 503u);
  kiv::test::Release(response);
  EXPECT_TRUE(run.host.Calls().empty()) << run.host.Calls().front().Summary();
  EXPECT_EQ(run.host.SubscriberCount("OnJsonApiEvent"), 0u);
  EXPECT_EQ(run.host.Problems().size(), 3u) << "each refusal is reported";
  // Under the sanitizer a timer fired into the freed module is a report.
  EXPECT_EQ(run.host.pending(), 0u);
  run.host.AdvanceTime(120);
  EXPECT_EQ(run.host.RunUntilIdle(), 0u);
  run.plugin.reset();
  EXPECT_EQ(run.host.RunUntilIdle(), 0u);
}

}  // namespace
