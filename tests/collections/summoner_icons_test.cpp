// Rune quantities and summoner spells through the request callback: the
// quantities' order and whom they are cached for, and the spell level rule.
// Icon ownership and summoner 0 are replayed by tests/sessions/books_walk.jsonl.
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
