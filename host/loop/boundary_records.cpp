#include "host/loop/boundary_records.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

Quarn::Maybe<kiv::host::Request> kiv::host::CopyRequest(const HostRequest& in) {
  Request out;
  out.method = in.method >= 1 && in.method <= 8 ? in.method : uint32_t{KIV_METHOD_NONE};
  out.path = Text(in.path);
  if (out.method == KIV_METHOD_CUSTOM) out.custom_method = Text(in.custom_method);
  if (in.arguments != nullptr) {
    for (uint32_t i = 0; i < in.argument_count; ++i) {
      auto value = OwnedValue::Copy(in.arguments[i].value);
      if (value.HasFailure()) {
        return Quarn::Failure("invalid typed argument " + std::to_string(i) + ": " + value.failure().message());
      }
      out.arguments.emplace_back(Text(in.arguments[i].name), value.TakeValue());
    }
  }
  if (in.pairs != nullptr) {
    for (uint32_t i = 0; i < in.pair_count; ++i)
      out.pairs.emplace_back(Text(in.pairs[i].name), Text(in.pairs[i].value));
  }
  out.content_type = Text(in.content_type);
  if (in.body != nullptr) out.body.assign(reinterpret_cast<const char*>(in.body), in.body_length);
  out.host_handle = in.host_handle;
  return out;
}

kiv::host::Response kiv::host::ReadPluginResponse(const HostResponse& in) {
  Response out;
  out.status = in.status;
  if (in.error != nullptr) out.error = in.error;
  out.content_type = Text(in.content_type);
  if (in.headers != nullptr) {
    for (uint32_t i = 0; i < in.header_count; ++i)
      out.headers.emplace_back(Text(in.headers[i].name), Text(in.headers[i].value));
  }
  out.format = in.format;
  out.content_kind = in.content_kind;
  if (in.stream_read != nullptr) {
    std::string bytes;
    char buffer[4096];
    uint8_t more = 1;
    bool failed = false;
    while (more != 0) {
      uint32_t size = sizeof buffer;
      if (in.stream_read(in.stream_context, buffer, &size, &more) == 0) {
        failed = true;
        break;
      }
      bytes.append(buffer, std::min<uint32_t>(size, sizeof buffer));
    }
    if (in.stream_close != nullptr) in.stream_close(in.stream_context);
    if (failed) return Response::Error("Stream read error", 500);
    out.body = OwnedValue::Bytes(bytes);
    return out;
  }
  auto body = OwnedValue::Copy(in.body);
  if (body.HasFailure()) return Response::Error("invalid response body: " + body.failure().message(), 500);
  out.body = body.TakeValue();
  return out;
}

kiv::host::RequestRecord::RequestRecord(const Request& request, const ApiFunctionEntry* function, void* token)
    : arguments_(request.arguments.size()), pairs_(request.pairs.size()) {
  for (size_t i = 0; i < arguments_.size(); ++i) {
    const auto& [name, value] = request.arguments[i];
    arguments_[i].name = name.empty() ? nullptr : name.c_str();
    arguments_[i].value = value.get();
  }
  for (size_t i = 0; i < pairs_.size(); ++i) {
    pairs_[i].name = request.pairs[i].first.c_str();
    pairs_[i].value = request.pairs[i].second.c_str();
  }
  std::memset(&record_, 0, sizeof record_);
  record_.method = request.method;
  record_.path = request.path.c_str();
  record_.arguments = arguments_.empty() ? nullptr : arguments_.data();
  record_.argument_count = static_cast<uint32_t>(arguments_.size());
  record_.function = function;
  record_.pairs = pairs_.empty() ? nullptr : pairs_.data();
  record_.pair_count = static_cast<uint32_t>(pairs_.size());
  record_.content_type = request.content_type.c_str();
  record_.body = reinterpret_cast<const uint8_t*>(request.body.data());
  record_.body_length = static_cast<uint32_t>(request.body.size());
  record_.host_handle = token;
  record_.custom_method = request.custom_method.c_str();
}
