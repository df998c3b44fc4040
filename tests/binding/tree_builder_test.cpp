// What the readers build is checked through them (readers_test.cpp); this
// checks what no reader shows: a build abandoned midway leaves nothing.
#include "binding/detail/tree_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/detail/binding_document.h"

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

}  // namespace
