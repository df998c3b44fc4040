// The writer's pretty layout, enum names and walk; what it writes for each
// kind is in readers_test.cpp, beside the readers.
#include "binding/json_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "binding/binding_registry.h"
#include "binding/binding_visitor.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingProperty;
using Quarn::ToJson;

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

enum class Shade : int32_t { kDark = 1, kLight = 2 };

TEST(JsonWriter, EnumsUseTheRegistrysNamesWhenItHasOne) {
  Quarn::BindingRegistry registry;
  registry.RegisterType(sizeof(Shade), "Shade", Quarn::StaticTypeOf<Shade>(), /*is_enum=*/true)
      .AddEnumerator("dark", 1)
      .AddEnumerator("light", 2)
      .AddEnumerator("bright", 2);
  BindingProperty value;
  value.Append().SetEnum(2, Quarn::StaticTypeOf<Shade>());
  value.Append().SetEnum(-7, Quarn::StaticTypeOf<Shade>());
  value.Append().SetEnum(1, Quarn::StaticTypeForId(12345));
  EXPECT_EQ(ToJson(value, &registry), R"(["bright",-7,1])");
  EXPECT_EQ(ToJson(value), "[2,-7,1]");
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

}  // namespace
