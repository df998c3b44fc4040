// The module's life on the fake host: what init connects, what unload
// withdraws, and other work running while a handler awaits (unload while
// one waits: after_unload_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "runtime/module_harness.h"
#include "runtime/resource_events.h"
#include "runtime/service_proxy.h"
#include "runtime/trov_calls.h"

namespace {

using kiv::host::CallKind;
using kiv::host::Request;
using kiv::host::Response;
using kiv::test::HarnessPlugin;
using kiv::test::ModuleHarness;
using kiv::test::PageDto;

constexpr const char* kUuidPath = "/kiv-login/v1/service-proxy-uuid-requests";

std::string UuidAnswer(const std::string& uuid, const std::string& payload) {
  return R"({"uuid":")" + uuid + R"(","serviceName":"","methodName":"","payload":")" + payload +
         R"(","status":"","error":""})";
}

TEST(ModuleLifecycle, InitConnectsServiceProxyEventsBeforeThePluginsInit) {
  std::vector<std::string> at_init;
  ModuleHarness m([&at_init](HarnessPlugin& plugin) {
    plugin.on_init = [&at_init](HarnessPlugin& p) {
      at_init = p.HandledEventNames();
      EXPECT_EQ(p.user_agent(), "QuarnClient/18.0.0 (kiv-test)");
      EXPECT_NE(p.telemetry(), nullptr);
      return true;
    };
  });
  const std::vector<std::string> expected{"OnServiceProxyAsyncEvent", "OnServiceProxyMethodEvent",
                                          "OnServiceProxyUuidEvent"};
  EXPECT_EQ(at_init, expected);
  for (const kiv::host::RecordedCall& call : m.host.CallsOf(CallKind::kSubscribe)) EXPECT_EQ(call.flag, 1u);
  EXPECT_NE(Quarn::Logger::Instance().FindAttachedTarget("PluginLogTarget"), nullptr);
}

TEST(ModuleLifecycle, UnloadWithdrawsEverySubscriptionOnceAndCompletesPendingCalls) {
  ModuleHarness m;
  m.host.Handle("POST", kUuidPath,
                [](const Request&) { return Response::Ok(kiv::host::OwnedValue::Text("u1")); });
  const auto ignore = [](const auto&) {};
  m.plugin->ObserveResource<Quarn::BindingProperty>("/kiv-login/v1/session", ignore);
  m.plugin->ObserveResource<Quarn::BindingProperty>("/kiv-login/v1/session/*", ignore);
  m.plugin->ObserveResource<Quarn::BindingProperty>("/kiv-summoner/v1/current-summoner", ignore);
  m.plugin->ObserveTrovEvent<PageDto>("com.quarngames.platform.X", ignore);
  std::vector<std::string> completions;
  ASSERT_EQ(m.plugin->ServiceProxyRequest("s", "m", 0, "", "",
                                          [&completions](const Quarn::PluginServiceProxyResponse& answer) {
                                            completions.push_back(answer.error);
                                          }),
            "");
  const std::vector<std::string> handled = m.plugin->HandledEventNames();
  EXPECT_EQ(handled.size(), 6u);

  m.Unload();
  EXPECT_TRUE(m.destroyed);
  std::vector<std::string> withdrawn;
  for (const kiv::host::RecordedCall& call : m.host.CallsOf(CallKind::kUnsubscribe))
    withdrawn.push_back(call.name);
  std::sort(withdrawn.begin(), withdrawn.end());
  EXPECT_EQ(withdrawn, handled);
  EXPECT_EQ(completions, std::vector<std::string>{"Finalizing"});
  EXPECT_TRUE(m.host.Problems().empty());
  EXPECT_EQ(m.host.unreleased_responses(), 0u);
}

// While a handler awaits a backend answer, the host runs a timer, another
// request and an event of the same plug-in; then the answer arrives.
TEST(ModuleLifecycle, OtherWorkRunsWhileAHandlerAwaits) {
  std::vector<std::string> order;
  ModuleHarness m([&order](HarnessPlugin& plugin) {
    plugin.on_register = [&order](HarnessPlugin& p) {
      p.api().Get("/test/v1/wait", [&p, &order]() -> Quarn::Maybe<std::string> {
        Quarn::Maybe<PageDto> page = p.CallServiceProxy<PageDto>("svc", "slow", 0);
        order.push_back("awaited " + (page.ok() ? page.value().name : std::string(page.FailureMessage())));
        return std::string("done");
      });
      p.api().Get("/test/v1/ping", [&order]() -> Quarn::Maybe<std::string> {
        order.push_back("request");
        return std::string("pong");
      });
    };
  });
  m.host.AnswerJson("GET", "/kiv-test/v1/thing", "null");
  m.plugin->ObserveResource<Quarn::BindingProperty>(
      "/kiv-test/v1/thing", [&order](const Quarn::ResourceEvent<Quarn::BindingProperty>& e) {
        if (e.event_type == Quarn::PluginResourceEventType::Update) order.push_back("event");
      });
  m.host.Handle("POST", kUuidPath, [&m, &order](const Request&) {
    m.plugin->StartTimerIn("t", 0, [&order] { order.push_back("timer"); });
    Request ping;
    ping.path = "/test/v1/ping";
    m.host.PostRequest(ping, [&order](const Response& r) { order.push_back("answered " + r.body.ToJson()); });
    m.host.DeliverJson("OnJsonApiEvent_kiv-test_v1_thing",
                       R"({"uri":"/kiv-test/v1/thing","eventType":"Update","data":1})");
    m.host.DeliverJson("OnServiceProxyUuidEvent", UuidAnswer("u1", R"({\"name\":\"late\"})"));
    return Response::Ok(kiv::host::OwnedValue::Text("u1"));
  });
  const Response response = m.host.Send("GET", "/test/v1/wait");
  ASSERT_TRUE(response.ok()) << response.error.value_or("");
  const std::vector<std::string> expected{"timer", "request", "answered \"pong\"", "event", "awaited late"};
  EXPECT_EQ(order, expected);
}

}  // namespace
