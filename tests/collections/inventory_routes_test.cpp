// Rune quantities, summoner icons and summoner spells through the fake
// host: what is cached for whom, the icon ownership answer, the spell
// level rule, and the single-icon publication.
#include "collections/inventory_routes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_harness.h"

namespace {

using kiv::test::CollectionsHarness;
using kiv::test::kIconInventoryClass;
using kiv::test::kRuneInventoryClass;

constexpr const char* kInvokeError = "Error response for POST /kiv-login/v1/session/invoke: ";

std::string FreeIcons() {
  std::string list;
  for (int i = 0; i < 29; ++i) list += std::to_string(i) + ",";
  return list;
}

TEST(InventoryRoutes, SummonerZeroIsRefusedEverywhere) {
  CollectionsHarness h;
  for (const char* route : {"runes", "summoner-icons", "spells"}) {
    EXPECT_EQ(h.Call("GET", std::string("/kiv-collections/v1/inventories/0/") + route),
              "403 0 is an invalid summonerId.")
        << route;
  }
  EXPECT_TRUE(h.backend.calls().empty());
  EXPECT_TRUE(h.host.RequestsTo("/kiv-game-data/*").empty());
}

TEST(RuneQuantities, SortedByRuneAndCachedOnlyForTheLoggedInSummoner) {
  CollectionsHarness h;
  h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":7,"summonerRunes":[{"runeId":7,"quantity":1},{"runeId":3,"quantity":2},)"
                    R"({"runeId":5,"quantity":3}]})");
  const std::string expected =
      R"(0 {"runeQuantities":[{"quantity":2,"runeId":3},{"quantity":3,"runeId":5},{"quantity":1,"runeId":7}],)"
      R"("summonerId":7})";
  // Nobody logged in: fetched every time.
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/7/runes"), expected);
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/7/runes"), expected);
  EXPECT_EQ(h.backend.calls().size(), 2u);
  // Logged in: the login loads them, requests answer from the cache.
  h.LogIn(7);
  h.ClearRecords();
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/7/runes"), expected);
  EXPECT_TRUE(h.backend.calls().empty());
  // Another summoner's still come from the backend, and leave the cache.
  h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":8})");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/8/runes"),
            R"(0 {"runeQuantities":[],"summonerId":8})");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/7/runes"), expected);
  EXPECT_EQ(h.backend.calls(), std::vector<std::string>{"summonerRuneService.getSummonerRuneInventory [8]"});
}

TEST(RuneQuantities, BackendFailureNamesTheSummoner) {
  CollectionsHarness h;
  h.backend.Fails("summonerRuneService.getSummonerRuneInventory", "no runes");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/4/runes"),
            std::string("500 Error requesting summoner rune inventory for 4: ") + kInvokeError + "no runes");
}

TEST(SummonerIcons, FreeIconsFirstThenOwnedOnesCachedForTheLoggedInSummoner) {
  CollectionsHarness h;
  h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":7})");
  h.backend.Returns("summonerIconService.getSummonerIconInventory", kIconInventoryClass,
                    R"({"summonerId":7,"summonerIcons":[{"iconId":588},{"iconId":3}]})");
  h.LogIn(7);
  h.ClearRecords();
  const std::string expected = R"(0 {"icons":[)" + FreeIcons() + R"(588,3],"summonerId":7})";
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/7/summoner-icons"), expected);
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/7/summoner-icons"), expected);
  EXPECT_EQ(h.backend.calls().size(), 1u);
}

TEST(SummonerIcons, BackendFailureNamesTheSummoner) {
  CollectionsHarness h;
  h.backend.Fails("summonerIconService.getSummonerIconInventory", "no icons");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/4/summoner-icons"),
            std::string("500 Error requesting summoner icons for 4: ") + kInvokeError + "no icons");
}

