// The mastery book through the request callback: reads tallied by tree,
// whole-book saves and the books they refuse, page creation with its limit,
// replacement, deletion with the successor rule, edits of a cache the login
// never filled, and a book that came before the tree tables.
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
using kiv::test::kInvokeError;
using kiv::test::kMasteryBookClass;

constexpr const char* kBook = "/kiv-collections/v1/inventories/7/mastery-book";
constexpr const char* kPages = "/kiv-collections/v1/inventories/7/mastery-book/pages";
constexpr const char* kForeign = "403 Attempted to modify another summoner's mastery book.";

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

// Summoner 7 logged in with a book of the given pages in the cache.
struct LoggedIn : CollectionsFixture {
  explicit LoggedIn(const std::vector<std::string>& pages) : CollectionsFixture(AnswerTrees) {
    backend.Accepts("masteryBookService.saveMasteryBook");
    LogInWithBooks(R"({"summonerId":7,"bookPages":[{"pageId":1,"current":true}]})", BookDto(pages));
  }
  // Page ids of the cache in order, the current one marked with "*".
  std::string Pages() const {
    std::string text;
    for (const auto& page : service->mastery_book().cache().book.pages) {
      text += (text.empty() ? "" : " ") + std::to_string(page.id) + (page.current ? "*" : "");
    }
    return text;
  }
  uint32_t CurrentId() const { return service->mastery_book().cache().current_page_id; }
  size_t Publications() const { return PublishedAt(kBook).size(); }
};

TEST(MasteryBookRead, TalliesEachPageByTreeAndAlwaysAsksTheBackend) {
  CollectionsFixture f(AnswerTrees);
  f.backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass,
                    BookDto({PageDto(3, true, R"({"talentId":4111,"rank":1},{"talentId":4112,"rank":3},)"
                                              R"({"talentId":4211,"rank":2},{"talentId":9999,"rank":4})")}));
  f.LogIn(7);
  const std::string expected =
      R"(0 {"pages":[{"current":true,"id":3,"masteries":[{"id":4111,"rank":1},{"id":4112,"rank":3},)"
      R"({"id":4211,"rank":2},{"id":9999,"rank":4}],"name":"p3","summary":{"1":4,"2":2}}],"summonerId":7})";
  EXPECT_EQ(f.Get(kBook), expected);
  EXPECT_EQ(f.Get(kBook), expected);
  EXPECT_EQ(f.backend.ArgumentsOf("masteryBookService.getMasteryBook"), (std::vector<std::string>{"[7]", "[7]"}));
  EXPECT_EQ(f.service->mastery_book().cache().next_page_id, 4u);
  const std::vector<std::string> logs = f.host.LogTexts();
  EXPECT_EQ(std::count(logs.begin(), logs.end(), "Could not find mastery tree for mastery id: 9999"), 2);
  EXPECT_TRUE(f.PublishedAt(kBook).empty());
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/0/mastery-book"),
            "403 Cannot retrieve mastery book for summonerId 0.");
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

TEST(MasteryBookWrite, SavesCachesAndPublishesThePathSummonersBookWithSummaries) {
  LoggedIn f({PageDto(1, true)});
  // The body names another summoner: the path's is cached and published.
  const std::string body = R"({"summonerId":99,"pages":[{"id":5,"name":"x","masteries":[{"id":4113,"rank":3}]},)"
                           R"({"id":6,"name":"y","current":true,"summary":{"stale":1}}]})";
  const std::string book =
      R"({"pages":[{"current":false,"id":5,"masteries":[{"id":4113,"rank":3}],"name":"x","summary":{"1":3,"2":0}},)"
      R"({"current":true,"id":6,"masteries":[],"name":"y","summary":{"1":0,"2":0}}],"summonerId":7})";
  EXPECT_EQ(f.Call("PUT", kBook, body), "0 " + book);
  // The save's DTO layout is pinned by tests/sessions/fault_walk.jsonl; here, whose book it is.
  const std::vector<std::string> saves = f.backend.ArgumentsOf("masteryBookService.saveMasteryBook");
  ASSERT_EQ(saves.size(), 1u);
  EXPECT_NE(saves[0].find(R"("current":true,"name":"y","pageId":6,"summonerId":7,)"), std::string::npos) << saves[0];
  EXPECT_NE(saves[0].find(R"("dateString":"2024-05-01T09:30:00Z","summonerId":7}])"), std::string::npos);
  EXPECT_EQ(f.PublishedAt(kBook), std::vector<std::string>{"Update " + book});
  EXPECT_EQ(f.Pages(), "5 6*");
  EXPECT_EQ(f.service->mastery_book().cache().book.summoner_id, 7u);
  EXPECT_EQ(f.service->mastery_book().cache().next_page_id, 7u);
}

