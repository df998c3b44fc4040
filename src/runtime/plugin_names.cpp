#include "runtime/plugin_names.h"

#include "binding/message_format.h"
#include "diagnostics/logger.h"

std::string Quarn::GetFullNameFromShortNameAndType(std::string_view short_name, std::string_view kind) {
  std::string_view prefix = "ozm-xx-";
  if (kind == kBackendKind) {
    prefix = "ozm-be-";
  } else if (kind == kFrontendKind) {
    prefix = "ozm-fe-";
  } else {
    const std::string message =
        Format("GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type", short_name, kind);
    Log(kLogError, kChannelDbg, "            Plugin Manager| %s", message.c_str());
  }
  std::string full_name(prefix);
  full_name += short_name;
  return full_name;
}

Quarn::PluginNames Quarn::MakePluginNames(std::string_view short_name, std::string_view kind) {
  return PluginNames{GetFullNameFromShortNameAndType(short_name, kind), std::string(short_name),
                     std::string(kind)};
}

std::vector<std::string> Quarn::RegistrationTags(std::string_view short_name) {
  std::string plugin_tag = "Plugin ";
  plugin_tag += short_name;
  return {"Plugins", std::move(plugin_tag)};
}