TEST(SummonerIcon, OwnershipIsReadFromTheAskedSummonersIcons) {
  CollectionsHarness h;
  h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":7})");
  h.backend.Returns("summonerIconService.getSummonerIconInventory", kIconInventoryClass,
                    R"({"summonerId":7,"summonerIcons":[{"iconId":588}]})");
  h.LogIn(7);
  const auto icon = [&h](uint64_t summoner, int32_t id) {
    return h.Call("GET", "/kiv-collections/v2/inventories/" + std::to_string(summoner) + "/summoner-icons/" +
                             std::to_string(id));
  };
  const std::string rental =
      R"("rental":{"endDate":0,"purchaseDate":0,"rented":false,"winCountRemaining":0})";
  EXPECT_EQ(icon(7, 588),
            R"(0 {"iconId":588,"ownership":{"freeToPlayReward":false,"owned":true,)" + rental + "}}");
  EXPECT_EQ(icon(7, 5),
            R"(0 {"iconId":5,"ownership":{"freeToPlayReward":false,"owned":true,)" + rental + "}}");
  EXPECT_EQ(icon(7, 600),
            R"(0 {"iconId":600,"ownership":{"freeToPlayReward":false,"owned":false,)" + rental + "}}");
  // Summoner 8 owns only the free icons: the logged-in summoner's purchase
  // is not theirs.
  h.backend.Returns("summonerIconService.getSummonerIconInventory", kIconInventoryClass,
                    R"({"summonerId":8})");
  EXPECT_NE(icon(8, 5).find(R"("owned":true)"), std::string::npos);
  EXPECT_NE(icon(8, 588).find(R"("owned":false)"), std::string::npos);
  // An icon list that cannot be read owns nothing, and the route still answers.
  h.backend.Fails("summonerIconService.getSummonerIconInventory", "down");
  EXPECT_NE(icon(9, 5).find(R"(0 {"iconId":5,"ownership":{"freeToPlayReward":false,"owned":false)"),
            std::string::npos);
}

TEST(SummonerIcon, PublishIconSendsTheLoggedInSummonersOwnership) {
  CollectionsHarness h;
  h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":7})");
  h.backend.Returns("summonerIconService.getSummonerIconInventory", kIconInventoryClass,
                    R"({"summonerId":7,"summonerIcons":[{"iconId":588}]})");
  h.LogIn(7);
  h.ClearRecords();
  Quarn::Client::Collections::PublishIcon(*h.service, 588);
  h.host.RunUntilIdle();
  EXPECT_EQ(
      h.host.EmittedPayloads("OnJsonApiEvent_kiv-collections_v2_inventories"),
      std::vector<std::string>{
          R"({"data":{"iconId":588,"ownership":{"freeToPlayReward":false,"owned":true,"rental":{"endDate":0,)"
          R"("purchaseDate":0,"rented":false,"winCountRemaining":0}}},"eventType":"Update",)"
          R"("uri":"/kiv-collections/v2/inventories/7/summoner-icons/588"})"});
}

TEST(SummonerSpells, AvailableByLevelWithLenientNumbers) {
  CollectionsHarness h;
  h.host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-spells.json",
                    R"([{"id":1,"summonerLevel":0},{"id":4,"summonerLevel":"3"},{"id":6,"summonerLevel":4},)"
                    R"({"id":7,"summonerLevel":"high"},{"summonerLevel":0},{"id":11},"not a spell",)"
                    R"({"id":"12","summonerLevel":1}])");
  struct Case {
    uint32_t level;
    const char* spells;
  };
  uint32_t level = 0;
  h.host.Handle("GET", "/kiv-summoner/v1/summoners/{id}", [&level](const kiv::host::Request&) {
    return kiv::host::Response::Ok(
        kiv::test::FakeHost::Json(R"({"summonerId":99,"summonerLevel":)" + std::to_string(level) + "}"));
  });
  const Case cases[] = {{0, "[1,7]"}, {1, "[1,7,12]"}, {3, "[1,4,7,12]"}, {30, "[1,4,6,7,12]"}};
  for (const Case& c : cases) {
    level = c.level;
    EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/5/spells"),
              std::string(R"(0 {"spells":)") + c.spells + R"(,"summonerId":5})")
        << c.level;
  }
  EXPECT_EQ(h.host.LastRequest()->path, "/kiv-summoner/v1/summoners/5");
}

TEST(SummonerSpells, AnAssetThatIsNoListGivesNoSpells) {
  CollectionsHarness h;
  h.host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-spells.json", R"({"id":1,"summonerLevel":0})");
  h.host.AnswerJson("GET", "/kiv-summoner/v1/summoners/{id}", R"({"summonerLevel":30})");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/5/spells"), R"(0 {"spells":[],"summonerId":5})");
}

TEST(SummonerSpells, FailuresNameWhatCouldNotBeRead) {
  CollectionsHarness no_asset;
  no_asset.host.AnswerError("GET", "/kiv-game-data/assets/v1/summoner-spells.json", "no asset", 404);
  EXPECT_EQ(no_asset.Call("GET", "/kiv-collections/v1/inventories/5/spells"),
            "500 Error requesting summoner spells: Error response for GET "
            "/kiv-game-data/assets/v1/summoner-spells.json: no asset");
  CollectionsHarness no_summoner;
  no_summoner.host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-spells.json", "[]");
  no_summoner.host.AnswerError("GET", "/kiv-summoner/v1/summoners/{id}", "who?", 404);
  EXPECT_EQ(
      no_summoner.Call("GET", "/kiv-collections/v1/inventories/5/spells"),
      "500 Error requesting summoner level for 5: Error response for GET /kiv-summoner/v1/summoners/5: who?");
}

}  // namespace
