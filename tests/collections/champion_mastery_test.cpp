// Champion mastery and chests: the top list's order, limit and score, what
// failures log, the per-summoner cache's age and size, and service-proxy
// answers that stay pending while other requests and push messages run.
// Refusals and another summoner's list read once: tests/sessions/edges_walk.jsonl.
#include "collections/champion_mastery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::MasteryJson;
using kiv::test::CollectionsFixture;
using Quarn::Client::Collections::MasteryScore;
using Quarn::Client::Collections::SortRuleOf;
using Quarn::Client::Collections::TopMasteries;
using Quarn::Client::Collections::Api::CollectionsChampionMastery;

CollectionsChampionMastery Mastery(int32_t champion, int32_t level, int32_t points) {
  CollectionsChampionMastery m;
  m.champion_id = champion;
  m.champion_level = level;
  m.champion_points = points;
  return m;
}

struct TopCase {
  const char* name;
  std::optional<uint32_t> limit;
  std::optional<std::string> rule;
  std::vector<int32_t> expected;  // champion ids, best first
};

TEST(TopMasteries, OrdersByRuleAndCutsAtTheLimit) {
  // champion: level, points
  const std::vector<CollectionsChampionMastery> list = {
      Mastery(1, 5, 100), Mastery(2, 7, 50), Mastery(3, 5, 900), Mastery(4, 2, 5000), Mastery(5, 7, 60)};
  const TopCase cases[] = {
      {"default rule: level, then points", std::nullopt, std::nullopt, {5, 2, 3, 1, 4}},
      {"points rule: points, then level", std::nullopt, "points", {4, 3, 1, 5, 2}},
      {"rule text differing in case is the default", std::nullopt, "Points", {5, 2, 3, 1, 4}},
      {"any other rule is the default", std::nullopt, "level", {5, 2, 3, 1, 4}},
      {"limit keeps the best", 2, std::nullopt, {5, 2}},
      {"limit under the points rule", 1, "points", {4}},
      {"limit 0 is empty", 0, std::nullopt, {}},
      {"limit above the length is the whole list, sorted", 99, std::nullopt, {5, 2, 3, 1, 4}},
  };
  for (const TopCase& c : cases) {
    std::vector<int32_t> ids;
    for (const auto& m : TopMasteries(list, c.limit, SortRuleOf(c.rule))) ids.push_back(m.champion_id);
    EXPECT_EQ(ids, c.expected) << c.name;
  }
}

TEST(MasteryScore, CountsEachLevelUpToTheMaximum) {
  const struct {
    std::vector<int32_t> levels;
    int32_t max_level;
    uint64_t expected;
  } cases[] = {
      {{7, 5, 3}, 5, 13},
      {{7, 5, 3}, 7, 15},
      {{7, 5, 3}, 0, 0},
      {{}, 5, 0},
      // Nonsense levels or caps add nothing instead of wrapping the sum.
      {{-3, 4}, 5, 4},
      {{4, 6}, -1, 0},
  };
  for (const auto& c : cases) {
    std::vector<CollectionsChampionMastery> list;
    for (const int32_t level : c.levels) list.push_back(Mastery(1, level, 0));
    EXPECT_EQ(MasteryScore(list, c.max_level), c.expected) << "max " << c.max_level;
  }
}

TEST(ChampionMasteryRoutes, BackendFailuresAreLogged) {
  CollectionsFixture s;
  s.EnableMastery();
  s.LogIn(7);
  s.backend.Fails("championMastery.getAllChampionMasteries", "backend down");
  s.backend.Fails("championMastery.getChampionMasteryScoreAndChest", "no chests");
  (void)s.Get("/kiv-collections/v1/inventories/7/champion-mastery");
  (void)s.Get("/kiv-collections/v1/inventories/chest-eligibility");
  EXPECT_TRUE(s.Logged(2, "Failed to get champion mastery: backend down"));
  EXPECT_TRUE(s.Logged(2, "Failed to get chest eligibility: no chests"));
}

