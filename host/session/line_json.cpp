#include "host/session/line_json.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

namespace {

using kiv::host::session::Difference;
using kiv::host::session::Json;
using kiv::host::session::JsonAllocator;

bool ConnectionHeader(std::string_view name) {
  return name == "host" || name == "user-agent" || name == "remote_addr" || name == "remote_port" ||
         name == "local_addr" || name == "local_port" || name == "content-length" || name == "accept";
}

Json Text(std::string_view text, JsonAllocator& allocator) {
  return Json(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

Json Pairs(const std::vector<std::pair<std::string, std::string>>& pairs, bool skip_connection,
           JsonAllocator& allocator) {
  Json out(rapidjson::kArrayType);
  for (const auto& [name, value] : pairs) {
    if (skip_connection && ConnectionHeader(name)) continue;
    Json pair(rapidjson::kArrayType);
    pair.PushBack(Text(name, allocator), allocator).PushBack(Text(value, allocator), allocator);
    out.PushBack(pair, allocator);
  }
  return out;
}

std::string StringOf(const Json& json) { return std::string(json.GetString(), json.GetStringLength()); }

Quarn::Failure Bad(std::string_view what, std::string_view field) {
  return Quarn::Failure(std::string(what) + ": \"" + std::string(field) + "\" is missing or not " +
                        (field == "status" || field == "failAtRead" ? "a number" : "of the right kind"));
}

// Reads an optional string member into `out`; false when present and not a string.
bool OptionalString(const Json& json, const char* name, std::string& out) {
  auto it = json.FindMember(name);
  if (it == json.MemberEnd()) return true;
  if (!it->value.IsString()) return false;
  out = StringOf(it->value);
  return true;
}

bool ReadPairs(const Json& json, const char* name, std::vector<std::pair<std::string, std::string>>& out) {
  auto it = json.FindMember(name);
  if (it == json.MemberEnd()) return true;
  if (!it->value.IsArray()) return false;
  for (const auto& pair : it->value.GetArray()) {
    if (!pair.IsArray() || pair.Size() != 2 || !pair[0].IsString() || !pair[1].IsString()) return false;
    out.emplace_back(StringOf(pair[0]), StringOf(pair[1]));
  }
  return true;
}

std::string Member(std::string_view path, std::string_view name) {
  return path.empty() ? std::string(name) : std::string(path) + "." + std::string(name);
}

std::optional<Difference> Differ(const Json& expected, const Json& got, const std::string& path,
                                 const kiv::host::session::Equivalent& equivalent) {
  if (expected.IsObject() && got.IsObject()) {
    for (const auto& m : expected.GetObject()) {
      const std::string field = Member(path, std::string_view(m.name.GetString(), m.name.GetStringLength()));
      auto it = got.FindMember(m.name);
      if (it == got.MemberEnd()) return Difference{field, kiv::host::session::JsonText(m.value), "(none)"};
      if (auto d = Differ(m.value, it->value, field, equivalent)) return d;
    }
    for (const auto& m : got.GetObject()) {
      if (!expected.HasMember(m.name)) {
        return Difference{Member(path, std::string_view(m.name.GetString(), m.name.GetStringLength())), "(none)",
                          kiv::host::session::JsonText(m.value)};
      }
    }
    return std::nullopt;
  }
  if (expected.IsArray() && got.IsArray()) {
    const rapidjson::SizeType n = std::min(expected.Size(), got.Size());
    for (rapidjson::SizeType i = 0; i < n; ++i) {
      if (auto d = Differ(expected[i], got[i], path + "[" + std::to_string(i) + "]", equivalent)) return d;
    }
    if (expected.Size() == got.Size()) return std::nullopt;
    const std::string field = path + "[" + std::to_string(n) + "]";
    if (expected.Size() > n) return Difference{field, kiv::host::session::JsonText(expected[n]), "(none)"};
    return Difference{field, "(none)", kiv::host::session::JsonText(got[n])};
  }
  if (expected == got || (equivalent && equivalent(expected, got))) return std::nullopt;
  return Difference{path, kiv::host::session::JsonText(expected), kiv::host::session::JsonText(got)};
}

}  // namespace

std::string kiv::host::session::JsonText(const Json& json) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  json.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

Json kiv::host::session::ValueJson(const HostValue& value, JsonAllocator& allocator) {
  const std::string text = ToJson(value);
  rapidjson::Document doc;
  doc.Parse(text.data(), text.size());
  if (doc.HasParseError()) return Text(text, allocator);
  Json out;
  out.CopyFrom(doc, allocator);
  return out;
}

Json kiv::host::session::RequestJson(const Request& request, JsonAllocator& allocator) {
  Json out(rapidjson::kObjectType);
  out.AddMember("method", Text(request.MethodText(), allocator), allocator);
  out.AddMember("path", Text(request.path, allocator), allocator);
  if (!request.content_type.empty()) out.AddMember("contentType", Text(request.content_type, allocator), allocator);
  if (!request.body.empty()) out.AddMember("body", Text(request.body, allocator), allocator);
  Json headers = Pairs(request.pairs, true, allocator);
  if (!headers.Empty()) out.AddMember("headers", headers, allocator);
  if (!request.arguments.empty()) {
    Json arguments(rapidjson::kArrayType);
    for (const auto& [name, value] : request.arguments) {
      Json pair(rapidjson::kArrayType);
      pair.PushBack(Text(name, allocator), allocator).PushBack(ValueJson(value.get(), allocator), allocator);
      arguments.PushBack(pair, allocator);
    }
    out.AddMember("arguments", arguments, allocator);
  }
  return out;
}

Json kiv::host::session::AnswerJson(const Response& answer, JsonAllocator& allocator) {
  Json out(rapidjson::kObjectType);
  out.AddMember("status", answer.status, allocator);
  if (answer.error) out.AddMember("error", Text(*answer.error, allocator), allocator);
  const HostValue& body = answer.body.get();
  if (answer.chunks) {
    Json chunks(rapidjson::kArrayType);
    for (const auto& chunk : *answer.chunks) chunks.PushBack(Text(chunk, allocator), allocator);
    out.AddMember("chunks", chunks, allocator);
    if (answer.stream_fail_at_read != 0) out.AddMember("failAtRead", answer.stream_fail_at_read, allocator);
  } else if (body.tag == KIV_VALUE_BYTES || body.tag == KIV_VALUE_BYTES_OWNED) {
    const auto* bytes = static_cast<const char*>(body.data.seq.data);
    out.AddMember("bytes", Text(std::string_view(bytes != nullptr ? bytes : "", body.data.seq.count), allocator),
                  allocator);
  } else if (body.tag != KIV_VALUE_NULL) {
    out.AddMember("body", ValueJson(body, allocator), allocator);
  }
  if (!answer.content_type.empty()) out.AddMember("contentType", Text(answer.content_type, allocator), allocator);
  Json headers = Pairs(answer.headers, false, allocator);
  if (!headers.Empty()) out.AddMember("headers", headers, allocator);
  return out;
}

Quarn::Maybe<kiv::host::OwnedValue> kiv::host::session::ValueFrom(const Json& json) {
  return OwnedValue::FromJson(JsonText(json));
}

Quarn::Maybe<kiv::host::Request> kiv::host::session::RequestFrom(const Json& json) {
  if (!json.IsObject()) return Quarn::Failure("the request is not an object");
  Request out;
  auto method = json.FindMember("method");
  auto path = json.FindMember("path");
  if (method == json.MemberEnd() || !method->value.IsString()) return Bad("the request", "method");
  if (path == json.MemberEnd() || !path->value.IsString()) return Bad("the request", "path");
  const std::string method_text = StringOf(method->value);
  out.method = MethodCode(method_text);
  if (out.method == KIV_METHOD_NONE) {
    out.method = KIV_METHOD_CUSTOM;
    out.custom_method = method_text;
  }
  out.path = StringOf(path->value);
  if (!OptionalString(json, "contentType", out.content_type)) return Bad("the request", "contentType");
  if (!OptionalString(json, "body", out.body)) return Bad("the request", "body");
  if (!ReadPairs(json, "headers", out.pairs)) return Bad("the request", "headers");
  if (auto it = json.FindMember("arguments"); it != json.MemberEnd()) {
    if (!it->value.IsArray()) return Bad("the request", "arguments");
    for (const auto& pair : it->value.GetArray()) {
      if (!pair.IsArray() || pair.Size() != 2 || !pair[0].IsString()) return Bad("the request", "arguments");
      auto value = ValueFrom(pair[1]);
      if (value.HasFailure()) return Bad("the request", "arguments");
      out.arguments.emplace_back(StringOf(pair[0]), value.TakeValue());
    }
  }
  return out;
}

Quarn::Maybe<kiv::host::Response> kiv::host::session::AnswerFrom(const Json& json) {
  if (!json.IsObject()) return Quarn::Failure("the answer is not an object");
  Response out;
  auto status = json.FindMember("status");
  if (status == json.MemberEnd() || !status->value.IsUint()) return Bad("the answer", "status");
  out.status = status->value.GetUint();
  if (auto it = json.FindMember("error"); it != json.MemberEnd()) {
    if (!it->value.IsString()) return Bad("the answer", "error");
    out.error = StringOf(it->value);
  }
  if (auto it = json.FindMember("body"); it != json.MemberEnd()) {
    auto body = ValueFrom(it->value);
    if (body.HasFailure()) return Bad("the answer", "body");
    out.body = body.TakeValue();
  }
  if (auto it = json.FindMember("bytes"); it != json.MemberEnd()) {
    if (!it->value.IsString()) return Bad("the answer", "bytes");
    out.body = OwnedValue::Bytes(StringOf(it->value));
  }
  if (auto it = json.FindMember("chunks"); it != json.MemberEnd()) {
    if (!it->value.IsArray()) return Bad("the answer", "chunks");
    std::vector<std::string> chunks;
    for (const auto& chunk : it->value.GetArray()) {
      if (!chunk.IsString()) return Bad("the answer", "chunks");
      chunks.push_back(StringOf(chunk));
    }
    out.chunks = std::move(chunks);
  }
  if (auto it = json.FindMember("failAtRead"); it != json.MemberEnd()) {
    if (!it->value.IsInt()) return Bad("the answer", "failAtRead");
    out.stream_fail_at_read = it->value.GetInt();
  }
  if (!OptionalString(json, "contentType", out.content_type)) return Bad("the answer", "contentType");
  if (!ReadPairs(json, "headers", out.headers)) return Bad("the answer", "headers");
  return out;
}

std::optional<Difference> kiv::host::session::FirstDifference(const Json& expected, const Json& got,
                                                              const Equivalent& equivalent) {
  return Differ(expected, got, "", equivalent);
}

std::optional<int64_t> kiv::host::session::ClockReadingMs(const Json& value) {
  if (value.IsInt64()) return value.GetInt64();
  if (!value.IsString() || value.GetStringLength() != 20) return std::nullopt;
  const std::string text = StringOf(value);
  std::tm tm{};
  char zone = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &zone) != 7 ||
      zone != 'Z' || text[4] != '-' || text[7] != '-' || text[10] != 'T')
    return std::nullopt;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<int64_t>(timegm(&tm)) * 1000;
}
