// Session tracking through the fake host: the login and logout
// transitions, login data that comes early or late, and what the cache
// check after a reconnect logs. Caches tied to their summoner, writes after
// logout, the packet's books and the reconnect's reads are replayed by
// tests/sessions (books_walk, edges_walk).
#include "collections/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_fixture.h"

namespace {

using kiv::test::CollectionsFixture;
using kiv::test::kMasteryBookClass;
using kiv::test::kRuneInventoryClass;
using kiv::test::kSpellBookClass;

// Summoner 7's books.
std::string SpellBook(const std::string& page_name) {
  return R"({"summonerId":7,"bookPages":[{"pageId":1,"name":")" + page_name +
         R"(","current":true,"slotEntries":[]},{"pageId":2,"name":"b"}]})";
}
constexpr const char* kMasteryBook = R"({"summonerId":7,"bookPages":[{"pageId":4,"name":"m","current":true,)"
                                     R"("talentEntries":[{"talentId":4111,"rank":2}]}]})";

// The backend answers every read for summoner 7.
void AnswerReads(CollectionsFixture& h) {
  h.backend.Returns("spellBookService.getSpellBook", kSpellBookClass, SpellBook("backend"));
  h.backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass, kMasteryBook);
  h.backend.Returns("summonerRuneService.getSummonerRuneInventory", kRuneInventoryClass,
                    R"({"summonerId":7,"summonerRunes":[{"runeId":3,"quantity":2}]})");
}

TEST(SessionTracking, SubscribesToTheLoginPluginsResourcesFirst) {
  CollectionsFixture h;
  std::vector<std::string> subscriptions;
  for (const std::string& call : h.host.CallSummaries()) {
    if (call.rfind("subscribe OnJsonApiEvent", 0) == 0) subscriptions.push_back(call);
  }
  ASSERT_GE(subscriptions.size(), 2u);
  EXPECT_EQ(subscriptions[0], "subscribe OnJsonApiEvent_kiv-login_v1_session");
  EXPECT_EQ(subscriptions[1], "subscribe OnJsonApiEvent_kiv-login_v1_login-data-packet");
}

TEST(SessionTracking, OnlyASucceededSessionWithBothIdsLogsIn) {
  // The states that never succeed: tests/sessions/edges_walk.jsonl.
  const struct {
    uint64_t summoner, account;
    bool logs_in;
  } cases[] = {{7, 70, true}, {7, 0, false}, {0, 70, false}};
  for (const auto& c : cases) {
    CollectionsFixture h;
    AnswerReads(h);
    h.Session("Update", "SUCCEEDED", c.summoner, c.account, true);
    SCOPED_TRACE(std::to_string(c.summoner) + " " + std::to_string(c.account));
    EXPECT_EQ(h.service->session().current_summoner, c.logs_in ? 7u : 0u);
    // Logging in loads the rune quantities and publishes them; nothing else.
    EXPECT_EQ(h.backend.invoked().size(), c.logs_in ? 1u : 0u);
    EXPECT_EQ(h.PublishedUris().size(), c.logs_in ? 1u : 0u);
  }
}

TEST(SessionTracking, RepeatedUpdatesOfOneSessionLoadOnceAndKeepItsSummoner) {
  CollectionsFixture h;
  AnswerReads(h);
  h.LogIn(7);
  h.LogIn(7);
  h.Session("Create", "SUCCEEDED", 7, 1007, true);
  h.Session("Update", "SUCCEEDED", 8, 1008, true);  // no logout in between: still 7
  EXPECT_EQ(h.service->session().current_summoner, 7u);
  EXPECT_EQ(h.backend.invoked(), std::vector<std::string>{"summonerRuneService.getSummonerRuneInventory [7]"});
  EXPECT_EQ(h.PublishedAt("/kiv-collections/v1/inventories/7/runes"),
            std::vector<std::string>{R"(Update {"runeQuantities":[{"quantity":2,"runeId":3}],"summonerId":7})"});
  EXPECT_EQ(h.PublishedUris().size(), 1u);
}

