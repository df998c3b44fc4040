// The mastery-book routes through the fake host: the tree tables loaded at
// init, reads, whole-book saves, page creation with its limit, page
// replacement, deletion with the successor rule, and what each saves and
// publishes.
#include "collections/mastery_book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "collections/collections_harness.h"

namespace {

using kiv::test::CollectionsHarness;
using kiv::test::FakeHost;
using kiv::test::kMasteryBookClass;

constexpr const char* kBook = "/kiv-collections/v1/inventories/7/mastery-book";
constexpr const char* kPages = "/kiv-collections/v1/inventories/7/mastery-book/pages";
constexpr const char* kInvokeError = "Error response for POST /kiv-login/v1/session/invoke: ";

void AnswerTrees(FakeHost& host) {
  host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-masteries.json",
                  R"({"tree":{"groups":[{"id":1,"rows":[{"masteries":[4111,4112]},{"masteries":[4113]}]},)"
                  R"({"id":2,"rows":[{"masteries":[4211]}]}]}})");
}

// A mastery page DTO: id, current, and talent entries as "talentId:rank".
std::string PageDto(uint32_t id, bool current, const std::string& talents = "") {
  return R"({"pageId":)" + std::to_string(id) + R"(,"name":"p)" + std::to_string(id) + R"(","current":)" +
         (current ? "true" : "false") + R"(,"talentEntries":[)" + talents + "]}";
}

// Summoner 7 logged in with a book of the given pages (DTO JSON) in the cache.
struct LoggedIn {
  explicit LoggedIn(const std::vector<std::string>& pages) : h(AnswerTrees) {
    h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kiv::test::kRuneInventoryClass,
                      R"({"summonerId":7})");
    h.backend.Accepts("masteryBookService.saveMasteryBook");
    h.LogIn(7);
    std::string list;
    for (const std::string& page : pages) list += (list.empty() ? "" : ",") + page;
    h.LoginData(R"({"summonerId":7,"bookPages":[{"pageId":1,"current":true}]})",
                R"({"summonerId":7,"bookPages":[)" + list + "]}");
    h.ClearRecords();
  }
  // Page ids of the cache in order, the current one marked with "*".
  std::string Pages() const {
    std::string text;
    for (const auto& page : h.service->state().caches.mastery_book.book.pages) {
      text += (text.empty() ? "" : " ") + std::to_string(page.id) + (page.current ? "*" : "");
    }
    return text;
  }
  uint32_t CurrentId() const { return h.service->state().caches.mastery_book.current_page_id; }

  CollectionsHarness h;
};

TEST(MasteryBookRead, TalliesEachPageByTreeAndCachesTheLoggedInSummonersBook) {
  CollectionsHarness h(AnswerTrees);
  h.backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass,
                    R"({"summonerId":7,"bookPages":[)" +
                        PageDto(3, true,
                                R"({"talentId":4111,"rank":1},{"talentId":4112,"rank":3},)"
                                R"({"talentId":4211,"rank":2},{"talentId":9999,"rank":4})") +
                        "]}");
  h.LogIn(7);
  const std::string expected =
      R"(0 {"pages":[{"current":true,"id":3,"masteries":[{"id":4111,"rank":1},{"id":4112,"rank":3},)"
      R"({"id":4211,"rank":2},{"id":9999,"rank":4}],"name":"p3","summary":{"1":4,"2":2}}],"summonerId":7})";
  // Always read from the backend, and the cache follows.
  EXPECT_EQ(h.Call("GET", kBook), expected);
  EXPECT_EQ(h.Call("GET", kBook), expected);
  EXPECT_EQ(h.backend.ArgumentsOf("masteryBookService.getMasteryBook"),
            (std::vector<std::string>{"[7]", "[7]"}));
  EXPECT_EQ(h.service->state().caches.mastery_book.next_page_id, 4u);
  const std::vector<std::string> logs = h.host.LogTexts();
  EXPECT_EQ(std::count(logs.begin(), logs.end(), "Could not find mastery tree for mastery id: 9999"), 2);
  EXPECT_TRUE(h.Published().empty());
}

