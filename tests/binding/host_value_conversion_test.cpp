#include "binding/host_value_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/static_type.h"
#include "host/host_value.h"

namespace {

using Quarn::BindingProperty;

enum class Mode : int32_t { kOn = 1 };

HostValue Text(const char* text, uint32_t tag = KIV_VALUE_TEXT) {
  HostValue value{};
  value.tag = tag;
  value.data.text = text;
  return value;
}

HostValue Signed(int64_t v) {
  HostValue value{};
  value.tag = KIV_VALUE_SIGNED;
  value.data.i64 = v;
  return value;
}

TEST(HostValueConversion, ReadsEveryTag) {
  const uint8_t bytes[] = {1, 2, 3};
  HostValue elements[3]{};
  elements[0].tag = KIV_VALUE_BYTES;
  elements[0].data.seq = {bytes, 3};
  elements[1].tag = KIV_VALUE_DOUBLE;
  elements[1].data.f64 = 0.5;
  elements[2].tag = KIV_VALUE_BOOL;
  elements[2].data.boolean = 7;
  HostMember members[4]{};
  members[0] = {"z", Text("owned", KIV_VALUE_TEXT_OWNED), 0};
  members[1] = {"a", Signed(-4), 0};
  members[2].key = "list";
  members[2].value.tag = KIV_VALUE_ARRAY;
  members[2].value.data.seq = {elements, 3};
  members[3] = {"a", Signed(5), 0};  // a key given twice: the last wins
  HostValue root{};
  root.tag = KIV_VALUE_OBJECT;
  root.data.seq = {members, 4};

  BindingProperty value;
  std::string error;
  ASSERT_TRUE(Quarn::FromHostValue(value, root, "body", error)) << error;
  ASSERT_EQ(value.size(), 3u);
  EXPECT_EQ(value.Member("a").GetSigned(), 5);
  EXPECT_EQ(value.Member("z").GetString(), "owned");
  const BindingProperty& list = value.Member("list");
  EXPECT_EQ(list.Element(0).size(), 3u);
  EXPECT_EQ(list.Element(1).GetDouble(), 0.5);
  EXPECT_TRUE(list.Element(2).GetBool());
}

TEST(HostValueConversion, EmptyContainersAndInvalidTags) {
  HostValue array{};
  array.tag = KIV_VALUE_ARRAY;
  HostValue object{};
  object.tag = KIV_VALUE_OBJECT;
  BindingProperty value;
  std::string error;
  ASSERT_TRUE(Quarn::FromHostValue(value, array, "v", error));
  EXPECT_TRUE(value.IsCollection());
  EXPECT_EQ(value.size(), 0u);
  ASSERT_TRUE(Quarn::FromHostValue(value, object, "v", error));
  EXPECT_TRUE(value.IsStructure());

  HostValue bad[2] = {Signed(1), HostValue{}};
  bad[1].tag = 11;
  array.data.seq = {bad, 2};
  EXPECT_FALSE(Quarn::FromHostValue(value, array, "payload", error));
  EXPECT_EQ(
      error,
      "Couldn't assign value to 'payload' of type object because the input is of an incompatible type ''.");
  EXPECT_TRUE(value.IsEmpty());
}

TEST(HostValueConversion, WritesOwnedCopiesAndReleasesThem) {
  Quarn::BindingRegistry registry;
  registry.RegisterType(4, "Mode", Quarn::StaticTypeOf<Mode>(), true).AddEnumerator("on", 1);
  BindingProperty value;
  value.Member("text").SetString("hello");
  value.Member("blob").SetBlob(std::vector<uint8_t>{9, 8});
  value.Member("empty_blob").SetBlob(std::vector<uint8_t>{});
  value.Member("named").SetEnum(1, Quarn::StaticTypeOf<Mode>());
  value.Member("unnamed").SetEnum(-2, Quarn::StaticTypeOf<Mode>());
  value.Member("list").Append().SetUnsigned(3);
  value.Member("list").Append();

  HostValue out{};
  ASSERT_TRUE(Quarn::ToHostValue(out, value, &registry));
  ASSERT_EQ(out.tag + 0, static_cast<uint32_t>(KIV_VALUE_OBJECT));
  ASSERT_EQ(out.data.seq.count + 0, 6u);
  EXPECT_EQ(kiv::host::ToJson(out),
            R"({"blob":"\t\b","empty_blob":"","list":[3,null],"named":"on","text":"hello","unnamed":-2})");
  // Every member, text and byte run is the plug-in's own copy, to release.
  const auto* entries = static_cast<const HostMember*>(out.data.seq.data);
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(entries[i].owned + 0, 1) << entries[i].key;
  EXPECT_EQ(entries[0].value.tag + 0, static_cast<uint32_t>(KIV_VALUE_BYTES_OWNED));
  EXPECT_EQ(entries[3].value.tag + 0, static_cast<uint32_t>(KIV_VALUE_TEXT_OWNED));
  EXPECT_EQ(entries[4].value.tag + 0, static_cast<uint32_t>(KIV_VALUE_TEXT_OWNED));
  EXPECT_EQ(entries[5].value.tag + 0, static_cast<uint32_t>(KIV_VALUE_SIGNED));

  // Without a registry enums are numbers.
  HostValue plain{};
  ASSERT_TRUE(Quarn::ToHostValue(plain, value.Member("named"), nullptr));
  EXPECT_EQ(plain.tag + 0, static_cast<uint32_t>(KIV_VALUE_SIGNED));

  BindingProperty back;
  std::string error;
  ASSERT_TRUE(Quarn::FromHostValue(back, out, "v", error));
  EXPECT_EQ(back.Member("named").GetString(), "on");
  EXPECT_EQ(back.Member("list").size(), 2u);
  Quarn::ReleaseHostValue(out);  // ASan reports anything left
  EXPECT_EQ(out.tag + 0, static_cast<uint32_t>(KIV_VALUE_NULL));
}

TEST(HostValueConversion, DeepTreesBothWays) {
  constexpr size_t kDepth = 1000000;
  BindingProperty root;
  BindingProperty* node = &root;
  for (size_t i = 0; i < kDepth; ++i) node = (i % 2 == 0) ? &node->Append() : &node->Member("k");
  node->SetString("leaf");

  HostValue out{};
  ASSERT_TRUE(Quarn::ToHostValue(out, root, nullptr));
  BindingProperty back;
  std::string error;
  ASSERT_TRUE(Quarn::FromHostValue(back, out, "deep", error)) << error;
  Quarn::ReleaseHostValue(out);
  const BindingProperty* walk = &back;
  for (size_t i = 0; i < kDepth; ++i) walk = (i % 2 == 0) ? &walk->Element(0) : &walk->Member("k");
  EXPECT_EQ(walk->GetString(), "leaf");
}

}  // namespace
