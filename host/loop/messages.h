// Request and Response: what travels through the host, owned by the host.
// A Request is what a plug-in sent (copied from its record) or what the host
// sends a plug-in; a Response is what a stand-in answers, or what the host
// read back from a plug-in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host_value.h"
#include "host/path_template.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

// "DELETE", "GET", ... "PUT" for 1..7, "CUSTOM" for 8, "" otherwise.
std::string_view MethodName(uint32_t method);
// KIV_METHOD_* for a method text (case-sensitive), 0 when unknown.
uint32_t MethodCode(std::string_view text);

struct Request {
  uint32_t method = KIV_METHOD_GET;
  std::string custom_method;                                  // read when method is KIV_METHOD_CUSTOM
  std::string path;                                           // with any query string
  std::vector<std::pair<std::string, OwnedValue>> arguments;  // typed; "" for an unnamed one
  std::vector<std::pair<std::string, std::string>> pairs;     // headers
  std::string content_type;
  std::string body;
  void* host_handle = nullptr;  // outbound: the sender's handle
  // Set by routing: the matched template's placeholders, URL-decoded.
  std::vector<PathCapture> captures;

  // A capture's value, "" when absent.
  std::string_view Param(std::string_view name) const;
  // A query-string parameter of `path`, URL-decoded.
  std::optional<std::string> Query(std::string_view name) const;
  // "GET ...", or the custom method text.
  std::string_view MethodText() const;
  // "GET /path?query"
  std::string Summary() const;
};

// Streams read back from a plug-in are drained into `body` as bytes.
struct Response {
  uint32_t status = 0;               // 0: none given
  std::optional<std::string> error;  // set: the call failed
  OwnedValue body;
  std::string content_type;
  std::vector<std::pair<std::string, std::string>> headers;
  uint8_t format = 0;         // read from plug-in responses only
  uint32_t content_kind = 0;  // read from plug-in responses only
  // Set: the body is handed out as a stream, one read per chunk at most,
  // and `body` is ignored. The read numbered `stream_fail_at_read` (from 1)
  // reports failure; 0 never.
  std::optional<std::vector<std::string>> chunks;
  int stream_fail_at_read = 0;

  bool ok() const { return !error.has_value(); }
  static Response Ok(OwnedValue body, uint32_t status = 200);
  static Response Error(std::string message, uint32_t status);
  static Response Stream(std::vector<std::string> chunks, int fail_at_read = 0);
};

// A stand-in's answer to one request; runs inside send_request, on the loop
// thread. It may post work or events for later steps through the loop.
using RequestHandler = std::function<Response(const Request&)>;

}  // namespace kiv::host
