#include "host/loop/call_recorder.h"

#include <algorithm>
#include <utility>

std::string_view kiv::host::CallKindName(CallKind kind) {
  static constexpr std::string_view kNames[] = {"send_request", "reserved1",     "emit_event", "subscribe",
                                                "unsubscribe",  "start_timer",   "step",       "begin_wait",
                                                "end_wait",     "write_log_line"};
  return kNames[static_cast<size_t>(kind)];
}

std::string kiv::host::RecordedCall::Summary() const {
  std::string out(CallKindName(kind));
  switch (kind) {
    case CallKind::kSendRequest:
      return out + " " + request.Summary();
    case CallKind::kStep:
    case CallKind::kEndWait:
    case CallKind::kReserved1:
      return out;
    default:
      return out + " " + name;
  }
}

size_t kiv::host::RecordBytes(const RecordedCall& call) {
  const Request& r = call.request;
  size_t bytes = sizeof call + call.name.size() + call.payload.ByteSize() + r.custom_method.size() +
                 r.path.size() + r.content_type.size() + r.body.size();
  for (const auto& [name, value] : r.arguments) bytes += sizeof(std::pair<std::string, OwnedValue>) + name.size() + value.ByteSize();
  for (const auto& [name, value] : r.pairs) bytes += sizeof(std::pair<std::string, std::string>) + name.size() + value.size();
  for (const auto& c : r.captures) bytes += sizeof c + c.name.size() + c.value.size();
  return bytes;
}

size_t kiv::host::RecordBytes(const LogLine& line) { return sizeof line + line.text.size(); }

size_t kiv::host::RecordBytes(const std::string& problem) { return sizeof problem + problem.size(); }

template <class T>
void kiv::host::CallRecorder::Capped<T>::Push(T item, const RecordLimits& limits) {
  bytes += RecordBytes(item);
  items.push_back(std::move(item));
  while (!items.empty() && ((limits.count != 0 && items.size() > limits.count) ||
                            (limits.bytes != 0 && bytes > limits.bytes))) {
    bytes -= RecordBytes(items.front());
    items.pop_front();
  }
}

kiv::host::CallRecorder::CallRecorder(RecordLimits limits) : limits_(limits) {}

std::optional<kiv::host::Fault> kiv::host::CallRecorder::TakeFault(const RecordedCall& call) {
  for (ActiveFault& f : faults_) {
    if (f.fault.kind != call.kind) continue;
    if (call.kind == CallKind::kSendRequest) {
      if (f.fault.method != KIV_METHOD_NONE && f.fault.method != call.request.method) continue;
      if (f.path && !f.path->Match(PathWithoutQuery(call.request.path))) continue;
    }
    if (++f.seen <= f.fault.skip) continue;
    if (f.fault.times >= 0 && f.fired >= f.fault.times) continue;
    ++f.fired;
    return f.fault;
  }
  return std::nullopt;
}

std::optional<kiv::host::Fault> kiv::host::CallRecorder::Record(RecordedCall call) {
  std::lock_guard lock(mutex_);
  std::optional<Fault> hit = TakeFault(call);
  call.faulted = hit.has_value();
  calls_.Push(std::move(call), limits_);
  return hit;
}

void kiv::host::CallRecorder::Log(LogLine line) {
  std::function<void(const LogLine&)> sink;
  {
    std::lock_guard lock(mutex_);
    log_.Push(line, limits_);
    sink = log_sink_;
  }
  if (sink) sink(line);
}

void kiv::host::CallRecorder::Problem(std::string text) {
  std::lock_guard lock(mutex_);
  problems_.Push(std::move(text), limits_);
}

void kiv::host::CallRecorder::SetLogSink(std::function<void(const LogLine&)> sink) {
  std::lock_guard lock(mutex_);
  log_sink_ = std::move(sink);
}

int kiv::host::CallRecorder::InjectFault(Fault fault) {
  std::lock_guard lock(mutex_);
  ActiveFault active{next_fault_++, std::move(fault), std::nullopt};
  if (!active.fault.path_template.empty()) active.path.emplace(active.fault.path_template);
  faults_.push_back(std::move(active));
  return faults_.back().id;
}

void kiv::host::CallRecorder::RemoveFault(int id) {
  std::lock_guard lock(mutex_);
  std::erase_if(faults_, [&](const ActiveFault& f) { return f.id == id; });
}

void kiv::host::CallRecorder::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<kiv::host::RecordedCall> kiv::host::CallRecorder::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_.Copy();
}

void kiv::host::CallRecorder::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.items.clear();
  calls_.bytes = 0;
}

std::vector<kiv::host::LogLine> kiv::host::CallRecorder::LogLines() const {
  std::lock_guard lock(mutex_);
  return log_.Copy();
}

std::vector<std::string> kiv::host::CallRecorder::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_.Copy();
}
