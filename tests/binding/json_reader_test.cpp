#include "binding/json_reader.h"

#include <gtest/gtest.h>
#include <rapidjson/error/error.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <string>
#include <string_view>

#include "binding/json_writer.h"
#include "binding/value_dump.h"

namespace {

using kiv_test::Dump;
using Quarn::FromJson;
using Quarn::ToJson;

struct GoodJson {
  std::string_view text;
  const char* dump;
};

TEST(JsonReader, MapsJsonToKinds) {
  using namespace std::string_view_literals;
  const GoodJson cases[] = {
      {"", "~"},
      {" \t\r\n ", "~"},
      {"null", "~"},
      {"[1,-1,1.5]", "[u1,s-1,f1.5]"},
      {"[0,-0,1e2,1E-1,-0.0]", "[u0,s0,f100,f0.1,f-0]"},
      {"[4294967296,-2147483649]", "[u4294967296,s-2147483649]"},
      {"18446744073709551615", "u18446744073709551615"},
      {"18446744073709551616", "f18446744073709551616"},
      {"-9223372036854775808", "s-9223372036854775808"},
      {"-9223372036854775809", "f-9223372036854775808"},
      // Correctly rounded, underflow included.
      {"[0.30000000000000004,123456789012345.678,2.2250738585072011e-308]",
       "[f0.30000000000000004,f123456789012345.67,f2.225073858507201e-308]"},
      {"[1e-400,-1e-400,4.9e-324,1.7976931348623157e308]", "[f0,f-0,f5e-324,f1.7976931348623157e+308]"},
      {R"({"b":true,"a":false,"":null})", "{:~,a:false,b:true}"},
      {R"(["x\u00e9\n", "a\u0000b"])", "[\"x\xC3\xA9\n\",\"a\"]"},
      {"{\"a\":1}\0 trailing text after a NUL"sv, "{a:u1}"},
      {"  [ ]  ", "[]"},
  };
  for (const auto& c : cases) {
    const auto result = FromJson(c.text);
    ASSERT_TRUE(result.ok()) << c.text << ": " << result.ErrorMessage();
    EXPECT_EQ(Dump(result.value), c.dump) << c.text;
  }
}

TEST(JsonReader, RepeatedKeysMergeContainersAndReplaceTheRest) {
  const GoodJson cases[] = {
      {R"({"a":1,"a":2})", "{a:u2}"},
      {R"({"a":[1],"a":[2]})", "{a:[u1,u2]}"},
      {R"({"a":{"x":1,"y":1},"a":{"y":2,"z":2}})", "{a:{x:u1,y:u2,z:u2}}"},
      {R"({"a":{"x":{"p":1}},"a":{"x":{"q":2}}})", "{a:{x:{p:u1,q:u2}}}"},
      {R"({"a":[1],"a":{"x":1}})", "{a:{x:u1}}"},
      {R"({"a":{"x":1},"a":[1]})", "{a:[u1]}"},
      {R"({"a":[1],"a":null})", "{a:~}"},
      {R"({"a":"s","a":[1]})", "{a:[u1]}"},
  };
  for (const auto& c : cases) {
    const auto result = FromJson(c.text);
    ASSERT_TRUE(result.ok()) << c.text;
    EXPECT_EQ(Dump(result.value), c.dump) << c.text;
  }
}

struct BadJson {
  std::string_view text;
  rapidjson::ParseErrorCode code;
  unsigned offset;
};

constexpr BadJson kBadJson[] = {
    {R"({"a":1} x)", rapidjson::kParseErrorDocumentRootNotSingular, 8},
    {"[1,]", rapidjson::kParseErrorValueInvalid, 3},
    {"]", rapidjson::kParseErrorValueInvalid, 0},
    {"  ,", rapidjson::kParseErrorValueInvalid, 2},
    {"nul", rapidjson::kParseErrorValueInvalid, 3},
    {"[1 2]", rapidjson::kParseErrorArrayMissCommaOrSquareBracket, 3},
    {"[1", rapidjson::kParseErrorArrayMissCommaOrSquareBracket, 2},
    {"{", rapidjson::kParseErrorObjectMissName, 1},
    {R"({"a":1,})", rapidjson::kParseErrorObjectMissName, 7},
    {"{1:1}", rapidjson::kParseErrorObjectMissName, 1},
    {R"({"a" 1})", rapidjson::kParseErrorObjectMissColon, 5},
    {R"({"a":1 "b":2})", rapidjson::kParseErrorObjectMissCommaOrCurlyBracket, 7},
    {R"({"a":})", rapidjson::kParseErrorValueInvalid, 5},
    {R"(["\u12G4"])", rapidjson::kParseErrorStringUnicodeEscapeInvalidHex, 2},
    {R"(["\uD800\u0041"])", rapidjson::kParseErrorStringUnicodeSurrogateInvalid, 2},
    {R"(["\x"])", rapidjson::kParseErrorStringEscapeInvalid, 2},
    {R"(["abc)", rapidjson::kParseErrorStringMissQuotationMark, 5},
    {"1e400", rapidjson::kParseErrorNumberTooBig, 0},
    {"[1.]", rapidjson::kParseErrorNumberMissFraction, 3},
    {"1e", rapidjson::kParseErrorNumberMissExponent, 2},
    {"-", rapidjson::kParseErrorValueInvalid, 1},
    {"NaN", rapidjson::kParseErrorValueInvalid, 0},
    {"[1] // comment", rapidjson::kParseErrorDocumentRootNotSingular, 4},
};

TEST(JsonReader, ReportsRapidJsonTextAndOffset) {
  for (const auto& c : kBadJson) {
    const auto result = FromJson(c.text);
    ASSERT_FALSE(result.ok()) << c.text;
    EXPECT_EQ(result.ErrorMessage(), Quarn::JsonErrorMessage(c.code, c.offset)) << c.text;
  }
  // The texts users see most, pinned exactly.
  EXPECT_EQ(FromJson(R"({"a":1} x)").ErrorMessage(),
            "Error: The document root must not be followed by other values. at offset 8.");
  EXPECT_EQ(FromJson("[1,]").ErrorMessage(), "Error: Invalid value. at offset 3.");
  EXPECT_EQ(FromJson(R"({"a" 1})").ErrorMessage(),
            "Error: Missing a colon after a name of object member. at offset 5.");
  EXPECT_EQ(Quarn::JsonErrorMessage(0, 0), "Error: No error. at offset 0.");
  EXPECT_EQ(Quarn::JsonErrorMessage(99, 1), "Error: Unknown error. at offset 1.");
}

// The reader runs RapidJSON in its iterative mode; every case above must
// fail exactly as the default (recursive) mode would.
TEST(JsonReader, IterativeModeMatchesDefaultMode) {
  for (const auto& c : kBadJson) {
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    rapidjson::MemoryStream stream(c.text.data(), c.text.size());
    const rapidjson::ParseResult recursive = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler);
    EXPECT_EQ(recursive.Code(), c.code) << c.text;
    EXPECT_EQ(recursive.Offset(), c.offset) << c.text;
  }
}

