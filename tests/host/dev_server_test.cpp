// The developer host over real HTTP, with the C fixture plug-in: routing
// by the API description, the answer and error shapes, the event stream,
// the simulation controls, the OpenAPI document and the request checks;
// the event stream's fan-out on its own; and a real browser (headless
// Chromium) rendering /docs and opening a route's URL.
#include "host/dev_server.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "host/event_stream.h"
#include "tests/host/serve_fixture.h"

namespace {

using kiv::test::ErrorOf;
using kiv::test::EventFollower;
using kiv::test::Json;
using kiv::test::Serve;
using kiv::test::SmallWorld;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(DevServer, RoutesByTheDescriptionAndPassesThePathWithItsQuery) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  auto echo = served->http->Get("/minimal/v1/echo/a%20b/c?x=1&y=%2F");
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->status, 200);
  EXPECT_EQ(echo->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(echo->body, R"("echo:/minimal/v1/echo/a%20b/c?x=1&y=%2F")");
  // The plug-in's error keeps its status and comes in the error shape: the
  // relay asks for a path nobody serves.
  auto relay = served->http->Get("/minimal/v1/relay");
  ASSERT_TRUE(relay);
  EXPECT_EQ(relay->status, 404);
  EXPECT_EQ(ErrorOf(relay), "404 No route for GET /other/v1/thing");
}

TEST(DevServer, AnswersUnknownPathsAndMethodsInTheErrorShape) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  struct Case {
    std::string method;
    std::string path;
    int status;
    std::string error;
    std::string allow;
  };
  const Case cases[] = {
      {"GET", "/nowhere/v1/thing?a=1", 404, "404 No route for GET /nowhere/v1/thing", ""},
      {"PUT", "/minimal/v1/echo/x", 405, "405 Method PUT not allowed for /minimal/v1/echo/x", "GET"},
      {"DELETE", "/kiv-login/v1/session", 405, "405 Method DELETE not allowed for /kiv-login/v1/session",
       "GET"},
      {"GET", "/kiv-game-data/assets/v1/summoner-backdrops/7.webm", 405,
       "405 Method GET not allowed for /kiv-game-data/assets/v1/summoner-backdrops/7.webm", "HEAD"},
      {"GET", "/kiv-summoner/v1/summoners/99", 404, "404 No summoner with id 99", ""},
      {"GET", "/kiv-summoner/v1/summoners/x1", 400, "400 A summoner id must be a number, got \"x1\"", ""},
  };
  for (const Case& c : cases) {
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    auto result = served->http->send(request);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.method << " " << c.path;
    EXPECT_EQ(ErrorOf(result), c.error) << c.method << " " << c.path;
    EXPECT_EQ(result->get_header_value("Allow"), c.allow) << c.method << " " << c.path;
  }
}

TEST(DevServer, ServesTheStandInsResources) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  const std::pair<std::string, std::string> cases[] = {
      {"/kiv-login/v1/session", R"({"state":"SUCCEEDED","summonerId":11,"accountId":1001,"connected":true})"},
      {"/kiv-summoner/v1/current-summoner",
       R"({"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":7})"},
      {"/kiv-acs/v1/recently-played-champions/1001",
       R"({"gameCount":2,"champions":[{"championId":17,"queue":420},{"championId":8,"queue":420}]})"},
      {"/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/MaxChampionLevel", "7"},
      {"/kiv-game-data/assets/v1/champion-splashes/17/metadata.json",
       R"({"CalculatedColor":"#112233","OverrideColor":""})"},
  };
  for (const auto& [path, body] : cases) {
    auto result = served->http->Get(path.c_str());
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 200) << path;
    EXPECT_EQ(result->body, body) << path;
  }
  // Backdrops answer HEAD only, by existence.
  EXPECT_EQ(served->http->Head("/kiv-game-data/assets/v1/summoner-backdrops/9.jpg")->status, 200);
  EXPECT_EQ(served->http->Head("/kiv-game-data/assets/v1/summoner-backdrops/9.webm")->status, 404);
  // HEAD of what only GET serves answers as GET would, without the body.
  auto head = served->http->Head("/kiv-login/v1/session");
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->body, "");
}

