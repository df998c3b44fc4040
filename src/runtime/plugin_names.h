// PluginNames: how a plug-in is called (short name, kind, full name with
// the kind's prefix), and the registration tags derived from the short
// name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Quarn {

// The two known plug-in kinds.
inline constexpr std::string_view kBackendKind = "backend";
inline constexpr std::string_view kFrontendKind = "frontend";

struct PluginNames {
  std::string full_name;   // kind prefix + short name ("ozm-be-kiv-collections")
  std::string short_name;  // as given to the loader, unchecked
  std::string kind;        // "backend", "frontend", or whatever was given
};

// The kind's prefix followed by `short_name`: "ozm-be-" for "backend",
// "ozm-fe-" for "frontend" (whole, case-sensitive texts). Any other kind
// logs an error and gets "ozm-xx-"; loading goes on.
std::string GetFullNameFromShortNameAndType(std::string_view short_name, std::string_view kind);

PluginNames MakePluginNames(std::string_view short_name, std::string_view kind);

// Tags carried by everything a plug-in registers: "Plugins" and
// "Plugin <short name>".
std::vector<std::string> RegistrationTags(std::string_view short_name);

}  // namespace Quarn
