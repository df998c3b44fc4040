// Loading a plug-in object and its lifecycle through the callbacks, the way
// a host drives it: entry/loader, start record, API description, init,
// requests, unload.
#include "runtime/plugin_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/module_harness.h"
#include "runtime/plugin_callbacks.h"

namespace {

using kiv::test::HarnessPlugin;

struct Probe {
  int register_calls = 0;
  int init_calls = 0;
  bool destroyed = false;
  bool init_result = true;
};

PluginStartRecord CoreRecord(uint32_t major, uint32_t minor, uint32_t patch) {
  PluginStartRecord record{};
  record.api_major = major;
  record.api_minor = minor;
  record.api_patch = patch;
  return record;
}

// Loads a fresh plug-in object as the entry would; the object is owned by
// the record from then on (unload destroys it).
HarnessPlugin* Load(Probe& probe, PluginStartRecord& record) {
  auto* plugin = new HarnessPlugin();
  plugin->destroyed = &probe.destroyed;
  plugin->on_register = [&probe](HarnessPlugin& p) {
    ++probe.register_calls;
    p.api()
        .Get("/test/v1/ping/{id}",
             [](uint32_t id) -> Quarn::Maybe<std::string> { return "pong " + std::to_string(id); })
        .Path("id", "What to answer.");
  };
  plugin->on_init = [&probe](HarnessPlugin&) {
    ++probe.init_calls;
    return probe.init_result;
  };
  Quarn::LoadPlugin(*plugin, record, "kiv-collections");
  return plugin;
}

std::vector<std::string> Tags(const char* const* tags, uint32_t count) {
  return std::vector<std::string>(tags, tags + count);
}

// Boundary records are packed: gtest's macros bind references, so fields
// are copied out first.
template <class T>
T Word(T value) {
  return value;
}

const std::vector<std::string> kTags{"Plugins", "Plugin kiv-collections"};

TEST(PluginLoader, AcceptsCompatibleCoresAndWritesItsOwnVersionBack) {
  const uint32_t cores[][3] = {{18, 0, 0}, {18, 1, 0}, {18, 0, 5}, {18, 7, 0}};
  for (const auto& core : cores) {
    Probe probe;
    PluginStartRecord record = CoreRecord(core[0], core[1], core[2]);
    HarnessPlugin* plugin = Load(probe, record);
    EXPECT_EQ(record.api_major, 18u);
    EXPECT_EQ(record.api_minor, 0u);
    EXPECT_EQ(record.api_patch, 0u);
    EXPECT_EQ(Word(record.plugin), static_cast<void*>(static_cast<Quarn::PluginBase*>(plugin)));
    EXPECT_EQ(Word(record.callbacks), &plugin->callbacks());
    EXPECT_STREQ(record.short_name, "kiv-collections");
    EXPECT_EQ(Word(record.description), plugin->api_description());
    EXPECT_EQ(plugin->core_version().ToText(),
              std::to_string(core[0]) + "." + std::to_string(core[1]) + "." + std::to_string(core[2]));
    EXPECT_EQ(probe.register_calls, 1);
    EXPECT_EQ(probe.init_calls, 0);
    record.callbacks->unload(record.plugin);
    EXPECT_TRUE(probe.destroyed);
  }
}

TEST(PluginLoaderDeathTest, IncompatibleCoreIsFatal) {
  const struct {
    uint32_t major, minor, patch;
    const char* core_text;
  } cores[] = {{17, 0, 0, "17\\.0\\.0"}, {19, 0, 0, "19\\.0\\.0"}, {17, 9, 9, "17\\.9\\.9"}};
  for (const auto& core : cores) {
    EXPECT_DEATH(
        {
          Probe probe;
          PluginStartRecord record = CoreRecord(core.major, core.minor, core.patch);
          Load(probe, record);
        },
        std::string("Expression: ALE-EECF0606(.|\n)*Description: kiv-collections which supports plugin API "
                    "18\\.0\\.0 is not compatible with core's plugin API ") +
            core.core_text)
        << core.core_text;
  }
}

TEST(PluginLoader, NamesTheObject) {
  Probe probe;
  PluginStartRecord record = CoreRecord(18, 0, 0);
  HarnessPlugin* plugin = Load(probe, record);
  EXPECT_EQ(plugin->names().full_name, "ozm-be-kiv-collections");
  EXPECT_EQ(plugin->names().short_name, "kiv-collections");
  EXPECT_EQ(plugin->names().kind, "backend");
  EXPECT_EQ(plugin->registration_tags(), kTags);
  EXPECT_EQ(plugin->api_name(), "KivCollections");
  record.callbacks->unload(record.plugin);
}

TEST(PluginLoader, FunctionEntriesRouteThroughTheRequestCallback) {
  Probe probe;
  PluginStartRecord record = CoreRecord(18, 0, 0);
  Load(probe, record);
  const ApiDescription& description = *record.description;
  ASSERT_EQ(description.function_count, 1u);
  const ApiFunctionEntry& entry = description.functions[0];
  EXPECT_STREQ(entry.name, "GetTestV1PingById");
  EXPECT_STREQ(entry.path, "/test/v1/ping/{id}");
  EXPECT_EQ(Word(entry.method), static_cast<uint32_t>(KIV_METHOD_GET));
  EXPECT_EQ(Word(entry.request), &QuarnApiRequest);
  EXPECT_NE(Word(entry.context), nullptr);
  ASSERT_EQ(Word(entry.argument_count), 1u);
  EXPECT_STREQ(entry.arguments[0].name, "id");
  EXPECT_EQ(Word(entry.arguments[0].location), static_cast<uint32_t>(KIV_LOCATION_PATH));
  EXPECT_EQ(Tags(entry.tags, entry.tag_count), kTags);

  kiv::test::FakeHost host;
  void* handle = host.NewHostHandle();
  host.AttachDescription(description, handle);
  const kiv::host::Response answer = host.Send("GET", "/test/v1/ping/7");
  EXPECT_TRUE(answer.ok()) << answer.error.value_or("");
  EXPECT_EQ(answer.body.ToJson(), "\"pong 7\"");
  host.Detach(handle);
  record.callbacks->unload(record.plugin);
}

TEST(PluginRequestCallback, RequestWithoutFunctionGetsInvalidFunction) {
  HostResponse response;
  std::memset(&response, 0x5A, sizeof(response));
  HostRequest request{};
  request.method = KIV_METHOD_GET;
  request.path = "/x";
  QuarnApiRequest(&response, &request);
  EXPECT_EQ(Word(response.status), 404u);
  EXPECT_STREQ(response.error, "Invalid function");
  EXPECT_EQ(Word(response.body.tag), static_cast<uint32_t>(KIV_VALUE_NULL));
  ASSERT_NE(Word(response.release), nullptr);
  response.release(&response);
}

TEST(PluginInit, ConnectsWithUserAgentOfTheCoreVersion) {
  Probe probe;
  PluginStartRecord record = CoreRecord(18, 2, 0);
  HarnessPlugin* plugin = Load(probe, record);
  kiv::test::FakeHost host;
  EXPECT_EQ(record.callbacks->init(record.plugin, host.context()), 1);
  EXPECT_EQ(plugin->user_agent(), "QuarnClient/18.2.0 (kiv-collections)");
  EXPECT_EQ(plugin->short_name(), "kiv-collections");
  EXPECT_EQ(plugin->host_context(), host.context());
  EXPECT_EQ(plugin->host_handle(), host.handle());
  EXPECT_EQ(probe.init_calls, 1);
  for (const char* name :
       {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
    EXPECT_TRUE(host.IsSubscribed(name)) << name;
  }
  for (const auto& call : host.CallsOf(kiv::host::CallKind::kSubscribe)) {
    EXPECT_EQ(call.flag, 1u) << call.name;
    EXPECT_EQ(call.host_handle, host.handle()) << call.name;
  }
  record.callbacks->unload(record.plugin);
}

TEST(PluginInit, FalseFromInitIsReportedAndSubscriptionsStay) {
  Probe probe;
  probe.init_result = false;
  PluginStartRecord record = CoreRecord(18, 0, 0);
  Load(probe, record);
  kiv::test::FakeHost host;
  EXPECT_EQ(record.callbacks->init(record.plugin, host.context()), 0);
  EXPECT_TRUE(host.IsSubscribed("OnServiceProxyUuidEvent"));
  record.callbacks->unload(record.plugin);
  EXPECT_FALSE(host.IsSubscribed("OnServiceProxyUuidEvent"));
}

TEST(PluginBaseForwarding, SlotsReachTheirHostEntries) {
  Probe probe;
  PluginStartRecord record = CoreRecord(18, 0, 0);
  HarnessPlugin* plugin = Load(probe, record);
  // Before init there is no host table: nothing is called, and the slots
  // say so.
  EXPECT_EQ(plugin->Step(), Quarn::kHostCallRefused);
  EXPECT_EQ(plugin->BeginWait("early", 0), Quarn::kHostCallRefused);

  kiv::test::FakeHost host;
  ASSERT_EQ(record.callbacks->init(record.plugin, host.context()), 1);
  host.ClearCalls();
  plugin->Yield();
  plugin->StartTimer(
      "tick", [](void*) {}, nullptr, 0.5, 0);
  HostEvent event{};
  event.name = "OnSomething";
  plugin->EmitEvent(&event);
  EXPECT_EQ(host.CallSummaries(), (std::vector<std::string>{"begin_wait Wait: yield", "step", "end_wait",
                                                            "start_timer tick", "emit_event OnSomething"}));
  host.RunUntilIdle();
  record.callbacks->unload(record.plugin);
}

}  // namespace