TEST(DevServer, RefusesForeignHostsAndOrigins) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  const std::string own = served->server->url();
  const std::string port = std::to_string(served->server->port());
  const auto bad_host = [](const std::string& host) {
    return "403 Host '" + host + "' is not served here; use 127.0.0.1 or localhost";
  };
  const auto bad_origin = [&own](const std::string& origin) {
    return "403 Requests from the origin '" + origin + "' are refused; only pages of " + own +
           " may call this host";
  };
  struct Case {
    httplib::Headers headers;
    std::string path;
    int status;
    std::string error;  // empty: not refused
  };
  const Case cases[] = {
      {{{"Host", "evil.example:" + port}}, "/kiv-login/v1/session", 403, bad_host("evil.example:" + port)},
      {{{"Host", "127.0.0.1.evil.example"}}, "/sim/status", 403, bad_host("127.0.0.1.evil.example")},
      {{{"Host", "localhost:80x"}}, "/sim/status", 403, bad_host("localhost:80x")},
      // The docs route serves files of its own folder only.
      {{}, "/docs/..", 404, "404 No such file: /docs/.."},
      {{{"Origin", "http://evil.example"}}, "/sim/status", 403, bad_origin("http://evil.example")},
      {{{"Origin", "http://localhost:1"}}, "/events", 403, bad_origin("http://localhost:1")},
      {{{"Host", "localhost:" + port}, {"Origin", "http://localhost:" + port}}, "/sim/status", 200, ""},
      {{{"Origin", own}}, "/kiv-login/v1/session", 200, ""},
  };
  for (const Case& c : cases) {
    auto result = served->http->Get(c.path.c_str(), c.headers);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.path;
    if (!c.error.empty()) {
      EXPECT_EQ(ErrorOf(result), c.error);
    }
  }
  // A refused action has no effect.
  auto refused =
      served->http->Post("/sim/logout", {{"Origin", "http://evil.example"}}, "", "application/json");
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(served->http->Get("/kiv-login/v1/session")->status, 200);
}

TEST(DevServer, StreamsPublishedResourceEventsOnceAndPluginEventsByName) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  EventFollower resources(served->server->port(), "");
  EventFollower session(served->server->port(), "?name=OnJsonApiEvent_kiv-login_v1_session");
  EventFollower pongs(served->server->port(), "?name=OnMinimalPong");
  ASSERT_TRUE(resources.WaitFor(": following OnJsonApiEvent\n\n"));
  ASSERT_TRUE(session.WaitFor(": following OnJsonApiEvent_kiv-login_v1_session\n\n"));
  ASSERT_TRUE(pongs.WaitFor(": following"));
  served->server->RunOnLoop([&] {
    served->server->loop().PostEvent(
        "OnMinimalPing", kiv::host::OwnedValue::Object({{"text", kiv::host::OwnedValue::Text("hi\nthere")}}));
  });
  EXPECT_TRUE(pongs.WaitFor("event: OnMinimalPong\ndata: {\"text\":\"hi\\nthere\"}\n\n")) << pongs.text();

  ASSERT_EQ(served->http->Post("/sim/disconnect", "", "application/json")->status, 204);
  const std::string update =
      "data: {\"uri\":\"/kiv-login/v1/session\",\"eventType\":\"Update\",\"data\":{\"state\":\"SUCCEEDED\","
      "\"summonerId\":11,\"accountId\":1001,\"connected\":false}}\n\n";
  ASSERT_TRUE(resources.WaitFor("event: OnJsonApiEvent\n" + update)) << resources.text();
  ASSERT_TRUE(session.WaitFor("event: OnJsonApiEvent_kiv-login_v1_session\n" + update)) << session.text();

  ASSERT_EQ(served->http->Post("/sim/logout", "", "application/json")->status, 204);
  ASSERT_TRUE(resources.WaitFor(
      "event: OnJsonApiEvent\ndata: {\"uri\":\"/kiv-acs/v2/recently-played-champions/current-summoner\","
      "\"eventType\":\"Delete\",\"data\":null}\n\n"));
  // Each change once on the default stream: the disconnect and four deletions.
  const std::string text = resources.text();
  size_t count = 0;
  for (size_t at = text.find("event: "); at != std::string::npos; at = text.find("event: ", at + 1)) ++count;
  EXPECT_EQ(count, 5u) << text;
}

