#include "binding/message_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using Quarn::FormatArg;

struct FormatCase {
  const char* tmpl;
  std::vector<FormatArg> args;
  std::string expected;
};

TEST(FormatMessage, ExpandsEachTemplateAsPrintfWould) {
  const std::string text = "text";  // arguments borrow their text
  const FormatCase cases[] = {
      {"Value %1 for '%2' of type %3 is out of range",
       {300, "x", "uint8"},
       "Value 300 for 'x' of type uint8 is out of range"},
      {"%2 %1", {"a", "b"}, "b a"},
      {"%1 %1 %2", {"x", "y"}, "x x y"},
      {"100%%", {}, "100%"},
      {"%1d", {7}, "7d"},                   // "%1" then the letter
      {"%10d", {42}, "        42"},         // 10 is no argument number here: a width
      {"%10.2f", {3.14159}, "      3.14"},  // a whole printf specification after such a width
      {"Error requesting rune book for %1: %2",
       {uint64_t{123}, "timeout"},
       "Error requesting rune book for 123: timeout"},
      // The default conversion follows the argument type.
      {"%1", {int32_t{-42}}, "-42"},
      {"%1", {uint32_t{4000000000u}}, "4000000000"},
      {"%1", {int64_t{-9000000000}}, "-9000000000"},
      {"%1", {std::numeric_limits<uint64_t>::max()}, "18446744073709551615"},
      {"%1", {uint8_t{200}}, "200"},
      {"%1", {'A'}, "A"},
      {"%1", {0.5}, "0.5"},
      {"%1", {1e20}, "1e+20"},
      {"%1", {true}, "true"},
      {"%1", {text}, "text"},
      {"%1", {std::string_view("a\0b", 3)}, std::string("a\0b", 3)},
      // Printf specifications of numbered placeholders.
      {"%1$5d", {int32_t{42}}, "   42"},
      {"%1$-5d|", {42}, "42   |"},
      {"%1$05d", {42}, "00042"},
      {"%1$x", {int32_t{-1}}, "ffffffff"},
      {"%1$x", {int64_t{-1}}, "ffffffffffffffff"},
      {"%1$X", {uint64_t{0xABCDEF012345}}, "ABCDEF012345"},
      {"%1$d", {uint32_t{4294967295u}}, "-1"},  // as printf shows the 32-bit pattern
      {"%1$hhd", {300}, "300"},                 // the argument's type, not the modifier, sets the width
      {"%1$lld", {int32_t{7}}, "7"},
      {"%1$s", {42}, "42"},  // not allowed for a number: its default
      {"%1$d", {"text"}, "text"},
      {"%1$5.1f", {3.14159}, "  3.1"},
      {"%1$c", {65}, "A"},
      {"%1$-5s|", {"ab"}, "ab   |"},
      {"%1$5s|", {"ab"}, "   ab|"},
      {"%1$.1s|", {"ab"}, "a|"},
      {"%2$s %1$s", {"a", "b"}, "b a"},
      // Unnumbered placeholders take the arguments in sequence.
      {"%d-%s", {1, "two"}, "1-two"},
      {"%3 |", {7, 8}, "  7|"},          // width 3; the space is replaced by "d"
      {"%d %d %d end", {1, 2}, "1 2 "},  // the third has no argument
      {"%*d|", {5, 42}, "   42|"},
      {"%*d|", {-4, 7}, "7   |"},  // a negative width left-justifies
      {"%.*f", {2, 3.14159}, "3.14"},
      {"%1$*2$d|", {42, 5}, "   42|"},
      {"%*d", {5}, ""},           // the value is missing
      {"a%nb%d", {1, 2}, "ab2"},  // the count-store conversion prints nothing
      // A bad placeholder ends the output.
      {"abc%", {1}, "abc"},
      {"abc%1$", {1}, "abc"},
      {"%1 and %2", {"x"}, "x and "},
      {"%2$d", {}, ""},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(Quarn::FormatToString(c.tmpl, c.args.data(), c.args.size()), c.expected) << c.tmpl;
  }

  // The specification from "%" to the conversion may hold 59 characters.
  const FormatArg arg(42);
  EXPECT_EQ(Quarn::FormatToString("a%1$" + std::string(54, '0') + "5db", &arg, 1), "a00042b");
  EXPECT_EQ(Quarn::FormatToString("a%1$" + std::string(56, '0') + "5db", &arg, 1), "a");
}

TEST(FormatMessage, CutsAtCapacityAndAlwaysTerminates) {
  char buffer[5];
  const FormatArg args[] = {123456, "xyz"};
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

struct NamedCase {
  const char* tmpl;
  std::vector<FormatArg> args;
  std::string text;
  std::vector<std::string> names;
};

TEST(FormatNamed, BracesEscapesAndMissingArguments) {
  const NamedCase cases[] = {
      {"{{literal}} {x}", {5}, "{literal} 5", {"x_int"}},
      {"a}b", {}, "a}b", {}},
      {"{a\\}b}", {"v"}, "v", {"a}b_str"}},
      {"{#a!}", {"v"}, "v", {"a_str"}},
      {"{a}5 items", {7}, "75 items", {"a_int"}},  // a digit after the placeholder stays text
      {"100%% {a}", {1}, "100% 1", {"a_int"}},
      {"{a} {b} end", {1}, "1 ", {"a_int"}},
      {"ok {unclosed", {1}, "ok ", {}},
      {"Error response for {method} {url}: {error}",
       {"GET", "/x", "boom"},
       "Error response for GET /x: boom",
       {"method_str", "url_str", "error_str"}},
  };
  for (const NamedCase& c : cases) {
    const Quarn::NamedMessage m = Quarn::FormatNamedArgs(c.tmpl, c.args.data(), c.args.size());
    EXPECT_EQ(m.text, c.text) << c.tmpl;
    std::vector<std::string> names;
    for (const Quarn::NamedField& field : m.fields) names.push_back(field.name);
    EXPECT_EQ(names, c.names) << c.tmpl;
  }
}

}  // namespace
