#include "binding/json_reader.h"

#include "binding/detail/tree_builder.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <cstring>
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

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Quarn::JsonErrorMessage(int code, size_t offset) {
  std::string message = "Error: ";
  message += rapidjson::GetParseError_En(static_cast<rapidjson::ParseErrorCode>(code));
  message += " at offset ";
  message += std::to_string(offset);
  message += '.';
  return message;
}

Quarn::BindingResult Quarn::FromJson(std::string_view text) {
  if (const void* nul = std::memchr(text.data(), '\0', text.size()); nul != nullptr) {
    text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
  }
  BindingResult result;
  size_t first = 0;
  while (first < text.size() && IsJsonSpace(text[first])) ++first;
  if (first == text.size()) return result;

  // The iterative mode keeps deep documents off the call stack; it reports
  // the same codes and offsets as the recursive mode except for a stray
  // closing token or separator at the root, which it calls an empty
  // document where the recursive mode reports an invalid value.
  detail::TreeBuilder builder;
  builder.Begin(result.value, detail::DuplicateKeys::kMerge);
  Events events(builder);
  rapidjson::MemoryStream stream(text.data(), text.size());
  rapidjson::Reader reader;
  const rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseIterativeFlag>(stream, events);
  if (!parsed.IsError()) {
    builder.Finish();
    return result;
  }
  builder.Abandon();

  rapidjson::ParseErrorCode code = parsed.Code();
  if (code == rapidjson::kParseErrorDocumentEmpty) code = rapidjson::kParseErrorValueInvalid;
  result.Fail(JsonErrorMessage(code, parsed.Offset()));
  return result;
}
