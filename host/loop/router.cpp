#include "host/loop/router.h"

#include <algorithm>
#include <utility>

namespace {

// The placeholders' length once URL-decoded.
size_t CapturedLength(const std::vector<std::string_view>& captured) {
  size_t total = 0;
  for (std::string_view c : captured)
    total += c.find('%') == std::string_view::npos ? c.size() : kiv::host::UrlDecode(c).size();
  return total;
}

std::string MethodOf(const kiv::host::Route& r) {
  return std::string(r.method == KIV_METHOD_CUSTOM ? std::string_view(r.custom_method)
                                                   : kiv::host::MethodName(r.method));
}

void AddOnce(std::vector<std::string>& names, std::string name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
}

}  // namespace

bool kiv::host::MethodAccepts(uint32_t route_method, std::string_view route_custom, uint32_t method,
                              std::string_view custom) {
  if (route_method == KIV_METHOD_NONE) return true;
  if (route_method != method) return false;
  return method != KIV_METHOD_CUSTOM || route_custom == custom;
}

int kiv::host::Router::Add(uint32_t method, std::string_view path_template, RequestHandler handler) {
  Route route;
  route.id = next_id_++;
  route.path = PathTemplate(path_template);
  route.method = method;
  route.handler = std::move(handler);
  routes_.push_back(std::make_shared<const Route>(std::move(route)));
  return routes_.back()->id;
}

int kiv::host::Router::AddFunction(const ApiFunctionEntry& function, void* host_handle) {
  // A function without a path is reached by its name.
  const char* path = function.path != nullptr && function.path[0] != '\0' ? function.path : function.name;
  Route route;
  route.id = next_id_++;
  route.path = PathTemplate(path != nullptr ? path : "");
  route.method = function.method;
  route.custom_method = function.custom_method != nullptr ? function.custom_method : "";
  route.function = &function;
  route.host_handle = host_handle;
  routes_.push_back(std::make_shared<const Route>(std::move(route)));
  return routes_.back()->id;
}

void kiv::host::Router::Remove(int id) {
  std::erase_if(routes_, [&](const auto& r) { return r->id == id; });
}

void kiv::host::Router::RemoveFunctionsOf(void* host_handle) {
  std::erase_if(routes_, [&](const auto& r) { return r->function != nullptr && r->host_handle == host_handle; });
}

kiv::host::RouteLookup kiv::host::Router::Lookup(uint32_t method, std::string_view custom_method,
                                                 std::string_view path) const {
  RouteLookup out;
  const std::string_view bare = PathWithoutQuery(path);
  thread_local std::vector<std::string_view> captured;
  for (const auto& entry : routes_) {
    const Route& r = *entry;
    if (!r.path.MatchRaw(bare, captured)) continue;
    if (MethodAccepts(r.method, r.custom_method, method, custom_method)) {
      out.kind = RouteLookup::Kind::kFound;
      out.allowed.clear();
      return out;
    }
    out.kind = RouteLookup::Kind::kWrongMethod;
    AddOnce(out.allowed, MethodOf(r));
  }
  return out;
}

kiv::host::RouteChoice kiv::host::Router::Choose(uint32_t method, std::string_view custom_method,
                                                 std::string_view path) const {
  RouteChoice out;
  const std::string_view bare = PathWithoutQuery(path);
  // Matching allocates nothing; only the chosen route's captures are decoded.
  thread_local std::vector<std::string_view> captured;
  thread_local std::vector<std::string_view> best;
  const std::shared_ptr<const Route>* chosen = nullptr;
  size_t best_length = 0;
  for (const auto& entry : routes_) {
    const Route& r = *entry;
    if (!r.path.MatchRaw(bare, captured)) continue;
    if (!MethodAccepts(r.method, r.custom_method, method, custom_method)) {
      AddOnce(out.allowed, MethodOf(r));
      continue;
    }
    const size_t length = CapturedLength(captured);
    if (chosen == nullptr || (!best.empty() && length < best_length)) {
      chosen = &entry;
      best.swap(captured);
      best_length = length;
    }
    if (best.empty()) break;
  }
  if (chosen != nullptr) {
    out.route = *chosen;
    out.captures = (*chosen)->path.Captures(best);
    out.allowed.clear();
  }
  return out;
}

kiv::host::Response kiv::host::NoRouteResponse(const Request& request, const RouteChoice& choice) {
  const std::string bare(PathWithoutQuery(request.path));
  const std::string method(request.MethodText());
  if (choice.allowed.empty()) return Response::Error("No route for " + method + " " + bare, 404);
  Response r = Response::Error("Method " + method + " not allowed for " + bare, 405);
  std::string allow;
  for (const auto& a : choice.allowed) allow += (allow.empty() ? "" : ", ") + a;
  r.headers.emplace_back("Allow", allow);
  return r;
}
