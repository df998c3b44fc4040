#include "binding/numeric_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "binding/binding_registry.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingResult;

enum class Color : int32_t { kRed = 1, kGreen = 7, kMinus = -2 };

// A value built from a short description: "s:-5" Signed, "u:5" Unsigned,
// "f:3.9" Float, "t:text" String, "b:1" Bool, "e:7" Enum, "-" Empty, "x" Blob,
// "l" Collection, "c" Structure.
BindingProperty Make(const std::string& spec) {
  BindingProperty value;
  const std::string rest = spec.size() > 2 ? spec.substr(2) : "";
  switch (spec[0]) {
    case 's':
      value.SetSigned(std::stoll(rest));
      break;
    case 'u':
      value.SetUnsigned(std::stoull(rest));
      break;
    case 'f':
      value.SetDouble(std::stod(rest));
      break;
    case 't':
      value.SetString(rest);
      break;
    case 'b':
      value.SetBool(rest == "1");
      break;
    case 'e':
      value.SetEnum(std::stoi(rest), Quarn::StaticTypeOf<Color>());
      break;
    case 'l':
      value.Append().SetSigned(1);
      break;  // "list"
    case 'c':
      value.Member("a").SetSigned(1);
      break;  // "composite" structure
    case 'x':
      value.SetBlob(std::vector<uint8_t>{1});
      break;  // blob
    default:
      break;  // "-": Empty
  }
  return value;
}

struct Case {
  std::string input;
  std::string expected;  // the result as text, or the failure message
};

template <class Rule>
void RunTable(const char* label, const std::vector<Case>& cases, Rule rule) {
  for (const auto& c : cases) {
    BindingResult result;
    const std::string got = rule(result, Make(c.input));
    if (result.ok()) {
      EXPECT_EQ(got, c.expected) << label << " " << c.input;
    } else {
      EXPECT_EQ(result.ErrorMessage(), c.expected) << label << " " << c.input;
      EXPECT_TRUE(got == "0" || got == "0.000000" || got == "false" || got.empty())
          << label << " failure returned " << got;
    }
  }
}

TEST(NumericConversion, ToBool) {
  RunTable(
      "bool",
      {
          {"b:1", "true"},
          {"t:1", "true"},
          {"t:true", "true"},
          {"t:0", "false"},
          {"t:false", "false"},
          {"t:TRUE",
           "Value TRUE for 'flag' of type bool is in an incorrect format. Options are \"true\", \"false\", "
           "\"1\", \"0\"."},
          {"t: true",
           "Value  true for 'flag' of type bool is in an incorrect format. Options are \"true\", \"false\", "
           "\"1\", \"0\"."},
          {"s:1",
           "Couldn't assign value to 'flag' of type bool because the input is of an invalid type signed."},
          {"f:1",
           "Couldn't assign value to 'flag' of type bool because the input is of an invalid type float."},
          {"-", "A value for 'flag' is required."},
      },
      [](BindingResult& r, const BindingProperty& v) {
        return Quarn::ToBool(r, v, "flag") ? "true" : "false";
      });
}

TEST(NumericConversion, ToSignedInt32) {
  RunTable(
      "int32",
      {
          {"s:2147483647", "2147483647"},
          {"s:-2147483648", "-2147483648"},
          {"s:2147483648", "Value 2147483648 for 'n' of type int32 is out of range"},
          {"s:-2147483649", "Value -2147483649 for 'n' of type int32 is out of range"},
          {"u:2147483648", "Value 2147483648 for 'n' of type int32 is out of range"},
          {"f:3.9", "3"},
          {"f:-3.9", "-3"},
          {"f:2147483647.5", "Value 2.14748e+09 for 'n' of type int32 is out of range"},
          {"t:0x10", "16"},
          {"t:-010", "-8"},
          {"t: +42", "42"},
          {"t:", "0"},
          {"t:12abc", "Value 12abc for 'n' of type int32 is in an incorrect format"},
          {"t:abc", "Value abc for 'n' of type int32 is in an incorrect format"},
          {"t:12 ", "Value 12  for 'n' of type int32 is in an incorrect format"},
          {"t:4294967296", "Value 4294967296 for 'n' of type int32 is out of range"},
          {"e:7", "7"},
          {"b:1", "Couldn't assign value to 'n' of type int32 because the input is of an invalid type bool."},
          {"l",
           "Couldn't assign value to 'n' of type int32 because the input is of an invalid type collection."},
          {"c",
           "Couldn't assign value to 'n' of type int32 because the input is of an invalid type structure."},
          {"x", "Couldn't assign value to 'n' of type int32 because the input is of an invalid type blob."},
          {"-", "A value for 'n' is required."},
      },
      [](BindingResult& r, const BindingProperty& v) {
        return std::to_string(Quarn::ToSigned(r, v, "n", INT32_MIN, INT32_MAX, "int32"));
      });
}

TEST(NumericConversion, ToSignedInt64Limits) {
  RunTable("int64",
           {
               {"u:9223372036854775807", "9223372036854775807"},
               {"u:9223372036854775808", "Value 9223372036854775808 for 'n' of type int64 is out of range"},
               {"f:9223372036854775808", "Value 9.22337e+18 for 'n' of type int64 is out of range"},
               {"f:-9223372036854775808", "-9223372036854775808"},
               {"t:99999999999999999999", "Value 99999999999999999999 for 'n' of type int64 is out of range"},
           },
           [](BindingResult& r, const BindingProperty& v) {
             return std::to_string(Quarn::ToSigned(r, v, "n", INT64_MIN, INT64_MAX, "int64"));
           });
}

