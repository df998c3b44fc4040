#include "host/host_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_host.h"
#include "tests/host/serve_fixture.h"

namespace {

using kiv::host::CallKind;
using kiv::host::OwnedValue;
using kiv::host::Response;
using kiv::test::FakeHost;
using ::testing::ElementsAre;

// What a plug-in sees: the table, called through its pointer.
struct PluginSide {
  explicit PluginSide(const FakeHost& host) : api(host.api()), handle(host.handle()) {}

  // Sends a request and returns the body as JSON, or "error <status> <text>".
  std::string Get(const char* path) {
    HostResponse response = kiv::test::SendFrom(api, path, handle);
    std::string out = response.error != nullptr
                          ? "error " + std::to_string(response.status) + " " + response.error
                          : kiv::host::ToJson(response.body);
    kiv::test::Release(response);
    return out;
  }
  void Emit(const char* name, const HostValue& payload) {
    HostEvent event;
    std::memset(&event, 0, sizeof event);
    event.name = name;
    event.payload = payload;
    api->emit_event(api, &event);
  }
  void Subscribe(const char* name, HostEventFn fn, void* context) {
    api->subscribe(api, name, handle, fn, context, 0);
  }

  const HostApi* api;
  void* handle;
};

using Seen = std::vector<std::string>;  // "name payload" of each event heard

void Record(const HostEvent* event) {
  static_cast<Seen*>(event->context)->push_back(std::string(event->name) + " " + kiv::host::ToJson(event->payload));
}

TEST(HostLoop, StepRunsOnlyWorkQueuedBeforeItEvenFromInside) {
  FakeHost host;
  std::vector<std::string> ran;
  host.Post([&] {
    ran.push_back("a");
    host.Post([&] { ran.push_back("b"); });
  });
  EXPECT_EQ(host.Step(), 1u);
  EXPECT_THAT(ran, ElementsAre("a"));
  EXPECT_EQ(host.Step(), 1u);
  EXPECT_THAT(ran, ElementsAre("a", "b"));
  EXPECT_EQ(host.Step(), 0u);

  // A step from inside a handler runs each item once, in order.
  ran.clear();
  host.Post([&] {
    ran.push_back("a");
    host.api()->step(host.api());  // as a plug-in awaiting inside a handler
    ran.push_back("a-end");
  });
  host.Post([&] { ran.push_back("b"); });
  host.Post([&] { ran.push_back("c"); });
  EXPECT_EQ(host.Step(), 1u);  // b and c ran inside a's step
  EXPECT_THAT(ran, ElementsAre("a", "b", "c", "a-end"));
  EXPECT_EQ(host.pending(), 0u);
  EXPECT_THAT(host.CallSummaries(), ElementsAre("step"));
}

TEST(HostLoop, TimersPostedRequestsAndEventsWaitForTheirDelay) {
  FakeHost host;
  host.AnswerJson("GET", "/later", R"("done")");
  Seen ran;  // what ran, and "|" after each step
  using Timer = std::pair<Seen*, std::string>;
  Timer now{&ran, "now"}, later{&ran, "later"};
  auto fire = [](void* context) {
    auto* timer = static_cast<Timer*>(context);
    timer->first->push_back(timer->second);
  };
  host.api()->start_timer(host.api(), "now", fire, &now, 0.0, 0);
  host.api()->start_timer(host.api(), "later", fire, &later, 2.0, 0);
  EXPECT_TRUE(ran.empty()) << "never inside start_timer";
  kiv::host::Request request;
  request.path = "/later";
  host.PostRequest(request, [&](Response r) { ran.push_back(r.body.ToJson()); }, 1.0);
  host.Listen("*", [&](std::string_view name, const HostValue& v) {
    ran.push_back(std::string(name) + kiv::host::ToJson(v));
  });
  host.DeliverJson("OnLater", "[1]", 0.5);
  for (const double seconds : {0.0, 1.0, 0.9, 0.1, 0.0}) {
    host.AdvanceTime(seconds);
    host.Step();
    ran.push_back("|");
  }
  // A timer fires once.
  EXPECT_THAT(ran, ElementsAre("now", "|", "\"done\"", "OnLater[1]", "|", "|", "later", "|", "|"));
  EXPECT_THAT(host.CallSummaries(), ElementsAre("start_timer now", "start_timer later"));
}

TEST(HostLoop, EmittedEventsReachEverySubscriberOnTheNextStepWithACopiedPayload) {
  FakeHost host;
  PluginSide plugin(host);
  Seen first, second, other;
  plugin.Subscribe("OnThing", Record, &first);
  plugin.Subscribe("OnThing", Record, &second);
  plugin.Subscribe("OnOther", Record, &other);

  char text[] = "v1";
  HostValue payload = {};
  payload.tag = KIV_VALUE_TEXT_OWNED;
  payload.data.text = text;
  plugin.Emit("OnThing", payload);
  text[1] = '2';  // the emitter may reuse its record once the call returns
  EXPECT_TRUE(first.empty()) << "delivery waits for a step";
  host.Step();
  EXPECT_THAT(first, ElementsAre("OnThing \"v1\""));
  EXPECT_THAT(second, ElementsAre("OnThing \"v1\""));
  EXPECT_TRUE(other.empty());
  EXPECT_THAT(host.EmittedPayloads("OnThing"), ElementsAre("\"v1\""));

  host.api()->unsubscribe(host.api(), "OnThing", host.handle());
  host.DeliverJson("OnThing", R"({"n":1})");
  host.Step();
  EXPECT_EQ(first.size(), 1u);
  EXPECT_FALSE(host.IsSubscribed("OnThing"));

  // An invalid payload is reported, not delivered.
  HostValue bad = {};
  bad.tag = 12;
  plugin.Emit("OnOther", bad);
  host.Step();
  EXPECT_TRUE(other.empty());
  EXPECT_THAT(host.Problems(), ElementsAre("emit_event OnOther: invalid payload: invalid value tag 12"));

  // Delivery skips subscribers removed by earlier ones.
  struct Ctx {
    const FakeHost* host;
    int calls = 0;
  } ctx{&host};
  auto unsubscribe_all = [](const HostEvent* event) {
    auto* c = static_cast<Ctx*>(event->context);
    ++c->calls;
    c->host->api()->unsubscribe(c->host->api(), "OnX", c->host->handle());
  };
  plugin.Subscribe("OnX", unsubscribe_all, &ctx);
  plugin.Subscribe("OnX", Record, nullptr);  // would crash if still called
  host.DeliverJson("OnX", "1");
  host.Step();
  EXPECT_EQ(ctx.calls, 1);
}

TEST(HostLoop, TracksWaitsAndLogLines) {
  FakeHost host;
  const HostApi* api = host.api();
  api->begin_wait(api, "Wait: outer", 0);
  api->begin_wait(api, "Wait: yield", 0);
  EXPECT_THAT(host.WaitLabels(), ElementsAre("Wait: outer", "Wait: yield"));
  api->end_wait(api);
  EXPECT_THAT(host.WaitLabels(), ElementsAre("Wait: outer"));
  api->end_wait(api);
  api->end_wait(api);
  EXPECT_THAT(host.Problems(), ElementsAre("end_wait without begin_wait"));

  std::thread writer([api] { api->write_log_line(api, 2, "from another thread"); });
  writer.join();
  api->write_log_line(api, 3, "hello");
  ASSERT_EQ(host.LogLines().size(), 2u);
  EXPECT_EQ(host.LogLines()[0].level, 2u);
  EXPECT_THAT(host.LogTexts(), ElementsAre("from another thread", "hello"));
}

TEST(HostLoop, RoutesRequestsToStandInsByTemplate) {
  FakeHost host;
  host.AnswerJson("GET", "/summoner/v1/current-summoner", R"({"id":7})");
  host.Handle("GET", "/summoners/{id}", [](const kiv::host::Request& r) {
    return Response::Ok(OwnedValue::Text(std::string(r.Param("id")) + "/" + r.Query("x").value_or("-")));
  });
  host.Handle("GET", "/summoners/{+rest}",
              [](const kiv::host::Request&) { return Response::Ok(OwnedValue::Text("rest")); });
  PluginSide plugin(host);

  EXPECT_EQ(plugin.Get("/summoner/v1/current-summoner"), R"({"id":7})");
  EXPECT_EQ(plugin.Get("/summoners/42?x=a%20b"), R"("42/a b")");
  EXPECT_EQ(plugin.Get("/summoners/4/2"), R"("rest")");
  EXPECT_EQ(plugin.Get("/nowhere"), "error 404 No route for GET /nowhere");
  EXPECT_EQ(host.unreleased_responses(), 0u) << "each response was released once";
  EXPECT_THAT(
      host.CallSummaries(),
      ElementsAre("send_request GET /summoner/v1/current-summoner", "send_request GET /summoners/42?x=a%20b",
                  "send_request GET /summoners/4/2", "send_request GET /nowhere"));
}

TEST(HostLoop, StreamedAnswersArriveInChunksAndCanFail) {
  FakeHost host;
  host.AnswerStream("GET", "/big", {std::string(4096, 'a'), std::string(4096, 'b'), std::string(10, 'c')});
  host.AnswerStream("GET", "/broken", {"abc", "def"}, /*fail_at_read=*/2);
  const struct {
    const char* path;
    uint32_t expected_length;
    std::string read;  // what 4096-byte reads until "more" is clear got, "!" when one failed
    int reads;
  } cases[] = {{"/big", 8202, std::string(4096, 'a') + std::string(4096, 'b') + std::string(10, 'c'), 3},
               {"/broken", 6, "abc!", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    HostResponse response = kiv::test::SendFrom(host.api(), c.path);
    // Packed fields are read into locals: a reference to one may be misaligned.
    const HostStreamReadFn read = response.stream_read;
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(uint32_t{response.expected_length}, c.expected_length);
    std::string got;
    int reads = 0;
    char buffer[4096];
    for (uint8_t more = 1; more != 0;) {
      uint32_t size = sizeof buffer;
      ++reads;
      if (read(response.stream_context, buffer, &size, &more) == 0) {
        got += "!";
        break;
      }
      got.append(buffer, size);
    }
    EXPECT_EQ(got, c.read);
    EXPECT_EQ(reads, c.reads);
    const HostStreamCloseFn close = response.stream_close;
    close(response.stream_context);
    // Releasing a copy of the record too (a plug-in bug) must not free twice.
    HostResponse copy = response;
    kiv::test::Release(response);
    kiv::test::Release(copy);
  }
  EXPECT_EQ(host.streams_closed(), 2);
  EXPECT_EQ(host.unreleased_responses(), 0u);
}

TEST(HostLoop, InjectedFaultsFailTheChosenCalls) {
  FakeHost host;
  host.AnswerJson("GET", "/r", "true");
  host.FailNthCall(CallKind::kSendRequest, 2, "backend down", 503);
  host.FailRequests("GET", "/s/{id}", "nope", 404, /*times=*/1);
  host.AnswerJson("GET", "/s/{id}", "1");
  PluginSide plugin(host);
  EXPECT_EQ(plugin.Get("/r"), "true");
  EXPECT_EQ(plugin.Get("/r"), "error 503 backend down");
  EXPECT_EQ(plugin.Get("/r"), "true");
  EXPECT_EQ(plugin.Get("/s/1"), "error 404 nope");
  EXPECT_EQ(plugin.Get("/s/1"), "1");

  host.FailNthCall(CallKind::kSubscribe, 1);
  Seen seen;
  plugin.Subscribe("OnX", Record, &seen);
  EXPECT_FALSE(host.IsSubscribed("OnX"));
  EXPECT_TRUE(host.CallsOf(CallKind::kSubscribe).at(0).faulted);
}

}  // namespace
