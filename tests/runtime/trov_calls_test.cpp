// Backend calls over TROV through the fake host: invoke arguments with
// their class annotations, answer checks, and push messages that run on a
// later host turn.
#include "runtime/trov_calls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "runtime/module_harness.h"

namespace {

using kiv::host::CallKind;
using kiv::host::Response;
using kiv::test::BookDto;
using kiv::test::FakeHost;
using kiv::test::ModuleHarness;
using kiv::test::PageDto;
using kiv::test::SlotDto;

constexpr const char* kInvoke = "/kiv-login/v1/session/invoke";

TEST(TrovInvoke, SendsDestinationMethodAndAnnotatedArguments) {
  ModuleHarness m;
  m.host.AnswerJson("POST", kInvoke, R"({"typeName":"","body":null})");
  const BookDto book{{PageDto{1, "a", {SlotDto{5}}}}, {{"x", PageDto{2, "b", {}}}}, SlotDto{9}};
  Quarn::Future<void> done = m.plugin->Invoke("bookService", "saveBook", book, 12u);
  ASSERT_TRUE(m.plugin->Await(std::move(done)).ok());

  const kiv::host::Request sent = *m.host.LastRequest();
  ASSERT_EQ(sent.arguments.size(), 3u);
  EXPECT_EQ(sent.arguments[0].second.ToJson(), "\"bookService\"");
  EXPECT_EQ(sent.arguments[1].second.ToJson(), "\"saveBook\"");
  const std::string page = std::string(R"({"__class":")") + kiv::test::kPageClass;
  const std::string slot = std::string(R"({"__class":")") + kiv::test::kSlotClass;
  EXPECT_EQ(sent.arguments[2].second.ToJson(),
            R"([{"byName":{"x":)" + page + R"(","id":2,"name":"b","slots":[]}},"favourite":)" + slot +
                R"(","rune":9},"pages":[)" + page + R"(","id":1,"name":"a","slots":[)" + slot +
                R"(","rune":5}]}]},12])");
}

TEST(TrovInvoke, ChecksTheAnswersClassAndConvertsItsBody) {
  struct Case {
    const char* name;
    Response answer;
    std::string failure;  // "" for success
    uint64_t id;
  };
  const std::string type_name = Quarn::StaticTypeOf<PageDto>().name;
  const std::vector<Case> cases = {
      {"registered class",
       Response::Ok(FakeHost::Json(R"({"typeName":"com.quarngames.platform.test.PageDTO","body":{"id":3}})")),
       "", 3},
      {"null body skips the class check", Response::Ok(FakeHost::Json(R"({"typeName":"other","body":null})")),
       "", 0},
      {"another class", Response::Ok(FakeHost::Json(R"({"typeName":"com.other.Thing","body":{"id":3}})")),
       "Expected 'com.quarngames.platform.test.PageDTO' as TROV response for pageService.getPage, but got "
       "'com.other.Thing'",
       0},
      {"body that does not convert",
       Response::Ok(
           FakeHost::Json(R"({"typeName":"com.quarngames.platform.test.PageDTO","body":{"id":"x"}})")),
       "Couldn't convert TROV DTO " + type_name + R"( to C++ from {"id":"x"})", 0},
      {"error response", Response::Error("backend down", 503),
       "Error response for POST /kiv-login/v1/session/invoke: backend down", 0},
  };
  for (const Case& c : cases) {
    ModuleHarness m;
    m.host.AnswerSequence("POST", kInvoke, {c.answer});
    Quarn::Future<PageDto> future = m.plugin->Invoke<PageDto>("pageService", "getPage", uint64_t{3});
    ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready) << c.name;
    Quarn::Maybe<PageDto> result = future.get();
    if (c.failure.empty()) {
      ASSERT_TRUE(result.ok()) << c.name << ": " << result.FailureMessage();
      EXPECT_EQ(result.value().id, c.id) << c.name;
    } else {
      ASSERT_TRUE(result.HasFailure()) << c.name;
      EXPECT_EQ(result.failure().message(), c.failure) << c.name;
    }
  }
}

TEST(TrovInvoke, UnconvertibleArgumentsAreNotSent) {
  ModuleHarness m;
  m.host.AnswerJson("POST", kInvoke, R"({"typeName":"","body":null})");
  Quarn::Maybe<PageDto> result =
      m.plugin->Await(m.plugin->Invoke<PageDto>("s", "m", 1, kiv::test::UnregisteredDto{}));
  ASSERT_TRUE(result.HasFailure());
  EXPECT_EQ(result.failure().message().rfind("Couldn't convert TROV call parameters: ", 0), 0u)
      << result.FailureMessage();
  EXPECT_TRUE(m.host.RequestsTo(kInvoke).empty());
}

constexpr const char* kFulfillment = "com.quarngames.platform.messaging.StoreFulfillmentNotification";
constexpr const char* kFulfillmentEvent =
    "OnTrovEvent_com_quarngames_platform_messaging_StoreFulfillmentNotification";

std::string PushJson(const std::string& type_name, const std::string& body) {
  return R"({"clientId":"c","subtopic":"s","typeName":")" + type_name + R"(","body":)" + body + "}";
}

TEST(TrovEvents, PushMessageRunsOnTheNextHostTurn) {
  ModuleHarness m;
  std::vector<uint64_t> ids;
  m.plugin->ObserveTrovEvent<PageDto>(kFulfillment, [&ids](const PageDto& page) { ids.push_back(page.id); });
  m.plugin->ObserveTrovEvent<PageDto>(kFulfillment,
                                      [&ids](const PageDto& page) { ids.push_back(page.id + 100); });
  EXPECT_EQ(m.CountCalls(CallKind::kSubscribe, kFulfillmentEvent), 1);
  EXPECT_EQ(m.host.CallsOf(CallKind::kSubscribe).back().flag, 1u);

  m.host.DeliverJson(kFulfillmentEvent, PushJson(kFulfillment, R"({"id":5})"));
  m.host.DeliverJson(kFulfillmentEvent, PushJson(kFulfillment, R"({"id":"bad"})"));
  m.host.DeliverJson(kFulfillmentEvent, PushJson("com.quarngames.platform.Unobserved", R"({"id":6})"));
  m.host.Step();
  EXPECT_TRUE(ids.empty()) << "ran inside the event delivery";
  EXPECT_EQ(m.CountCalls(CallKind::kStartTimer, std::string("Event: OnTrovEvent (") + kFulfillment + ")"), 2);
  m.host.Step();
  EXPECT_EQ(ids, std::vector<uint64_t>{105});
  EXPECT_EQ(m.plugin->PendingTimerCount(), 0u);
}

}  // namespace
