// Writing a CallResult into the host's response record, and the release
// function that frees what was written.
#pragma once

#include "api/call_result.h"
#include "binding/binding_registry.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

// Overwrites `response` with the outcome of `call`: the result value as the
// body (enumerators by name through `registry`), or the failure's text as
// the error; then format, content kind, status, content type and headers.
// A body stream moves from `call` into the response. A result value that
// cannot be written gives status 400 and its conversion message as error.
// The response's `release` is set to ReleaseResponse; the reader of the
// response must call it exactly once.
void WriteResponse(HostResponse& response, CallResult& call, const BindingRegistry& registry);

// Writes a failure with a static (not owned) error text and `status`.
void WriteStaticFailure(HostResponse& response, const char* error, uint32_t status);

// Frees what WriteResponse allocated (body, owned error text, content
// type, headers, stream) and zeroes the record. A stream the host already
// closed is not freed twice. Null and zeroed records are ignored.
void ReleaseResponse(HostResponse* response) noexcept;

}  // namespace Quarn
