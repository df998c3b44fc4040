// What the developer host does when clients push it: a request answered 504
// before it started never runs later, event-stream followers are capped
// while other clients are still served, and a deeply nested world body is a
// plain 400.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "tests/host/serve_fixture.h"

namespace {

using kiv::test::ErrorOf;
using kiv::test::Serve;
using kiv::test::SmallWorld;
using ::testing::HasSubstr;

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
  const std::string save =
      ErrorOf(served->http->Put("/probe/v1/notes/1", R"("late")", "application/json"));
  const struct {
    std::string answer;
    std::string expected;
  } cases[] = {
      {busy.get(), "504 The plug-in did not answer within 0.3 s and is still running"},
      {save, "504 The host could not start the request within 0.3 s (the plug-in was busy); it was dropped "
             "and will not run"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.answer, c.expected);
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
    for (int i = 0; i < 1000 && f->text().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    streaming += f->status() == 200 && f->text().starts_with(": following");
    if (f->status() != 503) continue;
    ++refused;
    EXPECT_EQ(f->text(),
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

}  // namespace

// Reads and writes that need no wait run on the HTTP threads that took them,
// one at a time: from eight clients at once, beside a request that waits
// for the backend and steps the loop meanwhile, no write is lost or torn.
using kiv::test::Answer;

TEST(ServeLimits, QuickRequestsFromManyClientsKeepEveryWriteBesideAWait) {
  auto served = Serve(KIV_PROBE_PLUGIN_PATH, SmallWorld(), /*timeout_seconds=*/5);
  ASSERT_TRUE(served);
  const int port = served->server->port();
  ASSERT_EQ(served->http->Post("/sim/latency", R"({"serviceProxyMs": 400})", "application/json")->status, 204);
  auto waiting = std::async(std::launch::async, [port] {
    httplib::Client http("127.0.0.1", port);
    return Answer(http.Get("/probe/v1/masteries/11"));
  });
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
  EXPECT_EQ(waiting.get(), "200 1");
}