TEST(MasteryBookRead, WithoutTreeTablesSummariesAreEmpty) {
  CollectionsHarness h;  // no mastery asset: the tables stay empty
  const std::vector<std::string> logs = h.host.LogTexts();
  EXPECT_NE(std::find(logs.begin(), logs.end(),
                      "Error requesting summoner mastery data: Error response for GET "
                      "/kiv-game-data/assets/v1/summoner-masteries.json: No route for GET "
                      "/kiv-game-data/assets/v1/summoner-masteries.json"),
            logs.end());
  h.backend.Returns(
      "masteryBookService.getMasteryBook", kMasteryBookClass,
      R"({"summonerId":8,"bookPages":[)" + PageDto(1, true, R"({"talentId":4111,"rank":1})") + "]}");
  EXPECT_EQ(
      h.Call("GET", "/kiv-collections/v1/inventories/8/mastery-book"),
      R"(0 {"pages":[{"current":true,"id":1,"masteries":[{"id":4111,"rank":1}],"name":"p1","summary":{}}],)"
      R"("summonerId":8})");
}

TEST(MasteryBookRead, RefusalAndFailure) {
  CollectionsHarness h;
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/0/mastery-book"),
            "403 Cannot retrieve mastery book for summonerId 0.");
  h.backend.Fails("masteryBookService.getMasteryBook", "gone");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/5/mastery-book"),
            std::string("500 Error requesting mastery book for 5: ") + kInvokeError + "gone");
}

TEST(MasteryBookWrite, SavesCachesAndPublishesTheBookWithSummaries) {
  LoggedIn l({PageDto(1, true)});
  // The body's summonerId is not the path's: the path's is cached.
  const std::string body =
      R"({"summonerId":99,"pages":[{"id":5,"name":"x","masteries":[{"id":4113,"rank":3}]},)"
      R"({"id":6,"name":"y","current":true,"summary":{"stale":1}}]})";
  const std::string book =
      R"({"pages":[{"current":false,"id":5,"masteries":[{"id":4113,"rank":3}],"name":"x","summary":{"1":3,"2":0}},)"
      R"({"current":true,"id":6,"masteries":[],"name":"y","summary":{"1":0,"2":0}}],"summonerId":7})";
  EXPECT_EQ(l.h.Call("PUT", kBook, body), "0 " + book);
  EXPECT_EQ(
      l.h.backend.ArgumentsOf("masteryBookService.saveMasteryBook"),
      std::vector<std::string>{
          R"([{"__class":"com.quarngames.platform.summoner.masterybook.MasteryBookDTO",)"
          R"("bookPages":[{"__class":"com.quarngames.platform.summoner.masterybook.MasteryBookPageDTO",)"
          R"("createDate":1714555800000,"current":false,"name":"x","pageId":5,"summonerId":7,"talentEntries":[)"
          R"({"__class":"com.quarngames.platform.summoner.masterybook.TalentEntry","rank":3,"talentId":4113}]},)"
          R"({"__class":"com.quarngames.platform.summoner.masterybook.MasteryBookPageDTO",)"
          R"("createDate":1714555800000,"current":true,"name":"y","pageId":6,"summonerId":7,)"
          R"("talentEntries":[]}],"dateString":"2024-05-01T09:30:00Z","summonerId":7}])"});
  EXPECT_EQ(l.h.Published(),
            std::vector<std::string>{
                R"({"data":)" + book +
                R"(,"eventType":"Update","uri":"/kiv-collections/v1/inventories/7/mastery-book"})"});
  EXPECT_EQ(l.Pages(), "5 6*");
  EXPECT_EQ(l.CurrentId(), 6u);
  EXPECT_EQ(l.h.service->state().caches.mastery_book.next_page_id, 7u);
}

TEST(MasteryBookWrite, RefusalAndFailedSaveLeaveTheCache) {
  LoggedIn l({PageDto(1, true), PageDto(2, false)});
  std::string many;
  for (int id = 1; id <= 21; ++id) many += (id > 1 ? "," : "") + std::string(R"({"id":)") + std::to_string(id) + "}";
  const struct {
    const char* path;
    std::string body;
    std::string answer;
  } refused[] = {
      {"8", R"({"pages":[{"id":1}]})", "403 Attempted to modify another summoner's mastery book."},
      {"7", "{}", "400 A mastery book must have at least one page."},
      {"7", R"({"summonerId":7,"pages":[]})", "400 A mastery book must have at least one page."},
      {"7", R"({"pages":[)" + many + "]}", "400 A mastery book cannot have more than 20 pages."},
      {"7", R"({"pages":[{"id":3},{"id":3,"current":true}]})", "400 Mastery page ids must be distinct."},
      {"7", R"({"pages":[{"id":3,"current":true},{"id":4,"current":true}]})",
       "400 A mastery book can have only one current page."},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(l.h.Call("PUT", std::string("/kiv-collections/v1/inventories/") + c.path + "/mastery-book", c.body),
              c.answer)
        << c.body;
    EXPECT_TRUE(l.h.backend.calls().empty()) << c.body;
    EXPECT_EQ(l.Pages(), "1* 2") << c.body;
    EXPECT_EQ(l.h.service->state().caches.mastery_book.book.summoner_id, 7u) << c.body;
  }
  l.h.backend.Fails("masteryBookService.saveMasteryBook", "full");
  EXPECT_EQ(l.h.Call("PUT", kBook, R"({"summonerId":7,"pages":[{"id":2}]})"),
            std::string("500 Failed to save mastery book for 7: ") + kInvokeError + "full");
  EXPECT_EQ(l.Pages(), "1* 2");
  EXPECT_TRUE(l.h.Published().empty());
}

