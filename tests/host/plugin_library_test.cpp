#include "host/plugin_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/fake_host.h"

namespace {

using kiv::host::ApiVersion;
using kiv::host::LoadOptions;
using kiv::host::PluginLibrary;
using kiv::test::FakeHost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

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

TEST(PluginLibrary, LoadFailuresSayWhy) {
  auto missing = PluginLibrary::Load("/nonexistent/libkiv_gone.so");
  EXPECT_THAT(
      std::string(missing.FailureMessage()),
      StartsWith("cannot open plug-in /nonexistent/libkiv_gone.so: /nonexistent/libkiv_gone.so: cannot open "
                 "shared object file: No such file or directory"));

  LoadOptions wrong_entry;
  wrong_entry.entry_name = "load_nothing";
  auto no_entry = PluginLibrary::Load(KIV_MINIMAL_PLUGIN_PATH, wrong_entry);
  EXPECT_THAT(std::string(no_entry.FailureMessage()),
              StartsWith(std::string("plug-in ") + KIV_MINIMAL_PLUGIN_PATH + " has no entry load_nothing: "));
  EXPECT_THAT(std::string(no_entry.FailureMessage()), HasSubstr("undefined symbol: load_nothing"));

  auto broken = PluginLibrary::Load(KIV_BROKEN_PLUGIN_PATH);
  EXPECT_EQ(broken.FailureMessage(),
            std::string("plug-in ") + KIV_BROKEN_PLUGIN_PATH + ": the entry returned no API description");
}

TEST(PluginLibraryDeathTest, PluginEndsTheProcessForAnIncompatibleCore) {
  LoadOptions options;
  options.core_version = {19, 0, 0};
  EXPECT_DEATH(
      (void)PluginLibrary::Load(KIV_MINIMAL_PLUGIN_PATH, options),
      "kiv-minimal which supports plugin API 18.0.0 is not compatible with core's plugin API 19.0.0");
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

// Init's calls carry the plug-in's own handle; its event handler reaches
// the host through its table; unload withdraws what init set up.
TEST(PluginLibrary, LoadedPluginRunsThroughTheHostAndUnloadsCleanly) {
  FakeHost host;  // declared first: outlives the plug-in
  auto loaded = host.LoadPlugin(KIV_MINIMAL_PLUGIN_PATH);
  ASSERT_TRUE(loaded.ok()) << loaded.FailureMessage();
  std::unique_ptr<PluginLibrary> plugin = loaded.TakeValue();
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

}  // namespace
