#include "binding/message_format.h"

#include <algorithm>
#include <cstdio>

namespace {

using Quarn::FormatArg;
using Kind = FormatArg::Kind;

// A placeholder's specification longer than this ends formatting.
constexpr size_t kMaxSpecLength = 59;
// Widths and precisions saturate here; far beyond any buffer.
constexpr int64_t kMaxCount = int64_t{1} << 40;

struct Conversions {
  std::string_view allowed;  // the first is the default
};

Conversions ConversionsOf(Kind kind) {
  switch (kind) {
    case Kind::kInt32:
    case Kind::kInt64:
      return {"dciouxX"};
    case Kind::kUint32:
    case Kind::kUint64:
    case Kind::kUint8:
      return {"ucdioxX"};
    case Kind::kChar:
      return {"cdiouxX"};
    case Kind::kDouble:
      return {"gaefGAEF"};
    case Kind::kText:
      return {"s"};
    case Kind::kBool:
      return {"sdiuoxX"};
  }
  return {"s"};
}

bool Is64Bit(Kind kind) { return kind == Kind::kInt64 || kind == Kind::kUint64; }

bool IsSignedKind(Kind kind) { return kind == Kind::kInt32 || kind == Kind::kInt64 || kind == Kind::kChar; }

// The argument as a width or precision ("*"), clamped to `limit` either way.
int64_t AsCount(const FormatArg& arg, int64_t limit) {
  int64_t value = 0;
  if (arg.kind() == Kind::kDouble) {
    const double d = arg.AsDouble();
    value = d != d ? 0 : static_cast<int64_t>(std::clamp(d, -1e15, 1e15));
  } else if (arg.kind() == Kind::kText) {
    value = 0;
  } else if (IsSignedKind(arg.kind())) {
    value = arg.AsSigned();
  } else {
    value = static_cast<int64_t>(std::min<uint64_t>(arg.AsUnsigned(), uint64_t{1} << 62));
  }
  return std::clamp(value, -limit, limit);
}

// Bounded output: never more than capacity - 1 characters.
class Output {
 public:
  Output(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  bool Full() const { return size_ + 1 >= capacity_; }
  size_t Left() const { return capacity_ - size_; }  // including the terminator's byte
  void Put(char c) {
    if (!Full()) buffer_[size_++] = c;
  }
  void Append(std::string_view text) {
    const size_t n = std::min(text.size(), capacity_ - 1 - size_);
    std::copy_n(text.data(), n, buffer_ + size_);
    size_ += n;
  }
  void Fill(char c, size_t count) {
    for (size_t i = 0; i < count && !Full(); ++i) buffer_[size_++] = c;
  }
  // Takes what snprintf wrote at End(), given its return value.
  void Advance(int written) {
    if (written > 0) size_ += std::min<size_t>(static_cast<size_t>(written), capacity_ - 1 - size_);
  }
  char* End() { return buffer_ + size_; }
  size_t Finish() {
    buffer_[size_] = '\0';
    return size_;
  }

 private:
  char* buffer_;
  size_t capacity_;
  size_t size_ = 0;
};

struct Placeholder {
  bool bare = false;  // "%1": the argument's default conversion
  std::string_view flags;
  bool has_width = false;
  int64_t width = 0;
  bool has_precision = false;
  int64_t precision = 0;
  char conversion = 0;
};

// Reads the printf specification of a placeholder: the template from its
// flags up to and including its conversion character.
class SpecReader {
 public:
  SpecReader(std::string_view tmpl, size_t pos, const FormatArg* args, size_t count, size_t& sequence,
             int64_t limit)
      : tmpl_(tmpl), pos_(pos), args_(args), count_(count), sequence_(sequence), limit_(limit) {}

  size_t pos() const { return pos_; }

  static bool ReadNumber(std::string_view text, size_t& pos, uint64_t& number) {
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
    number = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
      number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(text[pos] - '0'), uint64_t{1} << 40);
    }
    return true;
  }

