// The rune book and the verification code through the request callback:
// reads with and without the cache, the whole-book rules, page edits and
// selection, what each saves and publishes, and edits of a cache the
// login never filled.
#include "collections/rune_book.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::CollectionsFixture;
using kiv::test::kSpellBookClass;

constexpr const char* kBook = "/kiv-collections/v1/inventories/7/rune-book";
constexpr const char* kPage = "/kiv-collections/v1/inventories/7/rune-book/pages/";
constexpr const char* kSelect = "/kiv-collections/v1/inventories/7/rune-book/select-page/";
constexpr const char* kCode = "/kiv-collections/v1/inventories/7/verification";
constexpr const char* kForeign = "403 Attempted to modify another summoner's rune book.";

// Summoner 7 logged in, with a three-page book in the cache (page 2 current).
struct LoggedIn : CollectionsFixture {
  LoggedIn() {
    backend.Accepts("spellBookService.saveSpellBook");
    backend.Accepts("spellBookService.selectDefaultSpellBookPage");
    LogInWithBooks(R"({"summonerId":7,"bookPages":[)"
                   R"({"pageId":1,"name":"one","slotEntries":[{"runeId":5001,"runeSlotId":1}]},)"
                   R"({"pageId":2,"name":"two","current":true},{"pageId":3,"name":"three"}]})",
                   R"({"summonerId":7})");
  }
  std::string Cached() { return Get(kBook); }
  size_t Publications() const { return PublishedAt(kBook).size(); }
};

TEST(RuneBookRead, TheLoggedInSummonersBookIsCachedOthersAreReadEveryTime) {
  LoggedIn f;
  f.backend.Returns("spellBookService.getSpellBook", kSpellBookClass,
                    R"({"summonerId":8,"bookPages":[{"pageId":9,"name":"x"}]})");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/8/rune-book"),
              R"(0 {"pages":[{"current":false,"id":9,"name":"x","runes":[]}],"summonerId":8})");
    EXPECT_NE(f.Cached().find(R"("name":"two")"), std::string::npos);
  }
  EXPECT_EQ(f.backend.ArgumentsOf("spellBookService.getSpellBook"), (std::vector<std::string>{"[8]", "[8]"}));
  EXPECT_EQ(f.Publications(), 0u);
}

TEST(RuneBookWrite, BooksBreakingThePageRulesAreRefused) {
  const char* const books[] = {
      R"({"pages":[{"id":1,"current":true},{"id":2,"current":true},{"id":3}]})",
      R"({"pages":[{"id":1},{"id":2},{"id":3}]})",
      R"({"pages":[{"id":1,"current":true},{"id":1},{"id":3}]})",
      R"({"pages":[{"id":1,"current":true},{"id":2}]})",
      R"({"pages":[{"id":1,"current":true},{"id":2},{"id":3},{"id":4}]})",
      R"({"pages":[{"id":0,"current":true},{"id":2},{"id":3}]})",
      "{}",
  };
  for (const char* book : books) {
    LoggedIn f;
    EXPECT_EQ(f.Call("PUT", kBook, book),
              "409 Rune pages cannot be created or deleted, and there must be only one current page.")
        << book;
    EXPECT_TRUE(f.backend.calls().empty()) << book;
  }
  LoggedIn f;
  EXPECT_EQ(f.Call("PUT", "/kiv-collections/v1/inventories/8/rune-book", books[0]), kForeign);
}

TEST(RuneBookWrite, SavesCachesAndPublishesForThePathsSummonerWhateverTheBodyNames) {
  for (const char* summoner : {R"("summonerId":0,)", R"("summonerId":99,)", ""}) {
    LoggedIn f;
    const std::string body = std::string("{") + summoner +
                             R"("pages":[{"id":11,"name":"p","runes":[{"runeId":5002,"runeSlotId":4}]},)"
                             R"({"id":12,"name":"q","current":true},{"id":13,"name":"r"}]})";
    const std::string book =
        R"({"pages":[{"current":false,"id":11,"name":"p","runes":[{"runeId":5002,"runeSlotId":4}]},)"
        R"({"current":true,"id":12,"name":"q","runes":[]},{"current":false,"id":13,"name":"r","runes":[]}],)"
        R"("summonerId":7})";
    EXPECT_EQ(f.Call("PUT", kBook, body), "0 " + book) << body;
    EXPECT_EQ(f.PublishedAt(kBook), std::vector<std::string>{"Update " + book}) << body;
    EXPECT_EQ(f.Cached(), "0 " + book) << body;
    const std::vector<std::string> saves = f.backend.ArgumentsOf("spellBookService.saveSpellBook");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_NE(saves[0].find(R"("createDate":1714555800000,"current":true,"name":"q","pageId":12,)"
                            R"("slotEntries":[],"summonerId":7})"),
              std::string::npos)
        << saves[0];
    EXPECT_NE(saves[0].find(R"("dateString":"2024-05-01T09:30:00Z","summonerId":7})"), std::string::npos);
  }
}

