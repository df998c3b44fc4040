// A log target for tests: keeps every record it is given.
#pragma once

#include <string>
#include <vector>

#include "diagnostics/log_target.h"
#include "diagnostics/logger.h"

namespace Quarn::testing {

struct CapturedRecord {
  uint32_t level;
  uint64_t channels;
  std::string message;
};

class CaptureLogTarget : public LogTarget {
 public:
  explicit CaptureLogTarget(const char* name = "CaptureLogTarget") : name_(name) { SetMinLevel(kLogOkay); }
  ~CaptureLogTarget() override { Detach(); }
  using LogTarget::Attach;
  // To the process's logger.
  void Attach() { LogTarget::Attach(Logger::Instance()); }
  const char* ClassName() const override { return name_; }
  bool Write(const LogRecord& record) override {
    records.push_back({record.level, record.channels, std::string(record.message)});
    return true;
  }

  std::vector<CapturedRecord> records;

 private:
  const char* name_;
};

}  // namespace Quarn::testing
