#include "runtime/plugin_api_version.h"

#include "binding/message_format.h"
#include "kiv/plugin_abi.h"

std::string Quarn::PluginApiVersion::ToText() const {
  std::string text = Format("%1.%2.%3", major, minor, patch);
  if (!prerelease.empty()) text += "-" + prerelease;
  if (!build.empty()) text += "+" + build;
  return text;
}

Quarn::PluginApiVersion Quarn::OwnPluginApiVersion() {
  return PluginApiVersion{KIV_PLUGIN_API_MAJOR, KIV_PLUGIN_API_MINOR, KIV_PLUGIN_API_PATCH, {}, {}};
}

bool Quarn::IsCompatible(const PluginApiVersion& core, const PluginApiVersion& own) {
  // One rule for both sides of the boundary: the public header's.
  return kiv_api_version_is_compatible(core.major, core.minor, core.patch, own.major, own.minor,
                                       own.patch) != 0;
}
