// The fault run: the Collections plug-in in the developer host over the
// default world, with one backend method or stand-in path failing at a
// time from before login. Every route then answers its documented failure,
// or the answer it would give anyway (a cache filled by the login data, a
// backdrop source that falls through); nothing crashes; and once the fault
// is cleared every route answers exactly as it does without faults.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host/world.h"
#include "tests/host/serve_fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kS = "2870164";  // the world's login summoner

std::string Inv(const std::string& rest) {
  return std::string("/kiv-collections/v1/inventories/") + kS + rest;
}

struct Route {
  const char* method;
  std::string path;
  std::string body;  // for writes: filled from the fault-free answers
  // The route's documented failures under a fault: message starts.
  std::vector<std::string> failures;
};

std::vector<Route> Routes() {
  const std::string s = kS;
  return {
      {"GET", Inv("/verification"), "", {}},
      {"GET", Inv("/rune-book"), "", {"Error requesting rune book for " + s + ": "}},
      {"GET", Inv("/runes"), "", {"Error requesting summoner rune inventory for " + s + ": "}},
      {"GET", Inv("/mastery-book"), "", {"Error requesting mastery book for " + s + ": "}},
      {"GET",
       Inv("/spells"),
       "",
       {"Error requesting summoner spells: ", "Error requesting summoner level for " + s + ": "}},
      {"GET", Inv("/summoner-icons"), "", {"Error requesting summoner icons for " + s + ": "}},
      {"GET", "/kiv-collections/v2/inventories/" + s + "/summoner-icons/3", "", {}},
      {"GET", Inv("/champion-mastery"), "", {"Error requesting summoner champion masteries for " + s + ": "}},
      {"GET",
       Inv("/champion-mastery/top?limit=3"),
       "",
       {"Error requesting top summoner champion masteries for " + s + ": "}},
      {"GET",
       "/kiv-collections/v1/inventories/chest-eligibility",
       "",
       {"Error requesting summoner chest eligibility: "}},
      {"GET",
       Inv("/ward-skins"),
       "",
       {"Failed to request selectable ward skins: ", "Error requesting ward skin data: "}},
      {"GET",
       Inv("/ward-skins/1"),
       "",
       {"Failed to request selectable ward skins: ", "Error requesting ward skin data: "}},
      {"GET", Inv("/backdrop"), "", {"Error requesting summoner data for " + s + "."}},
      {"PUT",
       Inv("/rune-book"),
       "",
       {"Failed to save rune book for " + s + ": ", "Error requesting rune book for " + s + ": "}},
      // The current page's id is appended.
      {"PUT", Inv("/rune-book/select-page/"), "", {"Failed to select current rune page for " + s + ": "}},
      {"PUT",
       Inv("/mastery-book"),
       "",
       {"Failed to save mastery book for " + s + ": ", "Error requesting mastery book for " + s + ": "}},
  };
}

// The message of an answer in the host's error shape with `status`, or "".
std::string MessageOf(const std::string& answer, int status) {
  if (answer.rfind(std::to_string(status) + " ", 0) != 0) return "";
  const rapidjson::Document d = kiv::test::Json(answer.substr(4));
  return d.IsObject() && d.HasMember("message") && d["message"].IsString() ? d["message"].GetString() : "";
}

class FaultRun {
 public:
  FaultRun() {
    auto world = kiv::host::LoadWorld(KIV_SOURCE_DIR "/worlds/default.json");
    if (world.HasFailure()) {
      ADD_FAILURE() << world.failure().message();
      return;
    }
    kiv::host::World w = world.TakeValue();
    w.login.logged_in = false;  // faults go in before the login refresh
    served_ = kiv::test::Serve(KIV_PLUGIN_PATH, std::move(w));
  }
  bool ok() const { return served_ != nullptr; }

  std::string Call(const std::string& method, const std::string& path, const std::string& body = "") {
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (!body.empty()) request.set_header("Content-Type", "application/json");
    auto result = served_->http->send(request);
    if (!result) return "no answer";
    return std::to_string(result->status) + " " + result->body;
  }
  // Lets the host finish what the last change started.
  void Settle() {
    for (int quiet = 0; quiet < 3;) {
      const std::string status = Call("GET", "/sim/status");
      const bool idle = status.find(R"("waitingFor":[])") != std::string::npos &&
                        status.find(R"("queuedWork":0)") != std::string::npos;
      quiet = idle ? quiet + 1 : 0;
      std::this_thread::sleep_for(10ms);
    }
  }
  // Every route's answer, writes with the bodies in `writes`.
  std::vector<std::string> Answers(const std::vector<Route>& routes) {
    std::vector<std::string> answers;
    for (const Route& r : routes) answers.push_back(Call(r.method, r.path, r.body));
    return answers;
  }