TEST(SessionTracking, LoginDataBeforeTheSessionBelongsToTheBooksSummoner) {
  CollectionsFixture h;
  AnswerReads(h);
  h.LoginData(SpellBook("early"), kMasteryBook);
  // Nobody is logged in yet: published with 0 in place of the summoner.
  EXPECT_EQ(h.PublishedUris(), (std::vector<std::string>{"/kiv-collections/v1/inventories/0/rune-book",
                                                         "/kiv-collections/v1/inventories/0/mastery-book"}));

  h.LogIn(7);
  h.ClearRecords();
  EXPECT_EQ(h.Get("/kiv-collections/v1/inventories/7/verification"), R"(0 "early")");
  EXPECT_NE(h.Get("/kiv-collections/v1/inventories/7/rune-book").find("early"), std::string::npos);
  EXPECT_TRUE(h.backend.ArgumentsOf("spellBookService.getSpellBook").empty());
}

TEST(SessionTracking, APacketOlderThanASaveMadeDuringTheLoginLeavesTheSavedBook) {
  // The packet is the book when the login began; a request served before it
  // arrived saved a newer one, which the next save must not undo.
  const struct {
    const char* method;
    const char* path;
    const char* body;
    const char* book;
  } edits[] = {
      {"PUT", "/kiv-collections/v1/inventories/7/rune-book/pages/2", R"({"id":2,"name":"saved"})",
       "/kiv-collections/v1/inventories/7/rune-book"},
      {"PUT", "/kiv-collections/v1/inventories/7/mastery-book/pages", R"({"id":0,"name":"saved"})",
       "/kiv-collections/v1/inventories/7/mastery-book"},
  };
  for (const auto& edit : edits) {
    CollectionsFixture h;
    AnswerReads(h);
    h.backend.Accepts("spellBookService.saveSpellBook");
    h.backend.Accepts("masteryBookService.saveMasteryBook");
    h.LogIn(7);
    h.LoginData(SpellBook("a"), kMasteryBook);
    h.LogOut();
    h.LogIn(7);
    ASSERT_EQ(h.Call(edit.method, edit.path, edit.body).substr(0, 2), "0 ") << edit.path;
    h.LoginData(SpellBook("a"), kMasteryBook);
    const std::vector<std::string> published = h.PublishedAt(edit.book);
    ASSERT_FALSE(published.empty());
    EXPECT_NE(published.back().find(R"("name":"saved")"), std::string::npos) << published.back();
    // Only that packet: the next one is taken as it comes.
    h.LoginData(SpellBook("later"), kMasteryBook);
    EXPECT_EQ(h.PublishedAt(edit.book).back().find(R"("name":"saved")"), std::string::npos) << edit.path;
  }
}

TEST(SessionTracking, ReconnectLogsWhatItCouldNotLoad) {
  CollectionsFixture h;
  h.backend.Fails("spellBookService.getSpellBook", "spell books down");
  h.backend.Fails("masteryBookService.getMasteryBook", "mastery down");
  h.backend.Fails("summonerRuneService.getSummonerRuneInventory", "runes down");
  h.LogIn(7, /*connected=*/false);
  h.LogIn(7, /*connected=*/true);
  EXPECT_TRUE(h.Logged(Quarn::kLogAlways, "Checking collections caches after reconnect."));
  const std::string invoke = kiv::test::kInvokeError;
  for (const std::string& line :
       {"Failed to retrieve rune quantities: Error requesting summoner rune inventory for 7: " + invoke + "runes down",
        "Failed to retrieve rune book: Error requesting rune book for 7: " + invoke + "spell books down",
        "Failed to retrieve mastery book: Error requesting mastery book for 7: " + invoke + "mastery down"}) {
    EXPECT_TRUE(h.Logged(Quarn::kLogError, line)) << line;
  }
  EXPECT_TRUE(h.PublishedUris().empty());
}

}  // namespace
