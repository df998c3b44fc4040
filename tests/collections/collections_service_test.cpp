// The service's registration as the host sees it: the API description
// lists the routes in table order with their methods, paths and arguments.
#include "collections/collections_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_harness.h"

namespace {

// "<method> <path> <argument>@<location>..." for one function entry.
std::string Describe(const ApiFunctionEntry& function) {
  static const char* const kMethods[] = {"ANY", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
  std::string text = std::string(function.method < 8 ? kMethods[function.method] : "?") + " " + function.path;
  for (uint32_t i = 0; i < function.argument_count; ++i) {
    const ApiArgumentEntry& argument = function.arguments[i];
    text += " " + std::string(argument.name) + "@" + std::to_string(argument.location) +
            (argument.optional ? "?" : "");
  }
  return text;
}

TEST(CollectionsService, RegistersTheRoutesInTableOrder) {
  kiv::test::CollectionsHarness h;
  std::vector<std::string> routes;
  const ApiDescription& description = *h.record.description;
  for (uint32_t i = 0; i < description.function_count; ++i) {
    const std::string path = description.functions[i].path;
    if (path.rfind("/kiv-collections/", 0) == 0) routes.push_back(Describe(description.functions[i]));
  }
  const std::string v1 = "/kiv-collections/v1/inventories/{summonerId}";
  const std::vector<std::string> expected = {
      "GET " + v1 + "/verification summonerId@2",
      "PUT " + v1 + "/verification summonerId@2 verificationCode@5",
      "GET " + v1 + "/rune-book summonerId@2",
      "PUT " + v1 + "/rune-book summonerId@2 resource@5",
      "PUT " + v1 + "/rune-book/pages/{pageId} summonerId@2 pageId@2 resource@5",
      "PUT " + v1 + "/rune-book/select-page/{pageId} summonerId@2 pageId@2",
      "GET " + v1 + "/runes summonerId@2",
      "GET " + v1 + "/mastery-book summonerId@2",
      "PUT " + v1 + "/mastery-book summonerId@2 resource@5",
      "PUT " + v1 + "/mastery-book/pages summonerId@2 resource@5",
      "DELETE " + v1 + "/mastery-book/pages/{pageId} summonerId@2 pageId@2",
      "GET " + v1 + "/spells summonerId@2",
      "GET " + v1 + "/summoner-icons summonerId@2",
      "GET /kiv-collections/v2/inventories/{summonerId}/summoner-icons/{summonerIconId} summonerId@2 "
      "summonerIconId@2",
      "GET " + v1 + "/champion-mastery summonerId@2",
      "GET " + v1 + "/champion-mastery/top summonerId@2 limit@1? sortRule@1?",
      "GET /kiv-collections/v1/inventories/chest-eligibility",
      "GET " + v1 + "/ward-skins summonerId@2",
      "GET " + v1 + "/ward-skins/{wardSkinId} summonerId@2 wardSkinId@2",
      "GET " + v1 + "/backdrop summonerId@2",
  };
  EXPECT_EQ(routes, expected);
}

}  // namespace
