#include "api/dispatch.h"

#include <exception>

#include "api/api_messages.h"
#include "api/request_binding.h"
#include "api/response_writer.h"
#include "api/route_matcher.h"

void Quarn::DispatchRequest(const BindingApi& api, const BindingFunction& function, HostResponse& response,
                            const HostRequest& request) {
  response = HostResponse{};
  MatchState match;
  match.method = MethodFromCode(request.method);
  match.custom_method = request.custom_method != nullptr ? request.custom_method : "";
  match.path = request.path != nullptr ? request.path : "";

  // The host chose the function; its route is matched again to check the
  // method and to extract the captures.
  const BindingFunction* candidates[] = {&function};
  if (!MatchRoutes(candidates, match)) {
    WriteStaticFailure(response, ApiMessage::kInvalidFunction.data(), 404);
    return;
  }

  // Handlers are user code: an exception must not unwind into the host.
  try {
    CallResult call;
    BindAndInvoke(call, function, request, match, api.registry());
    WriteResponse(response, call, api.registry());
  } catch (...) {
    ReleaseResponse(&response);
    const Failure failure = InternalError();
    CallResult call;
    call.Fail(failure.message());
    call.status = failure.code();
    try {
      WriteResponse(response, call, api.registry());
    } catch (...) {
      WriteStaticFailure(response, "Internal server error", 500);
    }
  }
}
