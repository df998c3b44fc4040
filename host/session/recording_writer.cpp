#include "host/session/recording_writer.h"

#include <rapidjson/document.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "host/session/line_json.h"

namespace {

using kiv::host::session::Json;

rapidjson::Document Line(uint64_t seq, double now, const char* kind) {
  rapidjson::Document doc(rapidjson::kObjectType);
  auto& a = doc.GetAllocator();
  doc.AddMember("seq", seq, a);
  doc.AddMember("t", now, a);
  doc.AddMember("kind", rapidjson::StringRef(kind), a);
  return doc;
}

Json Text(std::string_view text, kiv::host::session::JsonAllocator& allocator) {
  return Json(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

}  // namespace

Quarn::Maybe<std::unique_ptr<kiv::host::session::RecordingWriter>> kiv::host::session::RecordingWriter::Create(
    const std::string& path) {
  std::FILE* raw = std::fopen(path.c_str(), "w");
  if (raw == nullptr) return Quarn::Failure("cannot write the recording " + path + ": " + std::strerror(errno));
  std::shared_ptr<std::FILE> file(raw, [](std::FILE* f) { std::fclose(f); });
  return std::make_unique<RecordingWriter>([file](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), file.get());
    std::fputc('\n', file.get());
    std::fflush(file.get());
  });
}

kiv::host::session::RecordingWriter::RecordingWriter(std::function<void(std::string_view line)> sink)
    : sink_(std::move(sink)) {}

void kiv::host::session::RecordingWriter::Write(std::string line) {
  if (!header_written_) {
    before_header_.push_back(std::move(line));
    return;
  }
  sink_(line);
}

void kiv::host::session::RecordingWriter::Header(std::string_view plugin, std::string_view api_version) {
  std::lock_guard lock(mutex_);
  if (header_written_) return;
  rapidjson::Document doc(rapidjson::kObjectType);
  auto& a = doc.GetAllocator();
  doc.AddMember("kind", "header", a);
  doc.AddMember("format", Text(kFormatName, a), a);
  doc.AddMember("version", kFormatVersion, a);
  doc.AddMember("plugin", Text(plugin, a), a);
  doc.AddMember("apiVersion", Text(api_version, a), a);
  // The one wall-clock reading: it tells a replay which values of the
  // plug-in's were its own clock readings (see ReplayHost).
  const auto wall = std::chrono::system_clock::now().time_since_epoch();
  doc.AddMember("recordedAtMs", static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(wall).count()), a);
  sink_(JsonText(doc));
  header_written_ = true;
  for (const auto& line : before_header_) sink_(line);
  before_header_.clear();
}

void kiv::host::session::RecordingWriter::PluginLoaded(double, const PluginLibrary& library) {
  Header(library.short_name(), library.api_version().ToString());
}

void kiv::host::session::RecordingWriter::PluginUnloading(double now) {
  std::lock_guard lock(mutex_);
  Write(JsonText(Line(seq_++, now, "unload")));
}

uint64_t kiv::host::session::RecordingWriter::InboundStarted(double now, const Request& request) {
  std::lock_guard lock(mutex_);
  const uint64_t id = next_id_++;
  rapidjson::Document doc = Line(seq_++, now, "request");
  auto& a = doc.GetAllocator();
  doc.AddMember("id", id, a);
  doc.AddMember("request", RequestJson(request, a), a);
  Write(JsonText(doc));
  open_requests_.emplace_back(id, request.Summary());
  return id;
}

void kiv::host::session::RecordingWriter::InboundAnswered(double now, uint64_t token, const Response& answer) {
  std::lock_guard lock(mutex_);
  std::string to;
  for (auto it = open_requests_.begin(); it != open_requests_.end(); ++it) {
    if (it->first != token) continue;
    to = std::move(it->second);
    open_requests_.erase(it);
    break;
  }
  rapidjson::Document doc = Line(seq_++, now, "answer");
  auto& a = doc.GetAllocator();
  doc.AddMember("id", token, a);
  doc.AddMember("to", Text(to, a), a);
  doc.AddMember("answer", AnswerJson(answer, a), a);
  Write(JsonText(doc));
}

void kiv::host::session::RecordingWriter::HostServed(double now, const Request& request, const Response& answer) {
  // A read of the host's own resources changes nothing the plug-in sees.
  if (request.method == KIV_METHOD_GET || request.method == KIV_METHOD_HEAD) return;
  std::lock_guard lock(mutex_);
  rapidjson::Document doc = Line(seq_++, now, "host");
  auto& a = doc.GetAllocator();
  doc.AddMember("request", RequestJson(request, a), a);
  // What the host answered itself is not the plug-in's: the status tells
  // a reader whether the control worked.
  Json status(rapidjson::kObjectType);
  status.AddMember("status", answer.status, a);
  if (answer.error) status.AddMember("error", Text(*answer.error, a), a);
  doc.AddMember("answer", status, a);
  Write(JsonText(doc));
}

void kiv::host::session::RecordingWriter::Outbound(double now, const Request& request, const Response& answer) {
  std::lock_guard lock(mutex_);
  rapidjson::Document doc = Line(seq_++, now, "call");
  auto& a = doc.GetAllocator();
  doc.AddMember("request", RequestJson(request, a), a);
  doc.AddMember("answer", AnswerJson(answer, a), a);
  Write(JsonText(doc));
}

void kiv::host::session::RecordingWriter::Published(double now, std::string_view name, const HostValue& payload) {
  std::lock_guard lock(mutex_);
  rapidjson::Document doc = Line(seq_++, now, "publish");
  auto& a = doc.GetAllocator();
  doc.AddMember("name", Text(name, a), a);
  doc.AddMember("data", ValueJson(payload, a), a);
  Write(JsonText(doc));
}

void kiv::host::session::RecordingWriter::Delivered(double now, std::string_view name, const HostValue& payload) {
  std::lock_guard lock(mutex_);
  rapidjson::Document doc = Line(seq_++, now, "deliver");
  auto& a = doc.GetAllocator();
  doc.AddMember("name", Text(name, a), a);
  doc.AddMember("data", ValueJson(payload, a), a);
  Write(JsonText(doc));
}