TEST(MasteryBookWrite, BrokenBooksLeaveTheStoredBookAndTheCache) {
  LoggedIn f({PageDto(1, true), PageDto(2, false)});
  std::string many;
  for (int id = 1; id <= 21; ++id) many += (id > 1 ? "," : "") + std::string(R"({"id":)") + std::to_string(id) + "}";
  const struct {
    const char* summoner;
    std::string body;
    std::string answer;
  } refused[] = {
      {"8", R"({"pages":[{"id":1}]})", kForeign},
      {"7", "{}", "400 A mastery book must have at least one page."},
      {"7", R"({"summonerId":7,"pages":[]})", "400 A mastery book must have at least one page."},
      {"7", R"({"pages":[)" + many + "]}", "400 A mastery book cannot have more than 20 pages."},
      {"7", R"({"pages":[{"id":3},{"id":3,"current":true}]})", "400 Mastery page ids must be distinct."},
      {"7", R"({"pages":[{"id":3,"current":true},{"id":4,"current":true}]})",
       "400 A mastery book can have only one current page."},
  };
  for (const auto& c : refused) {
    const std::string path = std::string("/kiv-collections/v1/inventories/") + c.summoner + "/mastery-book";
    EXPECT_EQ(f.Call("PUT", path, c.body), c.answer) << c.body;
    EXPECT_TRUE(f.backend.calls().empty()) << c.body;
    EXPECT_EQ(f.Pages(), "1* 2") << c.body;
    EXPECT_EQ(f.service->mastery_book().cache().book.summoner_id, 7u) << c.body;
  }
}

TEST(MasteryPageWrite, CreatesWithConsecutiveIdsAndReplacesMovingTheCurrentMark) {
  LoggedIn f({PageDto(4, false), PageDto(9, true)});
  EXPECT_EQ(f.Call("PUT", kPages, R"({"id":0,"name":"new","masteries":[{"id":4211,"rank":5}]})"),
            R"(0 {"current":false,"id":10,"masteries":[{"id":4211,"rank":5}],"name":"new","summary":{"1":0,"2":5}})");
  EXPECT_EQ(f.Call("PUT", kPages, R"({"id":0,"name":"newer","current":true})"),
            R"(0 {"current":true,"id":11,"masteries":[],"name":"newer","summary":{"1":0,"2":0}})");
  EXPECT_EQ(f.Pages(), "4 9 10 11*");
  EXPECT_EQ(f.Call("PUT", kPages, R"({"id":3,"name":"r"})"), "404 Mastery page 3 does not exist.");
  EXPECT_EQ(f.Call("PUT", kPages, R"({"id":4,"name":"r","current":true})").substr(0, 2), "0 ");
  EXPECT_EQ(f.Pages(), "4* 9 10 11");
  // Sent with current false, the current page stays the current id.
  EXPECT_EQ(f.Call("PUT", kPages, R"({"id":4,"name":"r"})").substr(0, 2), "0 ");
  EXPECT_EQ(f.CurrentId(), 4u);
  EXPECT_EQ(f.backend.CountOf("masteryBookService.saveMasteryBook"), 4);
  EXPECT_EQ(f.Publications(), 4u);
  EXPECT_EQ(f.Call("PUT", "/kiv-collections/v1/inventories/8/mastery-book/pages", R"({"id":0})"), kForeign);
}

