// CallRecorder: every call a plug-in made through the host table, the faults
// to inject into those calls, the plug-in's log lines and the misuse seen at
// the boundary. Each list is capped in count and in bytes; the oldest
// records go first. [any thread]
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_value.h"
#include "host/loop/messages.h"
#include "host/path_template.h"

namespace kiv::host {

// The HostApi entries, in table order.
enum class CallKind : uint8_t {
  kSendRequest,
  kReserved1,
  kEmitEvent,
  kSubscribe,
  kUnsubscribe,
  kStartTimer,
  kStep,
  kBeginWait,
  kEndWait,
  kWriteLogLine,
};
// "send_request", "reserved1", "emit_event", ... "write_log_line".
std::string_view CallKindName(CallKind kind);

struct RecordedCall {
  CallKind kind = CallKind::kStep;
  std::string name;    // event name, timer or wait label, log text
  Request request;     // send_request only
  OwnedValue payload;  // emit_event only
  uint32_t flag = 0;   // subscribe/start_timer/begin_wait flag; log level
  double delay_seconds = 0;
  void* host_handle = nullptr;
  bool faulted = false;  // an injected fault answered or dropped it

  // "send_request GET /a?b", "emit_event Name", "subscribe Name", "unsubscribe Name",
  // "start_timer label", "step", "begin_wait label", "end_wait", "write_log_line text".
  std::string Summary() const;
};

struct LogLine {
  uint32_t level;
  std::string text;
};

// A fault to inject into plug-in calls. A faulted send_request answers
// `error` with `status`; any other faulted call is recorded and otherwise
// ignored (no subscription, no delivery, no timer, no step, no line).
struct Fault {
  CallKind kind = CallKind::kSendRequest;
  uint32_t method = 0;        // requests: 0 matches every method
  std::string path_template;  // requests: "" matches every path
  int skip = 0;               // matching calls let through first
  int times = 1;              // matching calls that fail; -1 every one
  std::string error = "injected failure";
  uint32_t status = 500;
};

// Applied to the calls, the log lines and the problems, each on its own.
struct RecordLimits {
  size_t count = 0;  // records kept; 0: no limit
  size_t bytes = 0;  // bytes kept (as RecordBytes counts them); 0: no limit
};

// What a record costs against RecordLimits::bytes: its own size and the
// text, bodies and values it holds.
size_t RecordBytes(const RecordedCall& call);
size_t RecordBytes(const LogLine& line);
size_t RecordBytes(const std::string& problem);

class CallRecorder {
 public:
  explicit CallRecorder(RecordLimits limits = {});

  // Keeps `call`; returns the fault that takes it, if one does.
  std::optional<Fault> Record(RecordedCall call);
  // Keeps `line`, then hands it to the sink (outside the lock).
  void Log(LogLine line);
  void Problem(std::string text);
  // Called for every log line as it arrives.
  void SetLogSink(std::function<void(const LogLine&)> sink);

  // Returns an id for RemoveFault.
  int InjectFault(Fault fault);
  void RemoveFault(int id);
  void ClearFaults();

  std::vector<RecordedCall> Calls() const;
  void ClearCalls();
  std::vector<LogLine> LogLines() const;
  std::vector<std::string> Problems() const;

 private:
  template <class T>
  struct Capped {
    std::deque<T> items;
    size_t bytes = 0;
    void Push(T item, const RecordLimits& limits);
    std::vector<T> Copy() const { return {items.begin(), items.end()}; }
  };
  struct ActiveFault {
    int id;
    Fault fault;
    std::optional<PathTemplate> path;
    int seen = 0;
    int fired = 0;
  };
  std::optional<Fault> TakeFault(const RecordedCall& call);  // REQUIRES: mutex_ held

  const RecordLimits limits_;
  mutable std::mutex mutex_;  // guards everything below
  Capped<RecordedCall> calls_;
  Capped<LogLine> log_;
  Capped<std::string> problems_;
  std::function<void(const LogLine&)> log_sink_;
  std::vector<ActiveFault> faults_;
  int next_fault_ = 1;
};

}  // namespace kiv::host
