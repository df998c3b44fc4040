#include "diagnostics/log_target.h"

Quarn::LogTarget::~LogTarget() { LogTarget::Detach(); }

void Quarn::LogTarget::Detach() {
  // Deliberately not under mutex_: the logger takes its own lock and then
  // this target's while it writes, so taking them the other way round here
  // could deadlock.
  if (LogTargetList* logger = logger_.load(std::memory_order_acquire)) logger->DetachTarget(this);
}

std::string Quarn::LogTarget::LineFormat(const LogRecord&) const { return Format(); }

void Quarn::LogTarget::Attach(LogTargetList& logger) { logger.AttachTarget(this); }

void Quarn::LogTarget::SetMinLevel(uint32_t level) {
  std::lock_guard lock(mutex_);
  min_level_ = level;
}

uint32_t Quarn::LogTarget::MinLevel() const {
  std::lock_guard lock(mutex_);
  return min_level_;
}

void Quarn::LogTarget::SetChannelMasks(uint64_t include, uint64_t exclude) {
  std::lock_guard lock(mutex_);
  include_mask_ = include;
  exclude_mask_ = exclude;
}

uint64_t Quarn::LogTarget::IncludeMask() const {
  std::lock_guard lock(mutex_);
  return include_mask_;
}

uint64_t Quarn::LogTarget::ExcludeMask() const {
  std::lock_guard lock(mutex_);
  return exclude_mask_;
}

void Quarn::LogTarget::SetLineFormat(std::string_view format) {
  std::lock_guard lock(mutex_);
  format_ = format;
}

std::string Quarn::LogTarget::Format() const {
  std::lock_guard lock(mutex_);
  return format_;
}

bool Quarn::LogTarget::Accepts(uint32_t level, uint64_t channels) const {
  std::lock_guard lock(mutex_);
  if (level < min_level_) return false;
  if (channels == 0) return true;
  if ((channels & exclude_mask_) != 0) return false;
  return include_mask_ == 0 || (channels & include_mask_) != 0;
}