TEST(MasteryBookWrite, AFailedSaveOrEditIsUndoneSoNoLaterSaveCarriesIt) {
  const struct {
    const char* method;
    std::string path;
    const char* body;
  } edits[] = {
      {"PUT", kBook, R"({"pages":[{"id":2,"name":"PHANTOM"}]})"},
      {"PUT", kPages, R"({"id":0,"name":"PHANTOM","current":true})"},
      {"PUT", kPages, R"({"id":2,"name":"PHANTOM","current":true})"},
      {"DELETE", std::string(kPages) + "/1", ""},
  };
  for (const auto& edit : edits) {
    LoggedIn f({PageDto(1, true), PageDto(2, false)});
    f.backend.Fails("masteryBookService.saveMasteryBook", "full");
    EXPECT_EQ(f.Call(edit.method, edit.path, edit.body),
              std::string("500 Failed to save mastery book for 7: ") + kInvokeError + "full");
    EXPECT_EQ(f.Pages(), "1* 2") << edit.method << " " << edit.body;
    EXPECT_EQ(f.CurrentId(), 1u);
    f.backend.Accepts("masteryBookService.saveMasteryBook");
    // The new page takes the id the failed creation had taken.
    EXPECT_EQ(f.Call("PUT", kPages, R"({"id":0,"name":"later"})").substr(0, 25), R"(0 {"current":false,"id":3)");
    const std::vector<std::string> saves = f.backend.ArgumentsOf("masteryBookService.saveMasteryBook");
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_EQ(saves.back().find("PHANTOM"), std::string::npos) << saves.back();
    EXPECT_NE(saves.back().find(R"("pageId":1)"), std::string::npos) << saves.back();
    EXPECT_EQ(f.Publications(), 1u);
  }
}

TEST(MasteryPageWrite, CreationStopsAtTwentyPagesAndAboveIt) {
  for (uint32_t count : {20u, 21u}) {
    std::vector<std::string> pages;
    for (uint32_t id = 1; id <= count; ++id) pages.push_back(PageDto(id, id == 1));
    LoggedIn f(pages);
    EXPECT_EQ(f.Call("PUT", kPages, R"({"id":0})"), "403 Attempted to create too many mastery pages.") << count;
    EXPECT_TRUE(f.backend.calls().empty()) << count;
    EXPECT_EQ(f.Call("PUT", kPages, R"({"id":3,"name":"r"})").substr(0, 2), "0 ") << count;
  }
}

TEST(MasteryPageDelete, TheSuccessorIsTheNextLowerIdOrTheNextHigherForTheLowest) {
  const struct {
    std::vector<uint32_t> ids;  // in cache order
    uint32_t current;
    uint32_t deleted;
    const char* after;  // pages left, current marked
  } cases[] = {
      {{5, 2, 9}, 2, 2, "5* 9"},  // lowest: next higher
      {{5, 2, 9}, 9, 9, "5* 2"},  // highest: next lower
      {{5, 2, 9}, 5, 5, "2* 9"},  // middle: next lower, whatever the order in the book
      {{5, 2, 9}, 5, 9, "5* 2"},  // not current: the current page stays
      {{3, 4}, 3, 3, "4*"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> pages;
    for (uint32_t id : c.ids) pages.push_back(PageDto(id, id == c.current));
    LoggedIn f(pages);
    EXPECT_EQ(f.Call("DELETE", std::string(kPages) + "/" + std::to_string(c.deleted)), "0 null") << c.after;
    EXPECT_EQ(f.Pages(), c.after);
    EXPECT_EQ(f.CurrentId(), static_cast<uint32_t>(std::stoul(std::string(c.after)))) << c.after;
    EXPECT_EQ(f.backend.CountOf("masteryBookService.saveMasteryBook"), 1) << c.after;
    EXPECT_EQ(f.Publications(), 1u) << c.after;
  }
}

// A page that does not exist: tests/sessions/readme_walk.jsonl.
TEST(MasteryPageDelete, Refusals) {
  LoggedIn f({PageDto(1, true)});
  EXPECT_EQ(f.Call("DELETE", "/kiv-collections/v1/inventories/8/mastery-book/pages/1"), kForeign);
  EXPECT_EQ(f.Call("DELETE", std::string(kPages) + "/1"), "403 Attempted to delete the last mastery page.");
  EXPECT_TRUE(f.backend.calls().empty());
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

}  // namespace