TEST(RunePageWrite, ReplacesOnePageAndSavesTheBookWithoutPublishing) {
  LoggedIn f;
  const std::string page = R"({"current":true,"id":3,"name":"renamed","runes":[{"runeId":5003,"runeSlotId":2}]})";
  EXPECT_EQ(f.Call("PUT", std::string(kPage) + "3", page), "0 " + page);
  EXPECT_EQ(f.Cached(), R"(0 {"pages":[{"current":false,"id":1,"name":"one","runes":[{"runeId":5001,"runeSlotId":1}]},)"
                        R"({"current":false,"id":2,"name":"two","runes":[]},)" +
                            page + R"(],"summonerId":7})");
  EXPECT_EQ(f.backend.CountOf("spellBookService.saveSpellBook"), 1);
  EXPECT_EQ(f.Publications(), 0u);
  // Sent not current, the page keeps the current page id where it was.
  ASSERT_EQ(f.Call("PUT", std::string(kPage) + "3", R"({"id":3,"name":"off"})").substr(0, 2), "0 ");
  EXPECT_EQ(f.service->rune_book().cache().current_page_id, 3u);
}

TEST(RunePageWrite, RefusalsCallNoBackend) {
  const struct {
    const char* path;
    const char* body;
    const char* answer;
  } refused[] = {
      {"/kiv-collections/v1/inventories/8/rune-book/pages/1", R"({"id":1})", kForeign},
      {"/kiv-collections/v1/inventories/7/rune-book/pages/7", R"({"id":8})",
       "400 PUT id 7 does not match rune page id 8."},
      {"/kiv-collections/v1/inventories/7/rune-book/pages/9", R"({"id":9})", "409 Rune pages cannot be created."},
  };
  LoggedIn f;
  for (const auto& c : refused) EXPECT_EQ(f.Call("PUT", c.path, c.body), c.answer) << c.path;
  EXPECT_TRUE(f.backend.calls().empty());
}

TEST(RuneBookWrite, AFailedEditIsUndoneSoNoLaterSaveCarriesIt) {
  const struct {
    const char* method;  // of "spellBookService" that fails
    std::string path;
    const char* body;
    const char* answer;
    const char* phantom;  // must not reach a later save
  } edits[] = {
      {"saveSpellBook", kBook, R"({"pages":[{"id":1,"name":"PHANTOM","current":true},{"id":2},{"id":3}]})",
       "500 Failed to save rune book for 7: Error response for POST /kiv-login/v1/session/invoke: read only",
       "PHANTOM"},
      {"saveSpellBook", std::string(kPage) + "1", R"({"id":1,"name":"PHANTOM","current":true})",
       "500 Failed to save rune book for 7: ", "PHANTOM"},
      {"selectDefaultSpellBookPage", std::string(kSelect) + "3", "",
       "500 Failed to select current rune page for 7: ", R"("current":true,"name":"three")"},
      {"saveSpellBook", kCode, R"("PHANTOM")", "0 Failed to save", "PHANTOM"},
  };
  for (const auto& edit : edits) {
    LoggedIn f;
    const std::string before = f.Cached();
    f.backend.Fails(std::string("spellBookService.") + edit.method, "read only");
    EXPECT_EQ(f.Call("PUT", edit.path, edit.body).rfind(edit.answer, 0), 0u) << edit.path;
    EXPECT_EQ(f.Cached(), before) << edit.path;
    f.backend.Accepts(std::string("spellBookService.") + edit.method);
    ASSERT_EQ(f.Call("PUT", std::string(kPage) + "2", R"({"id":2,"name":"later","current":true})").substr(0, 2), "0 ");
    const std::vector<std::string> saves = f.backend.ArgumentsOf("spellBookService.saveSpellBook");
    ASSERT_FALSE(saves.empty());
    EXPECT_EQ(saves.back().find(edit.phantom), std::string::npos) << edit.path << " " << saves.back();
    EXPECT_EQ(f.Publications(), 0u) << edit.path;
  }
}

