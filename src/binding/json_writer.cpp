#include "binding/json_writer.h"

#include <rapidjson/filewritestream.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>
#include <string_view>

#include "binding/binding_registry.h"
#include "binding/detail/binding_walk.h"

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Appends the padded Base64 form of `bytes` to `out`.
void AppendBase64(std::span<const uint8_t> bytes, std::string& out) {
  const size_t full = bytes.size() / 3 * 3;
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < full; i += 3) {
    const uint32_t n = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kBase64Alphabet[(n >> 18) & 63];
    out += kBase64Alphabet[(n >> 12) & 63];
    out += kBase64Alphabet[(n >> 6) & 63];
    out += kBase64Alphabet[n & 63];
  }
  const size_t rest = bytes.size() - full;
  if (rest == 0) return;
  uint32_t n = uint32_t{bytes[full]} << 16;
  if (rest == 2) n |= uint32_t{bytes[full + 1]} << 8;
  out += kBase64Alphabet[(n >> 18) & 63];
  out += kBase64Alphabet[(n >> 12) & 63];
  out += rest == 2 ? kBase64Alphabet[(n >> 6) & 63] : '=';
  out += '=';
}

// One visitor for both layouts; RapidJSON's Writer and PrettyWriter share
// their value interface.
template <class Writer>
class JsonWriter final : public Quarn::BindingVisitor {
 public:
  template <class Stream>
  JsonWriter(Stream& stream, const Quarn::BindingRegistry* registry) : writer_(stream), registry_(registry) {}

  Writer& writer() { return writer_; }

  void Null() override { writer_.Null(); }
  void Bool(bool value) override { writer_.Bool(value); }
  void Signed(int64_t value) override { writer_.Int64(value); }
  void Unsigned(uint64_t value) override { writer_.Uint64(value); }
  void Double(double value) override {
    // RapidJSON writes nothing for these, which would leave the output
    // malformed.
    if (!std::isfinite(value)) {
      writer_.Null();
      return;
    }
    writer_.Double(value);
  }
  void String(std::string_view text) override { WriteString(text); }
  void Blob(std::span<const uint8_t> bytes) override {
    scratch_.clear();
    AppendBase64(bytes, scratch_);
    WriteString(scratch_);
  }
  void Enum(const Quarn::BindingEnumRecord& record) override {
    if (registry_ != nullptr && record.type != nullptr) {
      const char* name = registry_->EnumeratorName(*record.type, record.value);
      if (name != nullptr) {
        WriteString(name);
        return;
      }
    }
    writer_.Int64(record.value);
  }
  void StartArray(size_t) override { writer_.StartArray(); }
  void BeginElement(size_t) override {}
  void EndElement(size_t) override {}
  void EndArray(size_t count) override { writer_.EndArray(static_cast<rapidjson::SizeType>(count)); }
  void StartObject(size_t) override { writer_.StartObject(); }
  void Key(std::string_view name) override {
    writer_.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
  }
  void EndMember() override {}
  void EndObject(size_t count) override { writer_.EndObject(static_cast<rapidjson::SizeType>(count)); }
  void Raw(std::string_view text) override {
    writer_.RawValue(text.data(), text.size(), rapidjson::kObjectType);
  }

 private:
  void WriteString(std::string_view text) {
    writer_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  }

  Writer writer_;
  const Quarn::BindingRegistry* registry_;
  std::string scratch_;
};

using CompactWriter = JsonWriter<rapidjson::Writer<rapidjson::StringBuffer>>;
using PrettyWriter = JsonWriter<rapidjson::PrettyWriter<rapidjson::StringBuffer>>;

}  // namespace

std::string Quarn::ToJson(const BindingProperty& value, const BindingRegistry* registry,
                          const char* newline) {
  if (value.IsEmpty()) return {};
  rapidjson::StringBuffer buffer;
  if (newline == nullptr || *newline == '\0') {
    CompactWriter writer(buffer, registry);
    detail::WalkBindingTree(value, writer);
    return std::string(buffer.GetString(), buffer.GetSize());
  }

  PrettyWriter writer(buffer, registry);
  writer.writer().SetIndent(' ', 4);
  detail::WalkBindingTree(value, writer);
  const std::string_view text(buffer.GetString(), buffer.GetSize());
  const std::string_view line_end(newline);
  if (line_end == "\n") return std::string(text);

  // Strings escape their own line feeds, so every '\n' here is a line end.
  std::string out;
  out.reserve(text.size() + text.size() / 16 * line_end.size());
  size_t start = 0;
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', start)) {
    out.append(text, start, at - start);
    out.append(line_end);
    start = at + 1;
  }
  out.append(text, start);
  return out;
}

bool Quarn::WriteJson(const BindingProperty& value, std::FILE* out, bool pretty, const BindingRegistry* registry) {
  if (!value.IsEmpty()) {
    char buffer[64 << 10];
    rapidjson::FileWriteStream stream(out, buffer, sizeof buffer);
    if (pretty) {
      JsonWriter<rapidjson::PrettyWriter<rapidjson::FileWriteStream>> writer(stream, registry);
      writer.writer().SetIndent(' ', 4);
      detail::WalkBindingTree(value, writer);
    } else {
      JsonWriter<rapidjson::Writer<rapidjson::FileWriteStream>> writer(stream, registry);
      detail::WalkBindingTree(value, writer);
    }
    stream.Flush();
  }
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}
