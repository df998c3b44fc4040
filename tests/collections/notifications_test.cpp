// Backend notifications: each inventory type of a store fulfilment or a
// rental update (and those that are ignored), and the dialog messages of
// champion mastery and mastery chests.
#include "collections/notifications.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::MasteryJson;
using kiv::test::CollectionsFixture;

constexpr const char* kRuneInventory =
    R"({"summonerId":7,"dateString":"","summonerRunes":[{"runeId":5013,"quantity":3,"summonerId":7}]})";
constexpr const char* kIconInventory =
    R"({"summonerId":7,"dateString":"","summonerIcons":[{"iconId":1402}]})";
constexpr const char* kSpellBook =
    R"({"summonerId":7,"dateString":"","bookPages":[{"pageId":11,"name":"one","current":false,"slotEntries":[]},)"
    R"({"pageId":12,"name":"two","current":false,"slotEntries":[]}]})";

// Logged in as 7 with every source these notifications read answered.
struct Inventory : CollectionsFixture {
  Inventory() {
    backend.Returns("summonerRuneService.getSummonerRuneInventory", kiv::test::kRuneInventoryClass,
                              kRuneInventory);
    backend.Returns("summonerIconService.getSummonerIconInventory", kiv::test::kIconInventoryClass,
                              kIconInventory);
    host.AnswerJson(
        "GET", "/kiv-game-data/assets/v1/ward-skins.json",
        R"([{"id":2,"name":"w","description":"","wardImagePath":"","wardShadowImagePath":""}])");
    backend.Answers("wardSkins.requestSelectableWardSkins", "[2]");
    LogIn(7);
    ClearRecords();
  }
};

TEST(StoreNotifications, EachInventoryTypeRefreshesAndPublishesWhatItChanged) {
  const std::string v1 = "/kiv-collections/v1/inventories/7/";
  const struct {
    const char* inventory_type;
    const char* data;
    std::vector<std::string> calls, published;
  } cases[] = {
      {"WARD_SKIN", R"({"inventoryType":"WARD_SKIN","itemId":2})", {"wardSkins.requestSelectableWardSkins"},
       {v1 + "ward-skins", v1 + "ward-skins/2"}},
      {"SPELL_BOOK_PAGE", kSpellBook, {}, {v1 + "rune-book"}},
      {"RUNE", R"({"inventoryType":"RUNE","itemId":5013})", {"summonerRuneService.getSummonerRuneInventory"},
       {v1 + "runes"}},
      {"SUMMONER_ICON", R"({"inventoryType":"SUMMONER_ICON","itemId":1402})",
       {"summonerIconService.getSummonerIconInventory"},
       {v1 + "summoner-icons", "/kiv-collections/v2/inventories/7/summoner-icons/1402"}},
      // Compared exactly: these are not the ward skin type.
      {"ward_skin", R"({"inventoryType":"WARD_SKIN","itemId":2})", {}, {}},
      {"WARD_SKIN ", R"({"inventoryType":"WARD_SKIN","itemId":2})", {}, {}},
      {"CHAMPION", R"({"inventoryType":"CHAMPION","itemId":3})", {}, {}},
  };
  for (const char* message_class : {kiv::test::kFulfillmentClass, kiv::test::kRentalClass}) {
    for (const auto& c : cases) {
      Inventory w;
      w.Push(message_class,
               std::string(R"({"inventoryType":")") + c.inventory_type + R"(","data":)" + c.data + "}");
      SCOPED_TRACE(std::string(message_class) + " " + c.inventory_type);
      EXPECT_EQ(w.backend.CallNames(), c.calls);
      EXPECT_EQ(w.PublishedUris(), c.published);
    }
  }
}

TEST(StoreNotifications, ARuneBookPageGrantTakesTheWholeBookWithACurrentPage) {
  Inventory w;
  w.Push(kiv::test::kFulfillmentClass,
           std::string(R"({"inventoryType":"SPELL_BOOK_PAGE","data":)") + kSpellBook + "}");
  const std::vector<std::string> published = w.PublishedAt("/kiv-collections/v1/inventories/7/rune-book");
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0], R"(Update {"pages":[{"current":true,"id":11,"name":"one","runes":[]},)"
                          R"({"current":false,"id":12,"name":"two","runes":[]}],"summonerId":7})");
  EXPECT_EQ(w.Get("/kiv-collections/v1/inventories/7/rune-book"), "0 " + published[0].substr(7));
}

