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
  kiv::test::RunExchanges(*served, "dev_server_routes.txt");
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
  kiv::test::RunExchanges(*served, "sim_controls.txt");
}

TEST_F(DevServer, RecordsThePluginsCallsAndAppliesPathFaults) {
  served->server->RunOnLoop([&] {
    served->server->loop().HandleRequest(KIV_METHOD_GET, "/other/v1/thing", [](const kiv::host::Request&) {
      return kiv::host::Response::Ok(kiv::host::OwnedValue::Text("thing"));
    });
  });
  kiv::test::RunExchanges(*served, "recorded_calls.txt");
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
