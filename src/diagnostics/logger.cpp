#include "diagnostics/logger.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Set while this thread is inside a target's Write: a log call from there
// would re-enter the targets (and possibly itself) without end.
thread_local bool t_dispatching = false;

std::chrono::steady_clock::time_point ProcessStart() {
  static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  return start;
}

std::string ExecutablePathFromOs() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<size_t>(length));
}

void StampRecord(Quarn::LogRecord& record) {
  const auto now = std::chrono::system_clock::now();
  const auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(since_epoch.count() / 1000);
  std::tm local{};
  if (::localtime_r(&seconds, &local) != nullptr) {
    record.year = local.tm_year + 1900;
    record.month = local.tm_mon + 1;
    record.day = local.tm_mday;
    record.hour = local.tm_hour;
    record.minute = local.tm_min;
    record.second = local.tm_sec;
    record.millisecond = static_cast<int>(since_epoch.count() % 1000);
  }
  record.uptime_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - ProcessStart())
          .count();
  record.thread_id = reinterpret_cast<const void*>(::pthread_self());
}

}  // namespace

Quarn::Logger& Quarn::Logger::Instance() {
  // Never destroyed: targets owned by other static objects may detach, and
  // their owners may log, during the process's exit.
  static Logger* const instance = [] {
    ProcessStart();
    auto* logger = new Logger();
    logger->SetExecutableName(ExecutablePathFromOs());
    return logger;
  }();
  return *instance;
}

Quarn::Logger::Logger() {
  AttachTarget(&std_err_);
  AttachTarget(&debugger_);
}

Quarn::Logger::~Logger() { DetachAll(); }

void Quarn::Logger::Log(uint32_t level, uint64_t channels, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, channels, format, args);
  va_end(args);
}

void Quarn::Logger::LogV(uint32_t level, uint64_t channels, const char* format, va_list args) {
  if (format == nullptr || !Passes(level, channels)) return;
  char message[kMaxLogMessageLength + 1];
  const int length = std::vsnprintf(message, sizeof message, format, args);
  if (length < 0) return;
  Dispatch(level, channels, std::string_view(message, std::min<size_t>(length, kMaxLogMessageLength)));
}

void Quarn::Logger::LogText(uint32_t level, uint64_t channels, std::string_view message) {
  if (!Passes(level, channels)) return;
  Dispatch(level, channels, message.substr(0, kMaxLogMessageLength));
}

bool Quarn::Logger::Passes(uint32_t level, uint64_t channels) const {
  if (t_dispatching) return false;
  std::lock_guard lock(mutex_);
  return !disabled_ && level >= min_level_ && (channels & muted_channels_) == 0;
}

void Quarn::Logger::Dispatch(uint32_t level, uint64_t channels, std::string_view message) {
  LogRecord record;
  record.level = level;
  record.channels = channels;
  record.message = message;
  StampRecord(record);

  std::lock_guard lock(mutex_);
  if (level == kLogWarn) ++warnings_;
  if (level == kLogError) ++errors_;
  record.executable = executable_;
  struct DispatchScope {
    DispatchScope() { t_dispatching = true; }
    ~DispatchScope() { t_dispatching = false; }
  } scope;
  // By index: a target may detach itself or others while it writes.
  for (size_t i = 0; i < targets_.size();) {
    LogTarget* target = targets_[i];
    if (target->Accepts(level, channels)) target->Write(record);
    if (i < targets_.size() && targets_[i] == target) ++i;
  }
}

void Quarn::Logger::SetMinLevel(uint32_t level) {
  std::lock_guard lock(mutex_);
  min_level_ = level;
}

uint32_t Quarn::Logger::MinLevel() const {
  std::lock_guard lock(mutex_);
  return min_level_;
}

void Quarn::Logger::SetMutedChannels(uint64_t mask) {
  std::lock_guard lock(mutex_);
  muted_channels_ = mask;
}

uint64_t Quarn::Logger::MutedChannels() const {
  std::lock_guard lock(mutex_);
  return muted_channels_;
}

void Quarn::Logger::SetDisabled(bool disabled) {
  std::lock_guard lock(mutex_);
  disabled_ = disabled;
}

bool Quarn::Logger::IsDisabled() const {
  std::lock_guard lock(mutex_);
  return disabled_;
}

uint32_t Quarn::Logger::WarningCount() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

uint64_t Quarn::Logger::ErrorCount() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

void Quarn::Logger::SetExecutableName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  if (path.empty()) return;
  std::lock_guard lock(mutex_);
  executable_ = path;
}

std::string Quarn::Logger::ExecutableName() const {
  std::lock_guard lock(mutex_);
  return executable_;
}

Quarn::LogTarget* Quarn::Logger::FindAttachedTarget(std::string_view class_name) const {
  std::lock_guard lock(mutex_);
  for (LogTarget* target : targets_) {
    if (class_name == target->ClassName()) return target;
  }
  return nullptr;
}

size_t Quarn::Logger::AttachedCount() const {
  std::lock_guard lock(mutex_);
  return targets_.size();
}

void Quarn::Logger::DetachBuiltInTargets() {
  DetachTarget(&std_err_);
  DetachTarget(&std_out_);
  DetachTarget(&debugger_);
}

void Quarn::Logger::DetachAll() {
  std::lock_guard lock(mutex_);
  while (!targets_.empty()) DetachTarget(targets_.back());
}

void Quarn::Logger::FlushAll() {
  std::lock_guard lock(mutex_);
  for (LogTarget* target : targets_) target->Flush();
}

void Quarn::Logger::AttachTarget(LogTarget* target) {
  std::lock_guard lock(mutex_);
  LogTargetList* expected = nullptr;
  if (!target->logger_.compare_exchange_strong(expected, static_cast<LogTargetList*>(this),
                                               std::memory_order_acq_rel))
    return;
  targets_.push_back(target);
}

void Quarn::Logger::DetachTarget(LogTarget* target) {
  std::lock_guard lock(mutex_);
  if (target->logger_.load(std::memory_order_acquire) != static_cast<LogTargetList*>(this)) return;
  std::erase(targets_, target);
  target->logger_.store(nullptr, std::memory_order_release);
}

void Quarn::Log(uint32_t level, uint64_t channels, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Logger::Instance().LogV(level, channels, format, args);
  va_end(args);
}

void Quarn::LogV(uint32_t level, uint64_t channels, const char* format, va_list args) {
  Logger::Instance().LogV(level, channels, format, args);
}
