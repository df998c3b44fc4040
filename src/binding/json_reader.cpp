#include "binding/json_reader.h"

#include "binding/codec_messages.h"
#include "binding/detail/tree_builder.h"
#include "binding/message_format.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <string>
#include <vector>

namespace {

// Forwards the reader's events to the tree builder, which makes each
// container once, when it closes, and merges repeated keys.
class Events {
 public:
  explicit Events(Quarn::detail::TreeBuilder& builder) : builder_(builder) {}

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
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }  // not enabled
  bool String(const char* text, rapidjson::SizeType length, bool) {
    builder_.String(std::string_view(text, length));
    return true;
  }
  bool StartObject() {
    builder_.BeginStructure();
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    builder_.Key(std::string_view(text, length));
    return true;
  }
  bool EndObject(rapidjson::SizeType) {
    builder_.EndStructure();
    return true;
  }
  bool StartArray() {
    builder_.BeginCollection();
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    builder_.EndCollection();
    return true;
  }

 private:
  Quarn::detail::TreeBuilder& builder_;
};

constexpr size_t kKeptBufferBytes = size_t{256} << 10;
constexpr size_t kSimdPadding = 16;

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Quarn::JsonErrorMessage(int code, size_t offset) {
  return Format(CodecMessage::kJsonError,
                rapidjson::GetParseError_En(static_cast<rapidjson::ParseErrorCode>(code)), offset);
}

Quarn::BindingResult Quarn::FromJson(std::string_view text) {
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
  thread_local std::string buffer;
  buffer.assign(text);
  buffer.append(kSimdPadding, '\0');
  rapidjson::InsituStringStream stream(buffer.data());

  // The iterative mode keeps deep documents off the call stack; it reports
  // the same codes and offsets as the recursive mode except for a stray
  // closing token or separator at the root, which it calls an empty
  // document where the recursive mode reports an invalid value.
  //
  // Doubles are read correctly rounded (the default mode may be off by a
  // unit in the last place).
  struct BufferTrim {
    ~BufferTrim() {
      if (buffer.capacity() > kKeptBufferBytes) std::string().swap(buffer);
    }
  } trim;
  rapidjson::ParseResult parsed;
  {
    detail::TreeBuilder::Scope scope(detail::ThreadTreeBuilder(), result.value, detail::DuplicateKeys::kMerge);
    Events events(scope.builder());
    rapidjson::Reader reader;
    parsed = reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag |
                          rapidjson::kParseFullPrecisionFlag>(stream, events);
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
