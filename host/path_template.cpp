#include "host/path_template.h"

#include <httplib.h>

#include <algorithm>


kiv::host::PathTemplate::PathTemplate(std::string_view text) : text_(text) {
  std::string literal;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '{') {
      literal += text[i++];
      continue;
    }
    const size_t close = text.find('}', i);
    if (close == std::string_view::npos) break;
    literal_ = false;
    if (!literal.empty()) tokens_.push_back({TokenKind::kLiteral, std::move(literal)});
    literal.clear();
    std::string_view inside = text.substr(i + 1, close - i - 1);
    TokenKind kind = TokenKind::kSegment;
    if (!inside.empty() && inside[0] == '+') {
      kind = TokenKind::kRest;
      inside.remove_prefix(1);
    } else if (!inside.empty() && inside[0] == '#') {
      kind = TokenKind::kFragment;
      inside.remove_prefix(1);
    }
    tokens_.push_back({kind, std::string(inside)});
    i = close + 1;
  }
  if (!literal.empty()) tokens_.push_back({TokenKind::kLiteral, std::move(literal)});
}

bool kiv::host::PathTemplate::MatchFrom(size_t token, std::string_view rest,
                                        std::vector<std::string_view>& captured) const {
  if (token == tokens_.size()) return rest.empty();
  const Token& t = tokens_[token];
  if (t.kind == TokenKind::kLiteral) {
    if (rest.substr(0, t.text.size()) != t.text) return false;
    return MatchFrom(token + 1, rest.substr(t.text.size()), captured);
  }
  if (t.kind == TokenKind::kFragment) {
    if (rest.empty() || rest[0] != '#') return false;
    rest.remove_prefix(1);
  }
  size_t longest = rest.size();
  if (t.kind == TokenKind::kSegment) longest = std::min(longest, rest.find('/'));
  // Greedy with backtracking, as a regular expression would take it.
  for (size_t n = longest + 1; n-- > 0;) {
    captured.push_back(rest.substr(0, n));
    if (MatchFrom(token + 1, rest.substr(n), captured)) return true;
    captured.pop_back();
  }
  return false;
}

bool kiv::host::PathTemplate::MatchRaw(std::string_view path, std::vector<std::string_view>& captured) const {
  captured.clear();
  if (literal_) return path == text_;
  return MatchFrom(0, path, captured);
}

std::vector<kiv::host::PathCapture> kiv::host::PathTemplate::Captures(
    const std::vector<std::string_view>& captured) const {
  std::vector<PathCapture> out;
  size_t next = 0;
  for (const Token& t : tokens_) {
    if (t.kind == TokenKind::kLiteral) continue;
    out.push_back({t.text, UrlDecode(captured[next++])});
  }
  return out;
}

std::optional<std::vector<kiv::host::PathCapture>> kiv::host::PathTemplate::Match(
    std::string_view path) const {
  std::vector<std::string_view> captured;
  if (!MatchRaw(path, captured)) return std::nullopt;
  return Captures(captured);
}

std::string_view kiv::host::PathWithoutQuery(std::string_view path) { return path.substr(0, path.find('?')); }

std::string_view kiv::host::QueryOf(std::string_view path) {
  const size_t mark = path.find('?');
  return mark == std::string_view::npos ? std::string_view() : path.substr(mark + 1);
}

std::optional<std::string> kiv::host::QueryParam(std::string_view query, std::string_view name) {
  httplib::Params params;
  httplib::detail::parse_query_text(std::string(query), params);
  const auto it = params.find(std::string(name));
  if (it == params.end()) return std::nullopt;
  return it->second;
}

std::string kiv::host::UrlDecode(std::string_view text) {
  return httplib::detail::decode_url(std::string(text), /*convert_plus_to_space=*/false);
}
