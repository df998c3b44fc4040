// The rune-book routes through the fake host: reads with and without the
// cache, the whole-book rules, page edits, page selection and the
// verification code, with the backend calls and publications each makes.
#include "collections/rune_book.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_harness.h"

namespace {

using kiv::test::CollectionsHarness;
using kiv::test::kSpellBookClass;

constexpr const char* kBook = "/kiv-collections/v1/inventories/7/rune-book";
constexpr const char* kRuleText =
    "409 Rune pages cannot be created or deleted, and there must be only one current page.";
constexpr const char* kInvokeError = "Error response for POST /kiv-login/v1/session/invoke: ";

// Summoner 7 logged in, with a three-page book in the cache (page 2 current).
struct LoggedIn {
  LoggedIn() {
    h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kiv::test::kRuneInventoryClass,
                      R"({"summonerId":7})");
    h.backend.Accepts("spellBookService.saveSpellBook");
    h.backend.Accepts("spellBookService.selectDefaultSpellBookPage");
    h.LogIn(7);
    h.LoginData(R"({"summonerId":7,"bookPages":[)"
                R"({"pageId":1,"name":"one","slotEntries":[{"runeId":5001,"runeSlotId":1}]},)"
                R"({"pageId":2,"name":"two","current":true},{"pageId":3,"name":"three"}]})",
                R"({"summonerId":7})");
    h.ClearRecords();
  }
  std::string Cached() { return h.Call("GET", kBook); }

  CollectionsHarness h;
};

TEST(RuneBookRead, RefusesSummonerZeroBeforeAnyCall) {
  CollectionsHarness h;
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/0/rune-book"), "403 0 is an invalid summonerId");
  EXPECT_TRUE(h.backend.calls().empty());
}

TEST(RuneBookRead, AnotherSummonersBookComesFromTheBackendEveryTime) {
  LoggedIn l;
  l.h.backend.Returns("spellBookService.getSpellBook", kSpellBookClass,
                      R"({"summonerId":8,"bookPages":[{"pageId":9,"name":"x"}]})");
  // Never cached, and not made current: only the logged-in summoner's book is.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(l.h.Call("GET", "/kiv-collections/v1/inventories/8/rune-book"),
              R"(0 {"pages":[{"current":false,"id":9,"name":"x","runes":[]}],"summonerId":8})");
  }
  EXPECT_EQ(l.h.backend.ArgumentsOf("spellBookService.getSpellBook"),
            (std::vector<std::string>{"[8]", "[8]"}));
  EXPECT_NE(l.Cached().find(R"("name":"two")"), std::string::npos);
  EXPECT_TRUE(l.h.Published().empty());
}

TEST(RuneBookRead, TheLoggedInSummonersEmptyCacheIsFilledFromTheBackend) {
  CollectionsHarness h;
  h.backend.Returns("spellBookService.getSpellBook", kSpellBookClass,
                    R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"a"},{"pageId":2,"name":"b"}]})");
  h.LogIn(7);
  const std::string expected =
      R"(0 {"pages":[{"current":true,"id":1,"name":"a","runes":[]},{"current":false,"id":2,"name":"b","runes":[]}],)"
      R"("summonerId":7})";
  EXPECT_EQ(h.Call("GET", kBook), expected);
  EXPECT_EQ(h.Call("GET", kBook), expected);
  EXPECT_EQ(h.backend.ArgumentsOf("spellBookService.getSpellBook").size(), 1u);
}

TEST(RuneBookRead, BackendFailureNamesTheSummoner) {
  CollectionsHarness h;
  h.backend.Fails("spellBookService.getSpellBook", "no books");
  EXPECT_EQ(h.Call("GET", "/kiv-collections/v1/inventories/12/rune-book"),
            std::string("500 Error requesting rune book for 12: ") + kInvokeError + "no books");
}

TEST(RuneBookWrite, BooksBreakingThePageRulesAreRefused) {
  struct Case {
    const char* name;
    const char* pages;
  };
  const Case cases[] = {
      {"two current", R"([{"id":1,"current":true},{"id":2,"current":true},{"id":3}])"},
      {"none current", R"([{"id":1},{"id":2},{"id":3}])"},
      {"duplicated id", R"([{"id":1,"current":true},{"id":1},{"id":3}])"},
      {"one page fewer", R"([{"id":1,"current":true},{"id":2}])"},
      {"one page more", R"([{"id":1,"current":true},{"id":2},{"id":3},{"id":4}])"},
      {"current page with id 0", R"([{"id":0,"current":true},{"id":2},{"id":3}])"},
      {"no pages key", nullptr},
  };
  for (const Case& c : cases) {
    LoggedIn l;
    const std::string body = c.pages ? std::string(R"({"summonerId":7,"pages":)") + c.pages + "}" : "{}";
    EXPECT_EQ(l.h.Call("PUT", kBook, body), kRuleText) << c.name;
    EXPECT_TRUE(l.h.backend.calls().empty()) << c.name;
  }
}

