#include "host/loop/messages.h"

#include <iterator>

namespace {

constexpr std::string_view kMethodNames[] = {"",      "DELETE", "GET", "HEAD",  "OPTIONS",
                                             "PATCH", "POST",   "PUT", "CUSTOM"};

}  // namespace

std::string_view kiv::host::MethodName(uint32_t method) {
  return method < std::size(kMethodNames) ? kMethodNames[method] : std::string_view();
}

uint32_t kiv::host::MethodCode(std::string_view text) {
  for (uint32_t i = 1; i < std::size(kMethodNames); ++i) {
    if (kMethodNames[i] == text) return i;
  }
  return KIV_METHOD_NONE;
}

std::string_view kiv::host::Request::Param(std::string_view name) const {
  for (const auto& c : captures) {
    if (c.name == name) return c.value;
  }
  return {};
}

std::optional<std::string> kiv::host::Request::Query(std::string_view name) const {
  return QueryParam(QueryOf(path), name);
}

std::string_view kiv::host::Request::MethodText() const {
  return method == KIV_METHOD_CUSTOM ? std::string_view(custom_method) : MethodName(method);
}

std::string kiv::host::Request::Summary() const { return std::string(MethodText()) + " " + path; }

kiv::host::Response kiv::host::Response::Ok(OwnedValue body, uint32_t status) {
  Response r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

kiv::host::Response kiv::host::Response::Error(std::string message, uint32_t status) {
  Response r;
  r.status = status;
  r.error = std::move(message);
  return r;
}

kiv::host::Response kiv::host::Response::Stream(std::vector<std::string> chunks, int fail_at_read) {
  Response r;
  r.status = 200;
  r.chunks = std::move(chunks);
  r.stream_fail_at_read = fail_at_read;
  return r;
}
