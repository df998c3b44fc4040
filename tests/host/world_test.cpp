// World files: what a person gets told when one will not load, YAML beside
// JSON, and the default world being sound and as full as promised.
#include "host/world.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using kiv::host::ParseWorld;

struct BadWorld {
  std::string_view text;
  bool yaml;
  std::string_view message;
};

constexpr BadWorld kBadWorlds[] = {
    {"{\n  \"login\": {\"loggedIn\": true,}\n}", false, "w:2:30: Missing a name for object member (at offset 31)"},
    {"{\"summoners\": [1, 2", false, "w:1:20: Missing a comma or ']' after an array element (at offset 19)"},
    {"[1]", false, "w: expected an object at the top, got [1]"},
    {R"({"sumoners": []})", false,
     "w: sumoners: unknown key (expected one of: login, summoners, gameData, platformConfig)"},
    {R"({"summoners": [{"summonerId": "12"}]})", false,
     "w: summoners[0].summonerId: expected an unsigned integer, got \"12\""},
    {R"({"summoners": [{"summonerId": 1, "accountId": 2, "profileIconId": 3000000000}]})", false,
     "w: summoners[0].profileIconId: 3000000000 is out of range for int32"},
    {R"({"summoners": [{"summonerId": -4}]})", false,
     "w: summoners[0].summonerId: -4 is negative; expected an unsigned integer"},
    {R"({"summoners": [{"summonerId": 1, "runePages": [{"pageId": 1, "current": "yes"}]}]})", false,
     "w: summoners[0].runePages[0].current: expected true or false, got \"yes\""},
    // Every problem is listed, one per line.
    {R"({"login": {"loggedIn": true, "summonerId": 9, "state": "DONE"},
        "summoners": [{"summonerId": 5, "accountId": 7}, {"summonerId": 5, "accountId": 0,
                       "masteryPages": [{"pageId": 2}, {"pageId": 2}]}]})",
     false,
     "w: summoners[1].summonerId: 5 is used by summoners[0] too\n"
     "w: summoners[1].accountId: 0 is not a valid id\n"
     "w: summoners[1].masteryPages[1].pageId: 2 is used by summoners[1].masteryPages[0] too\n"
     "w: login.state: expected IN_PROGRESS, ERROR, SUCCEEDED or LOGGING_OUT, got \"DONE\"\n"
     "w: login.summonerId: no summoner has the id 9"},
    {"summoners:\n  - summonerId: [1\n", true, "w: "},
    {"summoners:\n  - summonerId: 1\n    accountId: 2\n    level: 3\n", true,
     "w: summoners[0].level: unknown key (expected one of: summonerId, accountId, displayName, "
     "summonerLevel, "
     "profileIconId, runePages, masteryPages, runes, icons, wardSkins, championMasteries, chestEligibility, "
     "recentGames)"},
};

TEST(World, SaysWhereABadWorldFileGoesWrong) {
  for (const BadWorld& bad : kBadWorlds) {
    auto world = ParseWorld(bad.text, "w", bad.yaml);
    ASSERT_TRUE(world.HasFailure()) << bad.text;
    if (bad.message == "w: ") {
      // The YAML reader's own text, with its line and column.
      EXPECT_TRUE(world.failure().message().starts_with("w: ")) << world.failure().message();
      EXPECT_NE(world.failure().message().find("line"), std::string::npos) << world.failure().message();
      continue;
    }
    EXPECT_EQ(world.failure().message(), bad.message) << bad.text;
  }
}

TEST(World, ReadsYamlLikeJson) {
  constexpr std::string_view kJson = R"({"login": {"loggedIn": true, "summonerId": 5},
    "summoners": [{"summonerId": 5, "accountId": 6, "displayName": "Reed", "wardSkins": [1, 2],
                   "runePages": [{"pageId": 3, "name": "A", "current": true,
                                  "slotEntries": [{"runeId": 5001, "runeSlotId": 1}]}]}],
    "platformConfig": {"ChampionMasteryConfig": {"Enabled": true}}})";
  constexpr std::string_view kYaml =
      "login: {loggedIn: true, summonerId: 5}\n"
      "summoners:\n"
      "  - summonerId: 5\n"
      "    accountId: 6\n"
      "    displayName: Reed\n"
      "    wardSkins: [1, 2]\n"
      "    runePages:\n"
      "      - {pageId: 3, name: A, current: true, slotEntries: [{runeId: 5001, runeSlotId: 1}]}\n"
      "platformConfig:\n"
      "  ChampionMasteryConfig:\n"
      "    Enabled: true\n";
  auto json = ParseWorld(kJson, "j");
  auto yaml = ParseWorld(kYaml, "y", /*yaml=*/true);
  ASSERT_TRUE(json.ok()) << json.failure().message();
  ASSERT_TRUE(yaml.ok()) << yaml.failure().message();
  EXPECT_EQ(kiv::host::WorldToJson(*json), kiv::host::WorldToJson(*yaml));
  EXPECT_EQ(yaml->Current()->rune_pages[0].slot_entries[0].rune_id, 5001u);
}

TEST(World, DefaultWorldIsSoundAndFull) {
  auto world = kiv::host::LoadWorld(KIV_SOURCE_DIR "/worlds/default.json");
  ASSERT_TRUE(world.ok()) << world.failure().message();
  const kiv::host::WorldSummoner* player = world->Current();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->rune_pages.size(), 20u);
  EXPECT_EQ(player->mastery_pages.size(), 4u);
  EXPECT_GE(player->runes.size(), 60u);
  EXPECT_GE(player->champion_masteries.size(), 30u);
  EXPECT_EQ(player->recent_games.size(), 25u);
  EXPECT_GE(world->game_data.ward_skins.get().data.seq.count, 40u);
  EXPECT_GE(world->summoners.size(), 2u);
  // Written out and read back, nothing changes.
  const std::string json = kiv::host::WorldToJson(*world);
  auto again = ParseWorld(json, "again");
  ASSERT_TRUE(again.ok()) << again.failure().message();
  EXPECT_EQ(kiv::host::WorldToJson(*again), json);
}

TEST(World, LoadWorldNamesAFileItCannotRead) {
  auto world = kiv::host::LoadWorld("/nonexistent/world.json");
  ASSERT_TRUE(world.HasFailure());
  EXPECT_EQ(world.failure().message(), "cannot read /nonexistent/world.json: No such file or directory");
}

}  // namespace
