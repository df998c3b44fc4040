// A container answer is written in one block: the host must read back the
// whole tree from it, and release must free it all (AddressSanitizer checks
// that nothing leaks or is freed twice), also for an answer that the
// writer refused half-way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/call_result.h"
#include "api/response_writer.h"
#include "binding/binding_registry.h"
#include "binding/host_value_conversion.h"
#include "binding/json_writer.h"

namespace {

std::string WrittenAndReadBack(const Quarn::BindingProperty& value) {
  Quarn::BindingRegistry registry;
  Quarn::CallResult call;
  call.value.value = value;
  HostResponse response{};
  Quarn::WriteResponse(response, call, registry);
  Quarn::BindingProperty read;
  std::string error;
  EXPECT_TRUE(Quarn::FromHostValue(read, response.body, "body", error)) << error;
  response.release(&response);
  EXPECT_EQ(response.body.tag, uint32_t{KIV_VALUE_NULL});
  return Quarn::ToJson(read);
}

TEST(ResponseBody, ContainersOfEveryKindReadBackWhole) {
  Quarn::BindingProperty tree;
  tree.Member("name").SetString("Page \"one\"");
  tree.Member("empty text").SetString("");
  tree.Member("bytes").SetBlob(std::vector<uint8_t>{1, 2, 3, 4});
  tree.Member("no bytes").SetBlob(std::vector<uint8_t>{});
  tree.Member("empty list").MakeCollection();
  tree.Member("empty object").MakeStructure();
  Quarn::BindingProperty& runes = tree.Member("runes");
  for (int i = 0; i < 40; ++i) {
    Quarn::BindingProperty& rune = runes.Append();
    rune.Member("id").SetUnsigned(5000 + i);
    rune.Member("label").SetString(std::string(i, 'x'));
    rune.Member("nested").Append().Append().SetSigned(-i);
  }
  EXPECT_EQ(WrittenAndReadBack(tree), Quarn::ToJson(tree));

  Quarn::BindingProperty list;
  list.Append().SetString("a");
  list.Append().SetDouble(1.5);
  list.Append().Member("k").SetBool(true);
  EXPECT_EQ(WrittenAndReadBack(list), Quarn::ToJson(list));

  Quarn::BindingProperty scalar;
  scalar.SetString("just text");
  EXPECT_EQ(WrittenAndReadBack(scalar), "\"just text\"");
}

}  // namespace
