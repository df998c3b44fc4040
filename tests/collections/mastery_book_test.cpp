// The mastery book without tree tables, and one that came before them.
// Reads, tallies, the rune and mastery books' rules, edits, selection,
// deletion, failed saves and edits of a cache the login never filled are
// replayed by tests/sessions (books_walk, edges_walk).
#include "collections/mastery_book.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::CollectionsFixture;
using kiv::test::FakeHost;
using kiv::test::kMasteryBookClass;

constexpr const char* kBook = "/kiv-collections/v1/inventories/7/mastery-book";

void AnswerTrees(FakeHost& host) {
  host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-masteries.json",
                  R"({"tree":{"groups":[{"id":1,"rows":[{"masteries":[4111,4112]},{"masteries":[4113]}]},)"
                  R"({"id":2,"rows":[{"masteries":[4211]}]}]}})");
}

// A mastery page DTO: id, current, and talent entries.
std::string PageDto(uint32_t id, bool current, const std::string& talents = "") {
  return R"({"pageId":)" + std::to_string(id) + R"(,"name":"p)" + std::to_string(id) + R"(","current":)" +
         (current ? "true" : "false") + R"(,"talentEntries":[)" + talents + "]}";
}
std::string BookDto(const std::vector<std::string>& pages) {
  std::string list;
  for (const std::string& page : pages) list += (list.empty() ? "" : ",") + page;
  return R"({"summonerId":7,"bookPages":[)" + list + "]}";
}

TEST(MasteryBookRead, WithoutTreeTablesSummariesAreEmpty) {
  CollectionsFixture f;  // no mastery asset: the tables stay empty
  EXPECT_TRUE(f.Logged(Quarn::kLogError,
                       "Error requesting summoner mastery data: Error response for GET "
                       "/kiv-game-data/assets/v1/summoner-masteries.json: No route for GET "
                       "/kiv-game-data/assets/v1/summoner-masteries.json"));
  f.backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass,
                    BookDto({PageDto(1, true, R"({"talentId":4111,"rank":1})")}));
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/7/mastery-book"),
            R"(0 {"pages":[{"current":true,"id":1,"masteries":[{"id":4111,"rank":1}],"name":"p1","summary":{}}],)"
            R"("summonerId":7})");
}

TEST(MasteryBookRead, ABookThatCameBeforeTheTreeTablesIsTalliedWhenTheyArrive) {
  // The plug-in starts after the login: the session and its login data are
  // read before the tree tables.
  CollectionsFixture f([](FakeHost& host) {
    host.AnswerJson("GET", "/kiv-login/v1/session", CollectionsFixture::SessionJson("SUCCEEDED", 7, 1007, true));
    host.AnswerJson("GET", "/kiv-login/v1/login-data-packet",
                    R"({"allSummonerData":{"spellBook":{"summonerId":7,"bookPages":[{"pageId":1}]},"masteryBook":)" +
                        BookDto({PageDto(1, true, R"({"talentId":4211,"rank":2})")}) + "}}");
    AnswerTrees(host);
  });
  const auto& pages = f.service->mastery_book().cache().book.pages;
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].summary, (std::map<std::string, uint32_t>{{"1", 0}, {"2", 2}}));
  const std::vector<std::string> published = f.PublishedAt(kBook);
  ASSERT_EQ(published.size(), 2u);
  EXPECT_NE(published[0].find(R"("summary":{})"), std::string::npos) << published[0];
  EXPECT_NE(published[1].find(R"("summary":{"1":0,"2":2})"), std::string::npos) << published[1];
}

}  // namespace
