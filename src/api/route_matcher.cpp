#include "api/route_matcher.h"

#include <utility>

namespace {

size_t CapturedLength(const Quarn::PathArguments& arguments) {
  size_t sum = 0;
  for (const auto& [name, value] : arguments) sum += value.size();
  return sum;
}

bool MethodAccepts(const Quarn::BindingFunction& function, const Quarn::MatchState& state) {
  if (function.method() == Quarn::Method::None) return true;
  if (function.method() != state.method) return false;
  return state.method != Quarn::Method::Custom || function.custom_method() == state.custom_method;
}

}  // namespace

std::string_view Quarn::RoutePath(std::string_view request_path) {
  return request_path.substr(0, request_path.find('?'));
}

bool Quarn::MatchRoutes(std::span<const BindingFunction* const> candidates, MatchState& state,
                        bool ignore_method) {
  const std::string_view path = RoutePath(state.path);
  for (const BindingFunction* function : candidates) {
    const Route& route = function->route();
    if (!route.static_target().empty() && state.method != Method::Get && state.method != Method::Head) {
      continue;
    }
    // The method check is cheaper than the path match and both must pass.
    if (!ignore_method && !MethodAccepts(*function, state)) continue;
    PathArguments arguments;
    if (!route.Match(path, arguments)) continue;

    bool take = state.function == nullptr;
    if (!take && !state.path_arguments.empty()) {
      take = CapturedLength(arguments) < CapturedLength(state.path_arguments);
    }
    if (take) {
      state.function = function;
      state.static_target = route.static_target();
      state.path_arguments = std::move(arguments);
    }
    if (state.function != nullptr && state.path_arguments.empty()) break;
  }
  return state.function != nullptr;
}
