// The login plug-in: the session and login data resources, and the way to
// the backend (remote methods through invoke; service-proxy requests whose
// answers come back later as events).
#include <cstdio>
#include <optional>

#include "host/standins/stand_ins.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::Request;
using kiv::host::Response;

// The text of the typed argument at `index`, by position as the plug-in
// sends them.
std::optional<std::string> TextArgument(const Request& request, size_t index) {
  if (index >= request.arguments.size()) return std::nullopt;
  const HostValue& value = request.arguments[index].second.get();
  if (value.tag != KIV_VALUE_TEXT && value.tag != KIV_VALUE_TEXT_OWNED) return std::nullopt;
  return value.data.text != nullptr ? value.data.text : "";
}

Response WrongArguments(std::string_view endpoint, std::string_view expected, const Request& request) {
  return Response::Error(std::string(endpoint) + " takes " + std::string(expected) +
                             " as typed arguments, got " + std::to_string(request.arguments.size()) +
                             " argument(s) of other kinds",
                         400);
}

// A service-proxy answer record.
OwnedValue ProxyAnswer(std::string uuid, std::string_view service, std::string_view method,
                       const Quarn::Maybe<std::string>& outcome) {
  return OwnedValue::Object({
      {"uuid", OwnedValue::Text(uuid)},
      {"serviceName", OwnedValue::Text(service)},
      {"methodName", OwnedValue::Text(method)},
      {"payload", OwnedValue::Text(outcome.ok() ? outcome.value() : "")},
      {"status", OwnedValue::Text(outcome.ok() ? "OK" : "ERROR")},
      {"error", OwnedValue::Text(outcome.ok() ? "" : outcome.failure().message())},
  });
}

}  // namespace

void kiv::host::StandIns::InstallLogin() {
  Handle(KIV_METHOD_GET, "/kiv-login/v1/session", [this](const Request&) {
    if (!world_.login.logged_in) return Response::Error("No login session", 404);
    return Response::Ok(SessionValue());
  });
  Handle(KIV_METHOD_GET, "/kiv-login/v1/login-data-packet", [this](const Request&) {
    const WorldSummoner* player = world_.Current();
    if (player == nullptr || world_.login.state != "SUCCEEDED") return Response::Error("No login data", 404);
    return Response::Ok(LoginDataValue(*player));
  });

  Handle(KIV_METHOD_POST, "/kiv-login/v1/session/invoke", [this](const Request& request) {
    const auto destination = TextArgument(request, 0);
    const auto method = TextArgument(request, 1);
    if (!destination || !method || request.arguments.size() != 3 ||
        request.arguments[2].second.tag() != KIV_VALUE_ARRAY) {
      return WrongArguments("invoke", "a destination, a method and an argument list", request);
    }
    auto answer = backend_.Invoke(*destination, *method, request.arguments[2].second.get());
    if (answer.HasFailure()) return Response::Error(answer.failure().message(), answer.failure().code());
    return Response::Ok(OwnedValue::Object(
        {{"typeName", OwnedValue::Text(answer->type_name)}, {"body", std::move(answer->body)}}));
  });

  Handle(KIV_METHOD_POST, "/kiv-login/v1/service-proxy-uuid-requests", [this](const Request& request) {
    const auto service = TextArgument(request, 0);
    const auto method = TextArgument(request, 1);
    const auto payload = TextArgument(request, 3);
    if (!service || !method || !payload || request.arguments.size() != 4)
      return WrongArguments("service-proxy-uuid-requests", "a service, a method, a host handle and a payload",
                            request);
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "0d5e1c2a-7f3b-4c8e-9a61-%012llx",
                  static_cast<unsigned long long>(next_uuid_++));
    const auto outcome = backend_.ServiceProxy(*service, *method, *payload);
    loop_.PostEvent("OnServiceProxyUuidEvent", ProxyAnswer(uuid, *service, *method, outcome), proxy_latency_);
    return Response::Ok(OwnedValue::Text(uuid));
  });

  Handle(KIV_METHOD_POST, "/kiv-login/v1/service-proxy-method-requests", [this](const Request& request) {
    const auto service = TextArgument(request, 0);
    const auto method = TextArgument(request, 1);
    const auto reply = TextArgument(request, 2);
    const auto payload = TextArgument(request, 5);
    if (!service || !method || !reply || !payload || request.arguments.size() != 6) {
      return WrongArguments("service-proxy-method-requests",
                            "a service, a method, a reply method, a text, a host handle and a payload",
                            request);
    }
    // The answer comes back under the reply method's name, which is how the
    // requester recognises it.
    const auto outcome = backend_.ServiceProxy(*service, *method, *payload);
    loop_.PostEvent("OnServiceProxyMethodEvent", ProxyAnswer("", *service, *reply, outcome), proxy_latency_);
    return Response::Ok(OwnedValue());
  });
}