TEST(JsonReader, ToJsonOfFromJsonIsStable) {
  const char* documents[] = {
      R"({"z":[1,-2,3.25,"s",true,null,{}],"a":{"k":[]},"m":1e-7})",
      R"([18446744073709551615,-9223372036854775808,0.0,-0.0,1e300])",
      R"("\"\\\/\b\f\n\r\t\u0001\u20ac")",
      R"({"b":1,"a":2,"b":3})",
  };
  for (const char* text : documents) {
    const auto first = FromJson(text);
    ASSERT_TRUE(first.ok()) << text;
    const std::string once = ToJson(first.value);
    const auto second = FromJson(once);
    ASSERT_TRUE(second.ok()) << once;
    EXPECT_EQ(ToJson(second.value), once) << text;
    EXPECT_EQ(Dump(second.value), Dump(first.value)) << text;
  }
}

TEST(JsonReader, DeepDocumentsNeitherRecurseNorOverflow) {
  constexpr size_t kDepth = 1000000;
  const std::string arrays = std::string(kDepth, '[') + std::string(kDepth, ']');
  const auto result = FromJson(arrays);
  ASSERT_TRUE(result.ok()) << result.ErrorMessage();
  EXPECT_EQ(ToJson(result.value), arrays);

  std::string objects;
  for (size_t i = 0; i < kDepth; ++i) objects += R"({"a":)";
  objects += "1";
  objects += std::string(kDepth, '}');
  const auto nested = FromJson(objects);
  ASSERT_TRUE(nested.ok()) << nested.ErrorMessage();
  EXPECT_EQ(ToJson(nested.value), objects);

  const auto unclosed = FromJson(std::string(kDepth, '['));
  EXPECT_EQ(unclosed.ErrorMessage(), "Error: Invalid value. at offset 1000000.");
}

}  // namespace
