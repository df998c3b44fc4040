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
