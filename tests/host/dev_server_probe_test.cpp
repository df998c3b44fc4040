// The developer host's contract with a plug-in built from the runtime (the
// probe fixture): statuses and empty answers, request bodies in every
// content type, a service-proxy call and a TROV invoke through the
// stand-ins, a push-message subscription, latency, faults and timeouts;
// what it does when clients push it (a request answered 504 before it
// started never runs, event-stream followers are capped, a deeply nested
// world body is a plain 400, quick requests from many clients beside a wait
// keep every write); and kiv serve and kiv describe refusing what will not
// run, in plain words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "tests/host/serve_fixture.h"

namespace {

using kiv::test::Answer;
using kiv::test::ErrorOf;
using kiv::test::Json;
using kiv::test::RunKiv;
using kiv::test::Send;
using kiv::test::SendStep;
using kiv::test::Serve;
using kiv::test::SmallWorld;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

// Each test gets its own host with the probe plug-in over the small world.
class ServeProbe : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(served = Serve(KIV_PROBE_PLUGIN_PATH, SmallWorld())); }
  std::unique_ptr<kiv::test::Served> served;
};

TEST_F(ServeProbe, MapsStatusesAndEmptyAnswers) {
  const std::pair<std::string, std::string> cases[] = {
      {"GET /probe/v1/items/7", R"(200 {"id":7,"name":"item 7","tags":["a","b"]})"},
      {"DELETE /probe/v1/items/7", "204 "},
      // No status from the plug-in: 400 for an error.
      {"GET /probe/v1/fail/0", "400 Probe failed with 0"},
      {"GET /probe/v1/fail/404", "404 Probe failed with 404"},
      {"GET /probe/v1/fail/503", "503 Probe failed with 503"},
      {"GET /probe/v1/fail/900", "500 The plug-in failed with the invalid status 900: Probe failed with 900"},
      {"PUT /probe/v1/fail/1", "405 Method PUT not allowed for /probe/v1/fail/1"},
  };
  for (const auto& [step, said] : cases) EXPECT_EQ(SendStep(*served->http, step), said) << step;
  // A value the plug-in cannot bind is its binding failure, status 0 -> 400.
  const std::string bad = Send(*served->http, "GET", "/probe/v1/items/seven");
  EXPECT_TRUE(bad.starts_with("400 ") && bad.size() > 4) << bad;
}

TEST_F(ServeProbe, HandsTheBodyOverInEveryContentType) {
  const std::string msgpack = "\x83\xa2id\x03\xa4name\xa3nib\xa4tags\x91\xa1x";
  const std::string item = R"(200 {"id":3,"name":"nib","tags":["x"]})";
  const struct {
    std::string path, type, body, said;
  } cases[] = {
      {"/probe/v1/items/3", "application/json", R"({"id": 3, "name": "nib", "tags": ["x"]})", item},
      {"/probe/v1/items/3", "application/vnd.api+json", R"({"id": 3, "name": "nib", "tags": ["x"]})", item},
      {"/probe/v1/items/3", "application/x-yaml", "id: 3\nname: nib\ntags: [x]\n", item},
      {"/probe/v1/items/3", "application/x-msgpack", msgpack, item},
      {"/probe/v1/items/3", "text/plain", "id=3", "400 Unsupported body content type"},
      {"/probe/v1/items/4", "application/json", R"({"id": 3})", "409 Item 3 sent to 4"},
  };
  for (const auto& c : cases) EXPECT_EQ(Send(*served->http, "PUT", c.path, c.body, c.type), c.said) << c.type;
}

