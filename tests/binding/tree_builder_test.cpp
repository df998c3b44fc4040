// What the readers build is checked through them (readers_test.cpp); this
// checks what no reader shows: a build abandoned midway leaves nothing.
#include "binding/detail/tree_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "binding/detail/binding_document.h"
#include "binding/detail/scratch_pool.h"

namespace {

using Quarn::BindingProperty;
using Quarn::detail::TreeBuilder;

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

// A large structure is sorted on name prefixes: names sharing their first
// 8 bytes, names that are prefixes of others and repeated names must still
// come out in byte order, the last of a repeated name winning.
TEST(TreeBuilder, LargeStructuresSortByWholeNameAndKeepTheLastOfARepeat) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    names.push_back("shared__" + std::to_string(i * 7919 % 300));  // one 8-byte prefix
    if (i % 10 == 0) names.push_back(std::string(static_cast<size_t>(i % 9), 'z'));
    if (i % 25 == 0) names.push_back("\xff" + std::to_string(i));
  }
  BindingProperty root;
  TreeBuilder builder;
  builder.Begin(root);
  builder.BeginStructure();
  std::map<std::string, uint64_t> expected;
  for (size_t i = 0; i < names.size(); ++i) {
    builder.Key(names[i]);
    builder.Unsigned(i);
    expected[names[i]] = i;
  }
  builder.EndStructure();
  builder.Finish();
  using Members = std::vector<std::pair<std::string, uint64_t>>;
  Members got;
  for (const Quarn::BindingMember& member : root.Members()) got.emplace_back(member.name(), member.value().GetUnsigned());
  EXPECT_EQ(got, Members(expected.begin(), expected.end()));
}

// Readers lease scratch per call: callers taking turns share one object,
// callers at once get their own, and the pool keeps no more than kKept.
TEST(ScratchPool, KeepsAsManyAsRanAtOnceNotOnePerThread) {
  using Pool = Quarn::detail::ScratchPool<std::string>;
  Pool pool;
  const std::string* first = nullptr;
  for (int i = 0; i < 8; ++i) {
    std::thread([&] {
      Pool::Lease lease(pool);
      if (first == nullptr) first = &*lease;
      EXPECT_EQ(&*lease, first) << "thread " << i;
    }).join();
  }
  EXPECT_EQ(pool.kept(), 1u);

  {
    std::vector<std::unique_ptr<Pool::Lease>> held;
    std::set<const std::string*> distinct;
    for (int i = 0; i < 8; ++i) {
      held.push_back(std::make_unique<Pool::Lease>(pool));
      distinct.insert(&**held.back());
    }
    EXPECT_EQ(distinct.size(), 8u);
  }
  EXPECT_EQ(pool.kept(), Pool::kKept);
}

}  // namespace
