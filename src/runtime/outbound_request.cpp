#include "runtime/outbound_request.h"

#include <algorithm>

#include "binding/host_value_conversion.h"
#include "binding/json_reader.h"

namespace {

constexpr uint32_t kStreamChunk = 4096;

constexpr std::string_view kParameterFailure =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
constexpr std::string_view kErrorResponse = "Error response for {method} {url}: {error}";
constexpr std::string_view kStreamFailure = "Error reading streamed response for {method} {url}: {error}";
constexpr std::string_view kConversionFailure = "Error converting response for {method} {url}: {error}";
constexpr std::string_view kNotSent = "Request not sent: {method} {url}: {error}";
// The status of a request refused because the plug-in is stopping.
constexpr uint32_t kUnavailable = 503;

void Release(HostResponse& response, bool close_stream) {
  if (close_stream && response.stream_read != nullptr && response.stream_close != nullptr) {
    response.stream_close(response.stream_context);
  }
  if (response.release != nullptr) response.release(&response);
}

}  // namespace

Quarn::detail::OutboundArguments::~OutboundArguments() {
  for (HostTypedArgument& argument : arguments_) ReleaseHostValue(argument.value);
}

void Quarn::detail::OutboundArguments::Add(const BindingProperty& value, const BindingRegistry& registry,
                                           std::string& error) {
  HostTypedArgument argument{};
  std::string message;
  if (!ToHostValue(argument.value, value, &registry, message)) {
    if (error.empty()) error = message;
    return;
  }
  arguments_.push_back(argument);
}

Quarn::Failure Quarn::detail::ParameterFailure(Method method, std::string_view url, std::string_view error) {
  return Failure::Named(400, kParameterFailure, MethodText(method), url, error);
}

Quarn::Failure Quarn::detail::ResponseConversionFailure(Method method, std::string_view url,
                                                        std::string_view error) {
  return Failure::Named(0, kConversionFailure, MethodText(method), url, error);
}

Quarn::Maybe<void> Quarn::detail::SendOutbound(AppModule& module, Method method, std::string_view url,
                                               const OutboundArguments& arguments, HostResponse& response) {
  response = HostResponse{};
  if (module.IsStopping())
    return Failure::Named(kUnavailable, kNotSent, MethodText(method), url, kFinalizing);
  const std::string path(url);
  HostRequest request{};
  request.method = static_cast<uint32_t>(method);
  request.path = path.c_str();
  request.arguments = arguments.data();
  request.argument_count = arguments.size();
  request.host_handle = module.host_handle();
  module.SendRequest(&response, &request);
  if (response.error == nullptr) return {};

  // Copied first: the text belongs to the response and goes with it.
  const std::string error(response.error);
  const uint32_t status = response.status;
  Release(response, /*close_stream=*/true);
  return Failure::Named(status, kErrorResponse, MethodText(method), url, error);
}

void Quarn::detail::ReleaseOutboundResponse(HostResponse& response) {
  Release(response, /*close_stream=*/true);
}

Quarn::Maybe<Quarn::BindingProperty> Quarn::detail::ReadOutboundBody(AppModule& module, Method method,
                                                                     std::string_view url,
                                                                     HostResponse& response) {
  if (response.stream_read != nullptr) {
    Maybe<std::string> text = ReadStreamedBody(module, response);
    Release(response, /*close_stream=*/false);  // ReadStreamedBody closed it
    if (text.HasFailure()) {
      return Failure::Named(0, kStreamFailure, MethodText(method), url, text.failure().message());
    }
    BindingResult parsed = FromJson(text.value());
    if (!parsed.ok())
      return Failure::Named(0, kStreamFailure, MethodText(method), url, parsed.ErrorMessage());
    return std::move(parsed.value);
  }

  BindingProperty body;
  std::string error;
  const bool converted = FromHostValue(body, response.body, "<result>", error);
  Release(response, /*close_stream=*/false);
  if (!converted) return ResponseConversionFailure(method, url, error);
  return body;
}

Quarn::Maybe<std::string> Quarn::ReadStreamedBody(AppModule& module, const HostResponse& response) {
  const auto close = [&response] {
    if (response.stream_close != nullptr) response.stream_close(response.stream_context);
  };
  std::string text;
  text.reserve(response.expected_length);
  char buffer[kStreamChunk];
  uint8_t more = 1;
  while (more != 0) {
    uint32_t size = kStreamChunk;
    if (response.stream_read(response.stream_context, buffer, &size, &more) == 0) {
      close();
      return Failure("Stream read error");
    }
    size = std::min(size, kStreamChunk);
    text.append(buffer, size);
    // A short read means the writer has not produced the rest yet; let the
    // host run before asking again.
    if (size < kStreamChunk && more != 0) {
      // Unload began: the rest will not come, and reading on without
      // yielding would spin.
      if (module.IsStopping()) {
        close();
        return Failure(std::string(kFinalizing));
      }
      module.Yield();
    }
  }
  close();
  return text;
}
