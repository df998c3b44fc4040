// Quarn::PluginLogTarget: the log target that sends the process's log
// lines to the host's log (write-log-line entry), and its installation at
// init, which takes the built-in standard targets off the logger.
#pragma once

#include <memory>

#include "diagnostics/log_target.h"
#include "diagnostics/logger.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

class PluginLogTarget final : public LogTarget {
 public:
  // `api` is owned by the host, valid until the plug-in's unload returns;
  // the target must not outlive that (the plug-in object owns it).
  explicit PluginLogTarget(const HostApi* api) : api_(api) {}
  // Detaches from the logger first.
  ~PluginLogTarget() override;

  // "PluginLogTarget".
  const char* ClassName() const override { return "PluginLogTarget"; }
  // Calls the host's write-log-line entry with the record's level and bare
  // message text (no date, level or channel). Always reports success.
  bool Write(const LogRecord& record) override;

 private:
  const HostApi* api_;
};

// Routes `logger`'s lines to the host, unless a "PluginLogTarget" is
// already attached to it (another plug-in of the process did it; then
// nothing changes and false is returned). Otherwise detaches the built-in
// targets, sets the logger's minimum level to 0 and mutes channel "XTR"
// only, stores a new PluginLogTarget for `api` in `slot` (destroying the
// one there), configures it (the logger's level, no channel masks, the
// default line format) and attaches it. Returns true.
bool InstallPluginLogTarget(const HostApi* api, std::unique_ptr<LogTarget>& slot,
                            Logger& logger = Logger::Instance());

}  // namespace Quarn
