// RecordingReader: reads and checks a session recording (the format is in
// recording_writer.h) before anything is replayed, so a damaged file is
// refused whole, with the line that is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_value.h"
#include "host/loop/messages.h"

namespace kiv::host::session {

enum class LineKind { kRequest, kAnswer, kCall, kPublish, kDeliver, kHost, kUnload };
// "request", "answer", "call", "publish", "deliver", "host", "unload".
std::string_view LineKindName(LineKind kind);

struct RecordedLine {
  size_t number = 0;  // in the file, from 1 (the header is line 1)
  uint64_t seq = 0;
  double t = 0;
  LineKind kind = LineKind::kUnload;
  uint64_t id = 0;   // request, answer
  Request request;   // request, call, host
  Response answer;   // answer, call, host
  std::string name;  // publish, deliver
  OwnedValue data;   // publish, deliver
  std::string text;  // the line as read
};

struct Recording {
  std::string plugin;
  std::string api_version;
  std::optional<int64_t> recorded_at_ms;  // the wall clock when the header was written
  std::vector<RecordedLine> lines;  // without the header
};

// `source` names the text in failures: "<source> line N: <what is wrong>".
Quarn::Maybe<Recording> ReadRecording(std::string_view text, std::string_view source);
// Fails with "cannot read the recording <path>: <reason>" or as ReadRecording.
Quarn::Maybe<Recording> LoadRecording(const std::string& path);

}  // namespace kiv::host::session
