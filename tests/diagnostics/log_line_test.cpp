#include "diagnostics/log_line.h"

#include <gtest/gtest.h>

#include <string>

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

struct RenderCase {
  const char* format;
  const char* message;
  const char* line;
};

constexpr RenderCase kRenderCases[] = {
    {"#D| #L| #G| #M", "hello", "2024-05-01T09:30:05.007|   WARN| DBG;NET| hello\n"},
    {"#E(#T): #L| #M", "hello", "kiv(0x1234):   WARN| hello\n"},
    {"#H", "", "000065.432\n"},
    {"#M", "ends with a line feed\n", "ends with a line feed\n"},
    {"#M", "", "\n"},
    {"#x#M", "m", "xm\n"},
    {"##M", "m", "#M\n"},
    {"100%s #", "m", "100%s \n"},
    {"[#L]", "", "[  WARN]\n"},
};

TEST(RenderLogLine, ExpandsTokensAndEndsWithOneLineFeed) {
  for (const RenderCase& c : kRenderCases) {
    EXPECT_EQ(Quarn::RenderLogLine(c.format, SampleRecord(c.message)), c.line) << c.format;
  }
}

TEST(RenderLogLine, PrintsEachLevelPaddedAndUnknownLevelsAsQuestionMark) {
  const char* expected[] = {"  OKAY\n", "  WARN\n", " ERROR\n", "ALWAYS\n", "     ?\n"};
  for (uint32_t level = 0; level < 5; ++level) {
    Quarn::LogRecord record = SampleRecord("");
    record.level = level;
    EXPECT_EQ(Quarn::RenderLogLine("#L", record), expected[level]);
  }
}

TEST(RenderLogLine, ChannelTagsFollowBitOrderAndEmptyMaskPrintsNothing) {
  Quarn::LogRecord record = SampleRecord("");
  record.channels = Quarn::kChannelTst | Quarn::kChannelGen | Quarn::kChannelXtr;
  EXPECT_EQ(Quarn::RenderLogLine("<#G>", record), "<GEN;XTR;TST>\n");
  record.channels = 0;
  EXPECT_EQ(Quarn::RenderLogLine("<#G>", record), "<>\n");
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
