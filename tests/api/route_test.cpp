#include "api/route.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using Quarn::CaptureKind;
using Quarn::PathArguments;
using Quarn::Route;

// Captures as "name" (simple), "+name" (reserved) or "#name" (fragment), comma-separated.
std::string CapturesOf(const Route& route) {
  std::string text;
  for (const auto& capture : route.captures()) {
    if (!text.empty()) text += ",";
    text += (capture.kind == CaptureKind::Reserved ? "+" : capture.kind == CaptureKind::Fragment ? "#" : "") +
            capture.name;
  }
  return text;
}

// The patterns are the reference AgreesWithEcmaScriptRegexOnTrickyPaths matches against.
TEST(Route, CompilesTemplatesToPatterns) {
  const struct {
    std::string_view path_template, pattern, captures;
  } cases[] = {
      {"/a/{id}/b", "/a/([^/]*)/b", "id"},
      {"/x/{+rest}", "/x/(.*)", "+rest"},
      {"/p{#frag}", "/p#(.*)", "#frag"},
      {"/v1/items/{itemId}.json", "/v1/items/([^/]*)\\.json", "itemId"},
      {"/q?{a}", "/q\\?([^/]*)", "a"},
      {"/{a}^${b}*+()[]|\\", "/([^/]*)\\^\\$([^/]*)\\*\\+\\(\\)\\[\\]\\|\\\\", "a,b"},
      // "+" and "#" select the kind only as the first character of a name.
      {"/{a+b}/{+#c}", "/([^/]*)/(.*)", "a+b,+#c"},
      {"/a/{id", "/a/", ""},  // an unclosed placeholder adds nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path_template);
    const Route route = Route::Compile(c.path_template);
    EXPECT_EQ(route.pattern(), c.pattern);
    EXPECT_TRUE(route.literal_path().empty());
    EXPECT_EQ(CapturesOf(route), c.captures);
  }
}

TEST(Route, LiteralTemplateMatchesExactBytesOnly) {
  const Route route = Route::Compile("/kiv-collections/v1/a.b");
  EXPECT_TRUE(route.IsLiteral());
  EXPECT_EQ(route.literal_path(), "/kiv-collections/v1/a.b");
  EXPECT_EQ(route.pattern(), "");
  PathArguments arguments;
  EXPECT_TRUE(route.Match("/kiv-collections/v1/a.b", arguments));
  EXPECT_FALSE(route.Match("/kiv-collections/v1/aXb", arguments));
  EXPECT_FALSE(route.Match("/KIV-collections/v1/a.b", arguments));
  EXPECT_FALSE(route.Match("/kiv-collections/v1/a.b/", arguments));
  EXPECT_TRUE(arguments.empty());
}

TEST(Route, UrlDecodesPlusAndPercentAndKeepsBadEscapes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a+b", "a b"},   {"%41%62", "Ab"}, {"%2f%2F", "//"},
      {"%", "%"},       {"%4", "%4"},     {"%zz1", "%zz1"},
      {"100%", "100%"}, {"%%41", "%A"},   {"%00x", std::string_view("\0x", 2)},
  };
  for (const auto& [text, decoded] : cases) EXPECT_EQ(Quarn::UrlDecode(text), decoded) << text;
}

// The reference: what an ECMAScript engine reports for the route's pattern.
bool RegexMatch(const Route& route, std::string_view path, PathArguments& arguments) {
  const std::regex pattern(route.pattern(), std::regex::ECMAScript);
  std::match_results<std::string_view::const_iterator> groups;
  if (!std::regex_match(path.begin(), path.end(), groups, pattern)) return false;
  for (size_t i = 1; i < groups.size() && groups[i].matched; ++i) {
    const std::string& name = route.captures()[i - 1].name;
    const std::string value = Quarn::UrlDecode(std::string_view(groups[i].first, groups[i].second));
    bool replaced = false;
    for (auto& [key, old] : arguments) {
      if (key == name) {
        old = value;
        replaced = true;
      }
    }
    if (!replaced) arguments.emplace_back(name, value);
  }
  return true;
}

TEST(Route, AgreesWithEcmaScriptRegexOnTrickyPaths) {
  // With the expected answers pinned by the patterns above, this is every
  // match and capture of these templates on these paths.
  const std::string_view templates[] = {
      "/a/{id}/b", "/a/{id}", "/x/{+rest}", "/x/{id}", "/p{#frag}", "/v1/items/{itemId}.json", "/{a}-{b}",
      "/{+a}/{b}", "/{a}{b}", "/{+a}{+b}", "/{+a}.{b}.{+c}", "/x{#f}/{+g}", "/{a}/{a}", "/q?{a}*", "/{id}",
      "/{+a}-{+b}-{c}", "/(x)/{a}[y]", "/{#a}{#b}", "/kiv-collections/v1/inventories/{summonerId}/runes",
      "/kiv-collections/v2/inventories/{summonerId}/backdrop/{+path}"};
  const std::string_view paths[] = {
      "", "/", "/a/12/b", "/a/12/c/b", "/a/12/bx", "/a//b", "/a/x%2Fy+z", "/x/", "/x/a/b/c", "/x/a\nb", "/p#",
      "/p#top", "/p#a#b", "/p", "/ptop", "/v1/items/7.json", "/v1/items/a.b.json", "/x-y-z", "/-", "/1/2",
      "/1/2/3", "/a.b.c.d.e", "/x#f/g/h", "/x#/", "/q?a*", "/q?/*", "/%41+b", "/a\nb", "/a\rb", "/(x)/1[y]",
      "/#a#b#c", "/--", "/a-b-c-d", "/kiv-collections/v1/inventories/42/runes",
      "/kiv-collections/v1/inventories//runes", "/kiv-collections/v2/inventories/1/backdrop/a/b.webm",
      "/a/%zz/b", "//", "/a/b/"};
  for (std::string_view t : templates) {
    const Route route = Route::Compile(t);
    for (std::string_view path : paths) {
      PathArguments ours, reference;
      const bool matched = route.Match(path, ours);
      EXPECT_EQ(matched, RegexMatch(route, path, reference)) << t << " on " << path;
      EXPECT_EQ(ours, reference) << t << " on " << path;
    }
  }
}

TEST(Route, LongPathsWithManyReservedCapturesStayFast) {
  // Without the failure memo this is cubic in the path length.
  const Route route = Route::Compile("/{+a}x{+b}y{+c}z");
  const std::string path = "/" + std::string(1000, 'x') + std::string(1000, 'y');
  PathArguments arguments;
  EXPECT_FALSE(route.Match(path, arguments));
  EXPECT_TRUE(route.Match(path + "z", arguments));
  ASSERT_EQ(arguments.size(), 3u);
  EXPECT_EQ(arguments[0].second, std::string(999, 'x'));
  EXPECT_EQ(arguments[1].second, std::string(999, 'y'));
  EXPECT_EQ(arguments[2].second, "");
}

}  // namespace