TEST(RuneBookWrite, ABookOfOtherDistinctIdsIsSavedCachedAndPublished) {
  LoggedIn l;
  const std::string book =
      R"({"pages":[{"current":false,"id":11,"name":"p","runes":[{"runeId":5002,"runeSlotId":4}]},)"
      R"({"current":true,"id":12,"name":"q","runes":[]},{"current":false,"id":13,"name":"r","runes":[]}],)"
      R"("summonerId":7})";
  EXPECT_EQ(l.h.Call("PUT", kBook, book), "0 " + book);
  EXPECT_EQ(
      l.h.backend.ArgumentsOf("spellBookService.saveSpellBook"),
      std::vector<std::string>{
          R"([{"__class":"com.quarngames.platform.summoner.spellbook.SpellBookDTO",)"
          R"("bookPages":[{"__class":"com.quarngames.platform.summoner.spellbook.SpellBookPageDTO",)"
          R"("createDate":1714555800000,"current":false,"name":"p","pageId":11,"slotEntries":[)"
          R"({"__class":"com.quarngames.platform.summoner.spellbook.SlotEntry","runeId":5002,"runeSlotId":4}],)"
          R"("summonerId":7},{"__class":"com.quarngames.platform.summoner.spellbook.SpellBookPageDTO",)"
          R"("createDate":1714555800000,"current":true,"name":"q","pageId":12,"slotEntries":[],"summonerId":7},)"
          R"({"__class":"com.quarngames.platform.summoner.spellbook.SpellBookPageDTO",)"
          R"("createDate":1714555800000,"current":false,"name":"r","pageId":13,"slotEntries":[],)"
          R"("summonerId":7}],"dateString":"2024-05-01T09:30:00Z","summonerId":7}])"});
  EXPECT_EQ(l.h.Published(),
            std::vector<std::string>{
                R"({"data":)" + book +
                R"(,"eventType":"Update","uri":"/kiv-collections/v1/inventories/7/rune-book"})"});
  EXPECT_EQ(l.Cached(), "0 " + book);
  // The remembered current page is 12: selecting it changes nothing.
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/select-page/12").substr(0, 2), "0 ");
  EXPECT_NE(l.Cached().find(R"({"current":true,"id":12)"), std::string::npos);
}

TEST(RuneBookWrite, AFailedSaveLeavesTheCacheAsItWas) {
  LoggedIn l;
  const std::string before = l.Cached();
  l.h.backend.Fails("spellBookService.saveSpellBook", "read only");
  EXPECT_EQ(l.h.Call("PUT", kBook, R"({"summonerId":7,"pages":[{"id":1,"current":true},{"id":2},{"id":3}]})"),
            std::string("500 Failed to save rune book for 7: ") + kInvokeError + "read only");
  EXPECT_EQ(l.Cached(), before);
  EXPECT_TRUE(l.h.Published().empty());
}

TEST(RuneBookWrite, TheCachedBookIsThePathSummonersWhateverTheBodyNames) {
  for (const char* summoner : {R"("summonerId":0,)", R"("summonerId":99,)", ""}) {
    LoggedIn l;
    const std::string body =
        std::string("{") + summoner + R"("pages":[{"id":1,"current":true},{"id":2},{"id":3}]})";
    const std::string answer = l.h.Call("PUT", kBook, body);
    EXPECT_NE(answer.find(R"("summonerId":7})"), std::string::npos) << body << " " << answer;
    EXPECT_NE(l.Cached().find(R"("summonerId":7})"), std::string::npos) << body;
    ASSERT_EQ(l.h.Published().size(), 1u);
    EXPECT_NE(l.h.Published()[0].find(R"("summonerId":7})"), std::string::npos) << body;
    // The save went out for the path's summoner.
    EXPECT_NE(l.h.backend.ArgumentsOf("spellBookService.saveSpellBook")[0].find(
                  R"("dateString":"2024-05-01T09:30:00Z","summonerId":7})"),
              std::string::npos);
  }
}

