#include "binding/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/binding_visitor.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingProperty;
using Quarn::ToJson;

struct WriteCase {
  const char* name;
  std::function<void(BindingProperty&)> build;
  const char* json;
};

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// What WriteJson streams to a file.
std::string Streamed(const BindingProperty& value, bool pretty) {
  std::FILE* file = std::tmpfile();
  EXPECT_TRUE(Quarn::WriteJson(value, file, pretty));
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
  std::fclose(file);
  return text;
}

TEST(JsonWriter, WritesEachKindCompactly) {
  const double kInf = std::numeric_limits<double>::infinity();
  const WriteCase cases[] = {
      {"empty root", [](BindingProperty&) {}, ""},
      {"empty member", [](BindingProperty& v) { v.Member("a"); }, R"({"a":null})"},
      {"members in name order",
       [](BindingProperty& v) {
         v.Member("z").SetBool(true);
         v.Member("a").SetBool(false);
         v.Member("B").SetString("x");
       },
       R"({"B":"x","a":false,"z":true})"},
      {"unsigned max", [](BindingProperty& v) { v.SetUnsigned(18446744073709551615u); },
       "18446744073709551615"},
      {"signed min", [](BindingProperty& v) { v.SetSigned(std::numeric_limits<int64_t>::min()); },
       "-9223372036854775808"},
      {"float one", [](BindingProperty& v) { v.SetDouble(1.0); }, "1.0"},
      {"float tenth", [](BindingProperty& v) { v.SetDouble(0.1); }, "0.1"},
      {"float zero", [](BindingProperty& v) { v.SetDouble(0.0); }, "0.0"},
      {"float negative zero", [](BindingProperty& v) { v.SetDouble(-0.0); }, "-0.0"},
      {"float large", [](BindingProperty& v) { v.SetDouble(1e300); }, "1e300"},
      {"non-finite floats as null",
       [kInf](BindingProperty& v) {
         v.Append().SetDouble(std::nan(""));
         v.Append().SetDouble(kInf);
         v.Append().SetDouble(-kInf);
       },
       "[null,null,null]"},
      {"blob three bytes", [](BindingProperty& v) { v.SetBlob(Bytes("abc")); }, R"("YWJj")"},
      {"blob two bytes", [](BindingProperty& v) { v.SetBlob(Bytes("ab")); }, R"("YWI=")"},
      {"blob one byte", [](BindingProperty& v) { v.SetBlob(Bytes("a")); }, R"("YQ==")"},
      {"blob high bytes",
       [](BindingProperty& v) {
         v.SetBlob(std::vector<uint8_t>{0xFB, 0xFF, 0xBF});
       },
       R"("+/+/")"},
      {"empty blob", [](BindingProperty& v) { v.SetBlob(std::vector<uint8_t>{}); }, R"("")"},
      {"string escapes", [](BindingProperty& v) { v.SetString("q\"b\\n\nt\t\x01 \xC3\xA9"); },
       "\"q\\\"b\\\\n\\nt\\t\\u0001 \xC3\xA9\""},
      {"empty containers",
       [](BindingProperty& v) {
         v.Member("a").MakeCollection();
         v.Member("o").MakeStructure();
       },
       R"({"a":[],"o":{}})"},
      {"enum without registry", [](BindingProperty& v) { v.SetEnum(-3, Quarn::StaticTypeForId(7)); }, "-3"},
  };
  for (const auto& c : cases) {
    BindingProperty value;
    c.build(value);
    EXPECT_EQ(ToJson(value), c.json) << c.name;
    EXPECT_EQ(Streamed(value, false), c.json) << c.name;
  }
}

enum class Shade : int32_t { kDark = 1, kLight = 2 };

TEST(JsonWriter, EnumsUseTheRegistrysNamesWhenItHasOne) {
  Quarn::BindingRegistry registry;
  registry.RegisterType(sizeof(Shade), "Shade", Quarn::StaticTypeOf<Shade>(), /*is_enum=*/true)
      .AddEnumerator("dark", 1)
      .AddEnumerator("light", 2)
      .AddEnumerator("bright", 2);
  BindingProperty value;
  value.Append().SetEnum(2, Quarn::StaticTypeOf<Shade>());
  value.Append().SetEnum(7, Quarn::StaticTypeOf<Shade>());
  value.Append().SetEnum(1, Quarn::StaticTypeForId(12345));
  EXPECT_EQ(ToJson(value, &registry), R"(["bright",7,1])");
  EXPECT_EQ(ToJson(value), "[2,7,1]");
}