TEST(StoreNotifications, ARuneBookPageGrantWithoutABookRefetchesTheBook) {
  // Item properties, or anything else that is not a book with pages, never
  // empty the cache: the logged-in summoner's book is read and published.
  for (const char* data : {R"({"inventoryType":"SPELL_BOOK_PAGE","itemId":3})", "[1,2]",
                           R"({"summonerId":7,"bookPages":[]})"}) {
    Inventory w;
    w.backend.Returns("spellBookService.getSpellBook", kiv::test::kSpellBookClass, kSpellBook);
    w.Push(kiv::test::kRentalClass, std::string(R"({"inventoryType":"SPELL_BOOK_PAGE","data":)") + data + "}");
    EXPECT_EQ(w.backend.CallNames(), std::vector<std::string>{"spellBookService.getSpellBook"}) << data;
    const std::vector<std::string> published = w.PublishedAt("/kiv-collections/v1/inventories/7/rune-book");
    ASSERT_EQ(published.size(), 1u) << data;
    EXPECT_NE(published[0].find(R"("name":"two")"), std::string::npos) << data;
    EXPECT_EQ(w.Get("/kiv-collections/v1/inventories/7/verification"), R"(0 "one")") << data;
  }
  // Logged out, nothing is read or published.
  Inventory w;
  w.LogOut();
  w.ClearRecords();
  w.Push(kiv::test::kFulfillmentClass, R"({"inventoryType":"SPELL_BOOK_PAGE","data":{"itemId":3}})");
  EXPECT_TRUE(w.backend.CallNames().empty());
  EXPECT_TRUE(w.PublishedUris().empty());
}

TEST(StoreNotifications, UnreadableItemDataIsLoggedOrSkipped) {
  {
    Inventory w;
    w.Push(kiv::test::kFulfillmentClass, R"({"inventoryType":"SUMMONER_ICON","data":"not an item"})");
    const auto lines = w.host.LogLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const kiv::host::LogLine& line) {
      return line.level == 2 && line.text.rfind("Failed to retrieve item properties from fulfilment notifcation: ", 0) == 0;
    }));
    EXPECT_TRUE(w.PublishedUris().empty());
  }
  {
    // A ward skin grant without a readable id still refreshes the list.
    Inventory w;
    w.Push(kiv::test::kFulfillmentClass, R"({"inventoryType":"WARD_SKIN","data":"?"})");
    EXPECT_EQ(w.PublishedUris(), std::vector<std::string>{"/kiv-collections/v1/inventories/7/ward-skins"});
  }
}

std::string Dialog(const std::string& type, const std::vector<std::string>& params) {
  std::string list;
  for (const std::string& p : params) {
    Quarn::BindingProperty text;
    text.SetString(p);
    if (!list.empty()) list += ",";
    list += Quarn::ToJson(text);
  }
  return R"({"accountId":1007,"msgId":"m","type":")" + type + R"(","params":[)" + list + "]}";
}

