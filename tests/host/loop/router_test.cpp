#include "host/loop/router.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/binding_api.h"
#include "api/route_matcher.h"
#include "host/path_template.h"

namespace {

Quarn::Maybe<void> Nothing() { return {}; }

struct Candidate {
  uint32_t method;
  const char* path_template;
  const char* custom = "";
};

// One routing case, answered by the host's router and by the plug-in's
// matcher alike: both must choose the same route with the same captures.
// No path holds a "+": the plug-in decodes it as a space, the host keeps it.
struct RouteCase {
  std::vector<Candidate> routes;
  uint32_t method;
  const char* path;
  int chosen;            // index into routes, -1 for none
  const char* captures;  // "name=value;..." in template order
  const char* custom = "";
};

constexpr uint32_t kGet = KIV_METHOD_GET;
constexpr uint32_t kPut = KIV_METHOD_PUT;
constexpr uint32_t kAny = KIV_METHOD_NONE;
constexpr uint32_t kCustom = KIV_METHOD_CUSTOM;

const RouteCase kCases[] = {
    // Equal captured characters: the earlier route stays, in either order.
    {{{kGet, "/a/{x}"}, {kGet, "/a/{+x}"}}, kGet, "/a/bc", 0, "x=bc;"},
    {{{kGet, "/a/{+x}"}, {kGet, "/a/{x}"}}, kGet, "/a/bc", 0, "x=bc;"},
    // Fewer captured characters win.
    {{{kGet, "/a/{x}"}, {kGet, "/a/{x}c"}}, kGet, "/a/bc", 1, "x=b;"},
    {{{kGet, "/a/{x}"}, {kGet, "/a/{+x}"}, {kGet, "/a/b{x}"}}, kGet, "/a/bcd", 2, "x=cd;"},
    {{{kGet, "/a/{+x}"}, {kGet, "/a/{x}"}}, kGet, "/a/b/c", 0, "x=b/c;"},
    // A route that captured nothing ends the scan and is never replaced.
    {{{kGet, "/a/{x}"}, {kGet, "/a/bc"}, {kAny, "/a/bc"}}, kGet, "/a/bc", 1, ""},
    {{{kGet, "/a/bc"}, {kGet, "/a/{x}"}}, kGet, "/a/bc", 0, ""},
    // Methods: 0 takes every method; PUT is not GET; custom methods compare their text.
    {{{kGet, "/a/{x}"}}, kPut, "/a/bc", -1, ""},
    {{{kGet, "/a/{x}"}, {kAny, "/a/{x}"}}, kPut, "/a/bc", 1, "x=bc;"},
    {{{kCustom, "/a", "LOCK"}}, kCustom, "/a", 0, "", "LOCK"},
    {{{kCustom, "/a", "LOCK"}}, kCustom, "/a", -1, "", "UNLOCK"},
    {{{kCustom, "/a", "LOCK"}, {kGet, "/a"}}, kGet, "/a", 1, ""},
    // The query string is not part of the route.
    {{{kGet, "/a/{x}/b"}}, kGet, "/a/1/b?x=2", 0, "x=1;"},
    {{{kGet, "/a/b"}}, kGet, "/a/b?", 0, ""},
    // "{x}" never spans "/"; "{+x}" and "{#x}" do.
    {{{kGet, "/a/{x}"}}, kGet, "/a/1/2", -1, ""},
    {{{kGet, "/p{#f}"}}, kGet, "/p#top/x", 0, "f=top/x;"},
    {{{kGet, "/p{#f}"}}, kGet, "/ptop", -1, ""},
    // Placeholders inside a segment, greedy from the left; captures are URL-decoded.
    {{{kGet, "/s/{a}-{b}"}}, kGet, "/s/x-y-z", 0, "a=x-y;b=z;"},
    {{{kGet, "/backdrops/{id}.webm"}}, kGet, "/backdrops/7%207.webm", 0, "id=7 7;"},
    // Lengths are compared decoded: "%41%42" is two characters, as "%42z" is.
    {{{kGet, "/a/{x}z"}, {kGet, "/a/%41{x}"}}, kGet, "/a/%41%42z", 0, "x=AB;"},
    {{{kGet, "/literal"}}, kGet, "/Literal", -1, ""},
    {{}, kGet, "/anything", -1, ""},
};

std::string HostChoice(const RouteCase& c, int* chosen) {
  // The router keeps pointers to the entries: they live until it is gone.
  std::vector<ApiFunctionEntry> entries(c.routes.size());
  kiv::host::Router router;
  std::vector<int> ids;
  for (size_t i = 0; i < c.routes.size(); ++i) {
    ApiFunctionEntry& f = entries[i];
    std::memset(&f, 0, sizeof f);
    f.method = c.routes[i].method;
    f.path = c.routes[i].path_template;
    f.custom_method = c.routes[i].custom;
    f.name = "f";
    ids.push_back(router.AddFunction(f, nullptr));
  }
  const kiv::host::RouteChoice choice = router.Choose(c.method, c.custom, c.path);
  *chosen = -1;
  for (size_t i = 0; choice.route && i < ids.size(); ++i) {
    if (ids[i] == choice.route->id) *chosen = static_cast<int>(i);
  }
  std::string out;
  for (const auto& capture : choice.captures) out += capture.name + "=" + capture.value + ";";
  return out;
}

std::string PluginChoice(const RouteCase& c, int* chosen) {
  // One API per route: templates that differ only in placeholder kinds derive the same name.
  std::vector<std::unique_ptr<Quarn::BindingApi>> apis;
  std::vector<const Quarn::BindingFunction*> candidates;
  for (const Candidate& route : c.routes) {
    auto& api = *apis.emplace_back(std::make_unique<Quarn::BindingApi>());
    const auto method = static_cast<Quarn::Method>(route.method);
    auto builder = method == Quarn::Method::Custom ? api.Custom(route.custom, route.path_template, &Nothing)
                                                   : api.Register(method, route.path_template, &Nothing);
    candidates.push_back(builder.function());
  }
  Quarn::MatchState state;
  state.method = static_cast<Quarn::Method>(c.method);
  state.custom_method = c.custom;
  state.path = c.path;
  Quarn::MatchRoutes(candidates, state);
  *chosen = -1;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i] == state.function) *chosen = static_cast<int>(i);
  }
  std::string out;
  for (const auto& [name, value] : state.path_arguments) out += name + "=" + value + ";";
  return out;
}