 private:
  std::unique_ptr<kiv::test::Served> served_;
};

// The routes with their write bodies taken from a fault-free run, and the
// answers of that run.
struct Baseline {
  std::vector<Route> routes;
  std::vector<std::string> answers;
};

Baseline TakeBaseline() {
  Baseline b;
  FaultRun run;
  if (!run.ok()) return b;
  EXPECT_EQ(run.Call("POST", "/sim/login", "{}"), "204 ");
  run.Settle();
  b.routes = Routes();
  const std::string book = run.Call("GET", Inv("/rune-book")).substr(4);
  const rapidjson::Document parsed = kiv::test::Json(book);
  for (const auto& page : parsed["pages"].GetArray()) {
    if (page["current"].GetBool()) b.routes[14].path += std::to_string(page["id"].GetUint());
  }
  b.routes[13].body = book;
  b.routes[15].body = run.Call("GET", Inv("/mastery-book")).substr(4);
  b.answers = run.Answers(b.routes);
  for (size_t i = 0; i < b.answers.size(); ++i) {
    EXPECT_EQ(b.answers[i].substr(0, 3), "200") << b.routes[i].path << ": " << b.answers[i];
  }
  return b;
}

// What the routes answer while a fault is in force. Each route answers as
// without the fault, or one of its documented failures (a cache may have
// spared it the read); the listed ones must answer exactly this.
struct Expected {
  std::string target;
  std::map<std::string, std::string> failures;  // "METHOD path" -> answer
};

// Long bodies are cut in failure messages; a mismatch shows in the start.
std::string Short(const std::string& answer) {
  return answer.size() > 160 ? answer.substr(0, 160) + "..." : answer;
}

std::string Error(int status, const std::string& message) {
  return std::to_string(status) + R"( {"httpStatus":)" + std::to_string(status) + R"(,"message":")" +
         message + R"("})";
}