TEST_F(ServeProbe, ReachesTheBackendThroughServiceProxyAndInvoke) {
  auto& http = *served->http;
  const std::pair<std::string, std::string> steps[] = {
      {"DELETE /sim/calls", "204 "},
      {"GET /probe/v1/masteries/11", "200 1"},
      {"GET /probe/v1/rune-pages/11", R"(200 ["One","Two"])"},
      {"GET /sim/calls",
       R"(200 {"calls":[{"request":"POST /kiv-login/v1/service-proxy-uuid-requests","backend":)"
       R"("championMastery.getAllChampionMasteries","via":"service-proxy"},{"request":)"
       R"("POST /kiv-login/v1/session/invoke","backend":"spellBookService.getSpellBook","via":"invoke"}],)"
       R"("counts":{"POST /kiv-login/v1/service-proxy-uuid-requests":1,"POST /kiv-login/v1/session/invoke":1,)"
       R"("championMastery.getAllChampionMasteries":1,"spellBookService.getSpellBook":1}})"},
      // Faults of backend methods, once and always.
      {R"(POST /sim/faults {"target": "spellBookService.getSpellBook", "status": 503, "times": 1})", "204 "},
      {R"(POST /sim/faults {"target": "championMastery", "message": "no mastery today"})", "204 "},
      {"GET /probe/v1/rune-pages/11",
       "502 Rune pages: Error response for POST /kiv-login/v1/session/invoke: injected backend failure"},
      {"GET /probe/v1/rune-pages/11", R"(200 ["One","Two"])"},
      {"GET /probe/v1/masteries/11", "502 Masteries: no mastery today"},
      {"GET /probe/v1/masteries/11", "502 Masteries: no mastery today"},
      {"DELETE /sim/faults", "204 "},
      {"GET /probe/v1/masteries/11", "200 1"},
  };
  for (const auto& [step, said] : steps) EXPECT_EQ(SendStep(http, step), said) << step;
}

TEST_F(ServeProbe, DeliversPushMessagesToItsSubscription) {
  auto& http = *served->http;
  kiv::test::EventFollower events(served->server->port(), "");
  ASSERT_TRUE(events.WaitFor(": following OnJsonApiEvent"));
  ASSERT_EQ(Send(http, "POST", "/sim/grant", R"({"inventoryType": "RUNE", "itemId": 5001, "quantity": 2})"),
            "204 ");
  ASSERT_EQ(Send(http, "POST", "/sim/push",
                 R"({"className": "com.quarngames.platform.messaging.StoreFulfillmentNotification",
                     "body": {"inventoryType": "CHAMPION", "data": {}}})"),
            "204 ");
  EXPECT_TRUE(
      events.WaitFor("event: OnJsonApiEvent\ndata: {\"uri\":\"/probe/v1/notices\",\"eventType\":\"Update\","
                     "\"data\":{\"inventoryTypes\":[\"RUNE\",\"CHAMPION\"]}}\n\n"))
      << events.text();
  EXPECT_EQ(Send(http, "GET", "/probe/v1/notices"), R"(200 {"inventoryTypes":["RUNE","CHAMPION"]})");
}

TEST(ServeCommand, SaysInPlainWordsWhatWillNotRun) {
  const std::string world = " --world " + kiv::test::TempFile("kiv_serve_world.json", kiv::test::kSmallWorld);
  const std::string bad_world =
      kiv::test::TempFile("kiv_serve_bad_world.json", "{\n  \"login\": {\"loggedIn\": true,}\n}\n");
  const std::string probe = KIV_PROBE_PLUGIN_PATH;
  const std::string broken = KIV_BROKEN_PLUGIN_PATH;
  constexpr int kFails = -99;  // any code but 0
  const struct {
    std::string arguments;
    int code;
    std::vector<std::string> says;
  } cases[] = {
      // A plug-in whose entry rejects the core's version ends the process from
      // inside the entry; the last line before says what was being loaded.
      {"--port 0 --core-version 19.0.0" + world + " --plugin " + probe, kFails,
       {"loading " + probe + " (core plug-in API 19.0.0)\n", "ALE-EECF0606",
        "kiv-probe which supports plugin API 18.0.0 is not compatible with core's plugin API 19.0.0"}},
      {"--port 0" + world + " --plugin " + broken, 1,
       {"kiv serve: plug-in " + broken + ": the entry returned no API description\n"}},
      {"--port 0 --world " + bad_world, 1,
       {"kiv serve: the world file will not load:\n" + bad_world +
        ":2:30: Missing a name for object member (at offset 31)\n"}},
      // Refused before anything loads (the world named after it does not exist).
      {"--port 70000 --world /nonexistent/world.json", 2,
       {"kiv serve: --port needs a number from 0 to 65535, got '70000'"}},
      {"--port 80x --world /nonexistent/world.json", 2, {"kiv serve: --port needs a number from 0 to 65535, got '80x'"}},
      {"--help", 0,
       {"--plugin PATH", "--world FILE", "--port N", "GET /events", "/sim/", "/openapi.json", "/docs", "403"}},
  };
  for (const auto& c : cases) {
    const auto run = RunKiv("serve " + c.arguments);
    if (c.code == kFails) {
      EXPECT_NE(run.code, 0) << c.arguments;
    } else {
      EXPECT_EQ(run.code, c.code) << c.arguments << "\n" << run.output;
    }
    for (const std::string& says : c.says) EXPECT_THAT(run.output, HasSubstr(says)) << c.arguments;
  }
}

