#include "diagnostics/assertion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "diagnostics/capture_log_target.h"
#include "diagnostics/logger.h"
#include "diagnostics/utc_time.h"

namespace {

using Quarn::testing::CaptureLogTarget;

struct ReportCase {
  const char* expression;
  const char* file;
  int32_t line;
  const char* function;
  const char* description;
  const char* text;
};

constexpr ReportCase kReportCases[] = {
    {"ALE-6D828C10", nullptr, 0, nullptr, nullptr, "Assertion failed!\n\nExpression: ALE-6D828C10"},
    {"ALE-6D828C10", "", 0, "", "", "Assertion failed!\n\nExpression: ALE-6D828C10"},
    {"ALE-EECF0606", "loader.cpp", 42, "Load", "bad version",
     "Assertion failed!\n\nFile: loader.cpp\nLine: 42\n\nFunction: Load\n\nExpression: ALE-EECF0606\n\n"
     "Description: bad version"},
    {nullptr, nullptr, -5, nullptr, nullptr, "Assertion failed!\n\nLine: -5\n\n"},
    {nullptr, nullptr, 0, nullptr, "only this", "Assertion failed!\n\n\n\nDescription: only this"},
    {nullptr, nullptr, 0, nullptr, nullptr, "Assertion failed!\n\n"},
};

TEST(BuildAssertionReport, IncludesOnlyThePartsGiven) {
  for (const ReportCase& c : kReportCases) {
    EXPECT_EQ(Quarn::BuildAssertionReport(c.expression, c.file, c.line, c.function, c.description), c.text)
        << c.text;
  }
}

// Captures the process-wide logger's records for one test.
class ProcessLogTest : public ::testing::Test {
 protected:
  // The standard error target stays quiet while reports are captured.
  void SetUp() override {
    Quarn::Logger::Instance().StdErrTarget().Detach();
    capture_.Attach();
  }
  void TearDown() override { Quarn::Logger::Instance().StdErrTarget().Attach(Quarn::Logger::Instance()); }
  CaptureLogTarget capture_;
};

using ReportAssertion = ProcessLogTest;

TEST_F(ReportAssertion, LogsTheReportAtErrorLevelOnDbgCutAndReturns) {
  const uint64_t errors = Quarn::Logger::Instance().ErrorCount();
  Quarn::ReportAssertion("ALE-6D828C10", nullptr, 0, nullptr, "(%d) %s", 3, "broken promise");
  ASSERT_EQ(capture_.records.size(), 1u);
  EXPECT_EQ(capture_.records[0].level, Quarn::kLogError);
  EXPECT_EQ(capture_.records[0].channels, Quarn::kChannelDbg);
  EXPECT_EQ(capture_.records[0].message,
            "Assertion failed!\n\nExpression: ALE-6D828C10\n\nDescription: (3) broken promise");
  EXPECT_EQ(Quarn::Logger::Instance().ErrorCount(), errors + 1);

  // The description is cut at 1023 characters.
  Quarn::ReportAssertion("ALE-6D828C10", nullptr, 0, nullptr, "%s", std::string(2000, 'd').c_str());
  ASSERT_EQ(capture_.records.size(), 2u);
  const std::string& message = capture_.records[1].message;
  EXPECT_EQ(message.substr(message.find("Description: ") + 13), std::string(1023, 'd'));
}

TEST(ReportFatalDeathTest, ReportsTheCodeAndAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(Quarn::ReportFatal("ALE-EECF0606", "plug-in API %d.%d.%d", 17, 0, 0),
               "Expression: ALE-EECF0606\n\nDescription: plug-in API 17.0.0");
}

struct UtcCase {
  int64_t seconds;
  const char* text;
};

constexpr UtcCase kUtcCases[] = {
    {0, "1970-01-01T00:00:00Z"},
    {1714555800, "2024-05-01T09:30:00Z"},
    {951782400, "2000-02-29T00:00:00Z"},
    {-1, "1969-12-31T23:59:59Z"},
};

using FormatUtcTime = ProcessLogTest;

TEST_F(FormatUtcTime, FormatsSecondsAsUtc) {
  for (const UtcCase& c : kUtcCases) EXPECT_EQ(Quarn::FormatUtcTime(c.seconds), c.text) << c.seconds;
  EXPECT_TRUE(capture_.records.empty());
}

TEST_F(FormatUtcTime, ReportsTimesWithoutCalendarFields) {
  EXPECT_EQ(Quarn::FormatUtcTime(std::numeric_limits<int64_t>::max()), "");
  ASSERT_EQ(capture_.records.size(), 1u);
  EXPECT_EQ(capture_.records[0].message, "Assertion failed!\n\nExpression: ALE-8A14EBBK");
}

}  // namespace
