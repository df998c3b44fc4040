// The stand-ins on the tests' fake host: the backend's remote methods and
// service-proxy answers as a plug-in reaches them (typed arguments, later
// events), saves changing the world, faults and latency, and the events
// that the simulation publishes.
#include "host/standins/stand_ins.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/case_file.h"
#include "support/fake_host.h"
#include "tests/host/serve_fixture.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::Request;
using kiv::host::Response;
using kiv::host::StandIns;
using kiv::test::FakeHost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Stage {
  FakeHost host;
  StandIns stand_ins{host, kiv::test::SmallWorld()};
  std::vector<std::string> events;  // "name payload"

  Stage() {
    host.Listen("*", [this](std::string_view name, const HostValue& payload) {
      events.push_back(std::string(name) + " " + kiv::host::ToJson(payload));
    });
  }
  // A request as the plug-in sends it: unnamed typed arguments.
  Response Post(std::string path, std::vector<OwnedValue> arguments) {
    Request request;
    request.method = KIV_METHOD_POST;
    request.path = std::move(path);
    for (auto& a : arguments) request.arguments.emplace_back("", std::move(a));
    return host.Dispatch(std::move(request));
  }
  Response Invoke(std::string_view service, std::string_view method, std::vector<OwnedValue> arguments) {
    return Post("/kiv-login/v1/session/invoke",
                {OwnedValue::Text(service), OwnedValue::Text(method), OwnedValue::Array(arguments)});
  }
  // A service-proxy call of championMastery, answered by a later event.
  Response Mastery(std::string method, std::string payload) {
    return Post("/kiv-login/v1/service-proxy-uuid-requests",
                {OwnedValue::Text("championMastery"), OwnedValue::Text(method), OwnedValue::Unsigned(1),
                 OwnedValue::Text(payload)});
  }
  std::string Answer(const Response& r) {
    return r.ok() ? r.body.ToJson() : "error " + std::to_string(r.status) + " " + *r.error;
  }
};

OwnedValue Json(std::string_view text) { return FakeHost::Json(text); }

// The calls of exchanges/stand_ins_backend.txt.
TEST(StandIns, InvokeAndServiceProxyAnswerTheBackendsDtosAndRefuseWhatItWouldRefuse) {
  Stage s;
  // The fault fails the first call only.
  s.stand_ins.backend().AddFault({"championMastery.getAllChampionMasteries", 503, "mastery is resting", 1});
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/host/exchanges/stand_ins_backend.txt")) {
    SCOPED_TRACE(c.where);
    std::string answer;
    if (c.kind() == "invoke") {
      const size_t dot = c.input().find('.');
      answer = s.Answer(s.Post("/kiv-login/v1/session/invoke", {OwnedValue::Text(c.input().substr(0, dot)),
                                                                OwnedValue::Text(c.input().substr(dot + 1)),
                                                                Json(c.Get("arguments").value_or("[]"))}));
    } else {
      s.events.clear();
      s.Mastery(c.input(), c.Get("payload").value_or(""));
      s.host.Step();
      ASSERT_EQ(s.events.size(), 1u);
      answer = s.events[0];
    }
    const std::string part = c.Get("has").value_or("");
    EXPECT_TRUE(part.empty() ? answer == c.Get("->") : answer.find(part) != std::string::npos) << answer;
  }
  EXPECT_EQ(s.Answer(s.Post("/kiv-login/v1/session/invoke", {OwnedValue::Text("spellBookService")})),
            "error 400 invoke takes a destination, a method and an argument list as typed arguments, got 1 "
            "argument(s) of other kinds");
}

TEST(StandIns, SavesChangeTheWorld) {
  Stage s;
  const Response saved =
      s.Invoke("spellBookService", "saveSpellBook",
               {Json(R"({"__class":"com.quarngames.platform.summoner.spellbook.SpellBookDTO","summonerId":11,
                "dateString":"2024-05-01T09:30:00Z","bookPages":[
                {"__class":"com.quarngames.platform.summoner.spellbook.SpellBookPageDTO","summonerId":11,
                 "pageId":5,"name":"Renamed","current":false,"createDate":17,"slotEntries":[]},
                {"pageId":6,"name":"Two","current":true,"createDate":17,
                 "slotEntries":[{"runeId":5001,"runeSlotId":2,"__class":"x"}]}]})")});
  ASSERT_TRUE(saved.ok()) << *saved.error;
  EXPECT_EQ(saved.body.ToJson(), R"({"typeName":"","body":null})");
  const auto& pages = s.stand_ins.world().Find(11)->rune_pages;
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].name, "Renamed");
  EXPECT_TRUE(pages[1].current);
  EXPECT_EQ(pages[1].slot_entries[0].rune_slot_id, 2u);

  ASSERT_TRUE(s.Invoke("spellBookService", "selectDefaultSpellBookPage",
                       {Json(R"({"__class":"com.quarngames.platform.summoner.spellbook.SpellBookPageDTO",
                                 "summonerId":11,"pageId":5})")})
                  .ok());
  EXPECT_TRUE(pages[0].current);
  EXPECT_FALSE(pages[1].current);
  EXPECT_THAT(s.Answer(s.Invoke("spellBookService", "getSpellBook", {OwnedValue::Unsigned(11)})),
              HasSubstr(R"("pageId":5,"name":"Renamed","current":true)"));
}