TEST(DialogNotifications, MasteryAndChestMessagesRefreshWhatTheyName) {
  const std::string mastery = R"({"gameId":9,"championLevel":5,"playerId":7,"championId":103})";
  const std::string list = "/kiv-collections/v1/inventories/7/champion-mastery";
  const std::string received = "CollectionPlugins: Received 'championMastery' message for champion 103.";
  const std::string incomplete = "The msgBody SimpleDialog DTO does not contain gameId or championLevel";
  const struct {
    const char* name;
    bool list_cached;
    std::string message;
    std::vector<std::string> calls, published;
    std::string log;  // "" for none expected
  } cases[] = {
      {"first mastery message reads the whole list", false, Dialog("championMastery", {mastery}),
       {"championMastery.getAllChampionMasteries"}, {list}, received},
      {"later ones read the one champion", true, Dialog("championMastery", {mastery}),
       {"championMastery.getChampionMastery"}, {list}, ""},
      {"another player's only logs", false,
       Dialog("championMastery", {R"({"gameId":9,"championLevel":5,"playerId":8,"championId":103})"}), {}, {},
       received},
      {"without gameId", false, Dialog("championMastery", {R"({"championLevel":5,"playerId":7})"}), {}, {},
       incomplete},
      {"parameter not JSON", false, Dialog("championMastery", {"{oops"}), {}, {}, incomplete},
      {"no parameters", false, Dialog("championMastery", {}), {}, {}, ""},
      {"chest granted", false, Dialog("championMasteryLootGrant", {}),
       {"championMastery.getChampionMasteryScoreAndChest"}, {"/kiv-collections/v1/inventories/chest-eligibility"},
       "CollectionPlugins: Received 'championMasteryLootGrant' message."},
      {"other dialogs", false, Dialog("levelUp", {mastery}), {}, {}, ""},
  };
  for (const auto& c : cases) {
    Inventory w;
    w.EnableMastery();
    w.backend.Answers("championMastery.getAllChampionMasteries", "[" + MasteryJson(103, 4, 900) + "]");
    w.backend.Answers("championMastery.getChampionMastery", MasteryJson(103, 5, 1800));
    w.backend.Answers("championMastery.getChampionMasteryScoreAndChest",
                      R"({"earnableChests":1,"maximumChests":4,"nextChestRechargeTime":0})");
    if (c.list_cached) (void)w.Get("/kiv-collections/v1/inventories/7/champion-mastery");
    w.ClearRecords();
    w.Push(kiv::test::kDialogClass, c.message);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(w.backend.CallNames(), c.calls);
    EXPECT_EQ(w.PublishedUris(), c.published);
    EXPECT_TRUE(c.log.empty() || w.Logged(c.log.rfind("CollectionPlugins", 0) == 0 ? 3 : 2, c.log)) << c.log;
  }
}

TEST(DialogNotifications, ARefreshedChampionReplacesItsEntryInThePublishedList) {
  Inventory w;
  w.EnableMastery();
  w.backend.Answers("championMastery.getAllChampionMasteries",
                    "[" + MasteryJson(103, 4, 900) + "," + MasteryJson(12, 2, 100) + "]");
  w.backend.Answers("championMastery.getChampionMastery", MasteryJson(103, 5, 1800));
  (void)w.Get("/kiv-collections/v1/inventories/7/champion-mastery");
  w.ClearRecords();
  w.Push(kiv::test::kDialogClass,
           Dialog("championMastery", {R"({"gameId":9,"championLevel":5,"playerId":7,"championId":103})"}));
  EXPECT_EQ(w.backend.calls(), std::vector<std::string>{"championMastery.getChampionMastery [7,103]"});
  const std::string list = w.Get("/kiv-collections/v1/inventories/7/champion-mastery");
  EXPECT_NE(list.find(R"("championId":103,"championLevel":5,"championPoints":1800)"), std::string::npos)
      << list;
  EXPECT_NE(list.find(R"("championId":12)"), std::string::npos) << list;
  EXPECT_LT(list.find(R"("championId":103)"), list.find(R"("championId":12)")) << "replaced in place";

  // A champion not in the list is appended.
  w.backend.Answers("championMastery.getChampionMastery", MasteryJson(44, 1, 10));
  w.Push(kiv::test::kDialogClass,
           Dialog("championMastery", {R"({"gameId":9,"championLevel":1,"playerId":7,"championId":44})"}));
  const std::vector<std::string> published =
      w.PublishedAt("/kiv-collections/v1/inventories/7/champion-mastery");
  ASSERT_EQ(published.size(), 2u);
  EXPECT_GT(published[1].find(R"("championId":44)"), published[1].find(R"("championId":12)")) << published[1];
}

}  // namespace
