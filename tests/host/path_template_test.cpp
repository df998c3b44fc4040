#include "host/path_template.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

TEST(PathTemplate, MatchesLikeTheRouteTable) {
  const MatchCase kCases[] = {
      {"/a/{id}/b", "/a/12/b", true, "id=12;"},
      {"/a/{id}/b", "/a/12/c/b", false, ""},
      {"/a/{id}/b", "/a//b", true, "id=;"},
      {"/x/{+rest}", "/x/a/b/c", true, "rest=a/b/c;"},
      {"/x/{+rest}", "/x/", true, "rest=;"},
      {"/p{#frag}", "/p#top", true, "frag=top;"},
      {"/p{#frag}", "/ptop", false, ""},
      {"/backdrops/{id}.webm", "/backdrops/77.webm", true, "id=77;"},
      {"/backdrops/{id}.webm", "/backdrops/77.jpg", false, ""},
      {"/splash/{id}/metadata.json", "/splash/9/metadata.json", true, "id=9;"},
      {"/s/{a}-{b}", "/s/x-y-z", true, "a=x-y;b=z;"},  // greedy, left first
      {"/q/{name}", "/q/a%20b+c%2", true, "name=a b+c%2;"},  // "+" is a space in queries only
      {"/literal", "/literal", true, ""},
      {"/literal", "/Literal", false, ""},
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
