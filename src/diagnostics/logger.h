// The process-wide logger: filters each call by level and muted channels,
// stamps it, counts warnings and errors, and hands it to every attached
// target whose own filter accepts it.
//
// Any thread may log. One lock guards the counters and the target list and
// is held while targets write, so lines never interleave. A log call made
// by a target while it writes (on the same thread) is dropped instead of
// recursing.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/console_log_target.h"
#include "diagnostics/log_record.h"
#include "diagnostics/log_target.h"

namespace Quarn {

// Longest message of one log call; longer messages are cut.
inline constexpr size_t kMaxLogMessageLength = 4095;

class Logger final : public LogTargetList {
 public:
  // The process's logger, created on first use. It outlives every other
  // static object that may log: calls made after its destruction are
  // dropped.
  static Logger& Instance();

  // A logger of its own (tests): minimum level 1, channel "XTR" muted,
  // the standard error and debugger console targets attached.
  Logger();
  // Detaches every target, the last attached first.
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // The one entry point: printf-style `format` with its arguments.
  void Log(uint32_t level, uint64_t channels, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void LogV(uint32_t level, uint64_t channels, const char* format, va_list args)
      __attribute__((format(printf, 4, 0)));
  // Logs an already formatted message (cut to kMaxLogMessageLength).
  void LogText(uint32_t level, uint64_t channels, std::string_view message);

  // Calls below the minimum level are dropped (default 1).
  void SetMinLevel(uint32_t level);
  uint32_t MinLevel() const;
  // Calls sharing a bit with the muted channels are dropped (default "XTR").
  void SetMutedChannels(uint64_t mask);
  uint64_t MutedChannels() const;
  // A disabled logger drops every call.
  void SetDisabled(bool disabled);
  bool IsDisabled() const;

  // Level-1 and level-2 calls that passed the logger's own filter.
  uint32_t WarningCount() const;
  uint64_t ErrorCount() const;

  // Takes the part of `path` after its last "/" or "\". "<unknown>" until
  // known; the process-wide logger learns it from the OS at creation.
  void SetExecutableName(std::string_view path);
  std::string ExecutableName() const;

  // The first attached target whose ClassName() is `class_name`, or null.
  // The pointer is borrowed: valid while that target stays attached.
  LogTarget* FindAttachedTarget(std::string_view class_name) const;
  size_t AttachedCount() const;
  // Detaches the standard error, standard output and debugger targets
  // (those not attached are left alone).
  void DetachBuiltInTargets();
  // Detaches every target, the last attached first.
  void DetachAll();
  // Flushes every attached target.
  void FlushAll();

  // The built-in targets, owned by the logger.
  StdErrLogTarget& StdErrTarget() { return std_err_; }
  StdOutLogTarget& StdOutTarget() { return std_out_; }
  DebuggerConsoleLogTarget& DebuggerTarget() { return debugger_; }

 private:
  void AttachTarget(LogTarget* target) override;
  void DetachTarget(LogTarget* target) override;
  void Dispatch(uint32_t level, uint64_t channels, std::string_view message);
  bool Passes(uint32_t level, uint64_t channels) const;

  // Recursive: a target may detach itself, or attach another, from Write.
  mutable std::recursive_mutex mutex_;
  std::vector<LogTarget*> targets_;  // borrowed, in attachment order
  bool disabled_ = false;
  uint32_t min_level_ = kLogWarn;
  uint64_t muted_channels_ = kChannelXtr;
  std::string executable_ = "<unknown>";
  uint32_t warnings_ = 0;
  uint64_t errors_ = 0;
  StdErrLogTarget std_err_;
  StdOutLogTarget std_out_;
  DebuggerConsoleLogTarget debugger_;
};

// Logs through the process-wide logger.
void Log(uint32_t level, uint64_t channels, const char* format, ...) __attribute__((format(printf, 3, 4)));
void LogV(uint32_t level, uint64_t channels, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

}  // namespace Quarn
