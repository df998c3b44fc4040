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

// Route choice among candidates is checked against the host's router in
// tests/host/loop/router_test.cpp, with one table for both.

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