TEST(JsonWriter, PrettyIndentsFourSpacesAndReplacesLineEnds) {
  BindingProperty value;
  value.Member("b").Append().SetUnsigned(1);
  value.Member("b").Append().MakeStructure();
  value.Member("a").SetString("x\ny");
  value.Member("c").MakeCollection();
  const std::string pretty =
      "{\n"
      "    \"a\": \"x\\ny\",\n"
      "    \"b\": [\n"
      "        1,\n"
      "        {}\n"
      "    ],\n"
      "    \"c\": []\n"
      "}";
  EXPECT_EQ(ToJson(value, nullptr, "\n"), pretty);
  EXPECT_EQ(Streamed(value, true), pretty);
  std::FILE* read_only = std::fopen("/dev/null", "r");
  EXPECT_FALSE(Quarn::WriteJson(value, read_only, true));  // a failed write is reported
  std::fclose(read_only);
  std::string windows = pretty;
  for (size_t at = windows.find('\n'); at != std::string::npos; at = windows.find('\n', at + 2)) {
    windows.replace(at, 1, "\r\n");
  }
  EXPECT_EQ(ToJson(value, nullptr, "\r\n"), windows);
  EXPECT_EQ(ToJson(value, nullptr, ""), R"({"a":"x\ny","b":[1,{}],"c":[]})");
}

// Records the operations a walk makes, one letter (and number) each.
class TraceVisitor final : public Quarn::BindingVisitor {
 public:
  std::string trace;
  void Null() override { trace += "n "; }
  void Bool(bool v) override { trace += v ? "T " : "F "; }
  void Signed(int64_t v) override { trace += "s" + std::to_string(v) + " "; }
  void Unsigned(uint64_t v) override { trace += "u" + std::to_string(v) + " "; }
  void Double(double) override { trace += "d "; }
  void String(std::string_view t) override { trace += "'" + std::string(t) + "' "; }
  void Blob(std::span<const uint8_t>) override { trace += "b "; }
  void Enum(const Quarn::BindingEnumRecord&) override { trace += "e "; }
  void StartArray(size_t n) override { trace += "[" + std::to_string(n) + " "; }
  void BeginElement(size_t i) override { trace += "<" + std::to_string(i) + " "; }
  void EndElement(size_t i) override { trace += std::to_string(i) + "> "; }
  void EndArray(size_t n) override { trace += std::to_string(n) + "] "; }
  void StartObject(size_t n) override { trace += "{" + std::to_string(n) + " "; }
  void Key(std::string_view k) override { trace += std::string(k) + ": "; }
  void EndMember() override { trace += "; "; }
  void EndObject(size_t n) override { trace += std::to_string(n) + "} "; }
  void Raw(std::string_view) override { trace += "raw "; }
};

TEST(BindingVisitor, WalkPairsEveryBeginWithItsEnd) {
  BindingProperty value;
  value.Member("b").Append().SetSigned(-1);
  value.Member("b").Append().MakeCollection();
  value.Member("a");
  TraceVisitor visitor;
  Quarn::WalkBinding(value, visitor);
  EXPECT_EQ(visitor.trace, "{2 a: n ; b: [2 <0 s-1 0> <1 [0 0] 1> 2] ; 2} ");
}

TEST(JsonWriter, DeepTreesAreWrittenWithoutRecursion) {
  constexpr size_t kDepth = 1000000;
  BindingProperty value;
  BindingProperty* node = &value;
  for (size_t i = 0; i < kDepth; ++i) node = &node->Append();
  node->SetUnsigned(7);
  const std::string json = ToJson(value);
  EXPECT_EQ(json, std::string(kDepth, '[') + "7" + std::string(kDepth, ']'));

  // Pretty output grows with the square of the depth; a modest depth
  // checks the layout still closes every level.
  BindingProperty shallow;
  node = &shallow;
  for (size_t i = 0; i < 100; ++i) node = &node->Member("k");
  const std::string pretty = ToJson(shallow, nullptr, "\n");
  EXPECT_EQ(pretty.substr(pretty.size() - 7), "    }\n}");
}

}  // namespace
