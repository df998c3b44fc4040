// The strict conversions behind native fields and route arguments, on one
// table: a rule, an input value and the result as text or the exact failure.
#include "binding/numeric_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingResult;

enum class Color : int32_t { kRed = 1, kGreen = 7, kMinus = -2 };

// "s:-5" Signed, "u:5" Unsigned, "f:3.9" Float, "t:text" String, "b:1" Bool,
// "e:7" Enum, "x" Blob, "l" Collection, "c" Structure, "-" Empty.
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
  if (kind == 'c') value.Member("a").SetSigned(1);
  return value;
}

enum Rule { kBool, kInt32, kInt64, kUint32, kUint64, kDouble, kEnum, kText };

struct Case {
  Rule rule;
  std::string input;
  std::string expected;  // the result as text, or the failure message
};

const std::string kBadBool =
    "Couldn't assign value to 'flag' of type bool because the input is of an invalid type ";
const std::string kBadInt =
    "Couldn't assign value to 'n' of type int32 because the input is of an invalid type ";
const std::string kBoolOptions =
    " for 'flag' of type bool is in an incorrect format. Options are \"true\", "
    "\"false\", \"1\", \"0\".";
const std::string kNotColor = " is not a valid Color enumeration value for 'color'.";

const std::vector<Case> kCases = {
    {kBool, "b:1", "true"},
    {kBool, "t:1", "true"},
    {kBool, "t:true", "true"},
    {kBool, "t:0", "false"},
    {kBool, "t:false", "false"},
    {kBool, "t:TRUE", "Value TRUE" + kBoolOptions},
    {kBool, "t: true", "Value  true" + kBoolOptions},
    {kBool, "s:1", kBadBool + "signed."},
    {kBool, "f:1", kBadBool + "float."},
    {kBool, "-", "A value for 'flag' is required."},

    {kInt32, "s:2147483647", "2147483647"},
    {kInt32, "s:-2147483648", "-2147483648"},
    {kInt32, "s:2147483648", "Value 2147483648 for 'n' of type int32 is out of range"},
    {kInt32, "s:-2147483649", "Value -2147483649 for 'n' of type int32 is out of range"},
    {kInt32, "u:2147483648", "Value 2147483648 for 'n' of type int32 is out of range"},
    {kInt32, "f:3.9", "3"},
    {kInt32, "f:-3.9", "-3"},
    {kInt32, "f:2147483647.5", "Value 2.14748e+09 for 'n' of type int32 is out of range"},
    {kInt32, "t:0x10", "16"},
    {kInt32, "t:-010", "-8"},
    {kInt32, "t: +42", "42"},
    {kInt32, "t:", "0"},
    {kInt32, "t:12abc", "Value 12abc for 'n' of type int32 is in an incorrect format"},
    {kInt32, "t:abc", "Value abc for 'n' of type int32 is in an incorrect format"},
    {kInt32, "t:12 ", "Value 12  for 'n' of type int32 is in an incorrect format"},
    {kInt32, "t:4294967296", "Value 4294967296 for 'n' of type int32 is out of range"},
    {kInt32, "e:7", "7"},
    {kInt32, "b:1", kBadInt + "bool."},
    {kInt32, "l", kBadInt + "collection."},
    {kInt32, "c", kBadInt + "structure."},
    {kInt32, "x", kBadInt + "blob."},
    {kInt32, "-", "A value for 'n' is required."},

    {kInt64, "u:9223372036854775807", "9223372036854775807"},
    {kInt64, "u:9223372036854775808", "Value 9223372036854775808 for 'n' of type int64 is out of range"},
    {kInt64, "f:9223372036854775808", "Value 9.22337e+18 for 'n' of type int64 is out of range"},
    {kInt64, "f:-9223372036854775808", "-9223372036854775808"},
    {kInt64, "t:99999999999999999999", "Value 99999999999999999999 for 'n' of type int64 is out of range"},

    {kUint32, "u:4294967295", "4294967295"},
    {kUint32, "u:4294967296", "Value 4294967296 for 'n' of type uint32 is out of range"},
    {kUint32, "s:-1", "Value -1 for 'n' of type uint32 is out of range"},
    {kUint32, "f:-0.5", "Value -0.5 for 'n' of type uint32 is out of range"},
    {kUint32, "f:7.9", "7"},
    {kUint32, "t:0x10", "16"},
    {kUint32, "t:010", "8"},
    {kUint32, "t:", "0"},
    {kUint32, "t:12abc", "Value 12abc for 'n' of type uint32 is in an incorrect format"},
    {kUint32, "t:-1", "Value -1 for 'n' of type uint32 is out of range"},
    {kUint32, "t:-0", "Value -0 for 'n' of type uint32 is out of range"},
    {kUint32, "e:-2", "Value -2 for 'n' of type uint32 is out of range"},
    {kUint32, "e:7", "7"},
    {kUint32, "b:0",
     "Couldn't assign value to 'n' of type uint32 because the input is of an invalid type bool."},

    {kUint64, "f:9223372036854775808", "9223372036854775808"},
    {kUint64, "f:18446744073709551616", "Value 1.84467e+19 for 'n' of type uint64 is out of range"},
    {kUint64, "t:18446744073709551615", "18446744073709551615"},
    {kUint64, "t:18446744073709551616", "Value 18446744073709551616 for 'n' of type uint64 is out of range"},
    // The C conversion would read this as the maximum.
    {kUint64, "t: -1", "Value  -1 for 'n' of type uint64 is out of range"},

    {kDouble, "s:-3", "-3.000000"},
    {kDouble, "u:5", "5.000000"},
    {kDouble, "f:2.5", "2.500000"},
    {kDouble, "t:1.5e3", "1500.000000"},
    {kDouble, "t:0x1p4", "16.000000"},
    {kDouble, "t:1e999", "Value 1e999 for 'yaml' of type double is out of range"},
    {kDouble, "t:1.5x", "Value 1.5x for 'yaml' of type double is in an incorrect format"},
    {kDouble, "t:inf", "Value inf for 'yaml' of type double is in an incorrect format"},
    {kDouble, "t:nan", "Value nan for 'yaml' of type double is in an incorrect format"},
    {kDouble, "e:7", "7.000000"},
    {kDouble, "c",
     "Couldn't assign value to 'yaml' of type double because the input is of an invalid type structure."},
    {kDouble, "-", "A value for 'yaml' is required."},

    {kEnum, "t:green", "7"},
    {kEnum, "t:7", "7"},
    {kEnum, "t:-2", "-2"},
    {kEnum, "t:Green", "Green" + kNotColor},
    {kEnum, "t:seven", "seven" + kNotColor},
    {kEnum, "t:8", "8" + kNotColor},
    {kEnum, "t:4294967303", "4294967303" + kNotColor},
    {kEnum, "s:1", "1"},
    {kEnum, "u:4294967303", "7"},  // the low 32 bits name a value
    {kEnum, "s:3", "3" + kNotColor},
    {kEnum, "e:7", "7"},
    {kEnum, "e:9", "9" + kNotColor},
    {kEnum, "b:1",
     "Couldn't assign value to 'color' of enum type because the input is of an invalid type bool."},
    {kEnum, "f:1",
     "Couldn't assign value to 'color' of enum type because the input is of an invalid type float."},
    {kEnum, "-", "A value for 'color' is required."},

    {kText, "t:plain", "plain"},
    {kText, "t:", ""},
    {kText, "e:7", "green"},
    {kText, "e:9", "9 is not a valid enumeration value for 'label'."},
    {kText, "s:1", "Couldn't assign value to 'label' because the input is not a string."},
    {kText, "-", "A value for 'label' is required."},
};

