#include "binding/binding_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/static_type.h"

namespace {

using Quarn::BindingRegistry;
using Quarn::BindingTypeKind;
using Quarn::BindingTypeRef;

struct First {};
struct Second {};
enum class Shared { kA, kB };

TEST(BindingRegistry, FirstRegistrationOfANameWins) {
  BindingRegistry registry;
  const auto& type = Quarn::StaticTypeOf<First>();
  registry.RegisterType(8, "X", type, false)
      .AddField("a", "", 0, type, BindingTypeRef{BindingTypeKind::Int32}, {}, 0, nullptr)
      .AddField("b", "", 4, type, BindingTypeRef{BindingTypeKind::Int32}, {}, 0, nullptr)
      .SetDescription("first");
  auto again = registry.RegisterType(16, "X", Quarn::StaticTypeOf<Second>(), false);
  EXPECT_TRUE(again.already_registered());
  again.AddField("c", "", 8, type, BindingTypeRef{BindingTypeKind::Int32}, {}, 0, nullptr)
      .SetDescription("second")
      .AddTag("tag")
      .AddEnumerator("e", 1);

  const auto* info = registry.FindByName("X");
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(info->fields.size(), 2u);
  EXPECT_EQ(info->fields[0].name, "a");
  EXPECT_EQ(info->fields[1].name, "b");
  EXPECT_EQ(info->fields[1].owner, info);
  EXPECT_EQ(info->description, "first");
  EXPECT_TRUE(info->tags.empty());
  EXPECT_TRUE(info->enumerators.empty());
  EXPECT_EQ(info->size, 8u);
  EXPECT_EQ(registry.FindById(type), info);
  EXPECT_EQ(registry.FindById(Quarn::StaticTypeOf<Second>()), nullptr);
}

TEST(BindingRegistry, UnknownNamesAndIdsGiveNull) {
  BindingRegistry registry;
  EXPECT_EQ(registry.FindByName("Nope"), nullptr);
  EXPECT_EQ(registry.FindById(Quarn::StaticTypeForId(0x2A)), nullptr);
  EXPECT_EQ(registry.EnumeratorName(Quarn::StaticTypeForId(0x2A), 0), nullptr);
}

TEST(BindingRegistry, ReservedIdIsFoundByNameOnly) {
  BindingRegistry registry;
  const auto& reserved = Quarn::StaticTypeForId(BindingRegistry::kUnindexedTypeId);
  registry.RegisterType(1, "Reserved", reserved, false);
  EXPECT_NE(registry.FindByName("Reserved"), nullptr);
  EXPECT_EQ(registry.FindById(reserved), nullptr);
  EXPECT_EQ(reserved.name, "#1BE7EF8E");
}

TEST(BindingRegistry, EnumeratorsByNameAndValue) {
  BindingRegistry registry;
  registry.RegisterType(4, "Shared", Quarn::StaticTypeOf<Shared>(), true)
      .AddEnumerator("beta", 3)
      .AddEnumerator("alpha", 3)
      .AddEnumerator("gamma", 4, "described")
      .AddEnumerator("gamma", 5);  // overwrites
  const auto* info = registry.FindByName("Shared");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->is_enum);
  EXPECT_STREQ(registry.EnumeratorName(Quarn::StaticTypeOf<Shared>(), 3), "alpha");
  EXPECT_EQ(registry.EnumeratorName(Quarn::StaticTypeOf<Shared>(), 4), nullptr);
  EXPECT_TRUE(Quarn::EnumeratorIsDefined(*info, 5));
  EXPECT_FALSE(Quarn::EnumeratorIsDefined(*info, 4));
  EXPECT_EQ(Quarn::EnumeratorValue(*info, "gamma"), 5);
  EXPECT_EQ(Quarn::EnumeratorValue(*info, "Gamma"), std::nullopt);
}

TEST(BindingRegistry, TagsSkipEmptyText) {
  BindingRegistry registry;
  registry.RegisterType(1, "T", Quarn::StaticTypeOf<First>(), false).AddTag("").AddTags({"a", "", "b"});
  EXPECT_EQ(registry.FindByName("T")->tags, (std::vector<std::string>{"a", "b"}));
}

TEST(BindingRegistry, ListsByNameAndByRegistrationOrder) {
  BindingRegistry registry;
  registry.RegisterType(1, "Zeta", Quarn::StaticTypeOf<First>(), false);
  registry.RegisterType(1, "Alpha", Quarn::StaticTypeOf<Second>(), false);
  registry.RegisterType(1, "Zeta", Quarn::StaticTypeOf<Second>(), false);
  std::vector<std::string> by_name;
  for (const auto& [name, info] : registry.ListTypes()) by_name.push_back(name);
  std::vector<std::string> in_order;
  for (const auto* info : registry.TypesInRegistrationOrder()) in_order.push_back(info->name);
  EXPECT_EQ(by_name, (std::vector<std::string>{"Alpha", "Zeta"}));
  EXPECT_EQ(in_order, (std::vector<std::string>{"Zeta", "Alpha"}));
}

}  // namespace