TEST(RuneBookWrite, EditsBeforeTheBookArrivedReadItFirst) {
  // The login's book never came; each edit reads the stored book first
  // instead of refusing an empty cache.
  const struct {
    const char* path;
    const char* body;
  } edits[] = {
      {kBook, R"({"pages":[{"id":1},{"id":2,"current":true}]})"},
      {"/kiv-collections/v1/inventories/7/rune-book/pages/2", R"({"id":2,"name":"renamed","current":true})"},
      {"/kiv-collections/v1/inventories/7/rune-book/select-page/2", ""},
      {"/kiv-collections/v1/inventories/7/verification", R"("CODE")"},
  };
  for (const auto& edit : edits) {
    CollectionsHarness h;
    h.backend.Accepts("spellBookService.saveSpellBook");
    h.backend.Accepts("spellBookService.selectDefaultSpellBookPage");
    h.backend.Returns("spellBookService.getSpellBook", kSpellBookClass,
                      R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"a"},{"pageId":2,"name":"b"}]})");
    h.LogIn(7);
    const kiv::host::Response answer = h.Send("PUT", edit.path, edit.body);
    EXPECT_TRUE(answer.ok()) << edit.path << " " << answer.error.value_or("");
    EXPECT_EQ(h.backend.ArgumentsOf("spellBookService.getSpellBook"), std::vector<std::string>{"[7]"});
    EXPECT_EQ(h.service->state().caches.rune_book.book.pages.size(), 2u) << edit.path;
  }
}

TEST(RunePageWrite, RefusalsCarryTheirStatusAndText) {
  struct Case {
    const char* path;
    const char* body;
    const char* answer;
  };
  const Case cases[] = {
      {"/kiv-collections/v1/inventories/8/rune-book/pages/1", R"({"id":1})",
       "403 Attempted to modify another summoner's rune book."},
      {"/kiv-collections/v1/inventories/7/rune-book/pages/7", R"({"id":8})",
       "400 PUT id 7 does not match rune page id 8."},
      {"/kiv-collections/v1/inventories/7/rune-book/pages/9", R"({"id":9})",
       "409 Rune pages cannot be created."},
  };
  for (const Case& c : cases) {
    LoggedIn l;
    EXPECT_EQ(l.h.Call("PUT", c.path, c.body), c.answer) << c.path;
    EXPECT_TRUE(l.h.backend.calls().empty()) << c.path;
  }
}

TEST(RunePageWrite, ReplacesThePageSavesTheBookAndPublishesNothing) {
  LoggedIn l;
  const std::string page =
      R"({"current":true,"id":3,"name":"renamed","runes":[{"runeId":5003,"runeSlotId":2}]})";
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/pages/3", page), "0 " + page);
  EXPECT_EQ(l.Cached(),
            R"(0 {"pages":[{"current":false,"id":1,"name":"one","runes":[{"runeId":5001,"runeSlotId":1}]},)"
            R"({"current":false,"id":2,"name":"two","runes":[]},)" +
                page + R"(],"summonerId":7})");
  const std::vector<std::string> saves = l.h.backend.ArgumentsOf("spellBookService.saveSpellBook");
  ASSERT_EQ(saves.size(), 1u);
  EXPECT_NE(saves[0].find(R"("current":true,"name":"renamed","pageId":3)"), std::string::npos);
  EXPECT_TRUE(l.h.Published().empty());
}

TEST(RunePageWrite, APageSentNotCurrentKeepsTheCurrentPageId) {
  LoggedIn l;
  ASSERT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/pages/2", R"({"id":2,"name":"off"})")
                .substr(0, 2),
            "0 ");
  EXPECT_EQ(l.h.service->state().caches.rune_book.current_page_id, 2u);
}

TEST(RunePageWrite, AFailedSaveKeepsTheEdit) {
  LoggedIn l;
  l.h.backend.Fails("spellBookService.saveSpellBook", "read only");
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/pages/1",
                     R"({"id":1,"name":"kept","current":true})"),
            std::string("500 Failed to save rune book for 7: ") + kInvokeError + "read only");
  const std::string cached = l.Cached();
  EXPECT_NE(cached.find(R"({"current":true,"id":1,"name":"kept")"), std::string::npos);
  EXPECT_NE(cached.find(R"({"current":false,"id":2,"name":"two")"), std::string::npos);
}

TEST(RunePageSelect, SelectsTellsTheBackendAndPublishes) {
  LoggedIn l;
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/select-page/1"),
            R"(0 {"current":true,"id":1,"name":"one","runes":[{"runeId":5001,"runeSlotId":1}]})");
  EXPECT_EQ(
      l.h.backend.ArgumentsOf("spellBookService.selectDefaultSpellBookPage"),
      std::vector<std::string>{
          R"([{"__class":"com.quarngames.platform.summoner.spellbook.SpellBookPageDTO",)"
          R"("createDate":1714555800000,"current":true,"name":"one","pageId":1,"slotEntries":[)"
          R"({"__class":"com.quarngames.platform.summoner.spellbook.SlotEntry","runeId":5001,"runeSlotId":1}],)"
          R"("summonerId":7}])"});
  const std::string book =
      R"({"pages":[{"current":true,"id":1,"name":"one","runes":[{"runeId":5001,"runeSlotId":1}]},)"
      R"({"current":false,"id":2,"name":"two","runes":[]},{"current":false,"id":3,"name":"three","runes":[]}],)"
      R"("summonerId":7})";
  EXPECT_EQ(l.h.Published(),
            std::vector<std::string>{
                R"({"data":)" + book +
                R"(,"eventType":"Update","uri":"/kiv-collections/v1/inventories/7/rune-book"})"});
}

