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
  uint32_t level = Quarn::kLogWarn;
  uint64_t channels = Quarn::kChannelDbg | Quarn::kChannelNet;
};

const RenderCase kRenderCases[] = {
    {"#D| #L| #G| #M", "hello", "2024-05-01T09:30:05.007|   WARN| DBG;NET| hello\n"},
    {"#E(#T): #L| #M", "hello", "kiv(0x1234):   WARN| hello\n"},
    {"#H", "", "000065.432\n"},
    {"#M", "ends with a line feed\n", "ends with a line feed\n"},
    {"#M", "", "\n"},
    {"#x#M", "m", "xm\n"},
    {"##M", "m", "#M\n"},
    {"100%s #", "m", "100%s \n"},
    {"[#L]", "", "[  WARN]\n"},
    // Each level padded, an unknown one as "?".
    {"#L", "", "  OKAY\n", 0},
    {"#L", "", " ERROR\n", 2},
    {"#L", "", "ALWAYS\n", 3},
    {"#L", "", "     ?\n", 4},
    // Channel tags in bit order; an empty mask prints nothing.
    {"<#G>", "", "<GEN;XTR;TST>\n", 1, Quarn::kChannelTst | Quarn::kChannelGen | Quarn::kChannelXtr},
    {"<#G>", "", "<>\n", 1, 0},
};

TEST(RenderLogLine, ExpandsTokensAndEndsWithOneLineFeed) {
  for (const RenderCase& c : kRenderCases) {
    Quarn::LogRecord record = SampleRecord(c.message);
    record.level = c.level;
    record.channels = c.channels;
    EXPECT_EQ(Quarn::RenderLogLine(c.format, record), c.line) << c.format << " " << c.level;
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
