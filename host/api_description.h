// Readable names for the parts of a plug-in's API description: type
// references, argument locations, type kinds. Shared by `kiv describe` and
// anything else that documents a plug-in from its description alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kiv/plugin_abi.h"

namespace kiv::host {

// "bool", "uint64", "string", "object" (any value), "blob", the type name of
// a struct or enum, "vector<E>", "map<string, E>", "callback"; "none" for
// kind 0; "kind N" for an unknown kind.
std::string TypeRefName(const ApiTypeRef& type);
// "any", "query", "path", "header", "body"; "location N" otherwise.
std::string LocationName(uint32_t location);
// "struct" or "enum"; "kind N" otherwise.
std::string TypeEntryKindName(uint32_t kind);
// "a, b, c" from a tag list; "" for none.
std::string JoinTags(const char* const* tags, uint32_t count);
// The text, or "" for null.
inline std::string_view TextOf(const char* text) { return text != nullptr ? text : ""; }

}  // namespace kiv::host
