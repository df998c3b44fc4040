// The profile backdrop: the most-played count, the four sources in order
// with what they log, what is not kept after a failure, and games events
// after logout. What a second request reads, what events republish and
// the mastery setting's effect: tests/sessions/edges_walk.jsonl.
#include "collections/backdrop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::MasteryJson;
using kiv::test::CollectionsFixture;
using Quarn::Client::Collections::MostPlayedChampion;
using Quarn::Client::Collections::Api::AcsChampionGamesCollection;

constexpr const char* kSummoner8 = "/kiv-summoner/v1/summoners/8";
constexpr const char* kIconJpg = "/kiv-game-data/assets/v1/summoner-backdrops/1402.jpg";
constexpr const char* kGames8 = "/kiv-acs/v1/recently-played-champions/1008";
constexpr const char* kBackdrop8 = "/kiv-collections/v1/inventories/8/backdrop";

AcsChampionGamesCollection Games(uint32_t game_count, const std::vector<int32_t>& champions) {
  AcsChampionGamesCollection games;
  games.game_count = game_count;
  for (const int32_t id : champions) games.champions.push_back({id, 420});
  return games;
}

std::string GamesJson(const std::vector<int32_t>& champions) {
  std::string list;
  for (const int32_t id : champions) {
    if (!list.empty()) list += ",";
    list += R"({"championId":)" + std::to_string(id) + R"(,"queue":420})";
  }
  return R"({"gameCount":)" + std::to_string(champions.size()) + R"(,"champions":[)" + list + "]}";
}

std::string SplashJson(const std::string& calculated, const std::string& override_color) {
  return R"({"CalculatedColor":")" + calculated + R"(","OverrideColor":")" + override_color + R"("})";
}

std::string Splash(int32_t champion) {
  return "/kiv-game-data/assets/v1/champion-splashes/" + std::to_string(champion) + "/metadata.json";
}

TEST(MostPlayedChampion, CountsTheFirstTwentyGamesAndKeepsTheFirstToReachTheBest) {
  std::vector<int32_t> twenty_five(20, 0);
  for (int i = 0; i < 20; ++i) twenty_five[i] = 100 + i;  // twenty different champions
  twenty_five[0] = twenty_five[1] = 55;
  for (int i = 0; i < 5; ++i) twenty_five.push_back(55);  // games 21-25 are not counted
  const struct {
    const char* name;
    AcsChampionGamesCollection games;
    int32_t champion, count;
    bool qualifies;
  } cases[] = {
      {"A B A B A", Games(5, {1, 2, 1, 2, 1}), 1, 3, true},
      {"A B A B", Games(4, {1, 2, 1, 2}), 1, 2, false},
      {"equal counts: the first to get there", Games(4, {2, 1, 1, 2}), 1, 2, false},
      {"only the first 20 of 25", Games(25, twenty_five), 55, 2, false},
      {"the game count limits the entries", Games(3, {1, 2, 3, 1, 1, 1}), 1, 1, false},
      {"champion 0 never qualifies", Games(3, {0, 0, 0}), 0, 3, false},
      {"no entries", Games(10, {}), 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto best = MostPlayedChampion(c.games);
    EXPECT_EQ(best.champion_id, c.champion);
    EXPECT_EQ(best.games, c.count);
    EXPECT_EQ(best.Qualifies(), c.qualifies);
  }
}

// The fixture with summoner 8 (not logged in): icon 1402, account 1008.
struct BackdropWorld : CollectionsFixture {
  BackdropWorld() {
    host.AnswerJson("GET", kSummoner8, R"({"summonerId":8,"accountId":1008,"summonerLevel":30,"profileIconId":1402})");
  }
};

// Summoner 8's backdrop answer.
std::string Backdrop8(const std::string& type, const std::string& image, const std::string& video,
                      const std::string& mask, int32_t champion) {
  return R"(0 {"accountId":1008,"backdropImage":")" + image + R"(","backdropMaskColor":")" + mask +
         R"(","backdropType":")" + type + R"(","backdropVideo":")" + video + R"(","championId":)" +
         std::to_string(champion) + R"(,"profileIconId":1402,"summonerId":8})";
}