  bool ReadFlags(Placeholder& p) {
    const size_t start = pos_;
    while (pos_ < tmpl_.size() && std::string_view("-+ #0").find(tmpl_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
    p.flags = tmpl_.substr(start, pos_ - start);
    return true;
  }

  // A width or precision: digits, "*" (next argument) or "*n$" (argument n).
  // False when the argument it names is missing.
  bool ReadCount(bool& present, int64_t& value) {
    if (pos_ < tmpl_.size() && tmpl_[pos_] == '*') {
      ++pos_;
      size_t index = sequence_;
      size_t after = pos_;
      uint64_t n = 0;
      if (ReadNumber(tmpl_, after, n) && after < tmpl_.size() && tmpl_[after] == '$' && n > 0) {
        index = static_cast<size_t>(n - 1);
        pos_ = after + 1;
      } else {
        ++sequence_;
      }
      if (index >= count_) return false;
      present = true;
      value = AsCount(args_[index], limit_);
      return true;
    }
    uint64_t n = 0;
    if (ReadNumber(tmpl_, pos_, n)) {
      present = true;
      value = std::min<int64_t>(static_cast<int64_t>(n), limit_);
    }
    return true;
  }

  bool ReadPrecision(Placeholder& p) {
    if (pos_ >= tmpl_.size() || tmpl_[pos_] != '.') return true;
    ++pos_;
    p.has_precision = true;
    p.precision = 0;
    bool present = false;
    if (!ReadCount(present, p.precision)) return false;
    if (p.precision < 0) p.has_precision = false;  // a negative "*" precision is no precision
    return true;
  }

  // The length modifier is read and dropped: the argument's own type decides
  // the width of what is printed.
  void SkipLength() {
    if (pos_ >= tmpl_.size()) return;
    const char c = tmpl_[pos_];
    if (c == 'L' || c == 'j' || c == 't' || c == 'z') {
      ++pos_;
    } else if (c == 'h' || c == 'l') {
      ++pos_;
      if (pos_ < tmpl_.size() && tmpl_[pos_] == c) ++pos_;
    }
  }

  bool ReadConversion(Placeholder& p) {
    if (pos_ >= tmpl_.size()) return false;
    p.conversion = tmpl_[pos_++];
    return true;
  }

 private:
  std::string_view tmpl_;
  size_t pos_;
  const FormatArg* args_;
  size_t count_;
  size_t& sequence_;
  int64_t limit_;
};

void WriteText(Output& out, std::string_view text, const Placeholder& p) {
  if (p.has_precision) text = text.substr(0, static_cast<size_t>(p.precision));
  int64_t width = p.has_width ? p.width : 0;
  bool left = p.flags.find('-') != std::string_view::npos;
  if (width < 0) {
    left = true;
    width = -width;
  }
  const size_t pad = static_cast<size_t>(width) > text.size() ? static_cast<size_t>(width) - text.size() : 0;
  if (!left) out.Fill(' ', pad);
  out.Append(text);
  if (left) out.Fill(' ', pad);
}

// The printf specification for one value: flags, width, precision, then
// `length` and `conversion`.
// Widths and precisions are clamped so printf never produces megabytes of
// padding: `clamp` lies beyond the buffer's capacity plus the longest text a
// number prints, so the cut output is the same.
void BuildSpec(char* spec, size_t size, const Placeholder& p, const char* length, char conversion,
               int64_t clamp) {
  std::string_view flags = p.flags.substr(0, 8);
  int64_t width = p.has_width ? p.width : -1;
  bool extra_minus = false;
  if (p.has_width && width < 0) {
    extra_minus = true;
    width = -width;
  }
  width = std::min(width, clamp);
  const int64_t precision = std::min(p.precision, clamp);
  size_t n = 0;
  spec[n++] = '%';
  for (char f : flags) spec[n++] = f;
  if (extra_minus) spec[n++] = '-';
  if (width >= 0)
    n += static_cast<size_t>(std::snprintf(spec + n, size - n, "%lld", static_cast<long long>(width)));
  if (p.has_precision) {
    n += static_cast<size_t>(std::snprintf(spec + n, size - n, ".%lld", static_cast<long long>(precision)));
  }
  std::snprintf(spec + n, size - n, "%s%c", length, conversion);
}

void WriteValue(Output& out, const FormatArg& arg, const Placeholder& p) {
  const std::string_view allowed = ConversionsOf(arg.kind()).allowed;
  char conversion = allowed.front();
  if (!p.bare) {
    // The count-store conversion is never handed to printf.
    if (p.conversion == 'n') return;
    if (allowed.find(p.conversion) != std::string_view::npos) conversion = p.conversion;
  }
  if (conversion == 's') {
    if (arg.kind() == Kind::kBool) return WriteText(out, arg.AsUnsigned() ? "true" : "false", p);
    return WriteText(out, arg.AsText(), p);
  }

  char spec[kMaxSpecLength + 32];
  const int64_t clamp = static_cast<int64_t>(std::min<size_t>(out.Left(), kMaxCount)) * 2 + 1024;
  const Kind kind = arg.kind();
  if (kind == Kind::kDouble) {
    BuildSpec(spec, sizeof spec, p, "", conversion, clamp);
    out.Advance(std::snprintf(out.End(), out.Left(), spec, arg.AsDouble()));
    return;
  }
  // Integers are printed as their own type would be by printf: 8- and
  // 32-bit values through int, 64-bit values through long long.
  const bool wide = Is64Bit(kind);
  const uint64_t bits = IsSignedKind(kind) ? static_cast<uint64_t>(arg.AsSigned()) : arg.AsUnsigned();
  if (conversion == 'c') {
    BuildSpec(spec, sizeof spec, p, "", 'c', clamp);
    out.Advance(
        std::snprintf(out.End(), out.Left(), spec, static_cast<int>(static_cast<unsigned char>(bits))));
  } else if (conversion == 'd' || conversion == 'i') {
    BuildSpec(spec, sizeof spec, p, "ll", conversion, clamp);
    const long long value =
        wide ? static_cast<long long>(bits) : static_cast<int32_t>(static_cast<uint32_t>(bits));
    out.Advance(std::snprintf(out.End(), out.Left(), spec, value));
  } else {
    BuildSpec(spec, sizeof spec, p, "ll", conversion, clamp);
    const unsigned long long value = wide ? bits : static_cast<uint32_t>(bits);
    out.Advance(std::snprintf(out.End(), out.Left(), spec, value));
  }
}

}  // namespace

size_t Quarn::FormatMessage(char* buffer, size_t capacity, std::string_view tmpl, const FormatArg* args,
                            size_t count) {
  if (capacity == 0) return 0;
  Output out(buffer, capacity);
  const int64_t limit = kMaxCount;
  size_t sequence = 0;  // the next argument for placeholders without a number
  size_t i = 0;
  while (i < tmpl.size() && !out.Full()) {
    if (tmpl[i] != '%') {
      out.Put(tmpl[i++]);
      continue;
    }
    if (i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
      out.Put('%');
      i += 2;
      continue;
    }
    const size_t start = i;
    Placeholder p;
    size_t index = 0;
    bool numbered = false;
    size_t pos = i + 1;
    uint64_t n = 0;
    if (pos < tmpl.size() && tmpl[pos] >= '1' && tmpl[pos] <= '9') {
      SpecReader::ReadNumber(tmpl, pos, n);
      if (n <= count) {
        numbered = true;
        index = static_cast<size_t>(n - 1);
        if (pos < tmpl.size() && tmpl[pos] == '$') {
          ++pos;
        } else {
          p.bare = true;
        }
      } else {
        // Not an argument number: the digits are the width of a placeholder
        // that takes the next argument.
        p.has_width = true;
        p.width = std::min<int64_t>(static_cast<int64_t>(n), limit);
      }
    }
    if (!p.bare) {
      SpecReader reader(tmpl, pos, args, count, sequence, limit);
      if (!p.has_width) {
        reader.ReadFlags(p);
        if (!reader.ReadCount(p.has_width, p.width)) break;
      }
      if (!reader.ReadPrecision(p)) break;
      reader.SkipLength();
      if (!reader.ReadConversion(p)) break;
      pos = reader.pos();
    }
    if (pos - start > kMaxSpecLength) break;
    if (!numbered) index = sequence++;
    if (index >= count) break;
    WriteValue(out, args[index], p);
    i = pos;
  }
  return out.Finish();
}

std::string Quarn::FormatToString(std::string_view tmpl, const FormatArg* args, size_t count) {
  char buffer[kMessageCapacity];
  const size_t length = FormatMessage(buffer, sizeof buffer, tmpl, args, count);
  return std::string(buffer, length);
}

namespace {

bool HasTypeSuffix(std::string_view name) {
  for (std::string_view suffix : {"_bool", "_int", "_long", "_float", "_str", "_time", "_ip"}) {
    if (name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix) return true;
  }
  return false;
}

Quarn::NamedField MakeField(std::string name, const FormatArg& arg) {
  Quarn::FieldValue value;
  std::string_view suffix;
  switch (arg.kind()) {
    case Kind::kBool:
      value = arg.AsUnsigned() != 0;
      suffix = "_bool";
      break;
    case Kind::kInt32:
    case Kind::kInt64:
    case Kind::kChar:
      value = arg.AsSigned();
      suffix = "_int";
      break;
    case Kind::kUint32:
    case Kind::kUint64:
    case Kind::kUint8:
      value = arg.AsUnsigned();
      suffix = "_int";
      break;
    case Kind::kDouble:
      value = arg.AsDouble();
      suffix = "_float";
      break;
    case Kind::kText:
      value = std::string(arg.AsText());
      suffix = "_str";
      break;
  }
  if (!HasTypeSuffix(name)) name += suffix;
  return {std::move(name), std::move(value)};
}

}  // namespace

Quarn::NamedMessage Quarn::FormatNamedArgs(std::string_view tmpl, const FormatArg* args, size_t count) {
  NamedMessage result;
  std::string positional;
  positional.reserve(tmpl.size());
  size_t used = 0;
  size_t i = 0;
  while (i < tmpl.size()) {
    const char c = tmpl[i];
    if (c == '{' && i + 1 < tmpl.size() && tmpl[i + 1] == '{') {
      positional += '{';
      i += 2;
    } else if (c == '{') {
      std::string name;
      size_t j = i + 1;
      if (j < tmpl.size() && tmpl[j] == '#') ++j;  // a marker, not part of the name
      for (; j < tmpl.size() && tmpl[j] != '}'; ++j) {
        if (tmpl[j] == '\\' && j + 1 < tmpl.size()) {
          name += tmpl[++j];
        } else if (tmpl[j] != '!' && tmpl[j] != '?' && tmpl[j] != ':') {
          name += tmpl[j];
        }
      }
      // An unclosed placeholder, or one without an argument, ends the text.
      if (j >= tmpl.size() || used >= count) break;
      i = j + 1;
      positional += '%';
      positional += std::to_string(used + 1);
      // "%1" directly before a digit would read as a larger number.
      if (i < tmpl.size() && ((tmpl[i] >= '0' && tmpl[i] <= '9') || tmpl[i] == '$')) positional += "$?";
      result.fields.push_back(MakeField(std::move(name), args[used]));
      ++used;
    } else if (c == '}') {
      positional += '}';
      i += (i + 1 < tmpl.size() && tmpl[i + 1] == '}') ? 2 : 1;
    } else if (c == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
      positional += "%%";
      i += 2;
    } else {
      positional += c;
      ++i;
    }
  }
  result.text = FormatToString(positional, args, count);
  return result;
}
