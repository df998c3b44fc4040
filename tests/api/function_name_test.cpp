#include "api/function_name.h"

#include <gtest/gtest.h>

namespace {

TEST(FunctionName, DerivesFromMethodAndTemplate) {
  struct Case {
    std::string_view method, path_template, name;
  };
  const Case cases[] = {
      {"GET", "/kiv-collections/v1/inventories/{summonerId}/ward-skins",
       "GetKivCollectionsV1InventoriesBySummonerIdWardSkins"},
      {"DELETE", "/v1/items/{itemId}.json", "DeleteV1ItemsByItemIdJson"},
      {"", "/v1/items/{itemId}.json", "V1ItemsByItemIdJson"},
      {"", "kiv-collections", "KivCollections"},
      {"PUT", "/a_b!c+d/{+rest}", "PutABCDByRest"},
      {"post", "/x", "PostX"},  // the first character stays as given
      {"GET", "/", "Get"},
      {"GET", "/{#frag}", "GetBy#frag"},  // "#" is not a separator
      {"MyVerb", "/x", "MyverbX"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Quarn::DeriveFunctionName(c.method, c.path_template), c.name) << c.path_template;
  }
}

}  // namespace