TEST(StandIns, ServiceProxyAnswersArriveAsLaterEvents) {
  Stage s;
  const Response uuid = s.Mastery("getAllChampionMasteries", "11");
  ASSERT_TRUE(uuid.ok()) << *uuid.error;
  ASSERT_EQ(uuid.body.tag(), uint32_t{KIV_VALUE_TEXT});
  const std::string id = uuid.body.get().data.text;
  EXPECT_TRUE(s.events.empty());
  s.host.Step();
  ASSERT_EQ(s.events.size(), 1u);
  EXPECT_EQ(s.events[0],
            "OnServiceProxyUuidEvent {\"uuid\":\"" + id +
                R"(","serviceName":"championMastery","methodName":"getAllChampionMasteries","payload":")"
                R"([{\"playerId\":11,\"championId\":17,\"championLevel\":5,\"championPoints\":22000,)"
                R"(\"lastPlayTime\":0,\"championPointsSinceLastLevel\":0,\"championPointsUntilNextLevel\":0,)"
                R"(\"chestGranted\":false,\"highestGrade\":\"\"}]","status":"OK","error":""})");

  // With latency the answer waits for the clock; the method request comes
  // back under its reply method.
  s.stand_ins.SetServiceProxyLatency(0.5);
  const Response method =
      s.Post("/kiv-login/v1/service-proxy-method-requests",
             {OwnedValue::Text("wardSkins"), OwnedValue::Text("requestSelectableWardSkins"),
              OwnedValue::Text("receiveSelectableWardSkins"), OwnedValue::Text(""), OwnedValue::Unsigned(1),
              OwnedValue::Text("")});
  ASSERT_TRUE(method.ok()) << *method.error;
  s.host.Step();
  EXPECT_EQ(s.events.size(), 1u);
  s.host.AdvanceTime(0.5);
  s.host.Step();
  ASSERT_EQ(s.events.size(), 2u);
  EXPECT_EQ(s.events[1], R"(OnServiceProxyMethodEvent {"uuid":"","serviceName":"wardSkins","methodName":)"
                         R"("receiveSelectableWardSkins","payload":"[2]","status":"OK","error":""})");
}

TEST(StandIns, GrantsAndMasteryChangesPushTheBackendsMessages) {
  Stage s;
  ASSERT_TRUE(s.stand_ins.GrantItem({"SUMMONER_ICON", 41, 1, false, true}).ok());
  ASSERT_TRUE(s.stand_ins.GrantItem({"RUNE", 5001, 2, /*rental=*/true, true}).ok());
  kiv::host::WorldChampionMastery mastery;
  mastery.champion_id = 17;
  mastery.champion_level = 6;
  ASSERT_TRUE(s.stand_ins.SetChampionMastery(mastery).ok());
  ASSERT_TRUE(s.stand_ins.SetChestEligibility({1, 4, 99}).ok());
  s.host.Step();
  ASSERT_EQ(s.events.size(), 4u);
  EXPECT_EQ(
      s.events[0],
      "OnTrovEvent_com_quarngames_platform_messaging_StoreFulfillmentNotification "
      R"({"clientId":"kiv-dev-host","subtopic":"","typeName":"com.quarngames.platform.messaging.)"
      R"(StoreFulfillmentNotification","body":{"__class":"com.quarngames.platform.messaging.)"
      R"(StoreFulfillmentNotification","inventoryType":"SUMMONER_ICON","data":{"__class":)"
      R"("com.quarngames.platform.catalog.content.ContentItemIdentifier","inventoryType":"SUMMONER_ICON",)"
      R"("itemId":41}}})");
  EXPECT_THAT(s.events[1],
              HasSubstr("OnTrovEvent_com_quarngames_platform_messaging_RentalUpdateNotification "));
  EXPECT_THAT(s.events[2], HasSubstr(R"("type":"championMastery","params":["{\"gameId\":)"));
  EXPECT_THAT(s.events[2], HasSubstr(R"(\"playerId\":11,\"championId\":17,\"championLevel\":6,)"));
  EXPECT_THAT(s.events[3], HasSubstr(R"("type":"championMasteryLootGrant","params":[]})"));
  const auto* player = s.stand_ins.world().Current();
  EXPECT_EQ(player->icons.back().icon_id, 41);
  EXPECT_EQ(player->runes[0].quantity, 11);
  EXPECT_EQ(player->champion_masteries[0].champion_level, 6);
  EXPECT_EQ(player->chest_eligibility.earnable_chests, 1u);
}

TEST(StandIns, NamesResourceAndPushEventsAsPluginsDo) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"/kiv-login/v1/session", "OnJsonApiEvent_kiv-login_v1_session"},
      {"/kiv-collections/v1/inventories/1/runes", "OnJsonApiEvent_kiv-collections_v1_inventories"},
      {"//kiv-acs//v2/recently-played-champions/current-summoner/",
       "OnJsonApiEvent_kiv-acs_v2_recently-played-champions"},
      {"/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled",
       "OnJsonApiEvent_kiv-platform-config_v1_namespaces_ChampionMasteryConfig_Enabled"},
      {"/", "OnJsonApiEvent"},
  };
  for (const auto& [uri, name] : cases) EXPECT_EQ(kiv::host::ResourceEventName(uri), name) << uri;
  EXPECT_EQ(kiv::host::PushEventName("com.quarngames.platform.messaging.StoreFulfillmentNotification"),
            "OnTrovEvent_com_quarngames_platform_messaging_StoreFulfillmentNotification");
}

}  // namespace
