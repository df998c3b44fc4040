// The login plug-in's service-proxy endpoints on the fake host: a request
// is acknowledged at once (a uuid, or nothing for a method request) and its
// answer arrives as a host event a number of host steps later, so a test
// can keep a backend answer pending while other work runs.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "support/fake_host.h"

namespace kiv::test {

inline constexpr const char* kUuidRequestPath = "/kiv-login/v1/service-proxy-uuid-requests";
inline constexpr const char* kMethodRequestPath = "/kiv-login/v1/service-proxy-method-requests";

class FakeServiceProxy {
 public:
  explicit FakeServiceProxy(FakeHost& host) : host_(host) {
    host.Handle("POST", kUuidRequestPath, [this](const host::Request& request) { return OnUuid(request); });
    host.Handle("POST", kMethodRequestPath,
                [this](const host::Request& request) { return OnMethod(request); });
  }

  // Answers "service.method" with `payload_json` (a JSON text), every time.
  void Returns(const std::string& call, const std::string& payload_json) {
    answers_[call] = {payload_json, ""};
  }
  // Answers "service.method" with an error text.
  void Fails(const std::string& call, const std::string& error) { answers_[call] = {"", error}; }
  // Answers leave this many host steps after their request (0: the next step).
  void SetStepsToAnswer(int steps) { steps_ = steps; }

  // "service.method <payload JSON>" per request, in order.
  const std::vector<std::string>& calls() const { return calls_; }
  int CountOf(const std::string& call) const {
    int count = 0;
    for (const std::string& c : calls_) count += c.rfind(call + " ", 0) == 0 ? 1 : 0;
    return count;
  }
  void ClearCalls() { calls_.clear(); }

 private:
  struct Answer {
    std::string payload;
    std::string error;
  };

  static std::string Text(const host::OwnedValue& value) {
    const Quarn::BindingResult parsed = Quarn::FromJson(value.ToJson());
    return std::string(parsed.value.GetString());
  }

  host::Response OnUuid(const host::Request& request) {
    if (request.arguments.size() != 4) return host::Response::Error("bad uuid request", 400);
    const std::string uuid = "uuid-" + std::to_string(++next_uuid_);
    Schedule("OnServiceProxyUuidEvent", uuid, Text(request.arguments[0].second),
             Text(request.arguments[1].second), Text(request.arguments[1].second),
             Text(request.arguments[3].second));
    return host::Response::Ok(host::OwnedValue::Text(uuid));
  }
  host::Response OnMethod(const host::Request& request) {
    if (request.arguments.size() != 6) return host::Response::Error("bad method request", 400);
    // A method answer is keyed by the service and the reply method.
    Schedule("OnServiceProxyMethodEvent", "", Text(request.arguments[0].second),
             Text(request.arguments[1].second), Text(request.arguments[2].second),
             Text(request.arguments[5].second));
    return host::Response::Ok(host::OwnedValue::Null());
  }

  void Schedule(const std::string& event, const std::string& uuid, const std::string& service,
                const std::string& method, const std::string& answered_method, const std::string& payload) {
    const std::string call = service + "." + method;
    calls_.push_back(call + " " + payload);
    const auto found = answers_.find(call);
    const Answer answer = found != answers_.end() ? found->second : Answer{"", "no answer for " + call};
    Quarn::BindingProperty body;
    body.Member("uuid").SetString(uuid);
    body.Member("serviceName").SetString(service);
    body.Member("methodName").SetString(answered_method);
    body.Member("payload").SetString(answer.payload);
    body.Member("status").SetString(answer.error.empty() ? "OK" : "ERROR");
    body.Member("error").SetString(answer.error);
    Relay(event, Quarn::ToJson(body), steps_);
  }
  // Each hop is one item of host work: the event is queued after `hops`
  // further steps.
  void Relay(const std::string& event, const std::string& json, int hops) {
    if (hops <= 0) {
      host_.DeliverJson(event, json);
      return;
    }
    host_.Post([this, event, json, hops] { Relay(event, json, hops - 1); });
  }

  FakeHost& host_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> calls_;
  int steps_ = 0;
  int next_uuid_ = 0;
};

}  // namespace kiv::test