TEST(MasteryPageWrite, CreatedPagesGetConsecutiveIdsAboveTheHighest) {
  LoggedIn l({PageDto(4, false), PageDto(9, true)});
  EXPECT_EQ(
      l.h.Call("PUT", kPages, R"({"id":0,"name":"new","masteries":[{"id":4211,"rank":5}]})"),
      R"(0 {"current":false,"id":10,"masteries":[{"id":4211,"rank":5}],"name":"new","summary":{"1":0,"2":5}})");
  EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":0,"name":"newer","current":true})"),
            R"(0 {"current":true,"id":11,"masteries":[],"name":"newer","summary":{"1":0,"2":0}})");
  EXPECT_EQ(l.Pages(), "4 9 10 11*");
  EXPECT_EQ(l.CurrentId(), 11u);
  EXPECT_EQ(l.h.backend.ArgumentsOf("masteryBookService.saveMasteryBook").size(), 2u);
  ASSERT_EQ(l.h.Published().size(), 2u);
  EXPECT_NE(l.h.Published()[1].find(R"("uri":"/kiv-collections/v1/inventories/7/mastery-book")"),
            std::string::npos);
}

TEST(MasteryPageWrite, CreationStopsAtTwentyPagesAndAboveIt) {
  for (uint32_t count : {20u, 21u}) {
    std::vector<std::string> pages;
    for (uint32_t id = 1; id <= count; ++id) pages.push_back(PageDto(id, id == 1));
    LoggedIn l(pages);
    EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":0})"), "403 Attempted to create too many mastery pages.")
        << count;
    EXPECT_TRUE(l.h.backend.calls().empty()) << count;
    // Replacing a page is not creating one.
    EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":3,"name":"r"})").substr(0, 2), "0 ") << count;
  }
}

TEST(MasteryPageWrite, ReplacesAPageAndMovesTheCurrentMark) {
  LoggedIn l({PageDto(1, true), PageDto(2, false), PageDto(3, false)});
  EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":9,"name":"r"})"), "404 Mastery page 9 does not exist.");
  EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":2,"name":"r","current":true})").substr(0, 2), "0 ");
  EXPECT_EQ(l.Pages(), "1 2* 3");
  // Sent with current false, the current page stays the current id.
  EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":2,"name":"r"})").substr(0, 2), "0 ");
  EXPECT_EQ(l.CurrentId(), 2u);
}

TEST(MasteryPageWrite, AFailedSaveKeepsTheNewPageAndItsId) {
  LoggedIn l({PageDto(1, true)});
  l.h.backend.Fails("masteryBookService.saveMasteryBook", "full");
  EXPECT_EQ(l.h.Call("PUT", kPages, R"({"id":0,"current":true})"),
            std::string("500 Failed to save mastery book for 7: ") + kInvokeError + "full");
  EXPECT_EQ(l.Pages(), "1 2*");
  EXPECT_EQ(l.h.service->state().caches.mastery_book.next_page_id, 3u);
  EXPECT_TRUE(l.h.Published().empty());
}

TEST(MasteryPageWrite, EditsBeforeTheBookArrivedReadItFirst) {
  // The login's book never came: each edit reads the stored book and saves
  // it with the edit, never the edit alone.
  const struct {
    const char* method;
    const char* path;
    const char* body;
    std::vector<const char*> saved_pages;
    const char* absent;
  } edits[] = {
      {"PUT", kPages, R"({"id":0})", {R"("pageId":1)", R"("pageId":2)", R"("pageId":3)"}, nullptr},
      {"DELETE", "/kiv-collections/v1/inventories/7/mastery-book/pages/2", "", {R"("pageId":1)"},
       R"("pageId":2)"},
  };
  for (const auto& edit : edits) {
    CollectionsHarness h(AnswerTrees);
    h.backend.Accepts("masteryBookService.saveMasteryBook");
    h.backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass,
                      R"({"summonerId":7,"bookPages":[)" + PageDto(1, true) + "," + PageDto(2, false) + "]}");
    h.LogIn(7);
    EXPECT_EQ(h.Send(edit.method, edit.path, edit.body).ok(), true) << edit.method;
    const std::vector<std::string> saves = h.backend.ArgumentsOf("masteryBookService.saveMasteryBook");
    ASSERT_EQ(saves.size(), 1u) << edit.method;
    for (const char* page : edit.saved_pages) EXPECT_NE(saves[0].find(page), std::string::npos) << page;
    if (edit.absent) {
      EXPECT_EQ(saves[0].find(edit.absent), std::string::npos) << edit.absent;
    }
    EXPECT_EQ(h.Published().size(), 1u) << edit.method;
  }
}

