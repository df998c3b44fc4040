// Ward skins through the request callback: the cache's order, readers
// sharing one slow read, and an unload while they wait. Refusals and the
// merge of the catalogue with the owned ids: tests/sessions (books_walk,
// edges_walk).
#include "collections/ward_skins.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_fixture.h"
#include "collections/ward_skin_cache.h"

namespace {

using kiv::test::CollectionsFixture;
using Quarn::Client::Collections::WardSkinCache;

constexpr const char* kCatalogue = "/kiv-game-data/assets/v1/ward-skins.json";
constexpr const char* kSelectable = "wardSkins.requestSelectableWardSkins";
constexpr const char* kSkins7 = "/kiv-collections/v1/inventories/7/ward-skins";

std::string Catalogue(const std::vector<int64_t>& ids) {
  std::string list;
  for (const int64_t id : ids) {
    list += (list.empty() ? "" : ",") + std::string(R"({"id":)") + std::to_string(id) + R"(,"name":"s)" +
            std::to_string(id) + R"(","description":"","wardImagePath":"","wardShadowImagePath":""})";
  }
  return "[" + list + "]";
}

// "id:owned" per skin of a ward-skin list answer (after its status).
std::string Ownership(const std::string& answer) {
  const Quarn::BindingResult parsed = Quarn::FromJson(answer.substr(answer.find(' ') + 1));
  if (!parsed.value.IsCollection()) return answer;
  std::string text;
  for (const Quarn::BindingProperty& skin : parsed.value.Elements()) {
    text += (text.empty() ? "" : ",") + std::to_string(Quarn::ReadSigned(skin.Member("id"), 0)) + ":" +
            (skin.Member("ownership").Member("owned").GetBool() ? "owned" : "-");
  }
  return text;
}

TEST(WardSkinCache, KeepsInsertionOrderAndReplacesInPlace) {
  const auto skin = [](int64_t id, const char* name) {
    Quarn::Client::Collections::Api::CollectionsWardSkin made;
    made.id = id;
    made.name = name;
    return made;
  };
  WardSkinCache cache;
  for (const int64_t id : {5, 3, 9}) cache.Put(skin(id, ""));
  cache.Put(skin(3, "replaced"));
  cache.Reserve(100);  // rehashing keeps the order
  std::vector<int64_t> order;
  for (const auto& skin : cache.entries()) order.push_back(skin.id);
  EXPECT_EQ(order, (std::vector<int64_t>{5, 3, 9}));
  ASSERT_NE(cache.Find(3), nullptr);
  EXPECT_EQ(cache.Find(3)->name, "replaced");
}

// The Create-then-Update publication, a granted skin's list and single
// publication, and another summoner's list after a relogin are replayed by
// tests/sessions/readme_walk.jsonl.

TEST(WardSkinRoutes, ReadersDuringASlowReadShareItsAnswerOrItsFailure) {
  // The login starts the read; three clients ask while it is unanswered.
  for (const bool answered : {true, false}) {
    CollectionsFixture f;
    f.host.AnswerJson("GET", kCatalogue, Catalogue({1, 2}));
    if (answered) {
      f.backend.Answers(kSelectable, "[2]");
    } else {
      f.backend.Fails(kSelectable, "backend down");
    }
    f.backend.SetStepsToAnswer(6);
    f.host.DeliverJson(kiv::test::kSessionEvent, R"({"uri":"/kiv-login/v1/session","eventType":"Update","data":)" +
                                                     CollectionsFixture::SessionJson("SUCCEEDED", 7, 1007, true) + "}");
    const std::vector<std::string> answers = f.Concurrently({kSkins7, kSkins7, kSkins7});
    std::vector<std::string> owned;
    for (const std::string& answer : answers) owned.push_back(Ownership(answer));
    const std::string expected =
        answered ? "1:-,2:owned" : "500 Failed to request selectable ward skins: backend down";
    EXPECT_EQ(owned, std::vector<std::string>(3, expected)) << answered;
    EXPECT_EQ(f.backend.CountOf(kSelectable), 1) << answered;
  }
}

TEST(WardSkinRoutes, UnloadDuringTheReadAnswersEveryWaitingReader) {
  CollectionsFixture f;
  f.host.AnswerJson("GET", kCatalogue, Catalogue({1}));
  f.backend.Fails(kSelectable, "busy");
  f.LogIn(7);  // the login's read fails: the cache stays empty
  f.backend.Answers(kSelectable, "[1]");
  f.backend.SetStepsToAnswer(50);
  std::vector<std::string> answers;
  for (int i = 0; i < 2; ++i) {
    f.host.Post([&f, &answers] { answers.push_back(CollectionsFixture::Text(f.host.Send("GET", kSkins7))); });
  }
  f.host.Post([&f] { f.Unload(); });
  f.host.RunUntilIdle();
  EXPECT_EQ(answers, std::vector<std::string>(2, "500 Failed to request selectable ward skins: Finalizing"));
}

}  // namespace
