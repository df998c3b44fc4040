// Argument binding: fills a function's arguments from a matched request
// (header values, path captures, query string, typed arguments, body),
// calls the handler and leaves the outcome in a CallResult.
#pragma once

#include <span>
#include <string_view>

#include "api/binding_function.h"
#include "api/call_result.h"
#include "api/route_matcher.h"
#include "binding/binding_registry.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

// Binds `request` to `function` and invokes the handler when binding
// succeeded. The first failure of a step ends that step and the later
// named-value passes; the body step runs regardless and its failure
// replaces an earlier one. `match` holds the path captures.
// All arguments are borrowed for the duration of the call.
void BindAndInvoke(CallResult& call, const BindingFunction& function, const HostRequest& request,
                   const MatchState& match, const BindingRegistry& registry);

// One named value (query, path capture or header value) into `slots`: the
// key's first segment names the argument, further segments descend into a
// structured argument. `source` is where the value came from.
// REQUIRES: slots.size() == function.arguments().size().
void BindArgument(CallResult& call, std::span<BindingProperty> slots, const BindingFunction& function,
                  std::string_view key, std::string_view text, ArgumentLocation source,
                  const BindingRegistry& registry);

// Converts `text` into `slot`. `content_type` selects MessagePack, JSON,
// YAML or raw bytes; with none, `structured` lets the text's first bytes
// choose a codec. Otherwise the text is converted to argument `index`'s
// native type, or kept as a String when `index` is negative (a member
// inside a structured argument, converted with its structure later).
void AssignText(CallResult& call, BindingProperty& slot, const BindingFunction& function, int index,
                std::string_view parameter, std::string_view text, std::string_view content_type,
                bool structured, const BindingRegistry& registry);

// Query pairs of `path` (after its first "?"), URL-decoded, a later key
// replacing the value of an earlier one in place. Empty pieces ("a=1&&b")
// are skipped.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view path);

}  // namespace Quarn
