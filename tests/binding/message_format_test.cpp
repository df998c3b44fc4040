#include "binding/message_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_file.h"

namespace {

using Quarn::FormatArg;

// The arguments of a case in format_cases.txt; texts are kept in `texts`,
// since arguments borrow them.
std::vector<FormatArg> Args(const kiv::test::FileCase& c, std::deque<std::string>& texts) {
  std::vector<FormatArg> args;
  std::istringstream words(c.Get("args").value_or(""));
  for (std::string word; words >> word;) {
    const std::string kind = word.substr(0, word.find(':')), text = word.substr(kind.size() + 1);
    if (kind == "s") args.emplace_back(texts.emplace_back(text));
    if (kind == "c") args.emplace_back(text[0]);
    if (kind == "b") args.emplace_back(text == "true");
    if (kind == "f") args.emplace_back(std::stod(text));
    if (kind == "i32") args.emplace_back(static_cast<int32_t>(std::stol(text, nullptr, 0)));
    if (kind == "i64") args.emplace_back(static_cast<int64_t>(std::stoll(text, nullptr, 0)));
    if (kind == "u8") args.emplace_back(static_cast<uint8_t>(std::stoul(text, nullptr, 0)));
    if (kind == "u32") args.emplace_back(static_cast<uint32_t>(std::stoul(text, nullptr, 0)));
    if (kind == "u64") args.emplace_back(static_cast<uint64_t>(std::stoull(text, nullptr, 0)));
  }
  return args;
}

TEST(FormatMessage, ExpandsEachTemplateAsPrintfWouldAndRecordsNamedFields) {
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/binding/format_cases.txt")) {
    SCOPED_TRACE(c.where);
    std::deque<std::string> texts;
    const std::vector<FormatArg> args = Args(c, texts);
    if (c.kind() == "format") {
      EXPECT_EQ(Quarn::FormatToString(c.input(), args.data(), args.size()), c.Get("->"));
      continue;
    }
    const Quarn::NamedMessage m = Quarn::FormatNamedArgs(c.input(), args.data(), args.size());
    EXPECT_EQ(m.text, c.Get("->"));
    std::string names;
    for (const Quarn::NamedField& field : m.fields) names += (names.empty() ? "" : " ") + field.name;
    EXPECT_EQ(names, c.Get("names").value_or(""));
  }
}

TEST(FormatMessage, CutsAtCapacityAndAlwaysTerminates) {
  char buffer[5];
  const FormatArg args[] = {123456, "xyz"};
  // The specification from "%" to the conversion may hold 59 characters.
  EXPECT_EQ(Quarn::FormatToString("a%1$" + std::string(54, '0') + "5db", args, 1), "a123456b");
  EXPECT_EQ(Quarn::FormatToString("a%1$" + std::string(56, '0') + "5db", args, 1), "a");
  EXPECT_EQ(Quarn::FormatMessage(buffer, sizeof buffer, "abcdefgh", args, 2), 4u);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(Quarn::FormatMessage(buffer, sizeof buffer, "%1", args, 2), 4u);
  EXPECT_STREQ(buffer, "1234");
  EXPECT_EQ(Quarn::FormatMessage(buffer, sizeof buffer, "ab%2", args, 2), 4u);
  EXPECT_STREQ(buffer, "abxy");
  EXPECT_EQ(Quarn::FormatMessage(buffer, 1, "abc", args, 2), 0u);
  EXPECT_STREQ(buffer, "");

  const std::string long_text(5000, 'z');
  EXPECT_EQ(Quarn::Format("%1", long_text).size(), 4095u);
  EXPECT_EQ(Quarn::Format(long_text).size(), 4095u);
  // Huge widths print what printf would, cut: padding only.
  for (const char* tmpl : {"%1$999999999999d", "%1$5000d", "%1$999999999999s", "%1$-5000d|"}) {
    const std::string padded = Quarn::Format(tmpl, 42);
    ASSERT_EQ(padded.size(), 4095u) << tmpl;
    EXPECT_EQ(padded.find_first_not_of(' ', tmpl[3] == '-' ? 2 : 0), std::string::npos) << tmpl;
  }
}

TEST(FormatNamed, RecordsTypedFieldsSuffixedByTypeUnlessTheNameHasOne) {
  const Quarn::NamedMessage m = Quarn::FormatNamed("{flag} {ratio} {id} {count_int} {when_time} {payload}",
                                                   true, 0.25, uint64_t{9}, 3, 4, std::string("p"));
  EXPECT_EQ(m.text, "true 0.25 9 3 4 p");
  const char* names[] = {"flag_bool", "ratio_float", "id_int", "count_int", "when_time", "payload_str"};
  ASSERT_EQ(m.fields.size(), std::size(names));
  for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(m.fields[i].name, names[i]);
  EXPECT_EQ(std::get<bool>(m.fields[0].value), true);
  EXPECT_EQ(std::get<double>(m.fields[1].value), 0.25);
  EXPECT_EQ(std::get<uint64_t>(m.fields[2].value), 9u);
  EXPECT_EQ(std::get<int64_t>(m.fields[3].value), 3);
  EXPECT_EQ(std::get<std::string>(m.fields[5].value), "p");
}

}  // namespace
