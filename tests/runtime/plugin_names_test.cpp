// Names, tags, API versions and event names: the texts a plug-in derives
// from its short name, kind and version.
#include "runtime/plugin_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics/capture_log_target.h"
#include "runtime/event_name.h"
#include "runtime/plugin_api_version.h"

namespace {

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

TEST(PluginApiVersion, TextFormAddsPrereleaseAndBuild) {
  struct Case {
    Quarn::PluginApiVersion version;
    const char* text;
  };
  const Case cases[] = {
      {{18, 0, 0, "", ""}, "18.0.0"},
      {{18, 0, 0, "rc1", "7"}, "18.0.0-rc1+7"},
      {{18, 0, 0, "", "7"}, "18.0.0+7"},
      {{18, 0, 0, "rc1", ""}, "18.0.0-rc1"},
      {{4294967295u, 10, 200, "", ""}, "4294967295.10.200"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.version.ToText(), c.text);
}

TEST(PluginApiVersion, CompatibilityIgnoresTexts) {
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
  struct Case {
    const char* uri;
    const char* name;
  };
  const Case cases[] = {
      {"/kiv-login/v1/session", "OnJsonApiEvent_kiv-login_v1_session"},
      {"kiv-login/v1/session", "OnJsonApiEvent_kiv-login_v1_session"},
      {"//kiv-login///v1/session/", "OnJsonApiEvent_kiv-login_v1_session"},
      {"/kiv-collections/v1/inventories/1/runes", "OnJsonApiEvent_kiv-collections_v1_inventories"},
      {"/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled",
       "OnJsonApiEvent_kiv-platform-config_v1_namespaces_ChampionMasteryConfig_Enabled"},
      {"/kiv-platform-config/v1/namespaces/A/B/C", "OnJsonApiEvent_kiv-platform-config_v1_namespaces_A_B"},
      {"/x/kiv-platform-config/a/b/c", "OnJsonApiEvent_x_kiv-platform-config_a"},
      {"/a", "OnJsonApiEvent_a"},
      {"", "OnJsonApiEvent"},
      {"///", "OnJsonApiEvent"},
  };
  for (const Case& c : cases) EXPECT_EQ(Quarn::EventNameOfUri(c.uri), c.name) << c.uri;
}

}  // namespace