TEST(MasteryBookRead, ABookThatCameBeforeTheTreeTablesIsTalliedWhenTheyArrive) {
  // The plug-in starts after the login: the session and its login data are
  // read before the tree tables.
  CollectionsHarness h([](FakeHost& host) {
    host.AnswerJson("GET", "/kiv-login/v1/session",
                    R"({"state":"SUCCEEDED","summonerId":7,"accountId":1007,"connected":true})");
    host.AnswerJson("GET", "/kiv-login/v1/login-data-packet",
                    R"({"allSummonerData":{"spellBook":{"summonerId":7,"bookPages":[{"pageId":1}]},)"
                    R"("masteryBook":{"summonerId":7,"bookPages":[)" +
                        PageDto(1, true, R"({"talentId":4211,"rank":2})") + "]}}}");
    AnswerTrees(host);
  });
  const auto& pages = h.service->state().caches.mastery_book.book.pages;
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].summary, (std::map<std::string, uint32_t>{{"1", 0}, {"2", 2}}));
  const std::vector<std::string> published = h.Published();
  ASSERT_FALSE(published.empty());
  EXPECT_NE(published.back().find(R"("summary":{"1":0,"2":2})"), std::string::npos) << published.back();
}

TEST(MasteryPageDelete, TheSuccessorIsTheNextLowerIdOrTheNextHigherForTheLowest) {
  struct Case {
    std::vector<uint32_t> ids;  // in cache order
    uint32_t current;
    uint32_t deleted;
    const char* after;  // pages left, current marked
  };
  const Case cases[] = {
      {{5, 2, 9}, 2, 2, "5* 9"},  // lowest: next higher
      {{5, 2, 9}, 9, 9, "5* 2"},  // highest: next lower
      {{5, 2, 9}, 5, 5, "2* 9"},  // middle: next lower, whatever the order in the book
      {{5, 2, 9}, 5, 9, "5* 2"},  // not current: the current page stays
      {{3, 4}, 3, 3, "4*"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> pages;
    for (uint32_t id : c.ids) pages.push_back(PageDto(id, id == c.current));
    LoggedIn l(pages);
    EXPECT_EQ(l.h.Call("DELETE", std::string(kPages) + "/" + std::to_string(c.deleted)), "0 null") << c.after;
    EXPECT_EQ(l.Pages(), c.after);
    EXPECT_EQ(l.CurrentId(), static_cast<uint32_t>(std::stoul(std::string(c.after)))) << c.after;
    EXPECT_EQ(l.h.backend.ArgumentsOf("masteryBookService.saveMasteryBook").size(), 1u) << c.after;
    EXPECT_EQ(l.h.Published().size(), 1u) << c.after;
  }
}

TEST(MasteryPageDelete, RefusalsAndAFailedSaveThatKeepsTheDeletion) {
  LoggedIn l({PageDto(1, true), PageDto(2, false)});
  EXPECT_EQ(l.h.Call("DELETE", "/kiv-collections/v1/inventories/8/mastery-book/pages/1"),
            "403 Attempted to modify another summoner's mastery book.");
  EXPECT_EQ(l.h.Call("DELETE", std::string(kPages) + "/7"), "404 Mastery page 7 does not exist.");
  l.h.backend.Fails("masteryBookService.saveMasteryBook", "full");
  EXPECT_EQ(l.h.Call("DELETE", std::string(kPages) + "/1"),
            std::string("500 Failed to save mastery book for 7: ") + kInvokeError + "full");
  EXPECT_EQ(l.Pages(), "2*");
  EXPECT_EQ(l.h.Call("DELETE", std::string(kPages) + "/2"), "403 Attempted to delete the last mastery page.");
  EXPECT_TRUE(l.h.Published().empty());
}

}  // namespace
