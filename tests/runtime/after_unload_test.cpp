// A plug-in once unload has begun: the host unloads it while one of its
// calls waits inside the host, fires a timer it no longer owns, or never
// gave it a function table. Nothing of the plug-in may call the host after
// unload returned, no wait may loop for ever, and nothing may be reported
// as sent when no host took it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/module_harness.h"
#include "runtime/outbound_request.h"
#include "runtime/resource_events.h"
#include "runtime/service_proxy.h"
#include "runtime/telemetry_sink.h"
#include "runtime/trov_calls.h"

namespace {

using kiv::host::Request;
using kiv::host::Response;
using kiv::test::FakeHost;
using kiv::test::HarnessPlugin;
using kiv::test::ModuleHarness;
using kiv::test::PageDto;
using Quarn::Method;

constexpr const char* kUuidPath = "/kiv-login/v1/service-proxy-uuid-requests";
constexpr const char* kRoute = "/test/v1/run";

// A wait that never ends would hang the suite: it re-posts itself on every
// host step and, after `steps` of them, stops the process with a message.
struct Watchdog {
  FakeHost* host;
  std::shared_ptr<int> steps_left;
  void operator()() const {
    if (--*steps_left == 0) {
      std::fprintf(stderr, "a wait did not end after unload\n");
      std::abort();
    }
    host->Post(*this);
  }
};
void EndProcessAfterSteps(FakeHost& host, int steps) {
  host.Post(Watchdog{&host, std::make_shared<int>(steps)});
}

// Registers `body` as the handler of GET /test/v1/run.
HarnessPlugin::Hook Route(std::function<Quarn::Maybe<std::string>(HarnessPlugin&)> body) {
  return [body](HarnessPlugin& plugin) {
    plugin.on_register = [body](HarnessPlugin& p) {
      p.api().Get(kRoute, [&p, body]() -> Quarn::Maybe<std::string> { return body(p); });
    };
  };
}

// The host unloads the plug-in from a step that a waiting handler made;
// the wait ends with "Finalizing" and the host hears nothing more.
TEST(AfterUnload, AWaitingHandlerGetsAFailureAndCallsTheHostNoMore) {
  struct Case {
    const char* name;
    // Arranges for the unload to run during the handler's wait.
    std::function<void(ModuleHarness&)> arrange;
    std::function<Quarn::Maybe<std::string>(HarnessPlugin&)> body;
  };
  auto never_set = std::make_shared<Quarn::Promise<int>>();
  const auto call_proxy = [](HarnessPlugin& p) -> Quarn::Maybe<std::string> {
    Quarn::Maybe<PageDto> page = p.CallServiceProxy<PageDto>("svc", "slow", 0);
    if (page.HasFailure()) return page.TakeFailure();
    return std::string("answered");
  };
  const std::vector<Case> cases = {
      {"awaiting a service-proxy answer",
       [](ModuleHarness& m) {
         m.host.Handle("POST", kUuidPath, [&m](const Request&) {
           m.host.Post([&m] { m.Unload(); });
           return Response::Ok(kiv::host::OwnedValue::Text("u1"));
         });
       },
       call_proxy},
      // The send returns after unload completed every pending request: a
      // request registered now would never complete, so it is refused.
      {"sending a service-proxy request",
       [](ModuleHarness& m) {
         m.host.Handle("POST", kUuidPath, [&m](const Request&) {
           m.host.Post([&m] { m.Unload(); });
           return Response::Stream({"\"u", "1\""});
         });
       },
       [](HarnessPlugin& p) -> Quarn::Maybe<std::string> {
         const std::string refused = p.ServiceProxyRequest("svc", "slow", 0, "", "", [](const auto&) {});
         if (refused.empty()) return std::string("registered");
         return Quarn::Failure(refused);
       }},
      {"awaiting a future nobody fulfils", [](ModuleHarness& m) { m.host.Post([&m] { m.Unload(); }); },
       [never_set](HarnessPlugin& p) -> Quarn::Maybe<std::string> {
         Quarn::Maybe<int> value = p.Await(never_set->get_future());
         if (value.HasFailure()) return value.TakeFailure();
         return std::string("fulfilled");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModuleHarness m(Route(c.body));
    c.arrange(m);
    EndProcessAfterSteps(m.host, 10000);
    const Response response = m.host.Send("GET", kRoute);
    EXPECT_EQ(response.error.value_or("answered"), "Finalizing");
    EXPECT_TRUE(m.destroyed);
    EXPECT_EQ(m.CallsSinceUnload(), std::vector<std::string>{});
    EXPECT_EQ(m.host.Problems(), std::vector<std::string>{});
  }
}

// A handler that goes on after the unload ran inside its yield: each way
// of reaching the host fails or does nothing, and none reaches it.
TEST(AfterUnload, EveryWayToTheHostIsClosed) {
  struct Case {
    const char* name;
    std::function<std::string(HarnessPlugin&)> attempt;
    std::string outcome;
  };
  const auto ignore = [](const auto&) {};
  auto never_set = std::make_shared<Quarn::Promise<int>>();
  const std::vector<Case> cases = {
      {"request",
       [](HarnessPlugin& p) { return std::string(p.Request(Method::Get, "/kiv-x/v1/a").FailureMessage()); },
       "Request not sent: GET /kiv-x/v1/a: Finalizing"},
      {"telemetry",
       [](HarnessPlugin& p) {
         Quarn::BindingProperty payload;
         payload.Member("n").SetUnsigned(1);
         return std::string(p.telemetry()->SendTelemetryEvent("e", payload).get().FailureMessage());
       },
       "Request not sent: POST /telemetry/v1/events/e: Finalizing"},
      {"publish",
       [](HarnessPlugin& p) { return std::string(p.PublishResource("/kiv-x/v1/a", 1).FailureMessage()); },
       "Finalizing"},
      {"service proxy",
       [](HarnessPlugin& p) { return std::string(p.CallServiceProxy<void>("s", "m", 0).FailureMessage()); },
       "Finalizing"},
      {"await",
       [never_set](HarnessPlugin& p) {
         return std::string(p.Await(never_set->get_future()).FailureMessage());
       },
       "Finalizing"},
      {"yield", [](HarnessPlugin& p) { return std::to_string(p.Yield()); }, "0"},
      // The host's context is gone with unload; a raw host call is refused here.
      {"step", [](HarnessPlugin& p) { return std::to_string(p.Step()); },
       std::to_string(Quarn::kHostCallRefused)},
      {"timer", [](HarnessPlugin& p) { return std::to_string(p.StartTimerIn("t", 0, [] { std::abort(); })); },
       "0"},
      {"observe a resource",
       [ignore](HarnessPlugin& p) {
         p.ObserveResource<Quarn::BindingProperty>("/kiv-x/v1/a", ignore);
         p.ObserveTrovEvent<PageDto>("com.quarngames.platform.X", ignore);
         return std::to_string(p.HandledEventNames().size());
       },
       "0"},
      {"log line",
       [](HarnessPlugin&) {
         Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, "after unload");
         return std::string();
       },
       ""},
  };
  std::vector<std::string> outcomes;
  ModuleHarness m(Route([&cases, &outcomes](HarnessPlugin& p) -> Quarn::Maybe<std::string> {
    p.Yield();  // the unload runs in here
    for (const Case& c : cases) outcomes.push_back(c.attempt(p));
    return std::string("done");
  }));
  m.host.AnswerJson("*", "/kiv-x/v1/a", "1");
  m.host.Post([&m] { m.Unload(); });
  EndProcessAfterSteps(m.host, 10000);
  EXPECT_TRUE(m.host.Send("GET", kRoute).ok());
  ASSERT_EQ(outcomes.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(outcomes[i], cases[i].outcome) << cases[i].name;
  EXPECT_TRUE(m.destroyed);
  EXPECT_EQ(m.CallsSinceUnload(), std::vector<std::string>{});
}

// The host fires a timer that was still pending at unload: the plug-in
// runs nothing and touches no freed memory.
TEST(AfterUnload, APendingTimerNeverRuns) {
  // Fired on a later step, or due in the step that unloads (queued first).
  for (const bool unload_first : {false, true}) {
    SCOPED_TRACE(unload_first);
    ModuleHarness m;
    int runs = 0;
    const double delay_seconds = unload_first ? 0 : 5;
    if (unload_first) m.host.Post([&m] { m.Unload(); });
    m.plugin->StartTimerIn("late", delay_seconds, [&runs] { ++runs; });
    if (!unload_first) m.Unload();
    m.host.AdvanceTime(delay_seconds + 1);
    m.host.RunUntilIdle();
    EXPECT_TRUE(m.destroyed);
    EXPECT_EQ(runs, 0);
  }
}

// Without a host function table nothing can be sent: init fails, and a
// request fails instead of being taken for answered.
TEST(AfterUnload, AMissingHostTableIsAFailure) {
  const HostApi no_entries{};
  // No table fails init; a table without entries passes it.
  const HostContext contexts[] = {{nullptr, reinterpret_cast<void*>(1)},
                                  {&no_entries, reinterpret_cast<void*>(1)}};
  for (const HostContext& context : contexts) {
    SCOPED_TRACE(context.api == nullptr ? "no table" : "a table without entries");
    ModuleHarness m({}, &context);
    EXPECT_EQ(m.init_result, context.api == nullptr ? 0 : 1);
    Quarn::Maybe<void> sent = m.plugin->Request(Method::Post, "/kiv-x/v1/save", 1);
    ASSERT_TRUE(sent.HasFailure());
    EXPECT_EQ(sent.failure().code(), 503u);
    EXPECT_EQ(sent.failure().message(),
              "Error response for POST /kiv-x/v1/save: No host to send the request to");
  }
}

}  // namespace
