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

using kiv::test::EventFollower;
using kiv::test::Json;
using kiv::test::Send;
using kiv::test::SendStep;
using kiv::test::Serve;
using kiv::test::SmallWorld;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Each test gets its own host with the C fixture plug-in over the small world.
class DevServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(served = Serve(KIV_MINIMAL_PLUGIN_PATH, SmallWorld())); }
  std::unique_ptr<kiv::test::Served> served;
};

TEST_F(DevServer, AnswersRoutesStandInsAndFailuresInTheirShapes) {
  const std::string own = served->server->url();
  const std::string port = std::to_string(served->server->port());
  const auto bad_host = [](const std::string& host) {
    return "403 Host '" + host + "' is not served here; use 127.0.0.1 or localhost";
  };
  const auto bad_origin = [&own](const std::string& origin) {
    return "403 Requests from the origin '" + origin + "' are refused; only pages of " + own +
           " may call this host";
  };
  const struct {
    std::string method;
    std::string path;
    std::string answer;  // Said(): "status body", or "status message" for a failure
    std::string allow = "";
    httplib::Headers headers = {};
  } cases[] = {
      // The path goes to the plug-in with its query, still encoded.
      {"GET", "/minimal/v1/echo/a%20b/c?x=1&y=%2F", R"(200 "echo:/minimal/v1/echo/a%20b/c?x=1&y=%2F")"},
      // The plug-in's error keeps its status: the relay asks for a path nobody serves.
      {"GET", "/minimal/v1/relay", "404 No route for GET /other/v1/thing"},
      {"GET", "/nowhere/v1/thing?a=1", "404 No route for GET /nowhere/v1/thing"},
      {"PUT", "/minimal/v1/echo/x", "405 Method PUT not allowed for /minimal/v1/echo/x", "GET"},
      {"DELETE", "/kiv-login/v1/session", "405 Method DELETE not allowed for /kiv-login/v1/session", "GET"},
      {"GET", "/kiv-game-data/assets/v1/summoner-backdrops/7.webm",
       "405 Method GET not allowed for /kiv-game-data/assets/v1/summoner-backdrops/7.webm", "HEAD"},
      {"GET", "/kiv-summoner/v1/summoners/99", "404 No summoner with id 99"},
      {"GET", "/kiv-summoner/v1/summoners/x1", "400 A summoner id must be a number, got \"x1\""},
      {"GET", "/kiv-login/v1/session",
       R"(200 {"state":"SUCCEEDED","summonerId":11,"accountId":1001,"connected":true})"},
      {"GET", "/kiv-summoner/v1/current-summoner",
       R"(200 {"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":7})"},
      {"GET", "/kiv-acs/v1/recently-played-champions/1001",
       R"(200 {"gameCount":2,"champions":[{"championId":17,"queue":420},{"championId":8,"queue":420}]})"},
      {"GET", "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/MaxChampionLevel", "200 7"},
      {"GET", "/kiv-game-data/assets/v1/champion-splashes/17/metadata.json",
       R"(200 {"CalculatedColor":"#112233","OverrideColor":""})"},
      // Backdrops answer HEAD only, by existence; HEAD of what GET serves
      // answers as GET would, without the body.
      {"HEAD", "/kiv-game-data/assets/v1/summoner-backdrops/9.jpg", "200 "},
      {"HEAD", "/kiv-game-data/assets/v1/summoner-backdrops/9.webm", "404 "},
      {"HEAD", "/kiv-login/v1/session", "200 "},
      // Foreign hosts and origins are refused; the docs route serves files
      // of its own folder only.
      {"GET", "/kiv-login/v1/session", bad_host("evil.example:" + port), "", {{"Host", "evil.example:" + port}}},
      {"GET", "/sim/status", bad_host("127.0.0.1.evil.example"), "", {{"Host", "127.0.0.1.evil.example"}}},
      {"GET", "/sim/status", bad_host("localhost:80x"), "", {{"Host", "localhost:80x"}}},
      {"GET", "/docs/..", "404 No such file: /docs/.."},
      {"GET", "/sim/status", bad_origin("http://evil.example"), "", {{"Origin", "http://evil.example"}}},
      {"GET", "/events", bad_origin("http://localhost:1"), "", {{"Origin", "http://localhost:1"}}},
      {"POST", "/sim/logout", bad_origin("http://evil.example"), "", {{"Origin", "http://evil.example"}}},
      {"GET", "/kiv-login/v1/session",
       R"(200 {"state":"SUCCEEDED","summonerId":11,"accountId":1001,"connected":true})", "",
       {{"Host", "localhost:" + port}, {"Origin", "http://localhost:" + port}}},  // the refused logout did nothing
      {"GET", "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/MaxChampionLevel", "200 7", "",
       {{"Origin", own}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + c.path);
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    request.headers = c.headers;
    auto result = served->http->send(request);
    EXPECT_EQ(kiv::test::Said(result), c.answer);
    if (!result) continue;
    EXPECT_EQ(result->get_header_value("Allow"), c.allow);
    if (!result->body.empty()) {
      EXPECT_EQ(result->get_header_value("Content-Type"), "application/json; charset=utf-8");
    }
  }
}

TEST_F(DevServer, StreamsPublishedResourceEventsOnceAndPluginEventsByName) {
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

  ASSERT_EQ(Send(*served->http, "POST", "/sim/disconnect"), "204 ");
  const std::string update =
      "data: {\"uri\":\"/kiv-login/v1/session\",\"eventType\":\"Update\",\"data\":{\"state\":\"SUCCEEDED\","
      "\"summonerId\":11,\"accountId\":1001,\"connected\":false}}\n\n";
  ASSERT_TRUE(resources.WaitFor("event: OnJsonApiEvent\n" + update)) << resources.text();
  ASSERT_TRUE(session.WaitFor("event: OnJsonApiEvent_kiv-login_v1_session\n" + update)) << session.text();

  ASSERT_EQ(Send(*served->http, "POST", "/sim/logout"), "204 ");
  ASSERT_TRUE(resources.WaitFor(
      "event: OnJsonApiEvent\ndata: {\"uri\":\"/kiv-acs/v2/recently-played-champions/current-summoner\","
      "\"eventType\":\"Delete\",\"data\":null}\n\n"));
  // Each change once on the default stream: the disconnect and four deletions.
  const std::string text = resources.text();
  size_t count = 0;
  for (size_t at = text.find("event: "); at != std::string::npos; at = text.find("event: ", at + 1)) ++count;
  EXPECT_EQ(count, 5u) << text;
}

TEST_F(DevServer, AClientThatStallsHoldsUpNobodyElse) {
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
    ASSERT_EQ(Send(*served->http, "POST", "/sim/push", push), "204 ");
  EXPECT_EQ(served->http->Get("/kiv-login/v1/session")->status, 200);
  // A loop blocked by the deaf follower would answer 504 after 30 s each.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  close(half);
  close(deaf);
}

TEST_F(DevServer, SimulationControlsChangeTheWorldAndReportFailures) {
  auto& http = *served->http;
  const std::pair<std::string, std::string> steps[] = {
      {"POST /sim/login {}", "409 Summoner 11 is logged in; log out first"},
      {R"(POST /sim/profile-icon {"iconId": 40})", "204 "},
      {R"(POST /sim/profile-icon {"icon": 40})", "400 The body needs \"iconId\""},
      {R"(POST /sim/profile-icon {"iconId": "x"})", "400 body.iconId: expected an integer, got \"x\""},
      {"POST /sim/profile-icon [1]", "400 The body must be a JSON object"},
      {R"(POST /sim/platform-config {"namespace": "ChampionMasteryConfig", "key": "Enabled", "value": false})",
       "204 "},
      {"POST /sim/logout", "204 "},
      {"POST /sim/logout", "409 Nobody is logged in"},
      {"POST /sim/reconnect", "409 Nobody is logged in; log in first"},
      {R"(POST /sim/login {"summonerId": 13})", "404 No summoner with id 13"},
      {R"(POST /sim/login {"summonerId": 12, "state": "LATE"})",
       "400 Unknown session state \"LATE\" (IN_PROGRESS, ERROR, SUCCEEDED or LOGGING_OUT)"},
      {R"(POST /sim/login {"summonerId": 12})", "204 "},
      {R"(POST /sim/faults {"target": "/kiv-summoner/v1/summoners/{id}", "status": 700})",
       "400 A fault's status must be an HTTP status (100 to 599)"},
      {"GET /kiv-summoner/v1/current-summoner",
       R"(200 {"summonerId":12,"accountId":1002,"summonerLevel":3,"profileIconId":3})"},
      {"GET /kiv-summoner/v1/summoners/11",
       R"(200 {"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":40})"},
      {"GET /kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled", "200 false"},
  };
  for (const auto& [step, said] : steps) EXPECT_EQ(SendStep(http, step), said) << step;
  EXPECT_THAT(Send(http, "GET", "/sim/status"), HasSubstr(R"("loggedIn":true,"summonerId":12,)"));
}

TEST_F(DevServer, RecordsThePluginsCallsAndAppliesPathFaults) {
  auto& http = *served->http;
  served->server->RunOnLoop([&] {
    served->server->loop().HandleRequest(KIV_METHOD_GET, "/other/v1/thing", [](const kiv::host::Request&) {
      return kiv::host::Response::Ok(kiv::host::OwnedValue::Text("thing"));
    });
  });
  const std::pair<std::string, std::string> steps[] = {
      {"DELETE /sim/calls", "204 "},
      {"GET /minimal/v1/relay", R"(200 "relayed:thing")"},
      {R"(POST /sim/faults {"target": "/other/v1/{name}", "status": 503, "message": "down", "times": 1})", "204 "},
      {"GET /minimal/v1/relay", "503 down"},
      {"GET /minimal/v1/relay", R"(200 "relayed:thing")"},  // only once
      {"GET /sim/calls",
       R"(200 {"calls":[{"request":"GET /other/v1/thing"},{"request":"GET /other/v1/thing","faulted":true},)"
       R"({"request":"GET /other/v1/thing"}],"counts":{"GET /other/v1/thing":3}})"},
      {"GET /sim/faults",
       R"(200 {"faults":[{"target":"/other/v1/{name}","method":"*","status":503,"message":"down","times":1}]})"},
      {"DELETE /sim/faults", "204 "},
      {"GET /sim/faults", R"(200 {"faults":[]})"},
      {"GET /sim/memory",
       R"(200 {"peakBytesInUse":1,"liveAllocationsAtPeak":2,"bytesAllocated":3,"allocations":4,"bytesFreed":5,)"
       R"("frees":6})"},
  };
  for (const auto& [step, said] : steps) EXPECT_EQ(SendStep(http, step), said) << step;
  // The plug-in's first line; its timer may have logged more since.
  EXPECT_THAT(Send(http, "GET", "/sim/log"),
              StartsWith(R"(200 {"lines":[{"level":3,"levelName":"ALWAYS","text":"minimal ready"})"));
}

TEST_F(DevServer, DescribesThePluginAsOpenApi) {
  const std::string doc = kiv::test::Answer(served->http->Get("/openapi.json"));
  Json(doc.substr(4));
  for (const char* part : {
           R"~(200 {"openapi":"3.1.0","info":{"title":"kiv-minimal (ozm-be-kiv-minimal)",)~",
           R"~("/minimal/v1/echo/{rest}":{"get":{"operationId":"GetMinimalV1EchoByRest","summary":"Echoes the )~"
           R"~(path.","description":"Echoes the path.","tags":["Plugin kiv-minimal"],"x-kiv-tags":["Plugins",)~"
           R"~("Plugin kiv-minimal"],"parameters":[{"name":"rest","in":"path","description":"What to echo",)~"
           R"~("required":true,"schema":{"type":"string"}}],"responses":{"200":{"description":"Success",)~"
           R"~("content":{"application/json":{"schema":{"type":"string"}}}},"default":{"description":"Failure: )~"
           R"~(the status and the message","content":{"application/json":{"schema":{"$ref":)~"
           R"~("#/components/schemas/KivHostError"}}}}}}})~",
           R"~("loud":{"$ref":"#/components/schemas/MinimalMood","description":"Whether it shouts"})~",
           R"~("MinimalMood":{"type":"string","enum":["Calm","Loud"],"description":"How loud. Values: Calm = 0, )~"
           R"~(Loud = 1"})~",
       })
    EXPECT_THAT(doc, HasSubstr(part));
}

TEST_F(DevServer, PrintsOneLinePerRequestAndThePluginsLog) {
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

TEST(DocsInBrowser, RendersTheOperationsAndOpensARoutesUrl) {
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
  // A route's URL opened in the browser shows its JSON.
  const std::string summoner = DumpDom(served->server->url() + "/kiv-summoner/v1/current-summoner");
  EXPECT_THAT(summoner, HasSubstr(R"({"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":7})"));
  const std::string echo = DumpDom(served->server->url() + "/minimal/v1/echo/page");
  EXPECT_THAT(echo, HasSubstr("\"echo:/minimal/v1/echo/page\""));
}

}  // namespace
