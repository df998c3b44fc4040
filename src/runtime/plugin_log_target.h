// Quarn::PluginLogTarget: the log target that sends the process's log
// lines to the host's log (write-log-line entry), and its installation at
// init, which takes the built-in standard targets off the logger.
#pragma once

#include <memory>

#include "diagnostics/log_target.h"
#include "diagnostics/logger.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

class AppModule;

class PluginLogTarget final : public LogTarget {
 public:
  // `api` is owned by the host, valid until the plug-in's unload returns.
  // `owner` (may be null) is the module whose unload ends the forwarding:
  // once it is stopping, lines are dropped. The owner keeps the target.
  explicit PluginLogTarget(const HostApi* api, const AppModule* owner = nullptr) : api_(api), owner_(owner) {}
  // Detaches from the logger first.
  ~PluginLogTarget() override;

  // "PluginLogTarget".
  const char* ClassName() const override { return "PluginLogTarget"; }
  // Calls the host's write-log-line entry with the record's level and bare
  // message text (no date, level or channel); nothing once the owner is
  // stopping. Always reports success.
  bool Write(const LogRecord& record) override;

 private:
  const HostApi* api_;
  const AppModule* owner_;
};

// Routes `logger`'s lines to the host, unless a "PluginLogTarget" is
// already attached to it (another plug-in of the process did it; then
// nothing changes and false is returned). Otherwise detaches the built-in
// targets, sets the logger's minimum level to 0 and mutes channel "XTR"
// only, stores a new PluginLogTarget for `api` in `slot` (destroying the
// one there; `owner` as for PluginLogTarget), configures it (the logger's
// level, no channel masks, the default line format) and attaches it.
// Returns true.
bool InstallPluginLogTarget(const HostApi* api, std::unique_ptr<LogTarget>& slot,
                            Logger& logger = Logger::Instance(), const AppModule* owner = nullptr);

}  // namespace Quarn
