#include "runtime/plugin_log_target.h"

#include <string>

#include "runtime/app_module.h"

Quarn::PluginLogTarget::~PluginLogTarget() { Detach(); }

bool Quarn::PluginLogTarget::Write(const LogRecord& record) {
  if (api_ == nullptr || api_->write_log_line == nullptr) return true;
  // Unload has begun: the host may be gone before the owner is.
  if (owner_ != nullptr && owner_->IsStopping()) return true;
  // The record's text is a view; the host wants a terminated text.
  const std::string message(record.message);
  api_->write_log_line(api_, record.level, message.c_str());
  return true;
}

bool Quarn::InstallPluginLogTarget(const HostApi* api, std::unique_ptr<LogTarget>& slot, Logger& logger,
                                   const AppModule* owner) {
  if (logger.FindAttachedTarget("PluginLogTarget") != nullptr) return false;
  // Inside the host, the process's standard streams are nobody's log.
  logger.DetachBuiltInTargets();
  logger.SetMinLevel(kLogOkay);
  logger.SetMutedChannels(kChannelXtr);

  slot = std::make_unique<PluginLogTarget>(api, owner);
  slot->SetMinLevel(logger.MinLevel());
  slot->SetChannelMasks(0, 0);
  slot->SetLineFormat(kDefaultLineFormat);
  slot->Attach(logger);
  return true;
}
