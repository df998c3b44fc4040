#include "binding/binding_property.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "binding/detail/binding_document.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingPropertyKind;
using Quarn::BindingResult;

std::vector<std::string> MemberNames(const BindingProperty& value) {
  std::vector<std::string> names;
  for (const auto& member : value.Members()) names.emplace_back(member.name());
  return names;
}

size_t StringCount(const BindingProperty& value) {
  return value.document() == nullptr ? 0 : value.document()->string_count();
}

TEST(BindingProperty, ScalarsAndTheEmptyStringNeedNoDocument) {
  BindingProperty value;
  EXPECT_EQ(value.kind(), BindingPropertyKind::Empty);
  value.SetString("");
  EXPECT_EQ(value.kind(), BindingPropertyKind::String);
  value.SetBool(true);
  value.SetSigned(-5);
  value.SetDouble(1.5);
  EXPECT_EQ(value.document(), nullptr);
  EXPECT_EQ(value.GetDouble(), 1.5);
  EXPECT_EQ(value.GetSigned(42), 42);  // wrong kind gives the default
}

TEST(BindingProperty, WritingElementFiveMakesSixButReadingChangesNothing) {
  BindingProperty value;
  value.Element(5).SetSigned(9);
  ASSERT_EQ(value.size(), 6u);
  for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(value.Element(i).IsEmpty()) << i;
  EXPECT_EQ(value.Elements()[5].GetSigned(), 9);
  const BindingProperty& view = value;
  EXPECT_EQ(&view.Element(6), &BindingProperty::EmptyValue());
  EXPECT_EQ(&view.Member("x"), &BindingProperty::EmptyValue());
  EXPECT_EQ(view.FindMember("x"), nullptr);
  EXPECT_EQ(value.size(), 6u);
  EXPECT_TRUE(value.IsCollection());
}

TEST(BindingProperty, MembersAreOrderedByUnsignedBytesPrefixFirst) {
  BindingProperty value;
  for (const char* name : {"b", "a", "B", "ab", "\xC3\xA9", "~"}) value.Member(name).SetBool(true);
  EXPECT_EQ(MemberNames(value), (std::vector<std::string>{"B", "a", "ab", "b", "~", "\xC3\xA9"}));
}

// Texts are interned per document: equal texts share one entry, and one
// no longer used is released.
TEST(BindingProperty, TextsAreSharedReleasedAndCutAtNul) {
  using namespace std::string_view_literals;
  BindingProperty value;
  value.Member("name").SetString("name");
  value.Member("name").SetSigned(1);
  value.Member("name").SetString("name");
  value.Member("other").SetString("name");
  ASSERT_EQ(value.size(), 2u);
  EXPECT_EQ(StringCount(value), 2u);  // "name" and "other"
  EXPECT_TRUE(value.EraseMember("other"));
  EXPECT_FALSE(value.EraseMember("other"));
  EXPECT_EQ(StringCount(value), 1u);
  value.Clear();
  EXPECT_EQ(StringCount(value), 0u);
  EXPECT_NE(value.document(), nullptr);  // the document stays with its root
  value.Member("ke\0y"sv).SetString("ab\0cd"sv);
  EXPECT_EQ(MemberNames(value), std::vector<std::string>{"ke"});
  EXPECT_EQ(value.Member("ke").GetString(), "ab");
}

TEST(BindingProperty, SetStringFromItsOwnText) {
  BindingProperty value;
  value.SetString("self");
  value.SetString(value.GetString());
  EXPECT_EQ(value.GetString(), "self");
  BindingResult result;
  result.Fail("first");
  result.Fail(result.ErrorMessage());
  EXPECT_EQ(result.ErrorMessage(), "first");
}

TEST(BindingProperty, CopyReinternsInTheDestinationDocument) {
  BindingProperty source;
  source.Member("s").SetString("text");
  source.Member("list").Append().SetString("elem");
  source.Member("blob").SetBlob(std::vector<uint8_t>{1, 2, 3});
  source.Member("enum").SetEnum(4, Quarn::StaticTypeForId(0x2A));

  BindingProperty destination;
  destination.Member("old").SetSigned(1);
  destination = source;
  EXPECT_NE(destination.document(), source.document());
  source.Clear();
  EXPECT_EQ(MemberNames(destination), (std::vector<std::string>{"blob", "enum", "list", "s"}));
  EXPECT_EQ(destination.Member("s").GetString(), "text");
  EXPECT_EQ(destination.Member("list").Element(0).GetString(), "elem");
  EXPECT_EQ(destination.Member("blob").size(), 3u);
  EXPECT_EQ(destination.Member("enum").GetEnum().value, 4);
  EXPECT_EQ(destination.Member("enum").GetEnum().type->name, "#0000002A");
  EXPECT_EQ(StringCount(destination), 6u);  // blob enum list s text elem
}