TEST(DevServer, AClientThatStallsHoldsUpNobodyElse) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  // One client sends half a request and goes quiet; another follows the
  // events and never reads them.
  const auto open_connection = [&] {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(served->server->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  };
  const int half = open_connection();
  const std::string partial = "GET /kiv-login/v1/sess";
  ASSERT_EQ(send(half, partial.data(), partial.size(), 0), static_cast<ssize_t>(partial.size()));
  const int deaf = open_connection();
  const std::string follow = "GET /events?name=* HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(send(deaf, follow.data(), follow.size(), 0), static_cast<ssize_t>(follow.size()));
  const auto start = std::chrono::steady_clock::now();
  // Enough events to fill the deaf follower's socket: its HTTP thread
  // blocks in its write, the loop does not.
  const std::string push = R"({"className": "a.B", "body": {"text": ")" + std::string(16384, 'x') + R"("}})";
  for (int i = 0; i < 300; ++i)
    ASSERT_EQ(served->http->Post("/sim/push", push, "application/json")->status, 204);
  EXPECT_EQ(served->http->Get("/kiv-login/v1/session")->status, 200);
  // A loop blocked by the deaf follower would answer 504 after 30 s each.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  close(half);
  close(deaf);
}

TEST(DevServer, SimulationControlsChangeTheWorldAndReportFailures) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  auto& http = *served->http;
  struct Step {
    std::string method;
    std::string path;
    std::string body;
    int status;
    std::string error;
  };
  const Step steps[] = {
      {"POST", "/sim/login", "{}", 409, "409 Summoner 11 is logged in; log out first"},
      {"POST", "/sim/profile-icon", R"({"iconId": 40})", 204, ""},
      {"POST", "/sim/profile-icon", R"({"icon": 40})", 400, "400 The body needs \"iconId\""},
      {"POST", "/sim/profile-icon", R"({"iconId": "x"})", 400,
       "400 body.iconId: expected an integer, got \"x\""},
      {"POST", "/sim/profile-icon", "[1]", 400, "400 The body must be a JSON object"},
      {"POST", "/sim/platform-config",
       R"({"namespace": "ChampionMasteryConfig", "key": "Enabled", "value": false})", 204, ""},
      {"POST", "/sim/logout", "", 204, ""},
      {"POST", "/sim/logout", "", 409, "409 Nobody is logged in"},
      {"POST", "/sim/reconnect", "", 409, "409 Nobody is logged in; log in first"},
      {"POST", "/sim/login", R"({"summonerId": 13})", 404, "404 No summoner with id 13"},
      {"POST", "/sim/login", R"({"summonerId": 12, "state": "LATE"})", 400,
       "400 Unknown session state \"LATE\" (IN_PROGRESS, ERROR, SUCCEEDED or LOGGING_OUT)"},
      {"POST", "/sim/login", R"({"summonerId": 12})", 204, ""},
      {"POST", "/sim/faults", R"({"target": "/kiv-summoner/v1/summoners/{id}", "status": 700})", 400,
       "400 A fault's status must be an HTTP status (100 to 599)"},
  };
  for (const Step& s : steps) {
    httplib::Request request;
    request.method = s.method;
    request.path = s.path;
    request.body = s.body;
    request.set_header("Content-Type", "application/json");
    auto result = http.send(request);
    ASSERT_TRUE(result) << s.path;
    EXPECT_EQ(result->status, s.status) << s.path << " " << s.body;
    if (!s.error.empty()) {
      EXPECT_EQ(ErrorOf(result), s.error) << s.path << " " << s.body;
    }
  }
  EXPECT_EQ(http.Get("/kiv-summoner/v1/current-summoner")->body,
            R"({"summonerId":12,"accountId":1002,"summonerLevel":3,"profileIconId":3})");
  EXPECT_EQ(http.Get("/kiv-summoner/v1/summoners/11")->body,
            R"({"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":40})");
  EXPECT_EQ(http.Get("/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled")->body, "false");
  auto status = Json(http.Get("/sim/status")->body);
  EXPECT_TRUE(status["loggedIn"].GetBool());
  EXPECT_EQ(status["summonerId"].GetUint64(), 12u);
}