TEST(ChampionMasteryRoutes, PendingAnswerLetsAnotherRequestAndAPushMessageFinish) {
  CollectionsFixture s;
  s.EnableMastery();
  s.LogIn(7);
  s.backend.Answers("championMastery.getAllChampionMasteries", "[" + MasteryJson(103, 4, 900) + "]");
  s.backend.Answers("championMastery.getChampionMasteryScoreAndChest",
                  R"({"earnableChests":1,"maximumChests":4,"nextChestRechargeTime":5})");
  s.backend.SetStepsToAnswer(4);
  s.ClearRecords();

  // Queued before the first request starts waiting: both run inside its wait.
  std::optional<kiv::host::Response> other;
  kiv::host::Request request;
  request.method = KIV_METHOD_GET;
  request.path = "/kiv-collections/v1/inventories/chest-eligibility";
  s.host.PostRequest(request, [&other](kiv::host::Response answer) { other = std::move(answer); });
  s.host.DeliverJson(Quarn::TrovEventName(kiv::test::kDialogClass),
                             std::string(R"({"typeName":")") + kiv::test::kDialogClass +
                                 R"(","body":{"type":"championMasteryLootGrant","params":[]}})");

  const std::string mine = s.Get("/kiv-collections/v1/inventories/7/champion-mastery");
  EXPECT_EQ(mine.substr(0, 2), "0 ") << mine;
  EXPECT_NE(mine.find(R"("championId":103)"), std::string::npos) << mine;
  ASSERT_TRUE(other.has_value()) << "the other request finished inside the wait";
  EXPECT_EQ(other->status, 0u) << (other->error ? *other->error : "");
  EXPECT_EQ(other->body.ToJson(), R"({"earnableChests":1,"maximumChests":4,"nextChestRechargeTime":5})");
  const std::vector<std::string> chests = s.PublishedAt("/kiv-collections/v1/inventories/chest-eligibility");
  ASSERT_EQ(chests.size(), 1u);
  EXPECT_EQ(chests[0], R"(Update {"earnableChests":1,"maximumChests":4,"nextChestRechargeTime":5})");
  EXPECT_EQ(s.backend.CountOf("championMastery.getChampionMasteryScoreAndChest"), 1)
      << "the request and the push message share one read";
  EXPECT_TRUE(s.Logged(3, "CollectionPlugins: Received 'championMasteryLootGrant' message."));
}

TEST(ChampionMasteryRoutes, ConcurrentReadersShareOneRequestPerSummonerAndKind) {
  CollectionsFixture s;
  s.EnableMastery();
  s.LogIn(7);
  s.backend.Answers("championMastery.getAllChampionMasteries", "[" + MasteryJson(103, 4, 900) + "]");
  s.backend.Answers("championMastery.getChampionMasteryScoreAndChest",
                  R"({"earnableChests":1,"maximumChests":4,"nextChestRechargeTime":5})");
  s.backend.SetStepsToAnswer(5);
  s.ClearRecords();
  std::vector<std::string> answers;
  for (const char* path : {"/kiv-collections/v1/inventories/8/champion-mastery",
                           "/kiv-collections/v1/inventories/8/champion-mastery/top",
                           "/kiv-collections/v1/inventories/9/champion-mastery",
                           "/kiv-collections/v1/inventories/8/champion-mastery",
                           "/kiv-collections/v1/inventories/chest-eligibility",
                           "/kiv-collections/v1/inventories/chest-eligibility"}) {
    s.host.Post([&s, &answers, path] {
      const kiv::host::Response r = s.host.Send("GET", path);
      answers.push_back(r.error ? *r.error : r.body.ToJson().substr(0, 14));
    });
  }
  s.host.RunUntilIdle();
  EXPECT_EQ(answers.size(), 6u);
  for (const std::string& answer : answers) EXPECT_TRUE(answer[0] == '[' || answer[0] == '{') << answer;
  EXPECT_EQ(s.backend.calls(), (std::vector<std::string>{"championMastery.getAllChampionMasteries 8",
                                                       "championMastery.getAllChampionMasteries 9",
                                                       "championMastery.getChampionMasteryScoreAndChest []"}));
}

TEST(ChampionMasteryRoutes, OtherSummonersListsAgeAndTheLeastRecentlyUsedIsDropped) {
  CollectionsFixture s;
  s.EnableMastery();
  s.LogIn(7);
  s.backend.Answers("championMastery.getAllChampionMasteries", "[" + MasteryJson(103, 4, 900) + "]");
  s.ClearRecords();
  const auto reads = [&s](uint64_t summoner) {
    const std::string path = "/kiv-collections/v1/inventories/" + std::to_string(summoner) + "/champion-mastery";
    EXPECT_EQ(s.Get(path).substr(0, 2), "0 ") << summoner;
    return s.backend.CountOf("championMastery.getAllChampionMasteries");
  };
  EXPECT_EQ(reads(7), 1);
  EXPECT_EQ(reads(100), 2);
  // 64 other summoners fit; 100 stays in use, so 101 is the one dropped.
  for (uint64_t other = 101; other < 164; ++other) (void)reads(other);
  EXPECT_EQ(reads(100), 65);
  EXPECT_EQ(reads(164), 66);
  EXPECT_EQ(reads(100), 66);
  EXPECT_EQ(reads(102), 66);
  EXPECT_EQ(reads(101), 67);
  // Ten minutes on, other summoners' lists are read again; the logged-in
  // summoner's is not.
  s.clock.Advance(std::chrono::minutes(9));
  EXPECT_EQ(reads(100), 67);
  s.clock.Advance(std::chrono::minutes(1));
  EXPECT_EQ(reads(100), 68);
  EXPECT_EQ(reads(7), 68);
}

}  // namespace
