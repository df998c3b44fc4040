// Ward skins: refusals, the merge of the catalogue with the selectable ids,
// the cache (one read per summoner, none kept after a failure), the
// Create-then-Update publication and the grant of one skin.
#include "collections/ward_skins.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/second_half_fixture.h"
#include "collections/ward_skin_cache.h"

namespace {

using kiv::test::SecondHalf;
using Quarn::Client::Collections::WardSkinBucketCount;
using Quarn::Client::Collections::WardSkinCache;

constexpr const char* kCatalogue = "/kiv-game-data/assets/v1/ward-skins.json";
constexpr const char* kSelectable = "wardSkins.requestSelectableWardSkins";

std::string Skin(int64_t id, const std::string& name) {
  return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name +
         R"(","description":"","wardImagePath":"/w/)" + name + R"(.png","wardShadowImagePath":""})";
}

// "id:owned" per skin of a ward-skin list answer.
std::string Ownership(const std::string& answer) {
  const Quarn::BindingResult parsed = Quarn::FromJson(answer.substr(answer.find(' ') + 1));
  std::string text;
  for (const Quarn::BindingProperty& skin : parsed.value.Elements()) {
    if (!text.empty()) text += ",";
    text += std::to_string(Quarn::ReadSigned(skin.Member("id"), 0)) + ":" +
            (skin.Member("ownership").Member("owned").GetBool() ? "owned" : "-");
  }
  return text;
}

TEST(WardSkinCache, SizesForACatalogueAndKeepsInsertionOrder) {
  const struct {
    size_t entries;
    size_t buckets;
  } sizes[] = {{0, 8}, {1, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 32}, {1000, 1024}};
  for (const auto& c : sizes) EXPECT_EQ(WardSkinBucketCount(c.entries), c.buckets) << c.entries;

  WardSkinCache cache;
  for (const int64_t id : {5, 3, 9}) {
    Quarn::Client::Collections::Api::CollectionsWardSkin skin;
    skin.id = id;
    cache.Put(skin);
  }
  Quarn::Client::Collections::Api::CollectionsWardSkin again;
  again.id = 3;
  again.name = "replaced";
  cache.Put(again);
  cache.Reserve(100);
  std::vector<int64_t> order;
  for (const auto& skin : cache.entries()) order.push_back(skin.id);
  EXPECT_EQ(order, (std::vector<int64_t>{5, 3, 9}));
  ASSERT_NE(cache.Find(3), nullptr);
  EXPECT_EQ(cache.Find(3)->name, "replaced");
  EXPECT_GE(cache.bucket_count(), 128u);
}

TEST(WardSkinRoutes, RefusalsCarryTheirStatusAndText) {
  const struct {
    bool log_in;
    bool backend_up;
    bool catalogue_up;
    const char* path;
    const char* expected;
  } cases[] = {
      {false, true, true, "/kiv-collections/v1/inventories/7/ward-skins",
       "403 Data can only be retrieved by a logged-in summoner."},
      {true, true, true, "/kiv-collections/v1/inventories/0/ward-skins", "403 Invalid summoner id."},
      {true, true, true, "/kiv-collections/v1/inventories/8/ward-skins/1",
       "403 Data can only be retrieved for the logged-in summoner."},
      {true, false, true, "/kiv-collections/v1/inventories/7/ward-skins",
       "500 Failed to request selectable ward skins: no skins today"},
      {true, true, false, "/kiv-collections/v1/inventories/7/ward-skins",
       "500 Error requesting ward skin data: Error response for GET "
       "/kiv-game-data/assets/v1/ward-skins.json: "
       "catalogue gone"},
      {true, false, true, "/kiv-collections/v1/inventories/7/ward-skins/1",
       "500 Failed to request selectable ward skins: no skins today"},
      {true, true, true, "/kiv-collections/v1/inventories/7/ward-skins/99",
       "404 No available ward skin with id 99"},
  };
  for (const auto& c : cases) {
    SecondHalf s;
    if (c.backend_up) {
      s.proxy.Returns(kSelectable, "[1]");
    } else {
      s.proxy.Fails(kSelectable, "no skins today");
    }
    if (c.catalogue_up) {
      s.harness.host.AnswerJson("GET", kCatalogue, "[" + Skin(1, "a") + "]");
    } else {
      s.harness.host.AnswerError("GET", kCatalogue, "catalogue gone", 503);
    }
    if (c.log_in) s.harness.LogIn(7);
    EXPECT_EQ(s.Get(c.path), c.expected) << c.path;
  }
}

TEST(WardSkinRoutes, OwnershipFollowsTheSelectableIdsInCatalogueOrder) {
  SecondHalf s;
  const int64_t big = (int64_t{1} << 40) + 4;  // same low 32 bits as 4
  s.harness.host.AnswerJson(
      "GET", kCatalogue,
      "[" + Skin(30, "a") + "," + Skin(4, "b") + "," + Skin(big, "c") + "," + Skin(12, "d") + "]");
  // 999 is not in the catalogue and is ignored.
  s.proxy.Returns(kSelectable, "[12,4,999]");
  s.harness.LogIn(7);
  s.ClearRecords();

  const std::string list = s.Get("/kiv-collections/v1/inventories/7/ward-skins");
  EXPECT_EQ(Ownership(list), "30:-,4:owned," + std::to_string(big) + ":-,12:owned") << list;
  EXPECT_EQ(s.Get("/kiv-collections/v1/inventories/7/ward-skins"), list);
  const std::string one = s.Get("/kiv-collections/v1/inventories/7/ward-skins/12");
  EXPECT_NE(one.find(R"("name":"d")"), std::string::npos) << one;
  EXPECT_TRUE(s.proxy.calls().empty()) << "filled at login, answered from the cache since";
  EXPECT_TRUE(s.harness.host.RequestsTo(kCatalogue).empty());
}

