// The console log targets built into the logger: standard error, standard
// output and the debugger console.
#pragma once

#include <cstdio>
#include <string_view>

#include "diagnostics/log_target.h"

namespace Quarn {

// Common base of the console targets: renders the record with the line
// format and hands the line to WriteLine. Has no sink of its own.
class BaseConsoleLogTarget : public LogTarget {
 public:
  const char* ClassName() const override { return "BaseConsoleLogTarget"; }
  bool Write(const LogRecord& record) override;

 protected:
  // Sends one rendered line (ending with a line feed) to the sink.
  // Called with mutex_ held.
  virtual void WriteLine(std::string_view line) = 0;
};

// Standard error: format "#E(#T): #L| #M", channels "DBG" but not "GEN".
class StdErrLogTarget : public BaseConsoleLogTarget {
 public:
  StdErrLogTarget();
  const char* ClassName() const override { return "StdErrLogTarget"; }
  void Flush() override;

 protected:
  void WriteLine(std::string_view line) override;
};

// Standard output: format "#M", channels "GEN" but not "DBG".
class StdOutLogTarget : public BaseConsoleLogTarget {
 public:
  StdOutLogTarget();
  const char* ClassName() const override { return "StdOutLogTarget"; }
  void Flush() override;

 protected:
  void WriteLine(std::string_view line) override;
};

// The debugger's output window: format "#E(#T): #L| #M", channels "DBG".
// There is no such window on this platform, so the sink drops the line.
class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
 public:
  DebuggerConsoleLogTarget();
  const char* ClassName() const override { return "DebuggerConsoleLogTarget"; }

 protected:
  void WriteLine(std::string_view line) override;
};

}  // namespace Quarn