TEST(RunePageSelect, TheCurrentPageIsStillSentAndPublished) {
  LoggedIn l;
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/select-page/2"),
            R"(0 {"current":true,"id":2,"name":"two","runes":[]})");
  EXPECT_EQ(l.h.backend.ArgumentsOf("spellBookService.selectDefaultSpellBookPage").size(), 1u);
  EXPECT_EQ(l.h.Published().size(), 1u);
}

TEST(RunePageSelect, RefusalsAndFailures) {
  LoggedIn l;
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/8/rune-book/select-page/1"),
            "403 Attempted to modify another summoner's rune book.");
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/select-page/4"),
            "409 Rune page does not exist.");
  l.h.backend.Fails("spellBookService.selectDefaultSpellBookPage", "busy");
  EXPECT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/select-page/3"),
            std::string("500 Failed to select current rune page for 7: ") + kInvokeError + "busy");
  // The selection stays in the cache; nothing is published.
  EXPECT_NE(l.Cached().find(R"({"current":true,"id":3,"name":"three")"), std::string::npos);
  EXPECT_TRUE(l.h.Published().empty());
}

TEST(VerificationCode, ReadsBackTheNameOfTheCurrentPageThatPutRenames) {
  LoggedIn l;
  const std::string code = "/kiv-collections/v1/inventories/7/verification";
  EXPECT_EQ(l.h.Call("GET", code), R"(0 "two")");
  ASSERT_EQ(l.h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/select-page/3").substr(0, 2), "0 ");
  EXPECT_EQ(l.h.Call("PUT", code, R"("ABC-123")"), R"(0 "")");
  EXPECT_EQ(l.h.Call("GET", code), R"(0 "ABC-123")");
  EXPECT_NE(l.Cached().find(R"({"current":true,"id":3,"name":"ABC-123")"), std::string::npos);
  EXPECT_EQ(l.h.backend.ArgumentsOf("spellBookService.saveSpellBook").size(), 1u);
}

TEST(VerificationCode, ABookWithoutACurrentPageGetsItsFirstPageRenamedAndCurrent) {
  CollectionsHarness h;
  h.backend.Accepts("spellBookService.saveSpellBook");
  h.LogIn(7);
  // A page edit that clears the only current page leaves none current.
  h.LoginData(
      R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"a","current":true},{"pageId":2,"name":"b"}]})",
      R"({"summonerId":7})");
  ASSERT_EQ(h.Call("PUT", "/kiv-collections/v1/inventories/7/rune-book/pages/1", R"({"id":1,"name":"a"})")
                .substr(0, 2),
            "0 ");
  EXPECT_EQ(h.Call("PUT", "/kiv-collections/v1/inventories/7/verification", R"("XYZ")"), R"(0 "")");
  EXPECT_EQ(
      h.Call("GET", kBook),
      R"(0 {"pages":[{"current":true,"id":1,"name":"XYZ","runes":[]},{"current":false,"id":2,"name":"b","runes":[]}],)"
      R"("summonerId":7})");
}

TEST(VerificationCode, AFailedSaveAnswersFailedToSaveAndKeepsTheName) {
  LoggedIn l;
  l.h.backend.Fails("spellBookService.saveSpellBook", "read only");
  const kiv::host::Response answer =
      l.h.Send("PUT", "/kiv-collections/v1/inventories/7/verification", R"("NEW")");
  ASSERT_TRUE(answer.error.has_value());
  EXPECT_EQ(*answer.error, "Failed to save");
  EXPECT_EQ(answer.status, 0u);  // no status of its own
  EXPECT_NE(l.Cached().find(R"("name":"NEW")"), std::string::npos);
}

TEST(VerificationCode, NobodyButTheLoggedInSummonerReadsOrRenames) {
  LoggedIn l;
  EXPECT_EQ(l.h.Call("GET", "/kiv-collections/v1/inventories/8/verification"), R"(0 "")");
  const kiv::host::Response answer =
      l.h.Send("PUT", "/kiv-collections/v1/inventories/8/verification", R"("NOT MINE")");
  ASSERT_TRUE(answer.error.has_value());
  EXPECT_EQ(*answer.error, "Failed to save");
  EXPECT_EQ(l.Cached().find("NOT MINE"), std::string::npos);
  EXPECT_TRUE(l.h.backend.calls().empty());
}

}  // namespace