TEST(WardSkinRoutes, AFailedReadIsNotKept) {
  SecondHalf s;
  s.harness.host.AnswerJson("GET", kCatalogue, "[" + Skin(1, "a") + "]");
  s.proxy.Fails(kSelectable, "busy");
  s.harness.LogIn(7);
  EXPECT_TRUE(s.Logged(2, "Failed to retrieve ward skins: Failed to request selectable ward skins: busy"));
  EXPECT_TRUE(s.PublishedAt("/kiv-collections/v1/inventories/7/ward-skins").empty());

  s.proxy.Returns(kSelectable, "[1]");
  EXPECT_EQ(Ownership(s.Get("/kiv-collections/v1/inventories/7/ward-skins")), "1:owned");
}

TEST(WardSkinRefresh, PublishesCreateFirstThenUpdatesAndTheGrantedSkin) {
  SecondHalf s;
  s.harness.host.AnswerJson("GET", kCatalogue, "[" + Skin(1, "a") + "," + Skin(2, "b") + "]");
  s.proxy.Returns(kSelectable, "[1]");
  s.harness.LogIn(7);
  std::vector<std::string> list = s.PublishedAt("/kiv-collections/v1/inventories/7/ward-skins");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].substr(0, 7), "Create ");

  // The store grants skin 2: the list is read again and republished.
  s.proxy.Returns(kSelectable, "[1,2]");
  s.Push(kiv::test::kFulfillmentClass,
         R"({"inventoryType":"WARD_SKIN","data":{"inventoryType":"WARD_SKIN","itemId":2}})");
  list = s.PublishedAt("/kiv-collections/v1/inventories/7/ward-skins");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].substr(0, 7), "Update ");
  EXPECT_EQ(Ownership(list[1]), "1:owned,2:owned");
  const std::vector<std::string> single = s.PublishedAt("/kiv-collections/v1/inventories/7/ward-skins/2");
  ASSERT_EQ(single.size(), 1u);
  EXPECT_NE(single[0].find(R"("owned":true)"), std::string::npos) << single[0];
  EXPECT_NE(single[0].find(R"("id":2)"), std::string::npos) << single[0];
}

TEST(WardSkinRoutes, ASecondSummonerNeverSeesTheFirstOnesOwnership) {
  SecondHalf s;
  s.harness.host.AnswerJson("GET", kCatalogue, "[" + Skin(1, "a") + "," + Skin(2, "b") + "]");
  s.proxy.Returns(kSelectable, "[1]");
  s.harness.LogIn(7);
  EXPECT_EQ(Ownership(s.Get("/kiv-collections/v1/inventories/7/ward-skins")), "1:owned,2:-");

  s.harness.LogOut();
  s.proxy.Returns(kSelectable, "[2]");
  s.harness.LogIn(8);
  EXPECT_EQ(Ownership(s.Get("/kiv-collections/v1/inventories/8/ward-skins")), "1:-,2:owned");
  EXPECT_EQ(s.Get("/kiv-collections/v1/inventories/7/ward-skins"),
            "403 Data can only be retrieved for the logged-in summoner.");
  const std::vector<std::string> published = s.PublishedAt("/kiv-collections/v1/inventories/8/ward-skins");
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0].substr(0, 7), "Update ")
      << "only the first publication in the service's life is a Create";
}

TEST(WardSkinRoutes, ReadersDuringASlowReadShareItsAnswer) {
  // Logging in starts the read; three clients ask while it is unanswered.
  for (const bool answered : {true, false}) {
    SecondHalf s;
    s.harness.host.AnswerJson("GET", kCatalogue, "[" + Skin(1, "a") + "," + Skin(2, "b") + "]");
    if (answered) {
      s.proxy.Returns(kSelectable, "[2]");
    } else {
      s.proxy.Fails(kSelectable, "backend down");
    }
    s.proxy.SetStepsToAnswer(6);
    s.harness.host.DeliverJson(
        kiv::test::kSessionEvent,
        R"({"uri":"/kiv-login/v1/session","eventType":"Update","data":{"state":"SUCCEEDED","summonerId":7,)"
        R"("accountId":1007,"connected":true}})");
    std::vector<std::string> answers;
    for (int i = 0; i < 3; ++i) {
      s.harness.host.Post([&s, &answers] {
        const kiv::host::Response r = s.harness.host.Send("GET", "/kiv-collections/v1/inventories/7/ward-skins");
        answers.push_back(r.error ? std::to_string(r.status) + " " + *r.error : Ownership("0 " + r.body.ToJson()));
      });
    }
    s.harness.host.RunUntilIdle();
    const std::string expected =
        answered ? "1:-,2:owned" : "500 Failed to request selectable ward skins: backend down";
    EXPECT_EQ(answers, std::vector<std::string>(3, expected)) << answered;
    EXPECT_EQ(s.proxy.CountOf(kSelectable), 1) << answered;
  }
}

}  // namespace