TEST(DevServer, RecordsThePluginsCallsAndAppliesPathFaults) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  auto& http = *served->http;
  served->server->RunOnLoop([&] {
    served->server->loop().HandleRequest(KIV_METHOD_GET, "/other/v1/thing", [](const kiv::host::Request&) {
      return kiv::host::Response::Ok(kiv::host::OwnedValue::Text("thing"));
    });
  });
  ASSERT_EQ(http.Delete("/sim/calls")->status, 204);
  EXPECT_EQ(http.Get("/minimal/v1/relay")->body, R"("relayed:thing")");
  ASSERT_EQ(http.Post("/sim/faults",
                      R"({"target": "/other/v1/{name}", "status": 503, "message": "down", "times": 1})",
                      "application/json")
                ->status,
            204);
  auto faulted = http.Get("/minimal/v1/relay");
  EXPECT_EQ(ErrorOf(faulted), "503 down");
  EXPECT_EQ(http.Get("/minimal/v1/relay")->body, R"("relayed:thing")");  // only once

  const auto calls = Json(http.Get("/sim/calls")->body);
  ASSERT_EQ(calls["calls"].Size(), 3u);
  EXPECT_STREQ(calls["calls"][1]["request"].GetString(), "GET /other/v1/thing");
  EXPECT_TRUE(calls["calls"][1]["faulted"].GetBool());
  EXPECT_FALSE(calls["calls"][0].HasMember("faulted"));
  EXPECT_EQ(calls["counts"]["GET /other/v1/thing"].GetUint(), 3u);
  const auto faults = Json(http.Get("/sim/faults")->body);
  ASSERT_EQ(faults["faults"].Size(), 1u);
  EXPECT_STREQ(faults["faults"][0]["target"].GetString(), "/other/v1/{name}");
  EXPECT_EQ(http.Delete("/sim/faults")->status, 204);
  EXPECT_EQ(Json(http.Get("/sim/faults")->body)["faults"].Size(), 0u);

  const auto log = Json(http.Get("/sim/log")->body);
  ASSERT_GE(log["lines"].Size(), 1u);
  EXPECT_STREQ(log["lines"][0]["text"].GetString(), "minimal ready");
  EXPECT_STREQ(log["lines"][0]["levelName"].GetString(), "ALWAYS");
  EXPECT_EQ(
      http.Get("/sim/memory")->body,
      R"({"peakBytesInUse":1,"liveAllocationsAtPeak":2,"bytesAllocated":3,"allocations":4,"bytesFreed":5,"frees":6})");
}

