// Rune quantities, summoner icons and summoner spells through the request
// callback: what is cached for whom, the icon ownership answer, the spell
// level rule, and the failures each names.
#include "collections/summoner_icons.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_fixture.h"
#include "collections/rune_quantities.h"

namespace {

using kiv::test::CollectionsFixture;
using kiv::test::kIconInventoryClass;
using kiv::test::kRuneInventoryClass;

constexpr const char* kRunes7 = "/kiv-collections/v1/inventories/7/runes";

// What each failing read answers is recorded in tests/sessions/fault_walk.jsonl.
TEST(Inventories, SummonerZeroIsRefusedBeforeAnyRead) {
  CollectionsFixture f;
  for (const char* route : {"runes", "summoner-icons", "spells"}) {
    EXPECT_EQ(f.Get(std::string("/kiv-collections/v1/inventories/0/") + route), "403 0 is an invalid summonerId.")
        << route;
  }
  EXPECT_TRUE(f.backend.calls().empty());
  EXPECT_TRUE(f.host.RequestsTo("/kiv-game-data/*").empty());
}

TEST(RuneQuantities, SortedByRuneAndCachedOnlyForTheLoggedInSummoner) {
  CollectionsFixture f;
  f.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":7,"summonerRunes":[{"runeId":7,"quantity":1},{"runeId":3,"quantity":2},)"
                    R"({"runeId":5,"quantity":3}]})");
  const std::string expected =
      R"(0 {"runeQuantities":[{"quantity":2,"runeId":3},{"quantity":3,"runeId":5},{"quantity":1,"runeId":7}],)"
      R"("summonerId":7})";
  // Nobody logged in: fetched every time.
  EXPECT_EQ(f.Get(kRunes7), expected);
  EXPECT_EQ(f.Get(kRunes7), expected);
  EXPECT_EQ(f.backend.calls().size(), 2u);
  // Logged in: the login loads and publishes them, requests answer from the cache.
  f.LogIn(7);
  EXPECT_EQ(f.PublishedAt(kRunes7), std::vector<std::string>{"Update " + expected.substr(2)});
  f.ClearRecords();
  EXPECT_EQ(f.Get(kRunes7), expected);
  EXPECT_TRUE(f.backend.calls().empty());
  // Another summoner's still come from the backend, and leave the cache.
  f.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass, R"({"summonerId":8})");
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/8/runes"), R"(0 {"runeQuantities":[],"summonerId":8})");
  EXPECT_EQ(f.Get(kRunes7), expected);
  EXPECT_EQ(f.backend.calls(), std::vector<std::string>{"summonerRuneService.getSummonerRuneInventory [8]"});
}

TEST(SummonerIcons, FreeIconsFirstOwnershipFromTheAskedSummonersOwnIcons) {
  CollectionsFixture f;
  f.backend.Returns("summonerIconService.getSummonerIconInventory", kIconInventoryClass,
                    R"({"summonerId":7,"summonerIcons":[{"iconId":588},{"iconId":3}]})");
  f.LogIn(7);
  f.ClearRecords();
  std::string free;
  for (int i = 0; i < 29; ++i) free += std::to_string(i) + ",";
  const std::string expected = R"(0 {"icons":[)" + free + R"(588,3],"summonerId":7})";
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/7/summoner-icons"), expected);
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/7/summoner-icons"), expected);
  EXPECT_EQ(f.backend.calls().size(), 1u);

  const auto owned = [&f](uint64_t summoner, int32_t id) {
    const std::string answer = f.Get("/kiv-collections/v2/inventories/" + std::to_string(summoner) +
                                     "/summoner-icons/" + std::to_string(id));
    EXPECT_NE(answer.find(R"(0 {"iconId":)" + std::to_string(id) + R"(,"ownership":{"freeToPlayReward":false,)"),
              std::string::npos)
        << answer;
    return answer.find(R"("owned":true,"rental":{"endDate":0,"purchaseDate":0,"rented":false,"winCountRemaining":0})") !=
           std::string::npos;
  };
  EXPECT_TRUE(owned(7, 588));
  EXPECT_TRUE(owned(7, 5));
  EXPECT_FALSE(owned(7, 600));
  // Summoner 8 owns only the free icons: the logged-in summoner's purchase is not theirs.
  f.backend.Returns("summonerIconService.getSummonerIconInventory", kIconInventoryClass, R"({"summonerId":8})");
  EXPECT_TRUE(owned(8, 5));
  EXPECT_FALSE(owned(8, 588));
  // An icon list that cannot be read owns nothing, and the route still answers.
  f.backend.Fails("summonerIconService.getSummonerIconInventory", "down");
  EXPECT_FALSE(owned(9, 5));
}

TEST(SummonerSpells, AvailableByLevelWithLenientNumbers) {
  CollectionsFixture f;
  f.host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-spells.json",
                    R"([{"id":1,"summonerLevel":0},{"id":4,"summonerLevel":"3"},{"id":6,"summonerLevel":4},)"
                    R"({"id":7,"summonerLevel":"high"},{"summonerLevel":0},{"id":11},"not a spell",)"
                    R"({"id":"12","summonerLevel":1}])");
  uint32_t level = 0;
  f.host.Handle("GET", "/kiv-summoner/v1/summoners/{id}", [&level](const kiv::host::Request&) {
    return kiv::host::Response::Ok(
        kiv::test::FakeHost::Json(R"({"summonerId":99,"summonerLevel":)" + std::to_string(level) + "}"));
  });
  const struct {
    uint32_t level;
    const char* spells;
  } cases[] = {{0, "[1,7]"}, {1, "[1,7,12]"}, {3, "[1,4,7,12]"}, {30, "[1,4,6,7,12]"}};
  for (const auto& c : cases) {
    level = c.level;
    EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/5/spells"),
              std::string(R"(0 {"spells":)") + c.spells + R"(,"summonerId":5})")
        << c.level;
  }
  EXPECT_EQ(f.host.LastRequest()->path, "/kiv-summoner/v1/summoners/5");
  CollectionsFixture no_list;
  no_list.host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-spells.json", R"({"id":1,"summonerLevel":0})");
  no_list.host.AnswerJson("GET", "/kiv-summoner/v1/summoners/{id}", R"({"summonerLevel":30})");
  EXPECT_EQ(no_list.Get("/kiv-collections/v1/inventories/5/spells"), R"(0 {"spells":[],"summonerId":5})");
}

}  // namespace
