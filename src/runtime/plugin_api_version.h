// PluginApiVersion: the plug-in API version a plug-in is built for or a
// core offers, its text form and the compatibility rule between the two.
#pragma once

#include <cstdint>
#include <string>

namespace Quarn {

struct PluginApiVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t patch = 0;
  std::string prerelease;  // empty for released versions
  std::string build;       // empty unless the version carries build text

  // "18.0.0", then "-" and the prerelease text when set, then "+" and the
  // build text when set ("18.0.0-rc1+7").
  std::string ToText() const;
};

// The version this plug-in runtime implements.
PluginApiVersion OwnPluginApiVersion();

// Whether a core offering `core` can load a plug-in built for `own`: same
// major, and a core minor above own, or equal minor with core patch at
// least own patch. The texts take no part.
bool IsCompatible(const PluginApiVersion& core, const PluginApiVersion& own);

}  // namespace Quarn
