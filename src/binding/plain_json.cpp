#include "binding/detail/plain_json.h"

#include "binding/detail/c_locale_numbers.h"
#include "binding/detail/tree_builder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Quarn::detail::TreeBuilder;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The first quote, backslash or control byte in [at, end), else end.
const char* FindStringEnd(const char* at, const char* end) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i control = _mm_set1_epi8(0x1F);
  while (end - at >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                                       _mm_cmpeq_epi8(_mm_max_epu8(bytes, control), control));
    const int mask = _mm_movemask_epi8(stops);
    if (mask != 0) return at + __builtin_ctz(static_cast<unsigned>(mask));
    at += 16;
  }
#endif
  while (at != end && *at != '"' && *at != '\\' && static_cast<unsigned char>(*at) >= 0x20) ++at;
  return at;
}

// Eight ASCII digits at `at` as their value, or false when any of the
// eight bytes is not a digit. Two digits, then four, then eight at a time.
bool ReadEightDigits(const char* at, uint64_t& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  uint64_t chunk;
  std::memcpy(&chunk, at, sizeof chunk);
  if (((chunk & 0xF0F0F0F0F0F0F0F0) | (((chunk + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) !=
      0x3333333333333333)
    return false;
  chunk -= 0x3030303030303030;
  chunk = chunk * 10 + (chunk >> 8);
  value = (((chunk & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
           (((chunk >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
          32;
  return true;
}

bool ReadHex4(const char* at, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = at[i];
    uint32_t digit;
    if (IsDigit(c)) {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    value = value << 4 | digit;
  }
  return true;
}

void AppendUtf8(std::string& out, uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | code_point >> 6);
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | code_point >> 12);
    out += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code_point >> 18);
    out += static_cast<char>(0x80 | (code_point >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

class PlainJson {
 public:
  PlainJson(std::string_view text, TreeBuilder& builder)
      : at_(text.data()), end_(text.data() + text.size()), builder_(builder) {}

  bool Document() {
    SkipSpace();
    if (!Value(0)) return false;
    SkipSpace();
    return at_ == end_;
  }

 private:
  void SkipSpace() {
    while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) ++at_;
  }
  bool Take(char c) {
    if (at_ == end_ || *at_ != c) return false;
    ++at_;
    return true;
  }
  bool Word(std::string_view word) {
    if (static_cast<size_t>(end_ - at_) < word.size() || !std::equal(word.begin(), word.end(), at_)) return false;
    at_ += word.size();
    return true;
  }

  bool Value(size_t depth) {
    if (at_ == end_) return false;
    switch (*at_) {
      case '{':
        return Object(depth + 1);
      case '[':
        return Array(depth + 1);
      case '"': {
        std::string_view text;
        if (!Text(text)) return false;
        builder_.String(text);
        return true;
      }
      case 't':
        if (!Word("true")) return false;
        builder_.Bool(true);
        return true;
      case 'f':
        if (!Word("false")) return false;
        builder_.Bool(false);
        return true;
      case 'n':
        if (!Word("null")) return false;
        builder_.Null();
        return true;
      default:
        return Number();
    }
  }

  bool Object(size_t depth) {
    if (depth > Quarn::detail::kPlainJsonDepth) return false;
    ++at_;
    builder_.BeginStructure();
    SkipSpace();
    if (Take('}')) {
      builder_.EndStructure();
      return true;
    }
    for (;;) {
      std::string_view name;
      if (at_ == end_ || *at_ != '"' || !Text(name)) return false;
      builder_.Key(name);
      SkipSpace();
      if (!Take(':')) return false;
      SkipSpace();
      if (!Value(depth)) return false;
      SkipSpace();
      if (Take('}')) break;
      if (!Take(',')) return false;
      SkipSpace();
    }
    builder_.EndStructure();
    return true;
  }

  bool Array(size_t depth) {
    if (depth > Quarn::detail::kPlainJsonDepth) return false;
    ++at_;
    builder_.BeginCollection();
    SkipSpace();
    if (Take(']')) {
      builder_.EndCollection();
      return true;
    }
    for (;;) {
      if (!Value(depth)) return false;
      SkipSpace();
      if (Take(']')) break;
      if (!Take(',')) return false;
      SkipSpace();
    }
    builder_.EndCollection();
    return true;
  }

  // At the opening quote. `text` points into the document, or into
  // unescaped_ when the string holds escapes; valid until the next Text.
  bool Text(std::string_view& text) {
    const char* const start = ++at_;
    const char* stop = FindStringEnd(start, end_);
    if (stop != end_ && *stop == '"') {
      text = std::string_view(start, static_cast<size_t>(stop - start));
      at_ = stop + 1;
      return true;
    }
    unescaped_.assign(start, stop);
    while (stop != end_ && *stop == '\\') {
      stop = Unescape(stop);
      if (stop == nullptr) return false;
      const char* const plain = stop;
      stop = FindStringEnd(plain, end_);
      unescaped_.append(plain, stop);
    }
    if (stop == end_ || *stop != '"') return false;
    text = unescaped_;
    at_ = stop + 1;
    return true;
  }

  // At a backslash: appends what the escape stands for and returns the
  // byte after it, or null for an escape this path leaves to the reader.
  const char* Unescape(const char* at) {
    if (end_ - at < 2) return nullptr;
    switch (at[1]) {
      case '"': unescaped_ += '"'; return at + 2;
      case '\\': unescaped_ += '\\'; return at + 2;
      case '/': unescaped_ += '/'; return at + 2;
      case 'b': unescaped_ += '\b'; return at + 2;
      case 'f': unescaped_ += '\f'; return at + 2;
      case 'n': unescaped_ += '\n'; return at + 2;
      case 'r': unescaped_ += '\r'; return at + 2;
      case 't': unescaped_ += '\t'; return at + 2;
      case 'u': break;
      default: return nullptr;
    }
    uint32_t code_point;
    if (end_ - at < 6 || !ReadHex4(at + 2, code_point) || code_point == 0) return nullptr;
    at += 6;
    if (code_point >= 0xDC00 && code_point <= 0xDFFF) return nullptr;
    if (code_point >= 0xD800 && code_point <= 0xDBFF) {
      uint32_t low;
      if (end_ - at < 6 || at[0] != '\\' || at[1] != 'u' || !ReadHex4(at + 2, low) || low < 0xDC00 || low > 0xDFFF)
        return nullptr;
      at += 6;
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(unescaped_, code_point);
    return at;
  }

  // Takes what the reader takes without a doubt: an integer part of at most
  // 19 digits (it fits 64 bits unsigned) and an exponent of at most 3
  // digits, not above 308 (where the reader calls a number too big).
  bool Number() {
    const char* const start = at_;
    const char* at = at_;
    const bool minus = *at == '-';
    if (minus) ++at;
    if (at == end_ || !IsDigit(*at)) return false;
    const char* const digits = at;
    uint64_t magnitude = 0;
    if (*at == '0') {
      ++at;
    } else {
      uint64_t eight;
      while (end_ - at >= 8 && ReadEightDigits(at, eight)) {
        if (at - digits > 8) return false;  // more than 19 digits
        magnitude = magnitude * 100000000 + eight;
        at += 8;
      }
      while (at != end_ && IsDigit(*at)) magnitude = magnitude * 10 + static_cast<uint64_t>(*at++ - '0');
      if (at - digits > 19) return false;
    }
    bool integer = true;
    if (at != end_ && *at == '.') {
      ++at;
      if (at == end_ || !IsDigit(*at)) return false;
      while (at != end_ && IsDigit(*at)) ++at;
      integer = false;
    }
    if (at != end_ && (*at == 'e' || *at == 'E')) {
      ++at;
      const bool exponent_minus = at != end_ && *at == '-';
      if (at != end_ && (*at == '+' || *at == '-')) ++at;
      const char* const exponent_digits = at;
      int exponent = 0;
      while (at != end_ && IsDigit(*at) && at - exponent_digits < 4) exponent = exponent * 10 + (*at++ - '0');
      if (at == exponent_digits || at - exponent_digits > 3 || (at != end_ && IsDigit(*at))) return false;
      if (!exponent_minus && exponent > 308) return false;
      integer = false;
    }
    at_ = at;
    if (integer) {
      if (!minus) {
        builder_.Unsigned(magnitude);
        return true;
      }
      if (magnitude > uint64_t{1} << 63) return false;
      builder_.Signed(static_cast<int64_t>(~magnitude + 1));
      return true;
    }
    double value;
    const std::from_chars_result read = std::from_chars(start, at, value);
    if (read.ec != std::errc() || read.ptr != at) return false;
    builder_.Double(value);
    return true;
  }

  const char* at_;
  const char* const end_;
  TreeBuilder& builder_;
  std::string unescaped_;
};

}  // namespace

bool Quarn::detail::ReadPlainJson(std::string_view text, BindingProperty& target) {
  TreeBuilder::Scope scope(target, DuplicateKeys::kMerge);
  // The path gives up at any escape that stands for a NUL.
  scope.builder().TextsHoldNoNul();
  if (!PlainJson(text, scope.builder()).Document()) return false;
  scope.builder().Finish();
  return true;
}

// The text is followed by a byte that is not part of a number (strtod's stop).
void Quarn::detail::PushJsonNumber(std::string_view number, TreeBuilder& builder) {
  const char* const text = number.data();
  const char* const end = text + number.size();
  if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
    if (*text == '-') {
      int64_t value;
      if (std::from_chars(text, end, value).ec == std::errc()) return builder.Signed(value);
    } else {
      uint64_t value;
      if (std::from_chars(text, end, value).ec == std::errc()) return builder.Unsigned(value);
    }
  }
  // Underflow is out of range for from_chars, which then leaves the value
  // alone; strtod rounds it.
  double value;
  const std::from_chars_result read = std::from_chars(text, end, value);
  if (read.ec != std::errc() || read.ptr != end) value = StrToDouble(text, nullptr);
  builder.Double(value);
}
