#include "api/route.h"

#include <array>
#include <string_view>

namespace {

constexpr std::string_view kRegexSpecials = "^$.*+?()[]|\\";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Backtracking with failure memo costs pieces x (length + 1) bits; below
// these sizes plain backtracking is cheaper than allocating the memo.
constexpr size_t kMemoMinCaptures = 2;
constexpr size_t kMemoMinLength = 64;
constexpr size_t kInlineCaptures = 16;

}  // namespace

Quarn::Route Quarn::Route::Compile(std::string_view path_template) {
  Route route;
  if (path_template.find('{') == std::string_view::npos) {
    route.literal_path_ = std::string(path_template);
    return route;
  }
  route.has_placeholder_ = true;

  std::string literal;
  auto flush_literal = [&] {
    if (literal.empty()) return;
    route.pieces_.push_back(Piece{true, CaptureKind::Simple, 0, std::move(literal)});
    literal.clear();
  };

  bool inside = false;
  CaptureKind kind = CaptureKind::Simple;
  std::string name;
  for (char c : path_template) {
    if (!inside) {
      if (c == '{') {
        inside = true;
        kind = CaptureKind::Simple;
        name.clear();
        continue;
      }
      if (kRegexSpecials.find(c) != std::string_view::npos) route.pattern_ += '\\';
      route.pattern_ += c;
      literal += c;
      continue;
    }
    if (c == '}') {
      const auto index = static_cast<uint32_t>(route.captures_.size());
      switch (kind) {
        case CaptureKind::Simple:
          route.pattern_ += "([^/]*)";
          break;
        case CaptureKind::Reserved:
          route.pattern_ += "(.*)";
          break;
        case CaptureKind::Fragment:
          route.pattern_ += "#(.*)";
          literal += '#';
          break;
      }
      flush_literal();
      const CaptureKind matched = kind == CaptureKind::Simple ? CaptureKind::Simple : CaptureKind::Reserved;
      route.pieces_.push_back(Piece{false, matched, index, {}});
      route.captures_.push_back(RouteCapture{kind, name});
      inside = false;
      continue;
    }
    if (name.empty() && kind == CaptureKind::Simple && c == '+') {
      kind = CaptureKind::Reserved;
    } else if (name.empty() && kind == CaptureKind::Simple && c == '#') {
      kind = CaptureKind::Fragment;
    } else {
      name += c;
    }
  }
  // An unclosed placeholder adds nothing to the pattern.
  flush_literal();
  return route;
}

// Tries the pieces from `piece` on at `pos`, each capture taking as many
// characters as it can first: the order in which an ECMAScript engine
// backtracks, so the first full match found is the one it reports.
bool Quarn::Route::MatchFrom(size_t piece, std::string_view path, size_t pos,
                             std::pair<uint32_t, uint32_t>* spans, std::vector<uint8_t>* failed) const {
  if (piece == pieces_.size()) return pos == path.size();
  const Piece& p = pieces_[piece];
  if (p.literal) {
    if (path.substr(pos, p.text.size()) != p.text) return false;
    return MatchFrom(piece + 1, path, pos + p.text.size(), spans, failed);
  }
  const size_t memo_index = piece * (path.size() + 1) + pos;
  if (failed != nullptr && (*failed)[memo_index]) return false;

  size_t end = pos;
  if (p.kind == CaptureKind::Simple) {
    while (end < path.size() && path[end] != '/') ++end;  // [^/] takes line breaks too
  } else {
    while (end < path.size() && path[end] != '\n' && path[end] != '\r') ++end;  // "." does not
  }
  if (piece + 1 == pieces_.size()) {
    if (end != path.size()) return false;
    spans[p.capture] = {static_cast<uint32_t>(pos), static_cast<uint32_t>(end - pos)};
    return true;
  }
  // Only the places where a following literal occurs can end the capture.
  const Piece& next = pieces_[piece + 1];
  for (size_t e = end;; --e) {
    if (next.literal) {
      e = path.rfind(next.text, e);
      if (e == std::string_view::npos || e < pos) break;
    }
    if (MatchFrom(piece + 1, path, e, spans, failed)) {
      spans[p.capture] = {static_cast<uint32_t>(pos), static_cast<uint32_t>(e - pos)};
      return true;
    }
    if (e == pos) break;
  }
  if (failed != nullptr) (*failed)[memo_index] = 1;
  return false;
}

bool Quarn::Route::Match(std::string_view path, PathArguments& arguments) const {
  if (!has_placeholder_) return path == literal_path_;
  if (path.size() > UINT32_MAX) return false;

  std::array<std::pair<uint32_t, uint32_t>, kInlineCaptures> inline_spans;
  std::vector<std::pair<uint32_t, uint32_t>> heap_spans;
  auto* spans = inline_spans.data();
  if (captures_.size() > kInlineCaptures) {
    heap_spans.resize(captures_.size());
    spans = heap_spans.data();
  }
  std::vector<uint8_t> memo;
  std::vector<uint8_t>* failed = nullptr;
  if (captures_.size() >= kMemoMinCaptures && path.size() >= kMemoMinLength) {
    memo.assign(pieces_.size() * (path.size() + 1), 0);
    failed = &memo;
  }
  if (!MatchFrom(0, path, 0, spans, failed)) return false;

  for (size_t i = 0; i < captures_.size(); ++i) {
    const std::string_view text = path.substr(spans[i].first, spans[i].second);
    const std::string& name = captures_[i].name;
    std::string* slot = nullptr;
    for (auto& [key, value] : arguments) {
      if (key == name) {
        slot = &value;
        break;
      }
    }
    if (slot == nullptr) {
      arguments.emplace_back(name, std::string());
      slot = &arguments.back().second;
    }
    slot->clear();
    UrlDecodeAppend(text, *slot);
  }
  return true;
}

void Quarn::UrlDecodeAppend(std::string_view text, std::string& out) {
  out.reserve(out.size() + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
}

std::string Quarn::UrlDecode(std::string_view text) {
  std::string out;
  UrlDecodeAppend(text, out);
  return out;
}
