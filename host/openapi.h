// An OpenAPI 3.1 document of a plug-in, built from its API description alone:
// one operation per function (by method and path template), its arguments as
// path, query or header parameters or as the request body, its last tag (all
// of them in "x-kiv-tags"), the result as the success response, every error
// in the host's error shape, and the registered structures and enumerations
// (by name) as component schemas.
#pragma once

#include <string>

#include "kiv/plugin_abi.h"

namespace kiv::host {

struct OpenApiInfo {
  std::string title;
  std::string version;
  std::string description;
};

// The document as compact JSON text. `description` is borrowed for the
// duration of the call. Functions whose path is not a "/..." template, or
// whose method is a custom one, have no OpenAPI form and are left out; a
// function for every method (method 0) appears under GET, PUT, POST,
// DELETE and PATCH.
std::string BuildOpenApi(const ApiDescription& description, const OpenApiInfo& info);

}  // namespace kiv::host
