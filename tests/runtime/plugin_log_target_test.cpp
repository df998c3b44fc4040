// The plug-in log target on a logger of its own, and the telemetry sink
// through the fake host.
#include "runtime/plugin_log_target.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "runtime/module_harness.h"
#include "runtime/telemetry_sink.h"

namespace {

using kiv::test::FakeHost;
using kiv::test::ModuleHarness;

std::vector<std::string> Lines(const FakeHost& host) {
  std::vector<std::string> lines;
  for (const kiv::host::LogLine& line : host.LogLines())
    lines.push_back(std::to_string(line.level) + " " + line.text);
  return lines;
}

TEST(PluginLogTarget, ReplacesTheStandardTargetsAndForwardsBareMessages) {
  FakeHost host;
  Quarn::Logger logger;
  std::unique_ptr<Quarn::LogTarget> slot;
  ASSERT_TRUE(Quarn::InstallPluginLogTarget(host.api(), slot, logger));
  EXPECT_EQ(logger.AttachedCount(), 1u);
  EXPECT_EQ(logger.FindAttachedTarget("StdErrLogTarget"), nullptr);
  EXPECT_EQ(logger.FindAttachedTarget("DebuggerConsoleLogTarget"), nullptr);
  EXPECT_EQ(logger.MinLevel(), 0u);
  EXPECT_EQ(logger.MutedChannels(), Quarn::kChannelXtr);

  logger.Log(Quarn::kLogError, Quarn::kChannelDbg, "backend said %d", 7);
  logger.Log(Quarn::kLogOkay, Quarn::kChannelGen, "fine");
  logger.Log(Quarn::kLogAlways, Quarn::kChannelXtr, "trace");
  const std::vector<std::string> expected{"2 backend said 7", "0 fine"};
  EXPECT_EQ(Lines(host), expected);

  // A second plug-in in the same process leaves logging as it is.
  FakeHost other;
  std::unique_ptr<Quarn::LogTarget> other_slot;
  EXPECT_FALSE(Quarn::InstallPluginLogTarget(other.api(), other_slot, logger));
  EXPECT_EQ(other_slot, nullptr);
  logger.Log(Quarn::kLogWarn, Quarn::kChannelDbg, "once");
  EXPECT_TRUE(other.LogLines().empty());

  // Destroying the target detaches it.
  slot.reset();
  EXPECT_EQ(logger.AttachedCount(), 0u);
}

TEST(TelemetrySink, PostsTheEventToItsNamedEndpoint) {
  ModuleHarness m;
  m.host.AnswerJson("POST", "/telemetry/v1/events/a.b", "null");
  Quarn::BindingProperty payload;
  payload.Member("count").SetUnsigned(3);
  Quarn::Future<void> sent = m.plugin->telemetry()->SendTelemetryEvent("a.b", payload);
  ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_TRUE(sent.get().ok());
  const kiv::host::Request request = *m.host.LastRequest();
  EXPECT_EQ(request.path, "/telemetry/v1/events/a.b");
  ASSERT_EQ(request.arguments.size(), 1u);
  EXPECT_EQ(request.arguments[0].second.ToJson(), R"({"count":3})");

  Quarn::Maybe<void> failed = m.plugin->telemetry()->SendTelemetryEvent("c", payload).get();
  EXPECT_EQ(failed.FailureMessage(),
            "Error response for POST /telemetry/v1/events/c: No route for POST /telemetry/v1/events/c");
}

}  // namespace
