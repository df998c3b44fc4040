// PathTemplate: the host's matcher for the path templates of an API
// description and of stand-in handlers. "{name}" takes one path segment
// (no "/"), "{+name}" the rest of the path, "{#name}" a "#" and the rest.
// Placeholders may sit inside a segment ("/backdrops/{id}.webm").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::host {

// One captured placeholder value, URL-decoded ("%XX" is a byte; "+" stays).
struct PathCapture {
  std::string name;
  std::string value;
};

class PathTemplate {
 public:
  // Never fails: an unclosed "{" ends the template there.
  explicit PathTemplate(std::string_view text);

  // Matches the whole of `path`. A query string is not part of the match:
  // pass the path without it (PathWithoutQuery). Returns the captures in
  // template order, or nullopt when the path does not match. When several
  // splits match, placeholders take as much as they can, left first.
  std::optional<std::vector<PathCapture>> Match(std::string_view path) const;
  // The same match without allocating: `captured` (cleared first) gets the
  // raw, undecoded placeholder values. Captures() decodes them.
  bool MatchRaw(std::string_view path, std::vector<std::string_view>& captured) const;
  std::vector<PathCapture> Captures(const std::vector<std::string_view>& captured) const;

  const std::string& text() const { return text_; }
  bool literal() const { return literal_; }

 private:
  enum class TokenKind { kLiteral, kSegment, kRest, kFragment };
  struct Token {
    TokenKind kind;
    std::string text;  // literal text or placeholder name
  };
  bool MatchFrom(size_t token, std::string_view rest, std::vector<std::string_view>& captured) const;

  std::string text_;
  std::vector<Token> tokens_;
  bool literal_ = true;
};

// The part of `path` before the first "?".
std::string_view PathWithoutQuery(std::string_view path);
// The part after the first "?", or "".
std::string_view QueryOf(std::string_view path);
// The URL-decoded value ("+" is a space there) of the first `name` in a
// query string ("a=1&b=2"), or nullopt when absent. A name without "=" has
// the value "".
std::optional<std::string> QueryParam(std::string_view query, std::string_view name);
// A path's URL decoding: "%XX" becomes the byte it names, "+" stays, a
// malformed "%" is kept.
std::string UrlDecode(std::string_view text);

}  // namespace kiv::host