// The selection's call and the refusals of unknown and foreign pages are
// recorded in tests/sessions/readme_walk.jsonl.
TEST(RunePageSelect, TellsTheBackendAndPublishesEvenForTheCurrentPage) {
  LoggedIn f;
  EXPECT_EQ(f.Call("PUT", std::string(kSelect) + "1"),
            R"(0 {"current":true,"id":1,"name":"one","runes":[{"runeId":5001,"runeSlotId":1}]})");
  const std::vector<std::string> published = f.PublishedAt(kBook);
  ASSERT_EQ(published.size(), 1u);
  EXPECT_NE(published[0].find(R"({"current":false,"id":2,"name":"two")"), std::string::npos) << published[0];
  EXPECT_EQ(f.Call("PUT", std::string(kSelect) + "1").substr(0, 2), "0 ");
  EXPECT_EQ(f.backend.CountOf("spellBookService.selectDefaultSpellBookPage"), 2);
  EXPECT_EQ(f.Publications(), 2u);
}

TEST(RuneBookWrite, EditsBeforeTheBookArrivedReadItFirst) {
  // The login's book never came: each edit reads the stored book instead of
  // refusing an empty cache or saving an empty book.
  const struct {
    std::string path;
    const char* body;
  } edits[] = {
      {kBook, R"({"pages":[{"id":1},{"id":2,"current":true}]})"},
      {std::string(kPage) + "2", R"({"id":2,"name":"renamed","current":true})"},
      {std::string(kSelect) + "2", ""},
      {kCode, R"("CODE")"},
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

TEST(VerificationCode, ReadsBackTheNameOfTheCurrentPageThatPutRenames) {
  LoggedIn f;
  EXPECT_EQ(f.Get(kCode), R"(0 "two")");
  ASSERT_EQ(f.Call("PUT", std::string(kSelect) + "3").substr(0, 2), "0 ");
  EXPECT_EQ(f.Call("PUT", kCode, R"("ABC-123")"), R"(0 "")");
  EXPECT_EQ(f.Get(kCode), R"(0 "ABC-123")");
  EXPECT_NE(f.Cached().find(R"({"current":true,"id":3,"name":"ABC-123")"), std::string::npos);
  EXPECT_EQ(f.backend.CountOf("spellBookService.saveSpellBook"), 1);
  // With no page current, the first page is renamed and made current.
  ASSERT_EQ(f.Call("PUT", std::string(kPage) + "3", R"({"id":3,"name":"x"})").substr(0, 2), "0 ");
  EXPECT_EQ(f.Call("PUT", kCode, R"("XYZ")"), R"(0 "")");
  EXPECT_EQ(f.Get(kCode), R"(0 "XYZ")");
  EXPECT_NE(f.Cached().find(R"({"current":true,"id":1,"name":"XYZ")"), std::string::npos);
}

TEST(VerificationCode, AFailedSaveOrAnotherSummonerAnswersFailedToSave) {
  LoggedIn f;
  EXPECT_EQ(f.Get("/kiv-collections/v1/inventories/8/verification"), R"(0 "")");
  EXPECT_EQ(f.Call("PUT", "/kiv-collections/v1/inventories/8/verification", R"("NOT MINE")"), "0 Failed to save");
  EXPECT_TRUE(f.backend.calls().empty());
  f.backend.Fails("spellBookService.saveSpellBook", "read only");
  const kiv::host::Response answer = f.Send("PUT", kCode, R"("NEW")");
  EXPECT_EQ(answer.error.value_or(""), "Failed to save");
  EXPECT_EQ(answer.status, 0u);  // no status of its own
  EXPECT_EQ(f.Cached().find("NOT MINE"), std::string::npos);
}

}  // namespace
