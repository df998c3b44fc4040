// ReadYaml builds documents without anchors through the tree builder and
// reads the rest member by member. An anchor that nothing refers to changes
// no value, so each document must read the same with one as without.
#include <gtest/gtest.h>

#include <string>

#include "binding/value_dump.h"
#include "binding/yaml_reader.h"

namespace {

TEST(YamlReader, BuilderAndMemberPathsAgree) {
  // Each text's first "1" becomes "&unused 1" for the member-by-member read.
  const char* const texts[] = {
      "a: 1\nb: {x: [1, 2]}\na: 3\n",                    // repeated scalar: the later wins
      "m: {x: 1, y: [1]}\nm: {y: [2], z: ~}\nk: 1\n",     // mappings merge, sequences append
      "s: {x: 1}\ns: ~\nt: [1]\nt: {u: 1}\n",              // a later null or other kind replaces
      "- 1\n- {b: 1, a: 2, b: 3}\n- [z, y]\n",             // members sorted, duplicates inside a list
      "a: !!int 1\nb: !!str 2\nc: !!float '3'\nd: \"k\\0l\"\n\"x\\0y\": 1\n",
      "{c: 1, a: [{d: 1}, {d: 2}], b: {}, '': ''}",
  };
  for (const std::string text : texts) {
    SCOPED_TRACE(text);
    std::string anchored = text;
    anchored.replace(anchored.find('1'), 1, "&unused 1");
    const Quarn::BindingResult built = Quarn::ReadYaml(text);
    const Quarn::BindingResult member_by_member = Quarn::ReadYaml(anchored);
    ASSERT_TRUE(built.ok()) << built.ErrorMessage();
    ASSERT_TRUE(member_by_member.ok()) << member_by_member.ErrorMessage();
    EXPECT_EQ(kiv_test::Dump(built.value), kiv_test::Dump(member_by_member.value));
  }
}

}  // namespace
