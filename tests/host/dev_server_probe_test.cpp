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

TEST_F(ServeProbe, MapsStatusesAndEmptyAnswersAndReadsEveryBodyForm) {
  kiv::test::RunExchanges(*served, "probe_statuses.txt");
}

TEST_F(ServeProbe, ReachesTheBackendThroughServiceProxyAndInvoke) {
  kiv::test::RunExchanges(*served, "probe_backend.txt");
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
  const std::string world = " --world " + std::string(kiv::test::kSmallWorldPath);
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