TEST(DevServer, DescribesThePluginAsOpenApi) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  auto result = served->http->Get("/openapi.json");
  ASSERT_TRUE(result);
  const auto doc = Json(result->body);
  EXPECT_STREQ(doc["openapi"].GetString(), "3.1.0");
  EXPECT_STREQ(doc["info"]["title"].GetString(), "kiv-minimal (ozm-be-kiv-minimal)");
  const auto& echo = doc["paths"]["/minimal/v1/echo/{rest}"]["get"];
  EXPECT_STREQ(echo["operationId"].GetString(), "GetMinimalV1EchoByRest");
  EXPECT_STREQ(echo["summary"].GetString(), "Echoes the path.");
  EXPECT_STREQ(echo["parameters"][0]["name"].GetString(), "rest");
  EXPECT_STREQ(echo["parameters"][0]["in"].GetString(), "path");
  EXPECT_STREQ(echo["responses"]["200"]["content"]["application/json"]["schema"]["type"].GetString(),
               "string");
  EXPECT_STREQ(echo["responses"]["default"]["content"]["application/json"]["schema"]["$ref"].GetString(),
               "#/components/schemas/KivHostError");
  ASSERT_EQ(echo["tags"].Size(), 1u);
  EXPECT_STREQ(echo["tags"][0].GetString(), "Plugin kiv-minimal");
  EXPECT_STREQ(echo["x-kiv-tags"][0].GetString(), "Plugins");
  const auto& schemas = doc["components"]["schemas"];
  EXPECT_STREQ(schemas["MinimalEcho"]["properties"]["loud"]["$ref"].GetString(),
               "#/components/schemas/MinimalMood");
  EXPECT_STREQ(schemas["MinimalEcho"]["properties"]["loud"]["description"].GetString(), "Whether it shouts");
  ASSERT_EQ(schemas["MinimalMood"]["enum"].Size(), 2u);
  EXPECT_STREQ(schemas["MinimalMood"]["enum"][1].GetString(), "Loud");
  EXPECT_STREQ(schemas["MinimalMood"]["description"].GetString(), "How loud. Values: Calm = 0, Loud = 1");
}

