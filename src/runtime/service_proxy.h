// Service-proxy requests: backend calls whose answer arrives later as a
// host event ("OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent") and
// completes a pending request. Answers may arrive before their request is
// registered; they wait in the module until it is.
//
//   Maybe<Mastery> m = module.CallServiceProxy<Mastery>("championMastery", "getMastery", query);
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/native_conversion.h"
#include "runtime/app_module.h"

namespace Quarn {

// The login plug-in's service-proxy endpoints.
inline constexpr std::string_view kServiceProxyUuidPath = "/kiv-login/v1/service-proxy-uuid-requests";
inline constexpr std::string_view kServiceProxyMethodPath = "/kiv-login/v1/service-proxy-method-requests";

namespace detail {
// "Failed to convert type {type} to BindingProperty for serialization"
std::string PayloadConversionError(std::string_view type_name);
// "Failed to deserialize response payload "{payload}" to a {type}"
Failure AnswerConversionFailure(std::string_view payload, std::string_view type_name);
}  // namespace detail

// The result of a service-proxy answer: its error, or its JSON payload
// converted to T ("<value>").
template <class T>
Maybe<T> ServiceProxyResult(const PluginServiceProxyResponse& answer, const BindingRegistry& registry) {
  if (!answer.error.empty()) return Failure(answer.error);
  if constexpr (std::is_void_v<T>) {
    return Maybe<void>();
  } else {
    BindingResult parsed = FromJson(answer.payload);
    T value{};
    if (parsed.ok()) FromBindingValue(parsed, parsed.value, "<value>", value, registry);
    if (!parsed.ok()) return detail::AnswerConversionFailure(answer.payload, StaticTypeOf<T>().name);
    return Maybe<T>(std::move(value));
  }
}

template <class P>
std::string AppModule::ServiceProxyRequest(std::string_view service, std::string_view method,
                                           const P& payload, std::string_view reply_method,
                                           std::string_view fifth_argument, ServiceProxyCallback callback) {
  if (IsStopping()) return std::string(kFinalizing);
  BindingResult converted;
  ToBindingValue(converted, payload, registry());
  if (!converted.ok()) return detail::PayloadConversionError(StaticTypeOf<P>().name);
  return StartServiceProxyRequest(service, method, ToJson(converted.value, &registry()), reply_method,
                                  fifth_argument, std::move(callback));
}

template <class T, class P>
Maybe<T> AppModule::CallServiceProxyWithReply(std::string_view service, std::string_view method,
                                              const P& payload, std::string_view reply_method,
                                              std::string_view fifth_argument) {
  auto promise = std::make_shared<Promise<T>>();
  Future<T> future = promise->get_future();
  const std::string error =
      ServiceProxyRequest(service, method, payload, reply_method, fifth_argument,
                          [this, promise](const PluginServiceProxyResponse& answer) {
                            promise->set_value(ServiceProxyResult<T>(answer, registry()));
                          });
  if (!error.empty()) promise->set_value(Failure(error));
  return Await(std::move(future));
}

template <class T, class P>
Maybe<T> AppModule::CallServiceProxy(std::string_view service, std::string_view method, const P& payload) {
  return CallServiceProxyWithReply<T>(service, method, payload, {}, {});
}

}  // namespace Quarn