TEST(NumericConversion, EachRuleGivesItsValueOrItsExactFailure) {
  Quarn::BindingRegistry registry;
  registry.RegisterType(4, "Color", Quarn::StaticTypeOf<Color>(), true)
      .AddEnumerator("red", 1)
      .AddEnumerator("green", 7)
      .AddEnumerator("minus", -2);
  const Quarn::BindingTypeInfo& color = *registry.FindByName("Color");
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.rule) + " " + c.input);
    BindingResult r;
    const BindingProperty v = Make(c.input);
    std::string got;
    switch (c.rule) {
      case kBool:
        got = Quarn::ToBool(r, v, "flag") ? "true" : "false";
        break;
      case kInt32:
        got = std::to_string(Quarn::ToSigned(r, v, "n", INT32_MIN, INT32_MAX, "int32"));
        break;
      case kInt64:
        got = std::to_string(Quarn::ToSigned(r, v, "n", INT64_MIN, INT64_MAX, "int64"));
        break;
      case kUint32:
        got = std::to_string(Quarn::ToUnsigned(r, v, "n", UINT32_MAX, "uint32"));
        break;
      case kUint64:
        got = std::to_string(Quarn::ToUnsigned(r, v, "n", UINT64_MAX, "uint64"));
        break;
      case kDouble:
        got = std::to_string(
            Quarn::ToDouble(r, v, "yaml", -1.7976931348623157e308, 1.7976931348623157e308, "double"));
        break;
      case kEnum:
        got = std::to_string(Quarn::ToEnum(r, v, "color", color));
        break;
      case kText:
        got = Quarn::ToText(r, v, "label", &registry);
        break;
    }
    if (r.ok()) {
      EXPECT_EQ(got, c.expected);
    } else {
      EXPECT_EQ(r.ErrorMessage(), c.expected);
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
