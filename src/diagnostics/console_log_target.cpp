#include "diagnostics/console_log_target.h"

#include "diagnostics/log_line.h"

namespace {
constexpr std::string_view kConsoleFormat = "#E(#T): #L| #M";
}

bool Quarn::BaseConsoleLogTarget::Write(const LogRecord& record) {
  const std::string line = RenderLogLine(LineFormat(record), record);
  std::lock_guard lock(mutex_);
  WriteLine(line);
  return true;
}

Quarn::StdErrLogTarget::StdErrLogTarget() {
  SetLineFormat(kConsoleFormat);
  SetChannelMasks(/*include=*/kChannelDbg, /*exclude=*/kChannelGen);
}

void Quarn::StdErrLogTarget::WriteLine(std::string_view line) {
  // One write per line, so lines from other writers to the stream stay whole.
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void Quarn::StdErrLogTarget::Flush() {
  std::lock_guard lock(mutex_);
  std::fflush(stderr);
}

Quarn::StdOutLogTarget::StdOutLogTarget() {
  SetLineFormat("#M");
  SetChannelMasks(/*include=*/kChannelGen, /*exclude=*/kChannelDbg);
}

void Quarn::StdOutLogTarget::WriteLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
}

void Quarn::StdOutLogTarget::Flush() {
  std::lock_guard lock(mutex_);
  std::fflush(stdout);
}

Quarn::DebuggerConsoleLogTarget::DebuggerConsoleLogTarget() {
  SetLineFormat(kConsoleFormat);
  SetChannelMasks(/*include=*/kChannelDbg, /*exclude=*/0);
}

void Quarn::DebuggerConsoleLogTarget::WriteLine(std::string_view) {}
