#include "diagnostics/logger.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "diagnostics/capture_log_target.h"

namespace {

using Quarn::kChannelDbg;
using Quarn::kChannelGen;
using Quarn::kChannelXtr;
using Quarn::Logger;
using Quarn::testing::CaptureLogTarget;

// A logger with only a capturing target attached.
struct IsolatedLogger {
  IsolatedLogger() {
    logger.DetachBuiltInTargets();
    capture.Attach(logger);
  }
  Logger logger;
  CaptureLogTarget capture;
};

TEST(Logger, DefaultFilterDropsLevelZeroAndMutedChannel) {
  IsolatedLogger t;
  t.logger.Log(Quarn::kLogOkay, kChannelDbg, "okay");
  t.logger.Log(Quarn::kLogAlways, kChannelXtr | kChannelDbg, "extra");
  t.logger.Log(Quarn::kLogWarn, kChannelDbg, "warn %d", 1);
  ASSERT_EQ(t.capture.records.size(), 1u);
  EXPECT_EQ(t.capture.records[0].message, "warn 1");
  EXPECT_EQ(t.capture.records[0].level, Quarn::kLogWarn);
  EXPECT_EQ(t.capture.records[0].channels, kChannelDbg);
}

TEST(Logger, CountsWarningsAndErrorsThatPassTheLoggerFilter) {
  IsolatedLogger t;
  t.capture.SetMinLevel(Quarn::kLogAlways);  // counting does not depend on any target
  t.logger.Log(Quarn::kLogWarn, kChannelDbg, "w");
  t.logger.Log(Quarn::kLogError, kChannelDbg, "e");
  t.logger.Log(Quarn::kLogError, 0, "e");
  t.logger.Log(Quarn::kLogError, kChannelXtr, "muted");
  t.logger.Log(Quarn::kLogAlways, kChannelDbg, "a");
  EXPECT_EQ(t.logger.WarningCount(), 1u);
  EXPECT_EQ(t.logger.ErrorCount(), 2u);
  EXPECT_EQ(t.capture.records.size(), 1u);
}

TEST(Logger, SettingsChangeWhatPasses) {
  IsolatedLogger t;
  t.logger.SetMinLevel(Quarn::kLogOkay);
  t.logger.SetMutedChannels(kChannelGen);
  t.logger.Log(Quarn::kLogOkay, kChannelXtr, "now allowed");
  t.logger.Log(Quarn::kLogAlways, kChannelGen, "now muted");
  t.logger.SetDisabled(true);
  t.logger.Log(Quarn::kLogAlways, kChannelDbg, "disabled");
  ASSERT_EQ(t.capture.records.size(), 1u);
  EXPECT_EQ(t.capture.records[0].message, "now allowed");
}

TEST(Logger, StdErrTargetWritesTheConsoleFormat) {
  Logger logger;
  logger.SetExecutableName("C:\\games\\client\\kiv.exe");
  EXPECT_EQ(logger.ExecutableName(), "kiv.exe");
  logger.SetExecutableName("/opt/kiv/bin/kiv");
  ::testing::internal::CaptureStderr();
  logger.Log(Quarn::kLogError, kChannelDbg, "boom %d", 7);
  logger.Log(Quarn::kLogError, kChannelGen, "not on stderr");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(::testing::internal::RE::FullMatch(err, "kiv\\(0x[0-9a-f]+\\):  ERROR\\| boom 7\n")) << err;
}

TEST(Logger, StdOutTargetWritesTheBareMessage) {
  Logger logger;
  logger.StdErrTarget().Detach();
  logger.StdOutTarget().Attach(logger);
  ::testing::internal::CaptureStdout();
  logger.Log(Quarn::kLogWarn, kChannelGen, "general\n");
  logger.Log(Quarn::kLogWarn, kChannelDbg, "debug only");
  logger.StdOutTarget().Flush();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "general\n");
}

TEST(Logger, AttachIsIgnoredWhenAttachedAndDetachOrDestructionRemovesTheTarget) {
  IsolatedLogger t;
  t.capture.Attach(t.logger);
  Logger other;
  t.capture.Attach(other);  // already attached elsewhere
  EXPECT_EQ(t.logger.AttachedCount(), 1u);
  t.logger.Log(Quarn::kLogWarn, kChannelDbg, "once");
  EXPECT_EQ(t.capture.records.size(), 1u);

  t.capture.Detach();
  EXPECT_FALSE(t.capture.IsAttached());
  t.logger.Log(Quarn::kLogWarn, kChannelDbg, "after detach");
  EXPECT_EQ(t.capture.records.size(), 1u);
  t.capture.Detach();  // detaching twice does nothing
  EXPECT_EQ(t.logger.AttachedCount(), 0u);
  {
    CaptureLogTarget short_lived;
    short_lived.Attach(t.logger);
    EXPECT_EQ(t.logger.AttachedCount(), 1u);
  }
  EXPECT_EQ(t.logger.AttachedCount(), 0u);  // a destroyed target is no longer called
  t.logger.Log(Quarn::kLogWarn, kChannelDbg, "still fine");
}

