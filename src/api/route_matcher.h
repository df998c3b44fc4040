// Choosing the function for a request among candidate routes: path and
// method checks, and the rule that the route whose captures consumed the
// fewest characters wins.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "api/binding_function.h"
#include "api/method.h"
#include "api/route.h"

namespace Quarn {

// One request's match. The views are borrowed from the request and must
// outlive the state.
struct MatchState {
  Method method = Method::None;
  std::string_view custom_method;             // compared when method is Custom
  std::string_view path;                      // as the host hands it over, query string included
  const BindingFunction* function = nullptr;  // the chosen function; null until one matched
  std::string static_target;
  PathArguments path_arguments;
};

// The part of a request path that routes match: up to the first "?". The
// query string carries arguments, not route data.
std::string_view RoutePath(std::string_view request_path);

// Runs every candidate's route against `state`, in order. A function passes
// the method check when `ignore_method` is set, its method is None, or its
// method (and for Custom its method text) equals the request's. Among
// several matches the one whose path arguments sum to fewer characters
// replaces the earlier choice (ties keep the earlier); a match without path
// arguments ends the scan. Returns whether a function was chosen.
// REQUIRES: no null pointers in `candidates`.
bool MatchRoutes(std::span<const BindingFunction* const> candidates, MatchState& state,
                 bool ignore_method = false);

}  // namespace Quarn
