// The strict conversions behind native fields and route arguments, and the
// lenient readers, on the table numeric_cases.txt: a rule, an input value
// and the result as text or the exact failure.
#include "binding/numeric_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/static_type.h"
#include "support/case_file.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingResult;

enum class Color : int32_t { kRed = 1, kGreen = 7, kMinus = -2 };

// The input forms of numeric_cases.txt.
BindingProperty Make(const std::string& spec) {
  BindingProperty value;
  const std::string rest = spec.size() > 2 ? spec.substr(2) : "";
  const char kind = spec[0];
  if (kind == 's') value.SetSigned(std::stoll(rest));
  if (kind == 'u') value.SetUnsigned(std::stoull(rest));
  if (kind == 'f') value.SetDouble(std::stod(rest));
  if (kind == 't') value.SetString(rest);
  if (kind == 'b') value.SetBool(rest == "1");
  if (kind == 'e') value.SetEnum(std::stoi(rest), Quarn::StaticTypeOf<Color>());
  if (kind == 'x') value.SetBlob(std::vector<uint8_t>{1});
  if (kind == 'l') value.Append().SetSigned(1);
  if (spec == "[]") value.MakeCollection();
  if (kind == 'c') value.Member("a").SetSigned(1);
  return value;
}

TEST(NumericConversion, EachRuleGivesItsValueOrItsExactFailure) {
  Quarn::BindingRegistry registry;
  registry.RegisterType(4, "Color", Quarn::StaticTypeOf<Color>(), true)
      .AddEnumerator("red", 1)
      .AddEnumerator("green", 7)
      .AddEnumerator("minus", -2);
  const Quarn::BindingTypeInfo& color = *registry.FindByName("Color");
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/binding/numeric_cases.txt")) {
    SCOPED_TRACE(c.where);
    BindingResult r;
    const BindingProperty v = Make(c.input());
    const std::string& rule = c.kind();
    std::string got = "unknown rule";
    if (rule == "bool") got = Quarn::ToBool(r, v, "flag") ? "true" : "false";
    if (rule == "int32") got = std::to_string(Quarn::ToSigned(r, v, "n", INT32_MIN, INT32_MAX, "int32"));
    if (rule == "int64") got = std::to_string(Quarn::ToSigned(r, v, "n", INT64_MIN, INT64_MAX, "int64"));
    if (rule == "uint32") got = std::to_string(Quarn::ToUnsigned(r, v, "n", UINT32_MAX, "uint32"));
    if (rule == "uint64") got = std::to_string(Quarn::ToUnsigned(r, v, "n", UINT64_MAX, "uint64"));
    if (rule == "double") {
      got = std::to_string(
          Quarn::ToDouble(r, v, "yaml", -1.7976931348623157e308, 1.7976931348623157e308, "double"));
    }
    if (rule == "enum") got = std::to_string(Quarn::ToEnum(r, v, "color", color));
    if (rule == "text") got = Quarn::ToText(r, v, "label", &registry);
    if (rule == "lenient") {
      got = std::string(Quarn::ReadBool(v) ? "true " : "false ") + std::to_string(Quarn::ReadSigned(v, -7)) +
            " " + std::to_string(Quarn::ReadUnsigned(v, 7));
    }
    const std::string expected = c.Get("->").value_or("?");
    if (r.ok()) {
      EXPECT_EQ(got, expected);
    } else {
      EXPECT_EQ(r.ErrorMessage(), expected);
      EXPECT_TRUE(got == "0" || got == "0.000000" || got == "false" || got.empty())
          << "failure returned " << got;
    }
  }
}

TEST(NumericConversion, DoubleKeepsNanAndChecksTheFloatRange) {
  BindingResult result;
  BindingProperty nan;
  nan.SetDouble(std::nan(""));
  EXPECT_TRUE(std::isnan(Quarn::ToDouble(result, nan, "x", -1.0, 1.0, "double")));
  EXPECT_TRUE(result.ok());
  BindingProperty big;
  big.SetSigned(5);
  Quarn::ToDouble(result, big, "x", -1.0, 1.0, "float");
  EXPECT_EQ(result.ErrorMessage(), "Value 5 for 'x' of type float is out of range");
}

TEST(NumericConversion, FailedResultIsLeftAlone) {
  BindingResult result;
  result.Fail("first");
  BindingProperty value;
  value.SetSigned(5);
  EXPECT_EQ(Quarn::ToSigned(result, value, "n", 0, 10, "int32"), 0);
  EXPECT_EQ(Quarn::ToUnsigned(result, value, "n", 10, "uint32"), 0u);
  EXPECT_EQ(Quarn::ToDouble(result, value, "n", 0, 10, "double"), 0.0);
  EXPECT_FALSE(Quarn::ToBool(result, BindingProperty(), "n"));
  EXPECT_EQ(Quarn::ToText(result, BindingProperty(), "n", nullptr), "");
  EXPECT_EQ(result.ErrorMessage(), "first");
}

}  // namespace
