// Loading a plug-in object and its lifecycle through the callbacks, the way
// a host drives it (start record, init, requests, unload), and the names and
// versions a plug-in derives. What it describes is in the golden API
// description.
#include "runtime/plugin_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/capture_log_target.h"
#include "runtime/event_name.h"
#include "runtime/module_harness.h"
#include "runtime/plugin_api_version.h"
#include "runtime/plugin_callbacks.h"
#include "runtime/plugin_names.h"
#include "support/case_file.h"

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
  plugin->on_register = [&probe](HarnessPlugin&) { ++probe.register_calls; };
  plugin->on_init = [&probe](HarnessPlugin&) {
    ++probe.init_calls;
    return probe.init_result;
  };
  Quarn::LoadPlugin(*plugin, record, "kiv-collections");
  return plugin;
}

// Boundary records are packed: gtest's macros bind references, so fields
// are copied out first.
template <class T>
T Word(T value) {
  return value;
}

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
    // The user agent names the core's version, not the plug-in's.
    kiv::test::FakeHost host;
    EXPECT_EQ(record.callbacks->init(record.plugin, host.context()), 1);
    EXPECT_EQ(probe.init_calls, 1);
    EXPECT_EQ(plugin->user_agent(), "QuarnClient/" + plugin->core_version().ToText() + " (kiv-collections)");
    EXPECT_EQ(plugin->host_context(), host.context());
    EXPECT_EQ(plugin->host_handle(), host.handle());
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

TEST(PluginNames, FullNameTakesTheKindsPrefix) {
  struct Case {
    const char* kind;
    const char* full_name;
    bool logs_error;
  };
  const Case cases[] = {
      {"backend", "ozm-be-kiv-collections", false},
      {"frontend", "ozm-fe-kiv-collections", false},
      {"Backend", "ozm-xx-kiv-collections", true},
      {"", "ozm-xx-kiv-collections", true},
  };
  for (const Case& c : cases) {
    Quarn::testing::CaptureLogTarget log;
    log.Attach();
    EXPECT_EQ(Quarn::GetFullNameFromShortNameAndType("kiv-collections", c.kind), c.full_name) << c.kind;
    const std::vector<std::string> expected =
        c.logs_error ? std::vector<std::string>{"2             Plugin Manager| GetFullNameFromShortNameAndType(\""
                                                "kiv-collections\", \"" +
                                                std::string(c.kind) + "\") called with an unknown type"}
                     : std::vector<std::string>{};
    std::vector<std::string> lines;
    for (const auto& record : log.records)
      lines.push_back(std::to_string(record.level) + " " + record.message);
    EXPECT_EQ(lines, expected) << c.kind;
  }
}

TEST(PluginApiVersion, CompatibilityIgnoresTheTextsTheTextFormAdds) {
  EXPECT_EQ((Quarn::PluginApiVersion{18, 0, 0, "rc1", "7"}).ToText(), "18.0.0-rc1+7");
  EXPECT_EQ((Quarn::PluginApiVersion{4294967295u, 10, 200, "", "7"}).ToText(), "4294967295.10.200+7");
  struct Case {
    Quarn::PluginApiVersion core;
    Quarn::PluginApiVersion own;
    bool compatible;
  };
  const Case cases[] = {
      {{18, 0, 0, "", ""}, {18, 0, 0, "", ""}, true},   {{18, 3, 1, "", ""}, {18, 0, 0, "", ""}, true},
      {{18, 1, 0, "", ""}, {18, 2, 0, "", ""}, false},  {{18, 2, 4, "", ""}, {18, 2, 5, "", ""}, false},
      {{18, 2, 5, "x", ""}, {18, 2, 5, "", "y"}, true}, {{17, 9, 9, "", ""}, {18, 0, 0, "", ""}, false},
      {{19, 0, 0, "", ""}, {18, 0, 0, "", ""}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Quarn::IsCompatible(c.core, c.own), c.compatible) << c.core.ToText() << " / " << c.own.ToText();
  }
}

TEST(EventNameOfUri, KeepsTheFirstSegments) {
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/runtime/event_name_cases.txt")) {
    EXPECT_EQ(Quarn::EventNameOfUri(c.input()), c.Get("->")) << c.where;
  }
}

}  // namespace
