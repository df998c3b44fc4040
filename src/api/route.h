// Quarn::Route: a path template compiled once into a matcher.
//
// A template is literal text with placeholders in braces: "{name}" (a
// simple capture that never spans "/"), "{+name}" (reserved expansion, any
// text) and "{#name}" (fragment: a "#" followed by any text). The compiled
// route matches the whole request path with the semantics of the
// ECMAScript pattern it also records ("([^/]*)", "(.*)", "#(.*)", literal
// characters escaped), without running a regular-expression engine.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Quarn {

enum class CaptureKind : uint8_t {
  Simple = 1,    // {name}   -> ([^/]*)
  Reserved = 2,  // {+name}  -> (.*)
  Fragment = 3,  // {#name}  -> #(.*)
};

struct RouteCapture {
  CaptureKind kind;
  std::string name;  // as written in the template, unescaped
};

// Decoded path captures of one match, in capture order; a later capture of
// the same name replaces the earlier value in place.
using PathArguments = std::vector<std::pair<std::string, std::string>>;

class Route {
 public:
  Route() = default;

  // Compiles `path_template`. Never fails: every template has a meaning.
  static Route Compile(std::string_view path_template);

  bool IsLiteral() const { return !has_placeholder_; }
  // The template when it holds no "{"; "" otherwise.
  const std::string& literal_path() const { return literal_path_; }
  // The ECMAScript pattern text the route is equivalent to; "" when literal.
  const std::string& pattern() const { return pattern_; }
  std::span<const RouteCapture> captures() const { return captures_; }
  // Routes to a static target are considered for GET and HEAD only. No route
  // built from a template has one.
  const std::string& static_target() const { return static_target_; }

  // Whole-text match of `path` (compared byte for byte, case-sensitive).
  // On a match, `arguments` receives each capture URL-decoded (earlier
  // content is kept, same names replaced) and true is returned; on no
  // match `arguments` is left unchanged.
  bool Match(std::string_view path, PathArguments& arguments) const;

 private:
  // One piece of the compiled template. Literal pieces hold their text;
  // capture pieces index `captures_`.
  struct Piece {
    bool literal;
    CaptureKind kind;  // captures: Simple or Reserved (a fragment is "#" + Reserved)
    uint32_t capture;
    std::string text;
  };

  bool MatchFrom(size_t piece, std::string_view path, size_t pos, std::pair<uint32_t, uint32_t>* spans,
                 std::vector<uint8_t>* failed) const;

  std::string literal_path_;
  std::string pattern_;
  std::string static_target_;
  std::vector<RouteCapture> captures_;
  std::vector<Piece> pieces_;
  bool has_placeholder_ = false;
};

// URL-decodes `text`: "+" becomes a space and "%" with two hexadecimal
// digits becomes that byte. A "%" not followed by two hexadecimal digits is
// kept as it is.
std::string UrlDecode(std::string_view text);
// Appends the decoded text to `out`.
void UrlDecodeAppend(std::string_view text, std::string& out);

}  // namespace Quarn
