// The request entry of the API layer: matches a host request against one
// registered function, binds its arguments, calls the handler and writes
// the outcome into the host's response record.
#pragma once

#include "api/binding_api.h"
#include "api/binding_function.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

// Handles one inbound request for `function` (the record the host chose by
// the API description's method and path template).
//
// `request` is borrowed for the duration of the call. `response` is
// overwritten entirely (its previous content is not released) and always
// leaves with `release` set to ReleaseResponse; the host calls it exactly
// once when done, on every path, failures included.
// Outcomes: path or method mismatch -> error "Invalid function", status
// 404, handler not called; a binding failure -> its error text, status 0;
// a handler failure -> its message and code; success -> the result as the
// body (tag 0 for Maybe<void>); a result that cannot be written -> status
// 400.
// [host thread]; the function record is only read, so concurrent calls
// for distinct requests are safe.
void DispatchRequest(const BindingApi& api, const BindingFunction& function, HostResponse& response,
                     const HostRequest& request);

// Frees everything DispatchRequest allocated for `response` (body value,
// owned error text, content type, headers, body stream) and zeroes the
// record. Safe on a zeroed record; a null pointer is ignored.
void ReleaseResponse(HostResponse* response) noexcept;

}  // namespace Quarn
