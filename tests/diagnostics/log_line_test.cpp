#include "diagnostics/log_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "diagnostics/capture_log_target.h"
#include "support/case_file.h"

namespace {

Quarn::LogRecord SampleRecord(std::string_view message) {
  Quarn::LogRecord record;
  record.level = Quarn::kLogWarn;
  record.channels = Quarn::kChannelDbg | Quarn::kChannelNet;
  record.year = 2024;
  record.month = 5;
  record.day = 1;
  record.hour = 9;
  record.minute = 30;
  record.second = 5;
  record.millisecond = 7;
  record.uptime_ms = 65432;
  record.thread_id = reinterpret_cast<const void*>(uintptr_t{0x1234});
  record.message = message;
  record.executable = "kiv";
  return record;
}

// "DBG;NET" as a channel mask.
uint64_t Channels(const std::string& tags) {
  uint64_t channels = 0;
  std::istringstream list(tags);
  for (std::string tag; std::getline(list, tag, ';');) channels |= Quarn::ChannelBit(tag);
  return channels;
}

// The renderings and target filters of log_line_cases.txt.
TEST(RenderLogLine, ExpandsTokensAndEndsWithOneLineFeedAndTargetsFilter) {
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/diagnostics/log_line_cases.txt")) {
    if (c.kind() == "accepts") {
      Quarn::testing::CaptureLogTarget target;
      target.SetMinLevel(static_cast<uint32_t>(std::stoul(c.Get("min").value_or("0"))));
      target.SetChannelMasks(Channels(c.Get("include").value_or("")),
                             Channels(c.Get("exclude").value_or("")));
      const size_t space = c.input().find(' ');
      const bool accepted =
          target.Accepts(static_cast<uint32_t>(std::stoul(c.input().substr(0, space))),
                         Channels(space == std::string::npos ? "" : c.input().substr(space + 1)));
      EXPECT_EQ(accepted ? "yes" : "no", c.Get("->")) << c.where;
      continue;
    }
    const std::string message = c.Get("message").value_or("");
    Quarn::LogRecord record = SampleRecord(message);
    if (auto level = c.Get("level")) record.level = static_cast<uint32_t>(std::stoul(*level));
    if (auto tags = c.Get("channels")) record.channels = Channels(*tags);
    EXPECT_EQ(Quarn::RenderLogLine(c.input(), record), c.Get("->")) << c.where;
  }
}

TEST(RenderLogLine, CutsLongLinesAndKeepsTheLineFeed) {
  const std::string message(5000, 'a');
  const std::string line = Quarn::RenderLogLine("#L| #M", SampleRecord(message));
  ASSERT_EQ(line.size(), Quarn::kMaxLogLineLength);
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.substr(0, 10), "  WARN| aa");
}

TEST(ChannelBit, MatchesTheFirstThreeCharactersOfTheTag) {
  EXPECT_EQ(Quarn::ChannelBit("DBG"), Quarn::kChannelDbg);
  EXPECT_EQ(Quarn::ChannelBit("XTRA"), Quarn::kChannelXtr);
  EXPECT_EQ(Quarn::ChannelBit("TST"), Quarn::kChannelTst);
  EXPECT_EQ(Quarn::ChannelBit(""), 0u);
}

TEST(ChannelBit, AppendsUnknownTagsOnceAndStopsAtSixtyFour) {
  const uint64_t bit = Quarn::ChannelBit("QZA");
  ASSERT_NE(bit, 0u);
  EXPECT_GT(bit, Quarn::kChannelTst);
  EXPECT_EQ(Quarn::ChannelBit("QZA"), bit);
  EXPECT_EQ(Quarn::ChannelTags(bit), "QZA");

  int added = 0;
  for (char c1 = 'a'; c1 <= 'z'; ++c1) {
    for (char c2 = 'a'; c2 <= 'z'; ++c2) {
      const char tag[] = {'q', c1, c2, '\0'};
      if (Quarn::ChannelBit(tag) == 0) goto full;
      ++added;
    }
  }
full:
  EXPECT_LE(added, 64 - 9);
  EXPECT_EQ(Quarn::ChannelBit("NEW"), 0u);
  EXPECT_EQ(Quarn::ChannelBit("QZA"), bit);
  EXPECT_EQ(Quarn::ChannelBit("NET"), Quarn::kChannelNet);
}

}  // namespace
