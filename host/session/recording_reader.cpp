#include "host/session/recording_reader.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "host/session/line_json.h"
#include "host/session/recording_writer.h"

namespace {

using kiv::host::session::LineKind;

constexpr std::pair<LineKind, std::string_view> kKinds[] = {
    {LineKind::kRequest, "request"}, {LineKind::kAnswer, "answer"},   {LineKind::kCall, "call"},
    {LineKind::kPublish, "publish"}, {LineKind::kDeliver, "deliver"}, {LineKind::kHost, "host"},
    {LineKind::kUnload, "unload"},
};

std::string StringOf(const rapidjson::Value& v) { return std::string(v.GetString(), v.GetStringLength()); }

const rapidjson::Value* Find(const rapidjson::Value& doc, const char* name) {
  auto it = doc.FindMember(name);
  return it == doc.MemberEnd() ? nullptr : &it->value;
}

// Reads one line after the header into `out`; "" or what is wrong.
std::string ReadLine(const rapidjson::Document& doc, kiv::host::session::RecordedLine& out) {
  namespace s = kiv::host::session;
  const rapidjson::Value* seq = Find(doc, "seq");
  const rapidjson::Value* t = Find(doc, "t");
  const rapidjson::Value* kind = Find(doc, "kind");
  if (seq == nullptr || !seq->IsUint64()) return "\"seq\" is missing or not a whole number";
  if (t == nullptr || !t->IsNumber() || !(t->GetDouble() >= 0)) return "\"t\" is missing or not a time";
  if (kind == nullptr || !kind->IsString()) return "\"kind\" is missing or not a text";
  out.seq = seq->GetUint64();
  out.t = t->GetDouble();
  const std::string kind_text = StringOf(*kind);
  bool known = false;
  for (const auto& [k, name] : kKinds) {
    if (name == kind_text) {
      out.kind = k;
      known = true;
    }
  }
  if (!known) return "unknown kind \"" + kind_text + "\"";
  const bool has_id = out.kind == LineKind::kRequest || out.kind == LineKind::kAnswer;
  if (has_id) {
    const rapidjson::Value* id = Find(doc, "id");
    if (id == nullptr || !id->IsUint64()) return "\"id\" is missing or not a whole number";
    out.id = id->GetUint64();
  }
  if (out.kind == LineKind::kRequest || out.kind == LineKind::kCall || out.kind == LineKind::kHost) {
    const rapidjson::Value* request = Find(doc, "request");
    if (request == nullptr) return "\"request\" is missing";
    auto read = s::RequestFrom(*request);
    if (read.HasFailure()) return read.failure().message();
    out.request = read.TakeValue();
  }
  if (out.kind == LineKind::kAnswer || out.kind == LineKind::kCall || out.kind == LineKind::kHost) {
    const rapidjson::Value* answer = Find(doc, "answer");
    if (answer == nullptr) return "\"answer\" is missing";
    auto read = s::AnswerFrom(*answer);
    if (read.HasFailure()) return read.failure().message();
    out.answer = read.TakeValue();
  }
  if (out.kind == LineKind::kPublish || out.kind == LineKind::kDeliver) {
    const rapidjson::Value* name = Find(doc, "name");
    const rapidjson::Value* data = Find(doc, "data");
    if (name == nullptr || !name->IsString()) return "\"name\" is missing or not a text";
    if (data == nullptr) return "\"data\" is missing";
    auto value = s::ValueFrom(*data);
    if (value.HasFailure()) return "\"data\": " + value.failure().message();
    out.name = StringOf(*name);
    out.data = value.TakeValue();
  }
  return {};
}

std::string ReadHeader(const rapidjson::Document& doc, kiv::host::session::Recording& out) {
  namespace s = kiv::host::session;
  const rapidjson::Value* kind = Find(doc, "kind");
  const rapidjson::Value* format = Find(doc, "format");
  const rapidjson::Value* version = Find(doc, "version");
  const rapidjson::Value* plugin = Find(doc, "plugin");
  const rapidjson::Value* api = Find(doc, "apiVersion");
  if (kind == nullptr || !kind->IsString() || StringOf(*kind) != "header" || format == nullptr ||
      !format->IsString() || StringOf(*format) != s::kFormatName)
    return "not a session recording (the first line is no " + std::string(s::kFormatName) + " header)";
  if (version == nullptr || !version->IsInt() || version->GetInt() != s::kFormatVersion) {
    return "format version " + (version != nullptr ? s::JsonText(*version) : std::string("(none)")) +
           ", this kiv reads version " + std::to_string(s::kFormatVersion);
  }
  if (plugin == nullptr || !plugin->IsString() || api == nullptr || !api->IsString())
    return "the header names no plug-in or API version";
  out.plugin = StringOf(*plugin);
  out.api_version = StringOf(*api);
  if (const rapidjson::Value* at = Find(doc, "recordedAtMs"); at != nullptr && at->IsInt64())
    out.recorded_at_ms = at->GetInt64();
  return {};
}

}  // namespace

std::string_view kiv::host::session::LineKindName(LineKind kind) {
  for (const auto& [k, name] : kKinds) {
    if (k == kind) return name;
  }
  return "?";
}

Quarn::Maybe<kiv::host::session::Recording> kiv::host::session::ReadRecording(std::string_view text,
                                                                              std::string_view source) {
  Recording out;
  std::set<uint64_t> requests, answers;
  uint64_t last_seq = 0;
  size_t number = 0;
  size_t at = 0;
  const auto fail = [&](const std::string& what) {
    return Quarn::Failure(std::string(source) + " line " + std::to_string(number) + ": " + what);
  };
  while (at < text.size()) {
    ++number;
    const size_t end = text.find('\n', at);
    const std::string_view line = text.substr(at, end == std::string_view::npos ? text.size() - at : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) return fail("cut short (the file ends inside this line)");
    rapidjson::Document doc;
    doc.Parse(line.data(), line.size());
    if (doc.HasParseError()) {
      return fail(std::string("not JSON at column ") + std::to_string(doc.GetErrorOffset() + 1) + ": " +
                  rapidjson::GetParseError_En(doc.GetParseError()));
    }
    if (!doc.IsObject()) return fail("not a JSON object");
    if (number == 1) {
      if (std::string wrong = ReadHeader(doc, out); !wrong.empty()) return fail(wrong);
      continue;
    }
    RecordedLine recorded;
    recorded.number = number;
    recorded.text = std::string(line);
    if (std::string wrong = ReadLine(doc, recorded); !wrong.empty()) return fail(wrong);
    if (recorded.seq <= last_seq) {
      return fail("seq " + std::to_string(recorded.seq) + " does not follow " + std::to_string(last_seq));
    }
    last_seq = recorded.seq;
    if (recorded.kind == LineKind::kRequest && !requests.insert(recorded.id).second)
      return fail("a second request with id " + std::to_string(recorded.id));
    if (recorded.kind == LineKind::kAnswer) {
      if (!requests.contains(recorded.id)) return fail("an answer to id " + std::to_string(recorded.id) + ", which no earlier request has");
      if (!answers.insert(recorded.id).second) return fail("a second answer to id " + std::to_string(recorded.id));
    }
    out.lines.push_back(std::move(recorded));
  }
  if (number == 0) return Quarn::Failure(std::string(source) + " is empty: no session recording");
  return out;
}

Quarn::Maybe<kiv::host::session::Recording> kiv::host::session::LoadRecording(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Quarn::Failure("cannot read the recording " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return ReadRecording(text.str(), path);
}
