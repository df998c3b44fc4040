// Resource events through the fake host: pattern matching, shared
// subscriptions, the initial fetch, dispatch of delivered events, publish.
#include "runtime/resource_events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/module_harness.h"

namespace {

using kiv::host::CallKind;
using kiv::test::ModuleHarness;
using kiv::test::PageDto;
using Quarn::ResourceEvent;

struct PatternCase {
  const char* pattern;
  const char* uri;
  bool matches;
};
constexpr PatternCase kPatterns[] = {
    {"/a/*/c", "/a/b/c", true}, {"/a/*/c", "/a/bb/c", true},
    {"/a/*/c", "/a//c", true},  {"/a/*/c", "/a/b/d/c", false},
    {"/a/*", "/a/b", true},     {"/a/*", "/a/", false},
    {"/a/*", "/a/b/c", false},  {"/a/b", "/a/b", true},
    {"/a/b", "/a/B", false},    {"/a/*/*", "/a/x/y", true},
    {"*", "", false},           {"/a/*/c", "/a/b/c/", false},
};

TEST(UriMatchesPattern, StarStopsAtSlashOrEnd) {
  for (const PatternCase& c : kPatterns) {
    EXPECT_EQ(Quarn::UriMatchesPattern(c.pattern, c.uri), c.matches) << c.pattern << " vs " << c.uri;
  }
}

std::string ResourceJson(const std::string& uri, const std::string& type, const std::string& data) {
  return R"({"uri":")" + uri + R"(","eventType":")" + type + R"(","data":)" + data + "}";
}

TEST(ResourceEvents, ObserversOfOneEventNameShareOneHostSubscription) {
  ModuleHarness m;
  std::vector<std::string> seen;
  const auto note = [&seen](const ResourceEvent<Quarn::BindingProperty>& e) { seen.push_back(e.uri); };
  m.plugin->ObserveResource<Quarn::BindingProperty>("/kiv-login/v1/session", note);
  m.plugin->ObserveResource<Quarn::BindingProperty>("/kiv-login/v1/session/state", note);
  m.plugin->ObserveResource<Quarn::BindingProperty>("/kiv-login/v1/session/*", note);
  const std::string name = "OnJsonApiEvent_kiv-login_v1_session";
  EXPECT_EQ(m.CountCalls(CallKind::kSubscribe, name), 1);
  EXPECT_EQ(m.plugin->SubscriptionCount(name), 3);

  // Both the exact and the pattern observer hear a state change; the leading
  // "/" may be missing on the wire.
  m.host.DeliverJson(name, ResourceJson("kiv-login/v1/session/state", "Update", "1"));
  m.host.Step();
  const std::vector<std::string> expected{"/kiv-login/v1/session/state", "/kiv-login/v1/session/state"};
  EXPECT_EQ(seen, expected);
  // The host subscription and the handler go with the last of them; a name
  // never subscribed is ignored.
  for (const char* uri : {"/kiv-login/v1/session", "/kiv-never/v1/subscribed", "/kiv-login/v1/session/state",
                          "/kiv-login/v1/session/*"}) {
    EXPECT_EQ(m.CountCalls(CallKind::kUnsubscribe, name), 0) << uri;
    m.plugin->Unsubscribe(uri);
  }
  EXPECT_EQ(m.CountCalls(CallKind::kUnsubscribe, name), 1);
  const std::vector<std::string> handled = m.plugin->HandledEventNames();
  EXPECT_EQ(std::count(handled.begin(), handled.end(), name), 0);
}

TEST(ResourceEvents, ExactObserverGetsTheCurrentValueThenEvents) {
  ModuleHarness m;
  m.host.AnswerJson("GET", "/kiv-test/v1/page", R"({"id":3,"name":"now"})");
  m.host.AnswerError("GET", "/kiv-test/v1/missing", "not found", 404);
  std::vector<std::string> seen;
  const auto note = [&seen](const ResourceEvent<PageDto>& e) {
    seen.push_back(e.uri + " " + std::to_string(static_cast<int>(e.event_type)) + " " + e.data.name);
  };
  m.plugin->ObserveResource<PageDto>("/kiv-test/v1/page", note);
  m.plugin->ObserveResource<PageDto>("/kiv-test/v1/missing", note);
  EXPECT_EQ(seen, std::vector<std::string>{"/kiv-test/v1/page 0 now"});

  const std::string name = "OnJsonApiEvent_kiv-test_v1_missing";
  m.host.DeliverJson(name, ResourceJson("/kiv-test/v1/missing", "Create", R"({"id":4,"name":"new"})"));
  // Data that does not convert is dropped; a deletion carries no data.
  m.host.DeliverJson(name, ResourceJson("/kiv-test/v1/missing", "Update", R"({"id":"four"})"));
  m.host.DeliverJson(name, ResourceJson("/kiv-test/v1/missing", "Delete", R"({"id":"four"})"));
  m.host.Step();
  const std::vector<std::string> expected{"/kiv-test/v1/page 0 now", "/kiv-test/v1/missing 0 new",
                                          "/kiv-test/v1/missing 2 "};
  EXPECT_EQ(seen, expected);
}

TEST(ResourceEvents, PublishEmitsUnderTheUriNameAndTheBaseName) {
  ModuleHarness m;
  m.host.ClearCalls();
  const PageDto page{7, "runes", {}};
  ASSERT_TRUE(m.plugin->PublishResource("/kiv-collections/v1/inventories/7/runes", page).ok());
  const std::vector<std::string> names{"OnJsonApiEvent_kiv-collections_v1_inventories", "OnJsonApiEvent"};
  EXPECT_EQ(m.host.EmittedNames(), names);
  const std::string payload =
      R"({"data":{"id":7,"name":"runes","slots":[]},"eventType":"Update","uri":"/kiv-collections/v1/inventories/7/runes"})";
  EXPECT_EQ(m.host.EmittedPayloads("OnJsonApiEvent"), std::vector<std::string>{payload});
  m.host.Step();  // delivered to nobody

  // The module hears its own update through the host.
  std::vector<uint64_t> ids;
  m.plugin->ObserveResource<PageDto>("/kiv-collections/v1/inventories/*/runes",
                                     [&ids](const ResourceEvent<PageDto>& e) { ids.push_back(e.data.id); });
  ASSERT_TRUE(m.plugin->PublishResource("/kiv-collections/v1/inventories/8/runes", PageDto{8, "", {}}).ok());
  m.host.Step();
  EXPECT_EQ(ids, std::vector<uint64_t>{8});
}

TEST(ResourceEvents, PublishReportsConversionFailuresAndSendsNothing) {
  ModuleHarness m;
  m.host.ClearCalls();
  Quarn::Maybe<void> result = m.plugin->PublishResource("/kiv-test/v1/x", kiv::test::UnregisteredDto{});
  ASSERT_TRUE(result.HasFailure());
  EXPECT_FALSE(result.failure().message().empty());
  EXPECT_TRUE(m.host.EmittedNames().empty());
}

}  // namespace
