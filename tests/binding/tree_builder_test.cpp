#include "binding/detail/tree_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/detail/binding_document.h"

namespace {

using Quarn::BindingProperty;
using Quarn::detail::DuplicateKeys;
using Quarn::detail::TreeBuilder;

TEST(TreeBuilder, BuildsSortedStructuresAndCollections) {
  BindingProperty root;
  root.SetString("old");
  TreeBuilder builder;
  builder.Begin(root);
  builder.BeginStructure();
  builder.Key("z");
  builder.BeginCollection();
  builder.Signed(-1);
  builder.Null();
  builder.String("s");
  builder.EndCollection();
  builder.Key("a");
  builder.Double(0.5);
  builder.Key("m");
  builder.BeginStructure();
  builder.EndStructure();
  builder.EndStructure();
  builder.Finish();

  ASSERT_TRUE(root.IsStructure());
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root.Members()[0].name(), "a");
  EXPECT_EQ(root.Members()[1].name(), "m");
  EXPECT_EQ(root.Members()[2].name(), "z");
  EXPECT_EQ(root.Member("a").GetDouble(), 0.5);
  EXPECT_TRUE(root.Member("m").IsStructure());
  EXPECT_EQ(root.Member("z").size(), 3u);
  EXPECT_EQ(root.Member("z").Element(0).GetSigned(), -1);
  EXPECT_TRUE(root.Member("z").Element(1).IsEmpty());
  EXPECT_EQ(root.Member("z").Element(2).GetString(), "s");
  // Built trees are ordinary trees: writable access still works.
  root.Member("b").SetBool(true);
  EXPECT_EQ(root.Members()[1].name(), "b");
  root.Clear();
  EXPECT_EQ(root.document()->string_count(), 0u);
}

TEST(TreeBuilder, DuplicateKeysLastWinsOrMerge) {
  auto build = [](BindingProperty& root, DuplicateKeys mode) {
    TreeBuilder builder;
    builder.Begin(root, mode);
    builder.BeginStructure();
    builder.Key("o");
    builder.BeginStructure();
    builder.Key("x");
    builder.Signed(1);
    builder.Key("deep");
    builder.BeginStructure();
    builder.Key("p");
    builder.Signed(1);
    builder.EndStructure();
    builder.EndStructure();
    builder.Key("l");
    builder.BeginCollection();
    builder.Signed(1);
    builder.EndCollection();
    builder.Key("s");
    builder.String("first");
    builder.Key("o");
    builder.BeginStructure();
    builder.Key("y");
    builder.Signed(2);
    builder.Key("deep");
    builder.BeginStructure();
    builder.Key("q");
    builder.Signed(2);
    builder.EndStructure();
    builder.EndStructure();
    builder.Key("l");
    builder.BeginCollection();
    builder.Signed(2);
    builder.EndCollection();
    builder.Key("s");
    builder.String("second");
    builder.EndStructure();
    builder.Finish();
  };
  BindingProperty last;
  build(last, DuplicateKeys::kLastWins);
  EXPECT_EQ(last.size(), 3u);
  EXPECT_EQ(last.Member("o").size(), 2u);
  EXPECT_EQ(last.Member("o").Member("y").GetSigned(), 2);
  EXPECT_EQ(last.Member("l").size(), 1u);
  EXPECT_EQ(last.Member("s").GetString(), "second");

  BindingProperty merged;
  build(merged, DuplicateKeys::kMerge);
  EXPECT_EQ(merged.Member("o").Member("x").GetSigned(), 1);
  EXPECT_EQ(merged.Member("o").Member("y").GetSigned(), 2);
  EXPECT_EQ(merged.Member("o").Member("deep").size(), 2u);
  EXPECT_EQ(merged.Member("l").size(), 2u);
  EXPECT_EQ(merged.Member("l").Element(1).GetSigned(), 2);
  EXPECT_EQ(merged.Member("s").GetString(), "second");
}

TEST(TreeBuilder, AbandonReleasesEverything) {
  BindingProperty root;
  {
    TreeBuilder builder;
    builder.Begin(root);
    builder.BeginCollection();
    builder.BeginStructure();
    builder.Key("k");
    builder.String("v");
    builder.Key("dangling");
  }  // destroyed mid-build, as on a parse error
  EXPECT_TRUE(root.IsEmpty());
  EXPECT_EQ(root.document()->string_count(), 0u);
}

TEST(TreeBuilder, BuildsDeepTrees) {
  constexpr size_t kDepth = 1000000;
  BindingProperty root;
  TreeBuilder builder;
  builder.Begin(root);
  for (size_t i = 0; i < kDepth; ++i) builder.BeginCollection();
  builder.Unsigned(5);
  for (size_t i = 0; i < kDepth; ++i) builder.EndCollection();
  builder.Finish();
  const BindingProperty* node = &root;
  for (size_t i = 0; i < kDepth; ++i) node = &node->Element(0);
  EXPECT_EQ(node->GetUnsigned(), 5u);
}

}  // namespace
