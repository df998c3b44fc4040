// The plug-in loader: what a library entry runs after creating its plug-in
// object, and the message of the one way it can fail.
//
//   void load_example(PluginStartRecord* record) {
//     auto* plugin = new (std::nothrow) ExamplePlugin();
//     if (plugin != nullptr) Quarn::LoadPlugin(*plugin, *record, "example");
//   }
#pragma once

#include <string>
#include <string_view>

#include "kiv/plugin_abi.h"
#include "runtime/plugin_api_version.h"
#include "runtime/plugin_base.h"

namespace Quarn {

// Assertion code of an incompatible core.
inline constexpr const char* kIncompatibleApiCode = "ALE-EECF0606";

// "<short name> which supports plugin API <own> is not compatible with
// core's plugin API <core>".
std::string IncompatibleApiMessage(std::string_view short_name, const PluginApiVersion& own,
                                   const PluginApiVersion& core);

// Loads `plugin`:
//  1. reads the core's version from words 0-2 of `record`;
//  2. checks it against the plug-in API version (IsCompatible); when
//     incompatible, reports the fatal error kIncompatibleApiCode with
//     IncompatibleApiMessage and ends the process: `record` is not written;
//  3-6. stores the core version, the names (kind from the plug-in), the
//     registration tags and the API name;
//  7. registers the host record types and events;
//  8. calls plugin.RegisterApi() (once);
//  9. builds the API description, owned by the plug-in;
// 10. writes the plug-in's version to words 0-2 and the callback table, the
//     plug-in object, its short name and API description to words 3-6;
//     each stays valid until the unload callback returns.
// `record` is owned by the host; `short_name` is copied.
// [host thread]
void LoadPlugin(PluginBase& plugin, PluginStartRecord& record, std::string_view short_name);

}  // namespace Quarn
