#include "runtime/plugin_loader.h"

#include <memory>

#include "api/function_name.h"
#include "binding/message_format.h"
#include "diagnostics/assertion.h"
#include "runtime/api_description.h"
#include "runtime/host_records.h"
#include "runtime/plugin_callbacks.h"
#include "runtime/plugin_names.h"

std::string Quarn::IncompatibleApiMessage(std::string_view short_name, const PluginApiVersion& own,
                                          const PluginApiVersion& core) {
  return Format("%1 which supports plugin API %2 is not compatible with core's plugin API %3", short_name,
                own.ToText(), core.ToText());
}

void Quarn::LoadPlugin(PluginBase& plugin, PluginStartRecord& record, std::string_view short_name) {
  const PluginApiVersion core{record.api_major, record.api_minor, record.api_patch, {}, {}};
  const PluginApiVersion own = OwnPluginApiVersion();
  if (!IsCompatible(core, own)) {
    const std::string message = IncompatibleApiMessage(short_name, own, core);
    ReportFatal(kIncompatibleApiCode, "%s", message.c_str());
  }

  plugin.core_version_ = core;
  plugin.names_ = MakePluginNames(short_name, plugin.kind_);
  plugin.registration_tags_ = RegistrationTags(short_name);
  plugin.api_.SetRegistrationTags(plugin.registration_tags_);
  plugin.api_name_ = DeriveFunctionName("", short_name);

  RegisterHostRecordTypes(plugin.api_);
  plugin.RegisterApi();
  plugin.api_description_ = std::make_unique<ApiDescriptionStore>(plugin.api_, &plugin, &QuarnApiRequest);
  plugin.callbacks_ = MakePluginCallbacks();

  record.api_major = own.major;
  record.api_minor = own.minor;
  record.api_patch = own.patch;
  record.callbacks = &plugin.callbacks_;
  // The host hands this word back to every callback, which reads it as a
  // PluginBase.
  record.plugin = static_cast<PluginBase*>(&plugin);
  record.short_name = plugin.names_.short_name.c_str();
  record.description = &plugin.api_description_->description();
}