TEST(ServeLimits, ARequestAnswered504BeforeItStartedNeverRuns) {
  auto served = Serve(KIV_PROBE_PLUGIN_PATH, SmallWorld(), /*timeout_seconds=*/0.3);
  ASSERT_TRUE(served);
  const int port = served->server->port();
  // The first request holds the loop; the save queued behind it times out.
  auto busy = std::async(std::launch::async, [port] {
    httplib::Client http("127.0.0.1", port);
    return ErrorOf(http.Get("/probe/v1/busy/3000"));
  });
  // Once a read cannot start either, the loop is held.
  for (int i = 0; i < 200; ++i) {
    if (ErrorOf(served->http->Get("/probe/v1/notes/2")).starts_with("504")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string save = ErrorOf(served->http->Put("/probe/v1/notes/1", R"("late")", "application/json"));
  EXPECT_EQ(busy.get(), "504 The plug-in did not answer within 0.3 s and is still running");
  EXPECT_EQ(save, "504 The host could not start the request within 0.3 s (the plug-in was busy); it was dropped "
                  "and will not run");
  // Once the loop is free again, the note was never saved.
  std::string note = "no answer";
  for (int i = 0; i < 50; ++i) {
    note = ErrorOf(served->http->Get("/probe/v1/notes/1"));
    if (!note.starts_with("504")) break;
  }
  EXPECT_EQ(note, "404 No note 1");
}

TEST(ServeLimits, FollowersAreCappedAndOtherClientsStillServed) {
  auto served = Serve(KIV_PROBE_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  constexpr int kFollowers = 40;
  std::vector<std::unique_ptr<kiv::test::EventFollower>> followers;
  for (int i = 0; i < kFollowers; ++i)
    followers.push_back(std::make_unique<kiv::test::EventFollower>(served->server->port(), ""));
  int streaming = 0;
  int refused = 0;
  for (const auto& f : followers) {
    for (int i = 0; i < 1000 && f->text().empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    streaming += f->status() == 200 && f->text().starts_with(": following");
    if (f->status() != 503) continue;
    ++refused;
    EXPECT_EQ(
        f->text(),
        R"({"httpStatus":503,"message":"Too many event-stream followers: 32 are open; close one and try again"})");
  }
  EXPECT_EQ(streaming, 32);
  EXPECT_EQ(refused, kFollowers - 32);
  auto session = served->http->Get("/kiv-login/v1/session");
  ASSERT_TRUE(session);
  EXPECT_EQ(session->status, 200);
}

TEST(ServeLimits, ADeeplyNestedWorldIsA400WithTheOffset) {
  auto served = Serve(KIV_PROBE_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  const struct {
    std::string body;
    std::string expected;
  } cases[] = {
      {std::string(1000000, '['), "world:1:1000001: Invalid value (at offset 1000000)"},
      {std::string(1000000, '[') + std::string(1000000, ']'), "world: expected an object at the top, got"},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(ErrorOf(served->http->Put("/sim/world", c.body, "application/json")),
                HasSubstr("400 " + c.expected))
        << c.body.substr(0, 20);
  }
  // Deep free-form data is kept, and written back, without recursion.
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  auto put = served->http->Put("/sim/world", R"({"gameData": {"summonerMasteries": )" + deep + "}}",
                               "application/json");
  ASSERT_TRUE(put);
  EXPECT_EQ(put->status, 204) << put->body;
  auto world = served->http->Get("/sim/world");
  ASSERT_TRUE(world);
  EXPECT_THAT(world->body, HasSubstr(R"("summonerMasteries":)" + deep));
}

// While a request waits for the backend (stepping the loop meanwhile),
// others are served at once and the host says what the plug-in waits for;
// reads and writes that need no wait run on the HTTP threads that took
// them, one at a time: from eight clients at once no write is lost or torn.
TEST_F(ServeProbe, AnAwaitingPluginHoldsUpNoClientAndLosesNoWrite) {
  const int port = served->server->port();
  ASSERT_EQ(Send(*served->http, "POST", "/sim/latency", R"({"serviceProxyMs": 800})"), "204 ");
  const auto start = Clock::now();
  auto slow = std::async(std::launch::async, [port, start] {
    httplib::Client http("127.0.0.1", port);
    std::string answer = Answer(http.Get("/probe/v1/masteries/11"));
    return std::make_pair(answer, Clock::now() - start);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto quick_start = Clock::now();
  EXPECT_EQ(Send(*served->http, "GET", "/probe/v1/items/1"), R"(200 {"id":1,"name":"item 1","tags":["a","b"]})");
  EXPECT_LT(Clock::now() - quick_start, std::chrono::milliseconds(300));
  const auto status = Json(served->http->Get("/sim/status")->body);
  ASSERT_EQ(status["waitingFor"].Size(), 1u);
  EXPECT_THAT(status["waitingFor"][0].GetString(), HasSubstr("Wait: future<"));
  constexpr int kClients = 8;
  constexpr int kRounds = 40;
  std::vector<std::future<std::string>> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(std::async(std::launch::async, [port, c] {
      httplib::Client http("127.0.0.1", port);
      const std::string path = "/probe/v1/notes/" + std::to_string(c);
      for (int round = 0; round < kRounds; ++round) {
        const std::string text = std::to_string(c) + "-" + std::to_string(round);
        const std::string put = Answer(http.Put(path, "\"" + text + "\"", "application/json"));
        const std::string got = Answer(http.Get(path));
        if (put != "204 " || got != "200 \"" + text + "\"")
          return "round " + std::to_string(round) + ": " + put + " then " + got;
      }
      return std::string("ok");
    }));
  }
  for (auto& client : clients) EXPECT_EQ(client.get(), "ok");
  const auto [answer, took] = slow.get();
  EXPECT_EQ(answer, "200 1");
  EXPECT_GE(took, std::chrono::milliseconds(800));
  EXPECT_LT(took, std::chrono::milliseconds(5000));
}

// The description's layout is checked against the golden file in tests/tools.
TEST(DescribeCommand, PrintsTheCoreVersionAskedForAndSaysWhatWentWrong) {
  const std::string plugin = std::string(" --plugin ") + KIV_MINIMAL_PLUGIN_PATH;
  const struct {
    std::string arguments;
    int code;
    std::string says;
  } cases[] = {
      {plugin + " --core-version 18.2.0", 0, "API version   18.0.0\ncore version  18.2.0\n"},
      {" --plugin /nonexistent/libkiv_gone.so", 1,
       "kiv describe: cannot open plug-in /nonexistent/libkiv_gone.so: /nonexistent/libkiv_gone.so: cannot open "
       "shared object file: No such file or directory"},
      {" --core-version 18.x", 2, "kiv describe: invalid version '18.x' (expected X.Y.Z)"},
      {plugin + " --entry load_other", 1, "has no entry load_other"},
  };
  for (const auto& c : cases) {
    const auto run = kiv::test::RunKiv("describe" + c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments << "\n" << run.output;
    EXPECT_THAT(run.output, HasSubstr(c.says)) << c.arguments;
  }
}

}  // namespace