TEST(BindingProperty, MoveBetweenRootsSwapsAndOutOfATreeCopies) {
  BindingProperty a;
  a.Member("x").SetString("a");
  BindingProperty b;
  b.Member("y").SetString("b");
  auto* b_document = b.document();
  a = std::move(b);
  EXPECT_EQ(a.document(), b_document);
  EXPECT_EQ(a.Member("y").GetString(), "b");
  EXPECT_TRUE(b.IsEmpty());
  BindingProperty c(std::move(a));
  EXPECT_EQ(c.document(), b_document);
  EXPECT_TRUE(a.IsEmpty());

  // Out of a tree: a copy, and the source is cleared.
  BindingProperty tree;
  tree.Member("child").Member("leaf").SetString("v");
  BindingProperty taken(std::move(tree.Member("child")));
  EXPECT_EQ(taken.Member("leaf").GetString(), "v");
  EXPECT_TRUE(tree.Member("child").IsEmpty());
  EXPECT_NE(taken.document(), tree.document());
}

// Assignments between a value and its own descendants or ancestors.
TEST(BindingProperty, AssignmentWithinOneTree) {
  BindingProperty tree;
  tree.Element(0).Member("a").SetString("deep");
  tree.Element(1).SetSigned(2);

  BindingProperty copy_up = tree;
  copy_up = copy_up.Element(0);  // parent from child
  EXPECT_EQ(copy_up.Member("a").GetString(), "deep");

  BindingProperty copy_down = tree;
  copy_down.Element(1) = copy_down;  // child from parent
  EXPECT_EQ(copy_down.Element(1).Element(1).GetSigned(), 2);
  EXPECT_EQ(copy_down.Element(1).Element(0).Member("a").GetString(), "deep");

  BindingProperty move_up = tree;
  move_up = std::move(move_up.Element(0));
  EXPECT_EQ(MemberNames(move_up), std::vector<std::string>{"a"});

  BindingProperty siblings = tree;
  siblings.Element(1) = std::move(siblings.Element(0));
  EXPECT_TRUE(siblings.Element(0).IsEmpty());
  EXPECT_EQ(siblings.Element(1).Member("a").GetString(), "deep");

  BindingProperty move_down = tree;
  BindingProperty& inner = move_down.Element(0).Member("a");
  inner = std::move(move_down.Element(0));  // the source holds the destination: both go
  EXPECT_TRUE(move_down.Element(0).IsEmpty());

  BindingProperty self = tree;
  self = self;
  self = std::move(self);
  EXPECT_EQ(self.size(), 2u);
}

TEST(BindingProperty, ReserveBeyondLimitThrowsLengthError) {
  BindingProperty value;
  value.MakeCollection();
  EXPECT_THROW(value.Reserve(std::numeric_limits<size_t>::max()), std::length_error);
  value.Reserve(100);
  BindingProperty& first = value.Append();
  for (int i = 0; i < 99; ++i) value.Append();
  EXPECT_EQ(&first, &value.Elements()[0]);  // reserved room: no reallocation
}

constexpr size_t kDepth = 1000000;

TEST(BindingProperty, DeepTreesCopyMoveAndDestroyWithoutRecursion) {
  BindingProperty root;
  BindingProperty* node = &root;
  for (size_t i = 0; i < kDepth; ++i) node = (i % 2 == 0) ? &node->Element(0) : &node->Member("m");
  node->SetString("bottom");

  BindingProperty copy(root);
  BindingProperty assigned;
  assigned = copy;
  BindingProperty moved(std::move(copy));
  BindingProperty move_assigned;
  move_assigned = std::move(moved);
  // Into a non-root: deep copy plus clear of the source.
  BindingProperty holder;
  holder.Element(0) = std::move(move_assigned);
  EXPECT_TRUE(move_assigned.IsEmpty());

  const BindingProperty* walk = &holder.Element(0);
  for (size_t i = 0; i < kDepth; ++i) walk = (i % 2 == 0) ? &walk->Element(0) : &walk->Member("m");
  EXPECT_EQ(walk->GetString(), "bottom");
  root.Clear();
  EXPECT_EQ(StringCount(root), 0u);
}

TEST(BindingResult, FailStoresTheMessageAsErrorMember) {
  BindingResult result;
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.ErrorMessage(), "");
  result.value.SetSigned(1);
  result.Fail("x");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.value.size(), 1u);
  EXPECT_EQ(result.ErrorMessage(), "x");
  result.Fail("y");
  EXPECT_EQ(result.ErrorMessage(), "y");
  EXPECT_EQ(result.value.size(), 1u);
  result.value.Member("error").SetSigned(3);
  EXPECT_EQ(result.ErrorMessage(), "");
  result.Reset();
  EXPECT_TRUE(result.ok());
  EXPECT_TRUE(result.value.IsEmpty());
}

}  // namespace
