// Mastery trees: the tally per tree, and the mastery book read without the
// tables or before they arrived. Reads, tallies, the books' rules, edits,
// selection, deletion and failed saves: tests/sessions (books_walk, edges_walk).
#include "collections/mastery_trees.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "collections/collections_fixture.h"
#include "diagnostics/capture_log_target.h"
#include "diagnostics/logger.h"

namespace {

using namespace Quarn::Client::Collections;
using Summary = std::map<std::string, uint32_t>;

Api::GameDataChampionMasteries Asset() {
  Api::GameDataChampionMasteries asset;
  asset.tree.groups = {
      {1, {{{4111, 4112}}, {{4121}}}},
      {2, {{{4211, 4121}}}},  // 4121 is listed again: the later group wins
      {30, {}},               // a tree without masteries is still a tree
  };
  return asset;
}

// Captures what the tally logs while it lives.
class LogCapture {
 public:
  LogCapture() { target_.Attach(); }
  std::vector<std::string> Errors() const {
    std::vector<std::string> lines;
    for (const auto& record : target_.records) {
      if (record.level == Quarn::kLogError) lines.push_back(record.message);
    }
    return lines;
  }

 private:
  Quarn::testing::CaptureLogTarget target_;
};

TEST(MasteryTrees, SummaryTalliesRanksPerTree) {
  const MasteryTrees trees = BuildMasteryTrees(Asset());
  struct Case {
    const char* what;
    std::vector<Api::CollectionsMastery> masteries;
    Summary summary;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {"no masteries: every tree at 0", {}, {{"1", 0}, {"2", 0}, {"30", 0}}, {}},
      {"a mastery listed in two groups counts in the later", {{4121, 2}}, {{"1", 0}, {"2", 2}, {"30", 0}}, {}},
      {"ranks add up per tree",
       {{4111, 1}, {4112, 3}, {4121, 2}, {4211, 5}},
       {{"1", 4}, {"2", 7}, {"30", 0}},
       {}},
      {"unknown masteries are logged and skipped",
       {{9001, 4}, {4111, 2}, {9002, 1}},
       {{"1", 2}, {"2", 0}, {"30", 0}},
       {"Could not find mastery tree for mastery id: 9001",
        "Could not find mastery tree for mastery id: 9002"}},
      {"a negative rank lowers its tree but never below 0",
       {{4111, 3}, {4112, -1}, {4211, -5}},
       {{"1", 2}, {"2", 0}, {"30", 0}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    EXPECT_EQ(SummaryOf(trees, c.masteries), c.summary);
    EXPECT_EQ(log.Errors(), c.errors);
  }
}

TEST(MasteryTrees, HugeRanksSaturateInsteadOfWrapping) {
  const MasteryTrees trees = BuildMasteryTrees(Asset());
  const std::vector<Api::CollectionsMastery> masteries = {
      {4111, INT32_MAX}, {4112, INT32_MAX}, {4111, INT32_MAX}};
  EXPECT_EQ(SummaryOf(trees, masteries).at("1"), UINT32_MAX);
}

// Summoner 7's book: one current page with one talent.
std::string MasteryBook(int32_t talent, int32_t rank) {
  return R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"p1","current":true,"talentEntries":[{"talentId":)" +
         std::to_string(talent) + R"(,"rank":)" + std::to_string(rank) + "}]}]}";
}

TEST(MasteryBookRead, WithoutTreeTablesSummariesAreEmpty) {
  kiv::test::CollectionsFixture f;  // no mastery asset: the tables stay empty
  EXPECT_TRUE(f.Logged(Quarn::kLogError,
                       "Error requesting summoner mastery data: Error response for GET "
                       "/kiv-game-data/assets/v1/summoner-masteries.json: No route for GET "
                       "/kiv-game-data/assets/v1/summoner-masteries.json"));
  f.backend.Returns("masteryBookService.getMasteryBook", kiv::test::kMasteryBookClass, MasteryBook(4111, 1));
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/7/mastery-book"),
            R"(0 {"pages":[{"current":true,"id":1,"masteries":[{"id":4111,"rank":1}],"name":"p1","summary":{}}],)"
            R"("summonerId":7})");
}

TEST(MasteryBookRead, ABookThatCameBeforeTheTreeTablesIsTalliedWhenTheyArrive) {
  // The plug-in starts after the login: the session and its login data are
  // read before the tree tables.
  using kiv::test::CollectionsFixture;
  CollectionsFixture f([](kiv::test::FakeHost& host) {
    host.AnswerJson("GET", "/kiv-login/v1/session", CollectionsFixture::SessionJson("SUCCEEDED", 7, 1007, true));
    host.AnswerJson("GET", "/kiv-login/v1/login-data-packet",
                    R"({"allSummonerData":{"spellBook":{"summonerId":7,"bookPages":[{"pageId":1}]},"masteryBook":)" +
                        MasteryBook(4211, 2) + "}}");
    host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-masteries.json",
                    R"({"tree":{"groups":[{"id":1,"rows":[{"masteries":[4111]}]},)"
                    R"({"id":2,"rows":[{"masteries":[4211]}]}]}})");
  });
  const auto& pages = f.service->mastery_book().cache().book.pages;
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].summary, (Summary{{"1", 0}, {"2", 2}}));
  const std::vector<std::string> published = f.PublishedAt("/kiv-collections/v1/inventories/7/mastery-book");
  ASSERT_EQ(published.size(), 2u);
  EXPECT_NE(published[0].find(R"("summary":{})"), std::string::npos) << published[0];
  EXPECT_NE(published[1].find(R"("summary":{"1":0,"2":2})"), std::string::npos) << published[1];
}

}  // namespace
