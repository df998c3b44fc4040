#include "api/route.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "api/function_name.h"
#include "support/case_file.h"

namespace {

using Quarn::CaptureKind;
using Quarn::PathArguments;
using Quarn::Route;

// Captures as "name" (simple), "+name" (reserved) or "#name" (fragment), comma-separated.
std::string CapturesOf(const Route& route) {
  std::string text;
  for (const auto& capture : route.captures()) {
    if (!text.empty()) text += ",";
    text += (capture.kind == CaptureKind::Reserved   ? "+"
             : capture.kind == CaptureKind::Fragment ? "#"
                                                     : "") +
            capture.name;
  }
  return text;
}

// The cases of route_cases.txt.
const std::vector<kiv::test::FileCase>& Cases() {
  static const auto cases = kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/api/route_cases.txt");
  return cases;
}

TEST(Route, CompilesTemplatesDecodesAndNamesFunctions) {
  for (const kiv::test::FileCase& c : Cases()) {
    SCOPED_TRACE(c.where);
    if (c.kind() == "template") {
      const Route route = Route::Compile(c.input());
      EXPECT_EQ(route.pattern(), c.Get("pattern"));
      EXPECT_TRUE(route.literal_path().empty());
      EXPECT_EQ(CapturesOf(route), c.Get("captures"));
    }
    if (c.kind() == "decode") {
      EXPECT_EQ(Quarn::UrlDecode(c.input()), c.Get("->"));
    }
    if (c.kind() == "name") {
      EXPECT_EQ(Quarn::DeriveFunctionName(c.Get("method").value_or(""), c.input()), c.Get("->"));
    }
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
  std::vector<std::string> templates, paths;
  for (const kiv::test::FileCase& c : Cases()) {
    if (c.kind() == "match") templates.push_back(c.input());
    if (c.kind() == "path") paths.push_back(c.input());
  }
  for (const std::string& t : templates) {
    const Route route = Route::Compile(t);
    for (const std::string& path : paths) {
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