TEST(DevServer, PrintsOneLinePerRequestAndThePluginsLog) {
  auto served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld());
  ASSERT_TRUE(served);
  served->http->Get("/kiv-login/v1/session");
  served->http->Get("/nowhere");
  // The line is written once the answer has gone out.
  std::vector<std::string> lines;
  for (int i = 0; i < 200; ++i) {
    lines = served->Output();
    if (!lines.empty() && lines.back().starts_with("GET /nowhere")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_THAT(lines,
              Contains(std::string("loading ") + KIV_MINIMAL_PLUGIN_PATH + " (core plug-in API 18.0.0)"));
  EXPECT_THAT(lines, Contains("  plug-in ALWAYS  minimal ready"));
  EXPECT_THAT(lines, Contains(AllOf(StartsWith("GET /kiv-login/v1/session 200 "), EndsWith(" ms"))));
  EXPECT_THAT(lines, Contains(StartsWith("GET /nowhere 404 ")));
}

using kiv::host::EventStream;
using kiv::host::OwnedValue;
using namespace std::chrono_literals;

TEST(EventStream, HandsEachFollowerTheEventsOfItsName) {
  EventStream stream;
  auto resources = stream.Follow("OnJsonApiEvent");
  auto everything = stream.Follow("*");
  const OwnedValue resource = OwnedValue::Object({{"data", OwnedValue::Signed(1)},
                                                  {"eventType", OwnedValue::Text("Update")},
                                                  {"uri", OwnedValue::Text("/a")}});
  stream.Publish("OnJsonApiEvent", resource.get());
  stream.Publish("OnOther", OwnedValue::Array({OwnedValue::Text("x\ny")}).get());
  EXPECT_EQ(resources->Next(0ms),
            "event: OnJsonApiEvent\ndata: {\"uri\":\"/a\",\"eventType\":\"Update\",\"data\":1}\n\n");
  EXPECT_EQ(everything->Next(0ms),
            "event: OnJsonApiEvent\ndata: {\"uri\":\"/a\",\"eventType\":\"Update\",\"data\":1}\n\n"
            "event: OnOther\ndata: [\"x\\ny\"]\n\n");
  EXPECT_EQ(resources->Next(1ms), "");  // nothing new: an empty text, not the end
  stream.Unfollow(resources);
  stream.Publish("OnJsonApiEvent", resource.get());
  EXPECT_EQ(resources->Next(0ms), "");
  stream.Close();
  EXPECT_EQ(everything->Next(1s), std::nullopt);
  EXPECT_EQ(stream.Follow("*")->Next(0ms), std::nullopt);
}

TEST(EventStream, CutsOffAFollowerThatFallsTooFarBehind) {
  EventStream stream;
  auto slow = stream.Follow("*");
  const OwnedValue payload = OwnedValue::Text(std::string(1000, 'x'));
  const size_t event_size = kiv::host::FormatServerSentEvent("OnTick", payload.get()).size();
  for (size_t queued = 0; queued + event_size <= EventStream::kMaxQueuedBytes; queued += event_size)
    stream.Publish("OnTick", payload.get());
  auto fresh = stream.Follow("*");
  stream.Publish("OnTick", payload.get());  // one too many for the slow one
  EXPECT_EQ(slow->Next(0ms), std::nullopt);
  EXPECT_EQ(fresh->Next(0ms)->size(), event_size);
}

bool HaveChromium() { return std::system("command -v chromium >/dev/null 2>&1") == 0; }

// The DOM of `url` after its scripts ran, as headless Chromium dumps it.
std::string DumpDom(const std::string& url) {
  char profile[] = "/tmp/kiv-chromium-XXXXXX";
  if (mkdtemp(profile) == nullptr) return "mkdtemp failed";
  const std::string command =
      "(timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage "
      "--virtual-time-budget=15000 --user-data-dir=" +
      std::string(profile) + " --dump-dom '" + url + "' 2>/dev/null)";
  std::string dom = kiv::test::RunCommand(command).output;
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  return dom;
}

TEST(DocsInBrowser, RendersTheOperationsOfTheDescription) {
  if (!HaveChromium()) GTEST_SKIP() << "chromium is not installed; scripts/bootstrap.sh chromium installs it";
  if (!std::filesystem::exists(KIV_SOURCE_DIR "/build/web/node_modules/swagger-ui-dist/swagger-ui-bundle.js"))
    GTEST_SKIP() << "swagger-ui-dist is not installed; scripts/bootstrap.sh swagger-ui installs it";
  auto served = kiv::test::Serve(KIV_MINIMAL_PLUGIN_PATH, kiv::test::SmallWorld());
  ASSERT_TRUE(served);
  const std::string dom = DumpDom(served->server->url() + "/docs");
  // Swagger UI drew one block per operation, from the host's own files.
  EXPECT_THAT(dom, HasSubstr("kiv-minimal (ozm-be-kiv-minimal)"));
  EXPECT_THAT(dom, HasSubstr("data-path=\"/minimal/v1/echo/{rest}\""));
  EXPECT_THAT(dom, HasSubstr("data-path=\"/minimal/v1/relay\""));
  EXPECT_THAT(dom, HasSubstr("Echoes the path."));
  EXPECT_THAT(dom, HasSubstr("MinimalMood"));
  EXPECT_THAT(dom, Not(HasSubstr("Failed to load API definition")));
  // Nothing but the host's own files was asked for.
  for (const auto& line : served->Output()) {
    if (line.find(" 404 ") != std::string::npos || line.find(" 403 ") != std::string::npos)
      ADD_FAILURE() << "the page asked for something the host does not have: " << line;
  }
}

TEST(DocsInBrowser, OpensARoutesUrlAndGetsItsJson) {
  if (!HaveChromium()) GTEST_SKIP() << "chromium is not installed; scripts/bootstrap.sh chromium installs it";
  auto served = kiv::test::Serve(KIV_MINIMAL_PLUGIN_PATH, kiv::test::SmallWorld());
  ASSERT_TRUE(served);
  const std::string dom = DumpDom(served->server->url() + "/kiv-summoner/v1/current-summoner");
  EXPECT_THAT(dom, HasSubstr(R"({"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":7})"));
  const std::string echo = DumpDom(served->server->url() + "/minimal/v1/echo/page");
  EXPECT_THAT(echo, HasSubstr("\"echo:/minimal/v1/echo/page\""));
}

}  // namespace
