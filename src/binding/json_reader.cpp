#include "binding/json_reader.h"

#include "binding/codec_messages.h"
#include "binding/detail/json_full_reader.h"
#include "binding/detail/plain_json.h"
#include "binding/detail/scratch_pool.h"
#include "binding/detail/tree_builder.h"
#include "binding/message_format.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Forwards the reader's events to the tree builder, which makes each
// container once, when it closes, and merges repeated keys. With a depth
// limit, a container nested deeper stops the parse.
class Events {
 public:
  explicit Events(Quarn::detail::TreeBuilder& builder, size_t depth_limit = SIZE_MAX)
      : builder_(builder), depth_limit_(depth_limit) {}

  bool Null() {
    builder_.Null();
    return true;
  }
  bool Bool(bool b) {
    builder_.Bool(b);
    return true;
  }
  bool Int(int i) {
    builder_.Signed(i);
    return true;
  }
  bool Uint(unsigned u) {
    builder_.Unsigned(u);
    return true;
  }
  bool Int64(int64_t i) {
    builder_.Signed(i);
    return true;
  }
  bool Uint64(uint64_t u) {
    builder_.Unsigned(u);
    return true;
  }
  bool Double(double d) {
    builder_.Double(d);
    return true;
  }
  // The reader has checked the number's form and range already; the text
  // is followed by the byte that ended it.
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    Quarn::detail::PushJsonNumber(std::string_view(text, length), builder_);
    return true;
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    builder_.String(std::string_view(text, length));
    return true;
  }
  bool StartObject() {
    if (++depth_ > depth_limit_) return false;
    builder_.BeginStructure();
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    builder_.Key(std::string_view(text, length));
    return true;
  }
  bool EndObject(rapidjson::SizeType) {
    --depth_;
    builder_.EndStructure();
    return true;
  }
  bool StartArray() {
    if (++depth_ > depth_limit_) return false;
    builder_.BeginCollection();
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    --depth_;
    builder_.EndCollection();
    return true;
  }

 private:
  Quarn::detail::TreeBuilder& builder_;
  size_t depth_limit_;
  size_t depth_ = 0;
};

// The recursive parse is the faster one but nests a few stack frames per
// level; deeper documents, and every document with an error, go through
// the iterative parse, which sets the messages and offsets.
constexpr size_t kRecursiveDepth = 64;
// Numbers come as text (RawNumber): from_chars reads them correctly rounded
// faster than the reader's own full-precision mode.
constexpr unsigned kRecursiveFlags = rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;
constexpr unsigned kIterativeFlags = kRecursiveFlags | rapidjson::kParseIterativeFlag;

constexpr size_t kKeptBufferBytes = size_t{256} << 10;
constexpr size_t kSimdPadding = 16;

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A NUL byte ends the text, so only the escape can put one in a string.
// A false alarm (an escaped backslash before "u0000") costs only speed.
bool MayHoldNul(std::string_view text) {
  constexpr std::string_view kRest = "u0000";
  const char* at = text.data();
  const char* const end = at + text.size();
  // Backslashes are rare, so hopping between them beats a general search.
  while ((at = static_cast<const char*>(std::memchr(at, '\\', static_cast<size_t>(end - at)))) != nullptr) {
    ++at;
    if (static_cast<size_t>(end - at) >= kRest.size() && std::memcmp(at, kRest.data(), kRest.size()) == 0) return true;
  }
  return false;
}

}  // namespace

std::string Quarn::JsonErrorMessage(int code, size_t offset) {
  return Format(CodecMessage::kJsonError,
                rapidjson::GetParseError_En(static_cast<rapidjson::ParseErrorCode>(code)), offset);
}

Quarn::BindingResult Quarn::FromJson(std::string_view text) {
  // Most documents take the fast path; the rest are read again in full by
  // RapidJSON, which decides what they hold and words every failure.
  BindingResult result;
  if (detail::ReadPlainJson(text, result.value)) return result;
  return detail::ReadJsonInFull(text);
}

Quarn::BindingResult Quarn::detail::ReadJsonInFull(std::string_view text) {
  BindingResult result;
  size_t first = 0;
  while (first < text.size() && IsJsonSpace(text[first])) ++first;
  // RapidJSON takes a NUL byte for the end of the text, so everything after
  // the first NUL is ignored without a scan for it.
  if (first == text.size() || text[first] == '\0') return result;

  // Parsing in place spares copying every string through the reader's own
  // stack. The copy is NUL-terminated, as the in-place stream needs, and
  // padded: the SIMD scans load whole aligned 16-byte blocks, up to 15
  // bytes past the terminator. It is kept for the next call unless large.
  static detail::ScratchPool<std::string> buffers;
  detail::ScratchPool<std::string>::Lease lease(buffers);
  std::string& buffer = *lease;
  const auto copy = [&text, &buffer] {
    buffer.assign(text);
    buffer.append(kSimdPadding, '\0');
    return rapidjson::InsituStringStream(buffer.data());
  };

  // The iterative mode keeps deep documents off the call stack; it reports
  // the same codes and offsets as the recursive mode except for a stray
  // closing token or separator at the root, which it calls an empty
  // document where the recursive mode reports an invalid value.
  struct BufferTrim {
    std::string& buffer;
    ~BufferTrim() {
      if (buffer.capacity() > kKeptBufferBytes) std::string().swap(buffer);
    }
  } trim{buffer};
  const bool may_hold_nul = MayHoldNul(text);
  rapidjson::ParseResult parsed;
  for (const bool recursive : {true, false}) {
    detail::TreeBuilder::Scope scope(result.value, detail::DuplicateKeys::kMerge);
    if (!may_hold_nul) scope.builder().TextsHoldNoNul();
    Events events(scope.builder(), recursive ? kRecursiveDepth : SIZE_MAX);
    rapidjson::InsituStringStream stream = copy();
    rapidjson::Reader reader;
    parsed = recursive ? reader.Parse<kRecursiveFlags>(stream, events) : reader.Parse<kIterativeFlags>(stream, events);
    if (!parsed.IsError()) {
      scope.builder().Finish();
      return result;
    }
  }

  rapidjson::ParseErrorCode code = parsed.Code();
  if (code == rapidjson::kParseErrorDocumentEmpty) code = rapidjson::kParseErrorValueInvalid;
  result.Fail(JsonErrorMessage(code, parsed.Offset()));
  return result;
}
