#include "host/host_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/binding_values.h"

namespace {

using kiv::host::OwnedValue;

TEST(OwnedValue, JsonRoundTripKeepsShapeAndMemberOrder) {
  const char* const kCases[] = {
      "null",
      "true",
      "-12",
      "18446744073709551615",
      "0.5",
      "[0.1,-2.5e-8,1e300,3.0]",  // shortest round-trip doubles
      R"("tab\tquote\"")",
      "[]",
      "{}",
      R"({"z":1,"a":[1,{"k":"v"},[]],"m":{"inner":{"deep":true}},"after":2})",
      R"([[{"x":[[1]]},{"y":{}}],3])",
  };
  for (const char* json : kCases) {
    auto value = OwnedValue::FromJson(json);
    ASSERT_TRUE(value.ok()) << json << ": " << value.FailureMessage();
    EXPECT_EQ(value->ToJson(), json);
    EXPECT_EQ(OwnedValue(*value).ToJson(), json) << "copy of " << json;
  }
}

TEST(OwnedValue, FromJsonReportsOffsetAndReason) {
  struct Bad {
    const char* json;
    const char* message;
  };
  const Bad kBad[] = {
      {R"({"a":1} x)",
       "JSON parse error at offset 8: The document root must not be followed by other values."},
      {"[1,]", "JSON parse error at offset 3: Invalid value."},
      {"", "JSON parse error at offset 0: The document is empty."},
  };
  for (const auto& c : kBad) EXPECT_EQ(OwnedValue::FromJson(c.json).FailureMessage(), c.message) << c.json;
}

// A value of `tag` whose sequence is `count` items at `data`.
HostValue Value(uint32_t tag, void* data = nullptr, uint32_t count = 0) {
  HostValue v = {};
  v.tag = tag;
  v.data.seq.data = data;
  v.data.seq.count = count;
  return v;
}

TEST(OwnedValue, CopyOwnsItsDataAndMarksItHostOwned) {
  char text[] = "hello";
  char bytes[] = {'a', '\0', 'b'};
  HostMember members[2] = {};
  members[0].key = "t";
  members[0].value.tag = KIV_VALUE_TEXT_OWNED;
  members[0].value.data.text = text;
  members[0].owned = 1;
  members[1].key = "b";
  members[1].value = Value(KIV_VALUE_BYTES_OWNED, bytes, 3);
  auto copy = OwnedValue::Copy(Value(KIV_VALUE_OBJECT, members, 2));
  ASSERT_TRUE(copy.ok()) << copy.FailureMessage();
  std::memset(text, 'x', 5);  // the plug-in may reuse its buffers once the call returns
  bytes[0] = 'z';
  EXPECT_EQ(copy->ToJson(), std::string("{\"t\":\"hello\",\"b\":\"a\\u0000b\"}"));
  const auto* copied = static_cast<const HostMember*>(copy->get().data.seq.data);
  // Packed fields are copied out: a reference to one may be misaligned.
  const uint32_t text_tag = copied[0].value.tag;
  const uint32_t bytes_tag = copied[1].value.tag;
  const uint8_t owned = copied[0].owned;
  EXPECT_EQ(text_tag, uint32_t{KIV_VALUE_TEXT});
  EXPECT_EQ(bytes_tag, uint32_t{KIV_VALUE_BYTES});
  EXPECT_EQ(owned, 0);
}

TEST(OwnedValue, CopyRejectsInvalidValuesAnywhereInTheTree) {
  HostValue bad_tag = Value(11);
  EXPECT_EQ(OwnedValue::Copy(Value(KIV_VALUE_ARRAY, &bad_tag, 1)).FailureMessage(), "invalid value tag 11");
  EXPECT_EQ(OwnedValue::Copy(Value(KIV_VALUE_TEXT)).FailureMessage(), "null pointer in value");
  EXPECT_EQ(OwnedValue::Copy(Value(KIV_VALUE_OBJECT, nullptr, 2)).FailureMessage(), "null pointer in value");
  EXPECT_EQ(OwnedValue::Copy(Value(KIV_VALUE_OBJECT))->ToJson(), "{}");
  const auto converted = kiv::host::ToBinding(bad_tag);
  EXPECT_NE(converted.FailureMessage().find("incompatible type"), std::string::npos) << "as a binding value";
}

TEST(OwnedValue, MillionLevelsDeepCopyRenderAndDestroyWithoutRecursion) {
  constexpr size_t kDepth = 1000000;
  std::string json(kDepth, '[');
  json.append(kDepth, ']');
  auto value = OwnedValue::FromJson(json);
  ASSERT_TRUE(value.ok()) << value.FailureMessage();
  OwnedValue copy = *value;
  auto again = OwnedValue::Copy(copy.get());
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again->ToJson().size(), 2 * kDepth);
}

TEST(BindingValues, RoundTripThroughBindingSortsMembersByName) {
  auto host = kiv::host::OwnedValue::FromJson(R"({"z":[1,"two",true,null],"a":{"k":0.5}})");
  ASSERT_TRUE(host.ok());
  auto binding = kiv::host::ToBinding(host->get());
  ASSERT_TRUE(binding.ok()) << binding.FailureMessage();
  EXPECT_EQ(binding->Member("a").Member("k").GetDouble(), 0.5);
  auto back = kiv::host::FromBinding(*binding);
  ASSERT_TRUE(back.ok()) << back.FailureMessage();
  EXPECT_EQ(back->ToJson(), R"({"a":{"k":0.5},"z":[1,"two",true,null]})");
}

}  // namespace
