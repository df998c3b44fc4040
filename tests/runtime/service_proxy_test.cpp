// Service-proxy requests through the fake host: answers on later steps,
// answers before registration, concurrent requests, method requests,
// failures and the stopping state.
#include "runtime/service_proxy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/module_harness.h"

namespace {

using kiv::host::CallKind;
using kiv::host::Request;
using kiv::host::Response;
using kiv::test::FakeHost;
using kiv::test::ModuleHarness;
using kiv::test::PageDto;

constexpr const char* kUuidPath = "/kiv-login/v1/service-proxy-uuid-requests";
constexpr const char* kMethodPath = "/kiv-login/v1/service-proxy-method-requests";

std::string AnswerJson(const std::string& uuid, const std::string& payload, const std::string& error = "",
                       const std::string& service = "", const std::string& method = "") {
  Quarn::BindingProperty answer;
  answer.Member("uuid").SetString(uuid);
  answer.Member("serviceName").SetString(service);
  answer.Member("methodName").SetString(method);
  answer.Member("payload").SetString(payload);
  answer.Member("status").SetString(error.empty() ? "OK" : "ERROR");
  answer.Member("error").SetString(error);
  return Quarn::ToJson(answer);
}

// Hands out uuid-1, uuid-2, ... and queues `answers[i]` (if any) as the
// event of the i-th request, for a later step.
void AnswerUuidRequests(ModuleHarness& m, std::vector<std::string> answers) {
  auto count = std::make_shared<int>(0);
  m.host.Handle("POST", kUuidPath, [&m, count, answers](const Request&) {
    const int n = ++*count;
    if (n <= static_cast<int>(answers.size()) && !answers[n - 1].empty()) {
      m.host.DeliverJson("OnServiceProxyUuidEvent", answers[n - 1]);
    }
    return Response::Ok(kiv::host::OwnedValue::Text("uuid-" + std::to_string(n)));
  });
}

TEST(ServiceProxy, AnswerOnALaterStepCompletesTheAwaitedCall) {
  ModuleHarness m;
  AnswerUuidRequests(m, {AnswerJson("uuid-1", R"({"id":9,"name":"nine"})")});
  m.host.ClearCalls();
  Quarn::Maybe<PageDto> page =
      m.plugin->CallServiceProxy<PageDto>("championMastery", "getPage", PageDto{1, "q", {}});
  ASSERT_TRUE(page.ok()) << page.FailureMessage();
  EXPECT_EQ(page.value().name, "nine");

  const Request sent = m.host.RequestsTo(kUuidPath).at(0);
  ASSERT_EQ(sent.arguments.size(), 4u);
  EXPECT_EQ(sent.arguments[0].second.ToJson(), "\"championMastery\"");
  EXPECT_EQ(sent.arguments[1].second.ToJson(), "\"getPage\"");
  EXPECT_EQ(sent.arguments[2].second.ToJson(), std::to_string(reinterpret_cast<uintptr_t>(m.host.handle())));
  EXPECT_EQ(sent.arguments[3].second.ToJson(), R"("{\"id\":1,\"name\":\"q\",\"slots\":[]}")");
  EXPECT_EQ(m.CountCalls(CallKind::kBeginWait,
                         "Wait: future<" + Quarn::StaticTypeOf<Quarn::Maybe<PageDto>>().name + ">"),
            1);
  EXPECT_EQ(m.host.CallsOf(CallKind::kEndWait).size(), 1u);
}

TEST(ServiceProxy, AnswerBeforeRegistrationWaitsForItsRequest) {
  ModuleHarness m;
  // The answer is delivered while the request is still being sent.
  m.host.Handle("POST", kUuidPath, [&m](const Request&) {
    m.host.DeliverJson("OnServiceProxyUuidEvent", AnswerJson("uuid-early", R"({"id":4})"));
    m.host.Step();
    return Response::Ok(kiv::host::OwnedValue::Text("uuid-early"));
  });
  m.host.ClearCalls();
  Quarn::Maybe<PageDto> page = m.plugin->CallServiceProxy<PageDto>("svc", "get", 0);
  ASSERT_TRUE(page.ok()) << page.FailureMessage();
  EXPECT_EQ(page.value().id, 4u);
  EXPECT_TRUE(m.host.CallsOf(CallKind::kBeginWait).empty()) << "the future was ready before the wait";
}

TEST(ServiceProxy, TwoAnswersCompleteTwoPendingRequestsOneEach) {
  ModuleHarness m;
  AnswerUuidRequests(m, {});
  std::vector<std::string> completed;
  const auto note = [&completed](const Quarn::PluginServiceProxyResponse& a) {
    completed.push_back(a.uuid + "=" + a.payload);
  };
  EXPECT_EQ(m.plugin->ServiceProxyRequest("svc", "a", 1, "", "", note), "");
  EXPECT_EQ(m.plugin->ServiceProxyRequest("svc", "b", 2, "", "", note), "");
  m.host.DeliverJson("OnServiceProxyUuidEvent", AnswerJson("uuid-2", "\"second\""));
  m.host.DeliverJson("OnServiceProxyUuidEvent", AnswerJson("uuid-1", "\"first\""));
  m.host.DeliverJson("OnServiceProxyUuidEvent", AnswerJson("uuid-1", "\"again\""));  // nobody waits for it
  m.host.Step();
  const std::vector<std::string> expected{"uuid-2=\"second\"", "uuid-1=\"first\""};
  EXPECT_EQ(completed, expected);
}

TEST(ServiceProxy, MethodRequestIsKeyedByServiceAndReplyMethod) {
  ModuleHarness m;
  m.host.Handle("POST", kMethodPath, [&m](const Request&) {
    m.host.DeliverJson("OnServiceProxyMethodEvent", AnswerJson("", R"([{"id":1},{"id":2}])", "", "wardSkins",
                                                               "receiveSelectableWardSkins"));
    return Response::Ok(kiv::host::OwnedValue::Null());
  });
  // While the first request waits, a second with the same key is refused.
  std::string second;
  m.host.Post([&] {
    second = m.plugin->ServiceProxyRequest("wardSkins", "other", 0, "receiveSelectableWardSkins", "", {});
  });
  Quarn::Maybe<std::vector<PageDto>> skins = m.plugin->CallServiceProxyWithReply<std::vector<PageDto>>(
      "wardSkins", "getSelectableWardSkins", 7, "receiveSelectableWardSkins", "fifth");
  ASSERT_TRUE(skins.ok()) << skins.FailureMessage();
  EXPECT_EQ(skins.value().size(), 2u);
  EXPECT_EQ(second, "Request already in flight");

  const std::vector<Request> sent = m.host.RequestsTo(kMethodPath);
  ASSERT_EQ(sent.size(), 1u);
  std::vector<std::string> arguments;
  for (const auto& [name, value] : sent[0].arguments) arguments.push_back(value.ToJson());
  const std::vector<std::string> expected{"\"wardSkins\"",
                                          "\"getSelectableWardSkins\"",
                                          "\"receiveSelectableWardSkins\"",
                                          "\"fifth\"",
                                          std::to_string(reinterpret_cast<uintptr_t>(m.host.handle())),
                                          "\"7\""};
  EXPECT_EQ(arguments, expected);
  EXPECT_TRUE(m.Logged(2, "kiv-test: Could not invoke service proxy as request is already in flight"));
}

TEST(ServiceProxy, FailuresBecomeValues) {
  const std::string page_type = Quarn::StaticTypeOf<PageDto>().name;
  const std::string bad_type = Quarn::StaticTypeOf<kiv::test::UnregisteredDto>().name;
  {
    ModuleHarness m;
    AnswerUuidRequests(m, {AnswerJson("uuid-1", "", "Not allowed"), AnswerJson("uuid-2", "oops")});
    EXPECT_EQ(m.plugin->CallServiceProxy<PageDto>("s", "m", 0).FailureMessage(), "Not allowed");
    EXPECT_EQ(m.plugin->CallServiceProxy<PageDto>("s", "m", 0).FailureMessage(),
              "Failed to deserialize response payload \"oops\" to a " + page_type);
    EXPECT_EQ(m.plugin->CallServiceProxy<PageDto>("s", "m", kiv::test::UnregisteredDto{}).FailureMessage(),
              "Failed to convert type " + bad_type + " to BindingProperty for serialization");
  }
  {
    ModuleHarness m;
    m.host.AnswerError("POST", kUuidPath, "login plug-in gone", 503);
    EXPECT_EQ(m.plugin->CallServiceProxy<void>("s", "m", 0).FailureMessage(),
              "Error response for POST /kiv-login/v1/service-proxy-uuid-requests: login plug-in gone");
  }
}

TEST(ServiceProxy, AsyncAnswerGoesToItsHandlerOrIsLogged) {
  ModuleHarness m;
  std::vector<std::string> payloads;
  m.plugin->SetAsyncServiceProxyHandler(
      "svc", "pushed",
      [&payloads](const Quarn::PluginServiceProxyResponse& a) { payloads.push_back(a.payload); });
  m.host.DeliverJson("OnServiceProxyAsyncEvent", AnswerJson("", "\"p\"", "", "svc", "pushed"));
  m.host.DeliverJson("OnServiceProxyAsyncEvent", AnswerJson("", "\"q\"", "", "svc", "unknown"));
  m.host.Step();
  EXPECT_EQ(payloads, std::vector<std::string>{"\"p\""});
  EXPECT_TRUE(
      m.Logged(2, "kiv-test: Could not find registered handler for async service proxy event svc.unknown"));
}

}  // namespace