TEST(CollectionsFaultRun, EveryRouteAnswersItsFailureAndRecovers) {
  const Baseline baseline = TakeBaseline();
  ASSERT_EQ(baseline.answers.size(), Routes().size());
  const std::string invoke = "Error response for POST /kiv-login/v1/session/invoke: ";
  const std::string top = std::string("Error requesting top summoner champion masteries for ") + kS + ": ";
  const std::string all = std::string("Error requesting summoner champion masteries for ") + kS + ": ";
  // Ownership of one icon never fails: unknown reads as not owned.
  const std::pair<const std::string, std::string> icon_unknown = {
      std::string("GET /kiv-collections/v2/inventories/") + kS + "/summoner-icons/3",
      R"(200 {"iconId":3,"ownership":{"freeToPlayReward":false,"owned":false,"rental":{"endDate":0,)"
      R"("purchaseDate":0,"rented":false,"winCountRemaining":0}}})"};
  const Expected cases[] = {
      {"spellBookService.getSpellBook", {}},  // the login data fills the book
      {"spellBookService.saveSpellBook",
       {{"PUT " + Inv("/rune-book"),
         Error(500, std::string("Failed to save rune book for ") + kS + ": " + invoke + "down")}}},
      {"spellBookService.selectDefaultSpellBookPage",
       {{"PUT " + Inv("/rune-book/select-page/"),
         Error(500, std::string("Failed to select current rune page for ") + kS + ": " + invoke + "down")}}},
      {"masteryBookService.getMasteryBook", {}},
      {"masteryBookService.saveMasteryBook",
       {{"PUT " + Inv("/mastery-book"),
         Error(500, std::string("Failed to save mastery book for ") + kS + ": " + invoke + "down")}}},
      {"summonerRuneService.getSummonerRuneInventory",
       {{"GET " + Inv("/runes"), Error(500, std::string("Error requesting summoner rune inventory for ") +
                                                kS + ": " + invoke + "down")}}},
      {"summonerIconService.getSummonerIconInventory",
       {{"GET " + Inv("/summoner-icons"),
         Error(500, std::string("Error requesting summoner icons for ") + kS + ": " + invoke + "down")},
        icon_unknown}},
      {"championMastery.getAllChampionMasteries",
       {{"GET " + Inv("/champion-mastery"), Error(500, all + "down")},
        {"GET " + Inv("/champion-mastery/top?limit=3"), Error(500, top + all + "down")}}},
      {"championMastery.getChampionMastery", {}},
      {"championMastery.getChampionMasteryScoreAndChest",
       {{"GET /kiv-collections/v1/inventories/chest-eligibility",
         Error(500, "Error requesting summoner chest eligibility: down")}}},
      {"wardSkins.requestSelectableWardSkins",
       {{"GET " + Inv("/ward-skins"), Error(500, "Failed to request selectable ward skins: down")},
        {"GET " + Inv("/ward-skins/1"), Error(500, "Failed to request selectable ward skins: down")}}},
      {"/kiv-game-data/assets/v1/ward-skins.json",
       {{"GET " + Inv("/ward-skins"), Error(500,
                                            "Error requesting ward skin data: Error response for GET "
                                            "/kiv-game-data/assets/v1/ward-skins.json: "
                                            "down")},
        {"GET " + Inv("/ward-skins/1"), Error(500,
                                              "Error requesting ward skin data: Error response for GET "
                                              "/kiv-game-data/assets/v1/ward-skins.json: "
                                              "down")}}},
      {"/kiv-summoner/v1/summoners/{id}",
       {{"GET " + Inv("/backdrop"),
         Error(500, std::string("Error requesting summoner data for ") + kS + ".")},
        {"GET " + Inv("/spells"),
         Error(500, std::string("Error requesting summoner level for ") + kS +
                        ": Error response for GET /kiv-summoner/v1/summoners/" + kS + ": down")}}},
      // Backdrop sources fall through to the next; the answer differs only
      // in the source chosen, so it is checked loosely below.
      {"/kiv-game-data/assets/v1/summoner-backdrops/{file}", {}},
      {"/kiv-acs/v1/recently-played-champions/{id}", {}},
      {"/kiv-acs/v2/recently-played-champions/current-summoner", {}},
      {"/kiv-game-data/assets/v1/champion-splashes/{id}/metadata.json", {}},
      // The login plug-in's endpoints themselves, and the spell catalogue.
      {"/kiv-login/v1/session/invoke", {icon_unknown}},
      {"/kiv-login/v1/service-proxy-uuid-requests", {}},
      {"/kiv-login/v1/service-proxy-method-requests", {}},
      {"/kiv-game-data/assets/v1/summoner-spells.json", {}},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.target);
    FaultRun run;
    ASSERT_TRUE(run.ok());
    const std::string fault = R"({"target":")" + c.target + R"(","status":503,"message":"down"})";
    ASSERT_EQ(run.Call("POST", "/sim/faults", fault), "204 ");
    ASSERT_EQ(run.Call("POST", "/sim/login", "{}"), "204 ");
    run.Settle();

    const std::vector<std::string> faulted = run.Answers(baseline.routes);
    for (size_t i = 0; i < faulted.size(); ++i) {
      const Route& route = baseline.routes[i];
      const std::string path = route.path.rfind(Inv("/rune-book/select-page/"), 0) == 0
                                   ? Inv("/rune-book/select-page/")
                                   : route.path;
      const auto failure = c.failures.find(route.method + (" " + path));
      if (failure != c.failures.end()) {
        EXPECT_EQ(Short(faulted[i]), Short(failure->second)) << route.method << " " << path;
      } else if (path == Inv("/backdrop")) {
        // A source that fails falls through to the next.
        EXPECT_EQ(faulted[i].substr(0, 4), "200 ") << faulted[i];
      } else if (faulted[i] != baseline.answers[i]) {
        const std::string message = MessageOf(faulted[i], 500);
        bool documented = false;
        for (const std::string& start : route.failures) {
          documented |= message.rfind(start, 0) == 0 && message.size() >= 4 &&
                        message.compare(message.size() - 4, 4, "down") == 0;
        }
        EXPECT_TRUE(documented) << route.method << " " << path << ": " << Short(faulted[i]);
      }
    }
    ASSERT_EQ(run.Call("DELETE", "/sim/faults"), "204 ");
    const std::vector<std::string> recovered = run.Answers(baseline.routes);
    for (size_t i = 0; i < recovered.size(); ++i) {
      EXPECT_EQ(Short(recovered[i]), Short(baseline.answers[i]))
          << "after clearing: " << baseline.routes[i].path;
      EXPECT_EQ(recovered[i], baseline.answers[i]) << "after clearing: " << baseline.routes[i].path;
    }
  }
}

}  // namespace