TEST(Router, HostAndPluginChooseTheSameRoute) {
  for (size_t n = 0; n < std::size(kCases); ++n) {
    const RouteCase& c = kCases[n];
    int host_chosen = -2;
    int plugin_chosen = -2;
    EXPECT_EQ(HostChoice(c, &host_chosen), c.captures) << "host, case " << n << ": " << c.path;
    EXPECT_EQ(host_chosen, c.chosen) << "host, case " << n << ": " << c.path;
    EXPECT_EQ(PluginChoice(c, &plugin_chosen), c.captures) << "plug-in, case " << n << ": " << c.path;
    EXPECT_EQ(plugin_chosen, c.chosen) << "plug-in, case " << n << ": " << c.path;
  }
}

TEST(Router, NoRouteAnswersNameTheMethodsThePathAccepts) {
  kiv::host::Router router;
  auto answer = [](const kiv::host::Request&) { return kiv::host::Response::Ok(kiv::host::OwnedValue::Null()); };
  router.Add(kGet, "/a/{x}", answer);
  router.Add(kGet, "/a/{+x}", answer);
  router.Add(kPut, "/a/{x}", answer);
  const int removed = router.Add(KIV_METHOD_DELETE, "/a/{x}", answer);
  router.Remove(removed);

  kiv::host::Request request;
  request.method = KIV_METHOD_POST;
  request.path = "/a/1?q=2";
  const auto choice = router.Choose(request.method, "", request.path);
  ASSERT_FALSE(choice.route);
  const kiv::host::Response wrong = kiv::host::NoRouteResponse(request, choice);
  EXPECT_EQ(wrong.status, 405u);
  EXPECT_EQ(wrong.error, "Method POST not allowed for /a/1");
  ASSERT_EQ(wrong.headers.size(), 1u);
  EXPECT_EQ(wrong.headers[0].second, "GET, PUT") << "each method once";
  EXPECT_EQ(router.Lookup(request.method, "", request.path).allowed, (std::vector<std::string>{"GET", "PUT"}));
  EXPECT_EQ(router.Lookup(kGet, "", "/a/1").kind, kiv::host::RouteLookup::Kind::kFound);

  request.path = "/b";
  const kiv::host::Response missing = kiv::host::NoRouteResponse(request, router.Choose(request.method, "", request.path));
  EXPECT_EQ(missing.status, 404u);
  EXPECT_EQ(missing.error, "No route for POST /b");
  EXPECT_EQ(router.Lookup(kGet, "", "/b").kind, kiv::host::RouteLookup::Kind::kNotFound);
}

using kiv::host::PathTemplate;

struct MatchCase {
  const char* path_template;
  const char* path;
  bool matches;
  const char* captures;  // "name=value;..." in template order
};

std::string Render(const std::vector<kiv::host::PathCapture>& captures) {
  std::string out;
  for (const auto& c : captures) out += c.name + "=" + c.value + ";";
  return out;
}

TEST(PathTemplate, MatchesEmptyCapturesAndKeepsUndecodableText) {
  // The cases Router.HostAndPluginChooseTheSameRoute does not hold.
  const MatchCase kCases[] = {
      {"/a/{id}/b", "/a//b", true, "id=;"},
      {"/x/{+rest}", "/x/", true, "rest=;"},
      {"/backdrops/{id}.webm", "/backdrops/77.jpg", false, ""},
      {"/q/{name}", "/q/a%20b+c%2", true, "name=a b+c%2;"},  // "+" is a space in queries only
      {"/v1/{id}/x", "/v1/{id}/x", true, "id={id};"},
  };
  for (const auto& c : kCases) {
    auto captures = PathTemplate(c.path_template).Match(c.path);
    EXPECT_EQ(captures.has_value(), c.matches) << c.path_template << " vs " << c.path;
    if (captures) {
      EXPECT_EQ(Render(*captures), c.captures) << c.path_template << " vs " << c.path;
    }
  }
}

TEST(PathTemplate, QueryHelpers) {
  EXPECT_EQ(kiv::host::PathWithoutQuery("/a/b?x=1?y"), "/a/b");
  EXPECT_EQ(kiv::host::QueryOf("/a/b?x=1?y"), "x=1?y");
  EXPECT_EQ(kiv::host::QueryOf("/a/b"), "");
  EXPECT_EQ(kiv::host::QueryParam("a=1&ids=%5B1%2C2%5D&flag", "ids"), "[1,2]");
  EXPECT_EQ(kiv::host::QueryParam("a=1&flag", "flag"), "");
  EXPECT_EQ(kiv::host::QueryParam("q=a+b%2Bc&q=2", "q"), "a b+c");
  EXPECT_FALSE(kiv::host::QueryParam("a=1", "b").has_value());
}

}  // namespace
