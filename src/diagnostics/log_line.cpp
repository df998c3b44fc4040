#include "diagnostics/log_line.h"

#include <cstdio>

namespace {

// Appends `text` as far as the line's content limit allows.
void Append(std::string& line, std::string_view text) {
  // One character stays free for the closing line feed.
  constexpr size_t kContentLimit = Quarn::kMaxLogLineLength - 1;
  if (line.size() >= kContentLimit) return;
  line.append(text.substr(0, kContentLimit - line.size()));
}

}  // namespace

std::string Quarn::RenderLogLine(std::string_view format, const LogRecord& record) {
  std::string line;
  line.reserve(format.size() + record.message.size() + 64);
  char scratch[64];
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '#') {
      Append(line, format.substr(i, 1));
      continue;
    }
    if (++i == format.size()) break;  // a lone "#" at the end prints nothing
    switch (format[i]) {
      case 'D':
        std::snprintf(scratch, sizeof scratch, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", record.year,
                      record.month, record.day, record.hour, record.minute, record.second,
                      record.millisecond);
        Append(line, scratch);
        break;
      case 'E':
        Append(line, record.executable);
        break;
      case 'G':
        Append(line, ChannelTags(record.channels));
        break;
      case 'H':
        std::snprintf(scratch, sizeof scratch, "%06lld.%03d", static_cast<long long>(record.uptime_ms / 1000),
                      static_cast<int>(record.uptime_ms % 1000));
        Append(line, scratch);
        break;
      case 'L':
        Append(line, LevelName(record.level));
        break;
      case 'M':
        Append(line, record.message);
        break;
      case 'T':
        std::snprintf(scratch, sizeof scratch, "%p", record.thread_id);
        Append(line, scratch);
        break;
      default:
        Append(line, format.substr(i, 1));
        break;
    }
  }
  if (line.empty() || line.back() != '\n') line += '\n';
  return line;
}