TEST(NumericConversion, ToUnsignedUint32) {
  RunTable("uint32",
           {
               {"u:4294967295", "4294967295"},
               {"u:4294967296", "Value 4294967296 for 'n' of type uint32 is out of range"},
               {"s:-1", "Value -1 for 'n' of type uint32 is out of range"},
               {"f:-0.5", "Value -0.5 for 'n' of type uint32 is out of range"},
               {"f:7.9", "7"},
               {"t:0x10", "16"},
               {"t:010", "8"},
               {"t:", "0"},
               {"t:12abc", "Value 12abc for 'n' of type uint32 is in an incorrect format"},
               {"t:-1", "Value -1 for 'n' of type uint32 is out of range"},
               {"t:-0", "Value -0 for 'n' of type uint32 is out of range"},
               {"e:-2", "Value -2 for 'n' of type uint32 is out of range"},
               {"e:7", "7"},
               {"b:0",
                "Couldn't assign value to 'n' of type uint32 because the input is of an invalid type bool."},
           },
           [](BindingResult& r, const BindingProperty& v) {
             return std::to_string(Quarn::ToUnsigned(r, v, "n", UINT32_MAX, "uint32"));
           });
}

TEST(NumericConversion, ToUnsignedUint64) {
  RunTable(
      "uint64",
      {
          {"f:9223372036854775808", "9223372036854775808"},
          {"f:18446744073709551616", "Value 1.84467e+19 for 'n' of type uint64 is out of range"},
          {"t:18446744073709551615", "18446744073709551615"},
          {"t:18446744073709551616", "Value 18446744073709551616 for 'n' of type uint64 is out of range"},
          // The C conversion would read this as the maximum.
          {"t: -1", "Value  -1 for 'n' of type uint64 is out of range"},
      },
      [](BindingResult& r, const BindingProperty& v) {
        return std::to_string(Quarn::ToUnsigned(r, v, "n", UINT64_MAX, "uint64"));
      });
}

TEST(NumericConversion, ToDouble) {
  RunTable("double",
           {
               {"s:-3", "-3.000000"},
               {"u:5", "5.000000"},
               {"f:2.5", "2.500000"},
               {"t:1.5e3", "1500.000000"},
               {"t:0x1p4", "16.000000"},
               {"t:1e999", "Value 1e999 for 'yaml' of type double is out of range"},
               {"t:1.5x", "Value 1.5x for 'yaml' of type double is in an incorrect format"},
               {"t:inf", "Value inf for 'yaml' of type double is in an incorrect format"},
               {"t:nan", "Value nan for 'yaml' of type double is in an incorrect format"},
               {"e:7", "7.000000"},
               {"c",
                "Couldn't assign value to 'yaml' of type double because the input is of an invalid type "
                "structure."},
               {"-", "A value for 'yaml' is required."},
           },
           [](BindingResult& r, const BindingProperty& v) {
             return std::to_string(
                 Quarn::ToDouble(r, v, "yaml", -1.7976931348623157e308, 1.7976931348623157e308, "double"));
           });
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

class EnumConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.RegisterType(4, "Color", Quarn::StaticTypeOf<Color>(), true)
        .AddEnumerator("red", 1)
        .AddEnumerator("green", 7)
        .AddEnumerator("minus", -2);
    type_ = registry_.FindByName("Color");
  }
  Quarn::BindingRegistry registry_;
  const Quarn::BindingTypeInfo* type_ = nullptr;
};

TEST_F(EnumConversion, ToEnum) {
  RunTable(
      "enum",
      {
          {"t:green", "7"},
          {"t:7", "7"},
          {"t:-2", "-2"},
          {"t:Green", "Green is not a valid Color enumeration value for 'color'."},
          {"t:seven", "seven is not a valid Color enumeration value for 'color'."},
          {"t:8", "8 is not a valid Color enumeration value for 'color'."},
          {"t:4294967303", "4294967303 is not a valid Color enumeration value for 'color'."},
          {"s:1", "1"},
          {"u:4294967303", "7"},  // the low 32 bits name a value
          {"s:3", "3 is not a valid Color enumeration value for 'color'."},
          {"e:7", "7"},
          {"e:9", "9 is not a valid Color enumeration value for 'color'."},
          {"b:1",
           "Couldn't assign value to 'color' of enum type because the input is of an invalid type bool."},
          {"f:1",
           "Couldn't assign value to 'color' of enum type because the input is of an invalid type float."},
          {"-", "A value for 'color' is required."},
      },
      [this](BindingResult& r, const BindingProperty& v) {
        return std::to_string(Quarn::ToEnum(r, v, "color", *type_));
      });
}

TEST_F(EnumConversion, ToText) {
  RunTable("text",
           {
               {"t:plain", "plain"},
               {"t:", ""},
               {"e:7", "green"},
               {"e:9", "9 is not a valid enumeration value for 'label'."},
               {"s:1", "Couldn't assign value to 'label' because the input is not a string."},
               {"-", "A value for 'label' is required."},
           },
           [this](BindingResult& r, const BindingProperty& v) {
             return Quarn::ToText(r, v, "label", &registry_);
           });
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
