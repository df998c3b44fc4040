// Backend notifications: unreadable item data, and the dialog messages of
// champion mastery and mastery chests with what they log. Each inventory
// type, rune book grants, a refreshed champion's entry and the dialogs that
// change nothing are replayed by tests/sessions/notifications_walk.jsonl.
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
    std::string message;
    std::vector<std::string> calls, published;
    std::string log;
  } cases[] = {
      {"first mastery message reads the whole list", Dialog("championMastery", {mastery}),
       {"championMastery.getAllChampionMasteries"}, {list}, received},
      {"another player's only logs",
       Dialog("championMastery", {R"({"gameId":9,"championLevel":5,"playerId":8,"championId":103})"}), {}, {},
       received},
      {"without gameId", Dialog("championMastery", {R"({"championLevel":5,"playerId":7})"}), {}, {},
       incomplete},
      {"parameter not JSON", Dialog("championMastery", {"{oops"}), {}, {}, incomplete},
      {"chest granted", Dialog("championMasteryLootGrant", {}),
       {"championMastery.getChampionMasteryScoreAndChest"}, {"/kiv-collections/v1/inventories/chest-eligibility"},
       "CollectionPlugins: Received 'championMasteryLootGrant' message."},
  };
  for (const auto& c : cases) {
    Inventory w;
    w.EnableMastery();
    w.backend.Answers("championMastery.getAllChampionMasteries", "[" + MasteryJson(103, 4, 900) + "]");
    w.backend.Answers("championMastery.getChampionMasteryScoreAndChest",
                      R"({"earnableChests":1,"maximumChests":4,"nextChestRechargeTime":0})");
    w.ClearRecords();
    w.Push(kiv::test::kDialogClass, c.message);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(w.backend.CallNames(), c.calls);
    EXPECT_EQ(w.PublishedUris(), c.published);
    EXPECT_TRUE(w.Logged(c.log.rfind("CollectionPlugins", 0) == 0 ? 3 : 2, c.log)) << c.log;
  }
}

}  // namespace
