// Router: the host's route table. Stand-in handlers and attached plug-ins'
// functions are registered by method and path template; a request goes to
// the route whose template matches its path (without query) and whose method
// accepts it. Among several, the one whose placeholders took the fewest
// characters wins, the first on equal counts; a route that captured nothing
// cannot be beaten. For the loop thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/loop/messages.h"
#include "host/path_template.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

// Whether a route registered for `route_method` (0: every method) accepts a
// request's method; KIV_METHOD_CUSTOM compares the method texts too.
bool MethodAccepts(uint32_t route_method, std::string_view route_custom, uint32_t method,
                   std::string_view custom);

// Where a request would go.
struct RouteLookup {
  enum class Kind { kFound, kWrongMethod, kNotFound } kind = Kind::kNotFound;
  std::vector<std::string> allowed;  // kWrongMethod: the methods the path accepts
};

struct Route {
  int id = 0;
  PathTemplate path{""};
  uint32_t method = KIV_METHOD_NONE;
  std::string custom_method;
  RequestHandler handler;                      // a stand-in
  const ApiFunctionEntry* function = nullptr;  // or a plug-in function, owned by the plug-in
  void* host_handle = nullptr;                 // the plug-in of `function`
};

// The route chosen for a request, shared: the table may change while its
// handler runs.
struct RouteChoice {
  std::shared_ptr<const Route> route;
  std::vector<PathCapture> captures;  // of the chosen route, in template order
  std::vector<std::string> allowed;   // no route: the methods of the routes the path matched
};

class Router {
 public:
  // Returns an id for Remove.
  int Add(uint32_t method, std::string_view path_template, RequestHandler handler);
  // `function` must stay valid until RemoveFunctionsOf(host_handle).
  int AddFunction(const ApiFunctionEntry& function, void* host_handle);
  void Remove(int id);
  void RemoveFunctionsOf(void* host_handle);

  RouteLookup Lookup(uint32_t method, std::string_view custom_method, std::string_view path) const;
  RouteChoice Choose(uint32_t method, std::string_view custom_method, std::string_view path) const;

 private:
  std::vector<std::shared_ptr<const Route>> routes_;
  int next_id_ = 1;
};

// The answer for a request no route took: 404 "No route for GET /path", or,
// when routes for other methods matched, 405 "Method GET not allowed for
// /path" with an Allow header.
Response NoRouteResponse(const Request& request, const RouteChoice& choice);

}  // namespace kiv::host
