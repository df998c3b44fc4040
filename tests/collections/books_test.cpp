// The rune and mastery books through the request callback: no tree tables,
// a book that came before them, and edits of a cache the login never
// filled. Tallies, whole-book rules, page edits, selection, deletion and
// failed saves are replayed by tests/sessions (books_walk, edges_walk).
#include "collections/mastery_book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::CollectionsFixture;
using kiv::test::FakeHost;
using kiv::test::kMasteryBookClass;
using kiv::test::kSpellBookClass;

constexpr const char* kBook = "/kiv-collections/v1/inventories/7/mastery-book";
constexpr const char* kRuneBook = "/kiv-collections/v1/inventories/7/rune-book";
constexpr const char* kPages = "/kiv-collections/v1/inventories/7/mastery-book/pages";

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

TEST(MasteryPageWrite, EditsBeforeTheBookArrivedReadItFirst) {
  // The login's book never came: each edit reads the stored book and saves
  // it with the edit, never the edit alone.
  const struct {
    const char* method;
    std::string path;
    const char* body;
    const char* saved;  // page ids in the save
  } edits[] = {
      {"PUT", kPages, R"({"id":0})", R"("pageId":1 "pageId":2 "pageId":3)"},
      {"DELETE", std::string(kPages) + "/2", "", R"("pageId":1)"},
  };
  for (const auto& edit : edits) {
    CollectionsFixture f(AnswerTrees);
    f.backend.Accepts("masteryBookService.saveMasteryBook");
    f.backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass,
                      BookDto({PageDto(1, true), PageDto(2, false)}));
    f.LogIn(7);
    EXPECT_TRUE(f.Send(edit.method, edit.path, edit.body).ok()) << edit.method;
    const std::vector<std::string> saves = f.backend.ArgumentsOf("masteryBookService.saveMasteryBook");
    ASSERT_EQ(saves.size(), 1u) << edit.method;
    std::string ids;
    for (size_t at = saves[0].find(R"("pageId":)"); at != std::string::npos; at = saves[0].find(R"("pageId":)", at + 1)) {
      ids += (ids.empty() ? "" : " ") + saves[0].substr(at, 10);
    }
    EXPECT_EQ(ids, edit.saved) << edit.method;
    EXPECT_EQ(f.PublishedAt(kBook).size(), 1u) << edit.method;
  }
}

TEST(RuneBookWrite, EditsBeforeTheBookArrivedReadItFirst) {
  // The login's book never came: each edit reads the stored book instead of
  // refusing an empty cache or saving an empty book.
  const struct {
    std::string path;
    const char* body;
  } edits[] = {
      {kRuneBook, R"({"pages":[{"id":1},{"id":2,"current":true}]})"},
      {std::string(kRuneBook) + "/pages/2", R"({"id":2,"name":"renamed","current":true})"},
      {std::string(kRuneBook) + "/select-page/2", ""},
      {"/kiv-collections/v1/inventories/7/verification", R"("CODE")"},
  };
  for (const auto& edit : edits) {
    CollectionsFixture f;
    f.backend.Accepts("spellBookService.saveSpellBook");
    f.backend.Accepts("spellBookService.selectDefaultSpellBookPage");
    f.backend.Returns("spellBookService.getSpellBook", kSpellBookClass,
                      R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"a"},{"pageId":2,"name":"b"}]})");
    f.LogIn(7);
    const kiv::host::Response answer = f.Send("PUT", edit.path, edit.body);
    EXPECT_TRUE(answer.ok()) << edit.path << " " << answer.error.value_or("");
    EXPECT_EQ(f.backend.ArgumentsOf("spellBookService.getSpellBook"), std::vector<std::string>{"[7]"});
    EXPECT_EQ(f.service->rune_book().cache().book.pages.size(), 2u) << edit.path;
  }
}

}  // namespace
