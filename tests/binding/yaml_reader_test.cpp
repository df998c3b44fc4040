#include "binding/yaml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "binding/json_writer.h"
#include "binding/value_dump.h"

namespace {

using kiv_test::Dump;
using Quarn::ReadYaml;

struct GoodYaml {
  std::string_view text;
  const char* dump;
};

void ExpectReads(const GoodYaml& c) {
  const auto result = ReadYaml(c.text);
  ASSERT_TRUE(result.ok()) << c.text << "\n" << result.ErrorMessage();
  EXPECT_EQ(Dump(result.value), c.dump) << c.text;
}

TEST(YamlReader, ResolvesPlainScalarsByWordListsAndNumbers) {
  const GoodYaml cases[] = {
      {"", "~"},
      {"# only a comment\n", "~"},
      {"a: 1", "{a:u1}"},
      {"a: -1", "{a:s-1}"},
      {"a: 1.5", "{a:f1.5}"},
      {"a: 1e3", "{a:u1000}"},
      {"a: 0x1F", "{a:u31}"},
      {"a: -0", "{a:u0}"},
      {"a: -0.0", "{a:u0}"},
      {"a: -2.0", "{a:s-2}"},
      {"a: +7", "{a:u7}"},
      {"a: .5", "{a:f0.5}"},
      {"a: 18446744073709551615", "{a:u18446744073709551615}"},
      {"a: -9223372036854775808", "{a:s-9223372036854775808}"},
      // Integers beyond the 64-bit ranges keep their magnitude as Floats.
      {"a: 18446744073709551616", "{a:f18446744073709551616}"},
      {"a: -1e30", "{a:f-1e+30}"},
      // Integer text is read exactly, not through a double.
      {"a: 9007199254740993", "{a:u9007199254740993}"},
      {"[yes, Off, 'yes', ~, .inf, null, NULL, y, \"1\", inf, 1_000]",
       "[true,false,\"yes\",~,\".inf\",~,~,true,\"1\",\"inf\",\"1_000\"]"},
      {"a:\nb: ''", "{a:~,b:\"\"}"},
      {"1: x", "{1:\"x\"}"},
      {"a: |\n  12\n", "{a:\"12\n\"}"},
      {"'': 1\nb: 2", "{:u1,b:u2}"},
      {"a: \"x\\0y\"", "{a:\"x\"}"},
  };
  for (const auto& c : cases) ExpectReads(c);
}

TEST(YamlReader, AppliesTheFourTags) {
  const GoodYaml cases[] = {
      {"!!str 12", "\"12\""},
      {"!!int 12", "u12"},
      {"!!int -12", "s-12"},
      {"!!int 0x10", "u16"},
      {"!!float 1", "f1"},
      {"!!float -2.5", "f-2.5"},
      {"[!!bool yes, !!bool OFF]", "[true,false]"},
      {"!!str : 1", "{:u1}"},
  };
  for (const auto& c : cases) ExpectReads(c);
}

TEST(YamlReader, ExpandsAliasesAndMergesRepeatedKeys) {
  const GoodYaml cases[] = {
      {"a: &x [1, 2]\nb: *x", "{a:[u1,u2],b:[u1,u2]}"},
      {"a: &v hello\nb: *v", "{a:\"hello\",b:\"hello\"}"},
      {"&k key: 1\nother: *k", "{key:u1,other:\"key\"}"},
      {"- &m {p: 1}\n- *m\n- [*m]", "[{p:u1},{p:u1},[{p:u1}]]"},
      {"a: &n name\n*n : 2", "{a:\"name\",name:u2}"},
      {"a: 1\na: 2", "{a:u2}"},
      {"a: [1]\na: [2]", "{a:[u1,u2]}"},
      {"a: {x: 1, y: 1}\na: {y: 2, z: 2}", "{a:{x:u1,y:u2,z:u2}}"},
      {"a: &x 1\na: *x", "{a:u1}"},
      {"---\n~\n---\na: 1", "{a:u1}"},
  };
  for (const auto& c : cases) ExpectReads(c);
}

struct BadYaml {
  std::string_view text;
  const char* message;
};

TEST(YamlReader, ReportsFailuresWithLineAndColumn) {
  const BadYaml cases[] = {
      {"a: !!int 12x", "Value 12x for 'yaml' of type uint64_t is in an incorrect format"},
      {"a: !!int -1x", "Value -1x for 'yaml' of type int64_t is in an incorrect format"},
      {"a: !!float 1e400", "Value 1e400 for 'yaml' of type double is out of range"},
      {"a: !foo x", "Unsupported YAML tag '!foo'."},
      {"a: !!bool maybe", "Value maybe for 'yaml' of type bool is in an incorrect format"},
      {"a: &x [1, *x]", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
      {"b: *y", "Undefined alias encountered: \"y\". At line: 1 col: 4"},
      {"a: 1\n---\nb: 2", "Multi-document YAML is not supported."},
      {"? [a]\n: 1", "Unexpected start of sequence. At line: 1 col: 3"},
      {"x: 0\n? {a: 1}\n: 1", "Unexpected start of mapping. At line: 2 col: 3"},
      {"!!int 1: x", "Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
      {"a: &n 5\n*n : 2", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {"a: &x 1\nb: &x 2", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      // A repeated key reopens the anchored mapping: copying it into itself
      // would never end.
      {"a: &x {b: 1}\na: {c: *x}", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 8"},
      {"a: [1", "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
      {"a: b: c", "YAML parser error: mapping values are not allowed in this context. At line: 0 col: 4"},
  };
  for (const auto& c : cases) {
    const auto result = ReadYaml(c.text);
    EXPECT_FALSE(result.ok()) << c.text;
    EXPECT_EQ(result.ErrorMessage(), c.message) << c.text;
  }
}

TEST(YamlReader, LimitsExponentialAliasExpansion) {
  std::string bomb = "a: &a [1,1,1,1,1,1,1,1,1,1]\n";
  for (char level = 'b'; level <= 'h'; ++level) {
    const char previous = static_cast<char>(level - 1);
    bomb += std::string(1, level) + ": &" + level + " [";
    for (int i = 0; i < 10; ++i) bomb += std::string(i ? "," : "") + "*" + previous;
    bomb += "]\n";
  }
  const auto result = ReadYaml(bomb);
  EXPECT_EQ(result.ErrorMessage(),
            "YAML aliases expand to more than 1000000 values. Alias \"e\". At line: 6 col: 29");
}

TEST(YamlReader, DeepBlockNestingReadsAndDeepFlowNestingFailsCleanly) {
  constexpr size_t kDepth = 1000000;
  std::string block;
  for (size_t i = 0; i < kDepth; ++i) block += "- ";
  block += "x";
  const auto deep = ReadYaml(block);
  ASSERT_TRUE(deep.ok()) << deep.ErrorMessage();
  EXPECT_EQ(Quarn::ToJson(deep.value), std::string(kDepth, '[') + "\"x\"" + std::string(kDepth, ']'));

  const std::string flow_ok = std::string(1000, '[') + std::string(1000, ']');
  EXPECT_TRUE(ReadYaml(flow_ok).ok());
  const std::string flow = std::string(kDepth, '[') + std::string(kDepth, ']');
  EXPECT_EQ(ReadYaml(flow).ErrorMessage(),
            "YAML flow collections nested deeper than 1000 levels are not supported. At line: 1 col: 1001");
}

TEST(YamlReader, ToJsonOfReadYamlMatchesTheJsonForm) {
  const std::string_view text =
      "name: ward\n"
      "ids: [3, -4, 2.5]\n"
      "owned: {rental: {end: 0, active: no}, yes: true}\n";
  const auto result = ReadYaml(text);
  ASSERT_TRUE(result.ok()) << result.ErrorMessage();
  EXPECT_EQ(Quarn::ToJson(result.value),
            R"({"ids":[3,-4,2.5],"name":"ward","owned":{"rental":{"active":false,"end":0},"yes":true}})");
}

}  // namespace