// The icon's sources, and a recently played champion's calculated colour:
// tests/sessions/edges_walk.jsonl.
TEST(BackdropRoute, ChoosesTheFirstSourceThatAppliesAndLogsWhyOthersFellThrough) {
  const std::string splash = "/kiv-game-data/assets/v1/champion-splashes/";
  const struct {
    const char* name;
    std::vector<int32_t> games;  // empty: the games request fails
    bool top_mastery;            // getAllChampionMasteries answers, with mastery enabled
    const char* metadata;        // splash metadata: "override", or "" when the request fails
    std::string expected;
    std::string log;  // a warning ("" for none)
  } cases[] = {
      {"highest mastery, override colour", {5, 9, 5, 9}, true, "override",
       Backdrop8("highest-mastery", splash + "7/7000.jpg", "", "#abcdef", 7),
       "kiv-collections: Player's most played champion (ID: 5) only had 2 games played."},
      {"splash metadata missing", {5, 5, 5}, false, "",
       Backdrop8("recently-played", "", "", "#000000", 5), "Failed to get splash metadata (champion ID: 5)."},
      {"default", {}, false, "", Backdrop8("default", "", "", "#000000", 0),
       "Failed to retrieve recently played champs: Error response for GET " + std::string(kGames8) + ": acs down"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BackdropWorld w;  // one at a time: the process's logger feeds the newest one
    if (c.games.empty()) {
      w.host.AnswerError("GET", kGames8, "acs down", 503);
    } else {
      w.host.AnswerJson("GET", kGames8, GamesJson(c.games));
    }
    if (c.top_mastery) {
      w.EnableMastery();
      w.backend.Answers("championMastery.getAllChampionMasteries",
                        "[" + MasteryJson(3, 2, 100, 8) + "," + MasteryJson(7, 6, 50, 8) + "]");
    }
    if (std::string(c.metadata) == "override") w.host.AnswerJson("GET", Splash(7), SplashJson("#123456", "#abcdef"));
    EXPECT_EQ(w.Get(kBackdrop8), c.expected);
    EXPECT_TRUE(c.log.empty() || w.Logged(c.log[0] == 'k' ? 3 : 2, c.log)) << c.log;
  }
}

TEST(BackdropRoute, AFailedSourceIsAskedAgainNextTime) {
  BackdropWorld w;
  kiv::test::FakeHost& host = w.host;
  host.FailRequests("GET", kSummoner8, "summoner down", 503, /*times=*/1);
  host.FailRequests("HEAD", kIconJpg, "assets down", 500, /*times=*/1);
  host.FailRequests("GET", kGames8, "acs down", 503, /*times=*/1);
  host.AnswerJson("GET", kGames8, GamesJson({5, 5, 5}));
  host.AnswerJson("HEAD", kIconJpg, "null");

  EXPECT_EQ(w.Get(kBackdrop8), "500 Error requesting summoner data for 8.");
  EXPECT_TRUE(w.Logged(2, "Error requesting summoner data for 8: Error response for GET " +
                                std::string(kSummoner8) + ": summoner down"));
  // The summoner data now reads; the icon and games checks fail once.
  const std::string second = w.Get(kBackdrop8);
  EXPECT_NE(second.find(R"("backdropType":"default")"), std::string::npos) << second;
  // Everything reads now: the icon source, asked again, applies.
  const std::string third = w.Get(kBackdrop8);
  EXPECT_NE(third.find(R"("backdropType":"summoner-icon")"), std::string::npos) << third;

  EXPECT_EQ(w.Get("/kiv-collections/v1/inventories/0/backdrop"),
            "500 Error requesting summoner data for 0.");
  EXPECT_TRUE(w.Logged(2, "0 is an invalid Summoner ID"));
}

// What the events republish, and the summoner forgotten at logout:
// tests/sessions/edges_walk.jsonl.
TEST(BackdropEvents, AfterLogoutGamesAreIgnored) {
  CollectionsFixture s;
  s.LogIn(7);
  s.LogOut();
  s.ClearRecords();
  s.Resource("/kiv-acs/v2/recently-played-champions/current-summoner", "Update", GamesJson({5, 5, 5}));
  EXPECT_TRUE(s.PublishedUris().empty());
  EXPECT_TRUE(s.host.Requests().empty());
}

}  // namespace
