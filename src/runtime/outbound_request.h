// Outbound requests: AppModule::Request, which calls another plug-in's
// endpoint through the host. Parameters become unnamed typed arguments;
// the answer (a plain body or a streamed JSON text) becomes a T.
//
//   Maybe<void> ok = module.Request(Method::Post, "/telemetry/v1/events/a", payload);
//   Maybe<Summoner> me = module.Request<Summoner>(Method::Get, "/kiv-summoner/v1/current-summoner");
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "api/method.h"
#include "binding/binding_property.h"
#include "binding/maybe_type.h"
#include "binding/native_conversion.h"
#include "kiv/plugin_abi.h"
#include "runtime/app_module.h"

namespace Quarn {

namespace detail {

// Typed arguments under construction; owns what their values allocated
// and releases it when destroyed.
class OutboundArguments {
 public:
  OutboundArguments() = default;
  ~OutboundArguments();
  OutboundArguments(const OutboundArguments&) = delete;
  OutboundArguments& operator=(const OutboundArguments&) = delete;

  // Appends `value` as an unnamed argument; on failure sets `error` (when
  // it is still empty) and appends nothing.
  void Add(const BindingProperty& value, const BindingRegistry& registry, std::string& error);

  const HostTypedArgument* data() const { return arguments_.empty() ? nullptr : arguments_.data(); }
  uint32_t size() const { return static_cast<uint32_t>(arguments_.size()); }

 private:
  std::vector<HostTypedArgument> arguments_;
};

// The 400 failure of a parameter that could not be converted.
Failure ParameterFailure(Method method, std::string_view url, std::string_view error);

// Sends the request and checks for an error response. On success
// `response` holds the host's answer and the caller must pass it to
// ReadOutboundBody or ReleaseOutboundResponse; on failure it is released.
// [re-entrant]
Maybe<void> SendOutbound(AppModule& module, Method method, std::string_view url,
                         const OutboundArguments& arguments, HostResponse& response);
// Reads the body of a successful response (draining a stream, yielding
// between short reads) into a binding value, then releases the response.
// [re-entrant]
Maybe<BindingProperty> ReadOutboundBody(AppModule& module, Method method, std::string_view url,
                                        HostResponse& response);
// Closes an unread stream and calls the release function when set.
void ReleaseOutboundResponse(HostResponse& response);
// The "Error converting response" failure.
Failure ResponseConversionFailure(Method method, std::string_view url, std::string_view error);

}  // namespace detail

// Reads a streamed body as the host hands it out: reads of 4096 bytes, a
// yield through `module` after each short read while more is announced.
// Closes the stream on every path. Fails with "Stream read error".
// [re-entrant]
Maybe<std::string> ReadStreamedBody(AppModule& module, const HostResponse& response);

template <class T, class... P>
Maybe<T> AppModule::Request(Method method, std::string_view url, const P&... parameters) {
  detail::OutboundArguments arguments;
  std::string error;
  const auto add = [&](const auto& parameter) {
    if (!error.empty()) return;
    BindingResult converted;
    ToBindingValue(converted, parameter, registry());
    if (!converted.ok()) {
      error = converted.ErrorMessage();
      return;
    }
    arguments.Add(converted.value, registry(), error);
  };
  (add(parameters), ...);
  (void)add;  // unused without parameters
  if (!error.empty()) return detail::ParameterFailure(method, url, error);

  HostResponse response{};
  Maybe<void> sent = detail::SendOutbound(*this, method, url, arguments, response);
  if (sent.HasFailure()) return sent.TakeFailure();
  if constexpr (std::is_void_v<T>) {
    detail::ReleaseOutboundResponse(response);
    return Maybe<void>();
  } else {
    QUARN_ASSIGN_OR_RETURN(BindingProperty body, detail::ReadOutboundBody(*this, method, url, response));
    T value{};
    BindingResult converted;
    FromBindingValue(converted, body, "<result>", value, registry());
    if (!converted.ok()) return detail::ResponseConversionFailure(method, url, converted.ErrorMessage());
    return Maybe<T>(std::move(value));
  }
}

}  // namespace Quarn
