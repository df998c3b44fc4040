#include "api/route_matcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "api/binding_api.h"

namespace {

using Quarn::Maybe;
using Quarn::Method;

Maybe<void> Nothing() { return {}; }

struct Candidate {
  Method method;
  std::string_view path_template;
  std::string_view custom = {};
};

struct MatchCase {
  std::vector<Candidate> routes;
  Method method;
  std::string_view path;
  int chosen;  // index into routes, -1 for no match
  Quarn::PathArguments arguments;
  std::string_view custom = {};
};

TEST(RouteMatcher, ChoosesByMethodAndFewestCapturedCharacters) {
  const MatchCase cases[] = {
      // Equal consumption: the earlier route stays.
      {{{Method::Get, "/a/{x}"}, {Method::Get, "/a/{+x}"}}, Method::Get, "/a/bc", 0, {{"x", "bc"}}},
      {{{Method::Get, "/a/{+x}"}, {Method::Get, "/a/{x}"}}, Method::Get, "/a/bc", 0, {{"x", "bc"}}},
      // Fewer captured characters win.
      {{{Method::Get, "/a/{x}"}, {Method::Get, "/a/{x}c"}}, Method::Get, "/a/bc", 1, {{"x", "b"}}},
      // A literal match ends the scan, even before a later literal.
      {{{Method::Get, "/a/{x}"}, {Method::Get, "/a/bc"}, {Method::None, "/a/bc"}},
       Method::Get,
       "/a/bc",
       1,
       {}},
      // A match without captures is never replaced.
      {{{Method::Get, "/a/bc"}, {Method::Get, "/a/{x}"}}, Method::Get, "/a/bc", 0, {}},
      // Method checks: None takes every method; PUT is not GET.
      {{{Method::Get, "/a/{x}"}}, Method::Put, "/a/bc", -1, {}},
      {{{Method::Get, "/a/{x}"}, {Method::None, "/a/{x}"}}, Method::Put, "/a/bc", 1, {{"x", "bc"}}},
      {{{Method::Custom, "/a", "LOCK"}}, Method::Custom, "/a", 0, {}, "LOCK"},
      {{{Method::Custom, "/a", "LOCK"}}, Method::Custom, "/a", -1, {}, "UNLOCK"},
      // The query string is not part of the route.
      {{{Method::Get, "/a/{x}/b"}}, Method::Get, "/a/1/b?x=2", 0, {{"x", "1"}}},
      {{{Method::Get, "/a/b"}}, Method::Get, "/a/b?", 0, {}},
      {{{Method::Get, "/a/{x}"}}, Method::Get, "/a/1/2", -1, {}},
  };
  for (size_t n = 0; n < std::size(cases); ++n) {
    const MatchCase& c = cases[n];
    // One API per route: "/a/{x}" and "/a/{+x}" derive the same name.
    std::vector<std::unique_ptr<Quarn::BindingApi>> apis;
    std::vector<const Quarn::BindingFunction*> candidates;
    for (const Candidate& route : c.routes) {
      auto& api = *apis.emplace_back(std::make_unique<Quarn::BindingApi>());
      auto builder = route.method == Method::Custom
                         ? api.Custom(route.custom, route.path_template, &Nothing)
                         : api.Register(route.method, route.path_template, &Nothing);
      ASSERT_NE(builder.function(), nullptr) << "case " << n;
      candidates.push_back(builder.function());
    }
    Quarn::MatchState state;
    state.method = c.method;
    state.custom_method = c.custom;
    state.path = c.path;
    const bool matched = Quarn::MatchRoutes(candidates, state);
    EXPECT_EQ(matched, c.chosen >= 0) << "case " << n;
    EXPECT_EQ(state.function, c.chosen >= 0 ? candidates[static_cast<size_t>(c.chosen)] : nullptr)
        << "case " << n;
    EXPECT_EQ(state.path_arguments, c.arguments) << "case " << n;
  }
}

TEST(RouteMatcher, IgnoreMethodFlagSkipsTheMethodCheck) {
  Quarn::BindingApi api;
  const Quarn::BindingFunction* get = api.Get("/a/{x}", &Nothing).function();
  Quarn::MatchState state;
  state.method = Method::Delete;
  state.path = "/a/1";
  const Quarn::BindingFunction* candidates[] = {get};
  EXPECT_FALSE(Quarn::MatchRoutes(candidates, state));
  EXPECT_TRUE(Quarn::MatchRoutes(candidates, state, /*ignore_method=*/true));
}

TEST(RouteMatcher, TemplateKeepsOneTrailingSlashRemoved) {
  Quarn::BindingApi api;
  EXPECT_EQ(api.Get("/x/", &Nothing).function()->path(), "/x");
  EXPECT_EQ(api.Put("/", &Nothing).function()->path(), "/");
  EXPECT_EQ(api.Post("/y//", &Nothing).function()->path(), "/y/");
}

}  // namespace