TEST(Logger, FindsAttachedTargetsByClassName) {
  Logger logger;
  EXPECT_EQ(logger.AttachedCount(), 2u);  // standard error and the debugger console
  EXPECT_FALSE(logger.StdOutTarget().IsAttached());
  EXPECT_EQ(logger.FindAttachedTarget("StdErrLogTarget"), &logger.StdErrTarget());
  EXPECT_EQ(logger.FindAttachedTarget("StdOutLogTarget"), nullptr);
  EXPECT_EQ(logger.FindAttachedTarget("PluginLogTarget"), nullptr);
  CaptureLogTarget plugin("PluginLogTarget");
  plugin.Attach(logger);
  EXPECT_EQ(logger.FindAttachedTarget("PluginLogTarget"), &plugin);

  logger.DetachBuiltInTargets();
  EXPECT_FALSE(logger.StdErrTarget().IsAttached());
  EXPECT_FALSE(logger.DebuggerTarget().IsAttached());
  EXPECT_EQ(logger.AttachedCount(), 1u);

  logger.DetachAll();
  EXPECT_FALSE(plugin.IsAttached());
  EXPECT_EQ(logger.FindAttachedTarget("PluginLogTarget"), nullptr);
}

TEST(Logger, CutsLongMessages) {
  IsolatedLogger t;
  const std::string long_text(6000, 'x');
  t.logger.Log(Quarn::kLogWarn, kChannelDbg, "%s", long_text.c_str());
  t.logger.LogText(Quarn::kLogWarn, kChannelDbg, long_text);
  ASSERT_EQ(t.capture.records.size(), 2u);
  EXPECT_EQ(t.capture.records[0].message.size(), Quarn::kMaxLogMessageLength);
  EXPECT_EQ(t.capture.records[1].message.size(), Quarn::kMaxLogMessageLength);
}

// Logs from inside Write, then detaches itself on the second record.
class MeddlingTarget : public CaptureLogTarget {
 public:
  explicit MeddlingTarget(Logger& logger) : logger_(logger) {}
  bool Write(const Quarn::LogRecord& record) override {
    CaptureLogTarget::Write(record);
    logger_.Log(Quarn::kLogAlways, kChannelDbg, "nested");
    if (records.size() == 2) Detach();
    return true;
  }

 private:
  Logger& logger_;
};

TEST(Logger, TargetMayLogAndDetachFromWrite) {
  IsolatedLogger t;
  MeddlingTarget meddler(t.logger);
  t.capture.Detach();
  meddler.Attach(t.logger);
  t.capture.Attach(t.logger);  // after the meddler, so its detaching must not skip this one
  for (int i = 0; i < 3; ++i) t.logger.Log(Quarn::kLogWarn, kChannelDbg, "line %d", i);
  EXPECT_EQ(meddler.records.size(), 2u);
  ASSERT_EQ(t.capture.records.size(), 3u);  // nested calls were dropped, not delivered
  EXPECT_EQ(t.capture.records[2].message, "line 2");
  EXPECT_FALSE(meddler.IsAttached());
}

TEST(Logger, ConcurrentCallsAreAllDeliveredAndCounted) {
  IsolatedLogger t;
  std::vector<std::thread> threads;
  for (int n = 0; n < 4; ++n) {
    threads.emplace_back([&t] {
      for (int i = 0; i < 250; ++i) t.logger.Log(Quarn::kLogWarn, kChannelDbg, "%d", i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(t.capture.records.size(), 1000u);
  EXPECT_EQ(t.logger.WarningCount(), 1000u);
}

TEST(Logger, ProcessWideLoggerKnowsTheExecutable) {
  EXPECT_EQ(Logger::Instance().ExecutableName(), "kiv_diagnostics_tests");
  CaptureLogTarget capture;
  capture.Attach();
  Quarn::Log(Quarn::kLogError, kChannelDbg, "via %s", "Log");
  ASSERT_EQ(capture.records.size(), 1u);
  EXPECT_EQ(capture.records[0].message, "via Log");
}

}  // namespace
