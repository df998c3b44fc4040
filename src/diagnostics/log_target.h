// LogTarget: where accepted log records go. A target filters records by its
// own minimum level and channel masks, renders them with its line format
// and writes them to its sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "diagnostics/log_record.h"

namespace Quarn {

class LogTarget;

// What a target is attached to: a list of targets that writes records to
// them (the Logger). Targets reach it only through these two calls.
class LogTargetList {
 public:
  // Adds `target` unless it is attached to a list already.
  virtual void AttachTarget(LogTarget* target) = 0;
  // Removes `target` when it is attached to this list.
  virtual void DetachTarget(LogTarget* target) = 0;

 protected:
  ~LogTargetList() = default;
};

inline constexpr std::string_view kDefaultLineFormat = "#D| #L| #G| #M";

class LogTarget {
 public:
  LogTarget() = default;
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;
  // Detaches the target first, so a logger never holds a dead target.
  virtual ~LogTarget();

  // Removes every occurrence of the target from its logger; does nothing
  // when it is not attached. Safe to call from inside Write.
  virtual void Detach();
  // The class's name text, e.g. "StdErrLogTarget". Returns a static text.
  virtual const char* ClassName() const = 0;
  // The format to render `record` with (the target's format by default).
  virtual std::string LineFormat(const LogRecord& record) const;
  // Renders `record` and sends it to the sink; returns whether it was sent.
  // Called with the logger's lock held, one record at a time.
  virtual bool Write(const LogRecord& record) = 0;
  // Flushes the sink's buffered output, if it has any.
  virtual void Flush() {}

  // Attaches to `logger` (Logger::Instance() for the process's one);
  // ignored when the target is already attached to any logger. The target
  // must stay alive until it is detached (its destructor does that).
  void Attach(LogTargetList& logger);
  bool IsAttached() const { return logger_.load(std::memory_order_acquire) != nullptr; }

  void SetMinLevel(uint32_t level);
  uint32_t MinLevel() const;
  // include 0 accepts every channel; exclude 0 excludes none.
  void SetChannelMasks(uint64_t include, uint64_t exclude);
  uint64_t IncludeMask() const;
  uint64_t ExcludeMask() const;
  void SetLineFormat(std::string_view format);
  std::string Format() const;

  // Whether a record of `level` on `channels` passes this target's filter.
  // An empty channel mask passes every channel filter.
  bool Accepts(uint32_t level, uint64_t channels) const;

 protected:
  // Guards the settings above and the sink; never held while taking the
  // logger's lock, so logging and detaching cannot deadlock.
  mutable std::mutex mutex_;

 private:
  friend class Logger;

  uint32_t min_level_ = kLogWarn;
  uint64_t include_mask_ = 0;
  uint64_t exclude_mask_ = 0;
  std::string format_{kDefaultLineFormat};
  // The logger holding the target, or null. Written under that logger's lock.
  std::atomic<LogTargetList*> logger_{nullptr};
};

}  // namespace Quarn
