#include "runtime/service_proxy.h"

#include "binding/message_format.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"

namespace {

constexpr std::string_view kAlreadyInFlight = "Request already in flight";

// An answer that carries only an error text.
Quarn::PluginServiceProxyResponse ErrorAnswer(std::string_view error) {
  Quarn::PluginServiceProxyResponse answer;
  answer.error = std::string(error);
  return answer;
}

}  // namespace

std::string Quarn::detail::PayloadConversionError(std::string_view type_name) {
  return Failure::Named(0, "Failed to convert type {type} to BindingProperty for serialization", type_name)
      .message();
}

Quarn::Failure Quarn::detail::AnswerConversionFailure(std::string_view payload, std::string_view type_name) {
  return Failure::Named(0, "Failed to deserialize response payload \"{payload}\" to a {type}", payload,
                        type_name);
}

std::string Quarn::AppModule::StartServiceProxyRequest(std::string_view service, std::string_view method,
                                                       const std::string& payload_json,
                                                       std::string_view reply_method,
                                                       std::string_view fifth_argument,
                                                       ServiceProxyCallback callback) {
  const std::string label = Format("%1.%2", service, method);
  Log(kLogAlways, kChannelDbg, "%s: Preparing service proxy request: %s", short_name_.c_str(), label.c_str());
  // The host handle travels as a number.
  const uint64_t handle = reinterpret_cast<uintptr_t>(host_handle_);

  std::string key;
  if (reply_method.empty()) {
    Maybe<std::string> uuid = Request<std::string>(Method::Post, kServiceProxyUuidPath, std::string(service),
                                                   std::string(method), handle, payload_json);
    if (uuid.HasFailure()) return uuid.failure().message();
    key = uuid.TakeValue();
  } else {
    key = Format("%1.%2", service, reply_method);
    bool in_flight = false;
    {
      std::lock_guard<std::mutex> lock(module_lock_);
      in_flight = pending_proxy_requests_.find(key) != pending_proxy_requests_.end();
    }
    if (in_flight) {
      Log(kLogError, kChannelDbg, "%s: Could not invoke service proxy as request is already in flight",
          short_name_.c_str());
      return std::string(kAlreadyInFlight);
    }
    Maybe<void> sent =
        Request(Method::Post, kServiceProxyMethodPath, std::string(service), std::string(method),
                std::string(reply_method), std::string(fifth_argument), handle, payload_json);
    if (sent.HasFailure()) return sent.failure().message();
  }
  // Unload began while the request was sent: it has already completed what
  // was pending, so a request registered now would never complete.
  if (IsStopping()) return std::string(kFinalizing);
  Log(kLogAlways, kChannelDbg, "%s: Started service proxy request: %s (%s)", short_name_.c_str(),
      label.c_str(), key.c_str());

  std::lock_guard<std::mutex> lock(module_lock_);
  auto [entry, inserted] = pending_proxy_requests_.try_emplace(key, std::move(callback));
  if (!inserted) {
    // Another request of the same key was registered while this one was
    // being sent. The newer one waits for the answer; the earlier one is
    // told so instead of being dropped, which would break its future.
    ServiceProxyCallback earlier = std::exchange(entry->second, std::move(callback));
    if (earlier) earlier(ErrorAnswer(kAlreadyInFlight));
  }
  // The answer may have arrived while the request was being sent.
  FulfilLocked();
  return {};
}

void Quarn::AppModule::OnServiceProxyAnswer(const BindingProperty& payload, bool by_method) {
  PluginServiceProxyResponse answer;
  BindingResult converted;
  FromBindingValue(converted, payload, "<result>", answer, registry());
  if (!converted.ok()) return;
  std::string key = by_method ? Format("%1.%2", answer.service_name, answer.method_name) : answer.uuid;
  std::lock_guard<std::mutex> lock(module_lock_);
  arrived_proxy_answers_.insert_or_assign(std::move(key), std::move(answer));
  FulfilLocked();
}

void Quarn::AppModule::OnServiceProxyAsyncEvent(const BindingProperty& payload) {
  PluginServiceProxyResponse answer;
  BindingResult converted;
  FromBindingValue(converted, payload, "<result>", answer, registry());
  if (!converted.ok()) return;
  const std::string key = Format("%1.%2", answer.service_name, answer.method_name);
  ServiceProxyCallback handler;
  {
    std::lock_guard<std::mutex> lock(module_lock_);
    const auto found = async_proxy_handlers_.find(key);
    if (found != async_proxy_handlers_.end()) handler = found->second;
  }
  if (!handler) {
    Log(kLogError, kChannelDbg, "%s: Could not find registered handler for async service proxy event %s",
        short_name_.c_str(), key.c_str());
    return;
  }
  // Outside the lock: unlike a completion, a handler may do real work.
  handler(answer);
}

void Quarn::AppModule::SetAsyncServiceProxyHandler(std::string_view service, std::string_view method,
                                                   ServiceProxyCallback handler) {
  std::lock_guard<std::mutex> lock(module_lock_);
  async_proxy_handlers_.insert_or_assign(Format("%1.%2", service, method), std::move(handler));
}

void Quarn::AppModule::FulfilLocked() {
  for (auto arrived = arrived_proxy_answers_.begin(); arrived != arrived_proxy_answers_.end(); ++arrived) {
    const auto pending = pending_proxy_requests_.find(arrived->first);
    if (pending == pending_proxy_requests_.end()) continue;
    const std::string key = arrived->first;
    const ServiceProxyCallback callback = std::move(pending->second);
    const PluginServiceProxyResponse answer = std::move(arrived->second);
    pending_proxy_requests_.erase(pending);
    arrived_proxy_answers_.erase(arrived);
    if (callback) callback(answer);
    Log(kLogAlways, kChannelDbg, "%s: Fulfilled service proxy request: %s", short_name_.c_str(), key.c_str());
    return;  // one per run: every arrival and every request runs this once
  }
}

void Quarn::AppModule::FinalizePendingRequests() {
  std::lock_guard<std::mutex> lock(module_lock_);
  // Dropping a pending completion would break the future its caller may
  // still be awaiting, which is fatal; it gets the stopping error instead.
  const PluginServiceProxyResponse finalizing = ErrorAnswer(kFinalizing);
  for (auto& [key, callback] : pending_proxy_requests_) {
    if (callback) callback(finalizing);
  }
  pending_proxy_requests_.clear();
  arrived_proxy_answers_.clear();
  async_proxy_handlers_.clear();
}
