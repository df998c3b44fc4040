// The Collections service on the fake host, loaded, described and
// initialised as a host does it, with a scripted backend behind the login
// plug-in's invoke endpoint and its service-proxy endpoints. Tests drive it
// only as the host does: requests to its routes, resource events, push
// messages, backend answers and steps.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "collections/collections_service.h"
#include "collections/time_stamp.h"
#include "diagnostics/logger.h"
#include "runtime/event_name.h"
#include "runtime/plugin_loader.h"
#include "support/fake_host.h"

namespace kiv::test {

inline constexpr const char* kSessionEvent = "OnJsonApiEvent_kiv-login_v1_session";
inline constexpr const char* kSpellBookClass = "com.quarngames.platform.summoner.spellbook.SpellBookDTO";
inline constexpr const char* kMasteryBookClass = "com.quarngames.platform.summoner.masterybook.MasteryBookDTO";
inline constexpr const char* kRuneInventoryClass = "com.quarngames.platform.summoner.runes.SummonerRuneInventory";
inline constexpr const char* kIconInventoryClass = "com.quarngames.platform.summoner.icon.SummonerIconInventoryDTO";
inline constexpr const char* kDialogClass = "com.quarngames.platform.messaging.persistence.SimpleDialogMessage";
inline constexpr const char* kFulfillmentClass = "com.quarngames.platform.messaging.StoreFulfillmentNotification";
inline constexpr const char* kRentalClass = "com.quarngames.platform.messaging.RentalUpdateNotification";
inline constexpr const char* kInvokeError = "Error response for POST /kiv-login/v1/session/invoke: ";

// A champion mastery as the backend sends it.
inline std::string MasteryJson(int32_t champion, int32_t level, int32_t points, uint64_t player = 7) {
  return R"({"playerId":)" + std::to_string(player) + R"(,"championId":)" + std::to_string(champion) +
         R"(,"championLevel":)" + std::to_string(level) + R"(,"championPoints":)" + std::to_string(points) + "}";
}

// The backend: TROV invokes answer at once; service-proxy requests are
// acknowledged at once and answered a number of host steps later, so a test
// can keep an answer pending while other work runs. Answers are per
// "service.method"; calls are recorded as "service.method <arguments JSON>".
class FakeBackend {
 public:
  explicit FakeBackend(FakeHost& host) : host_(host) {
    host.Handle("POST", "/kiv-login/v1/session/invoke", [this](const host::Request& r) { return Invoke(r); });
    host.Handle("POST", "/kiv-login/v1/service-proxy-uuid-requests", [this](const host::Request& r) {
      const std::string uuid = "uuid-" + std::to_string(++next_uuid_);
      Schedule("OnServiceProxyUuidEvent", uuid, Text(r, 0), Text(r, 1), Text(r, 1), Text(r, 3));
      return host::Response::Ok(host::OwnedValue::Text(uuid));
    });
    // A method request's answer is keyed by the service and the reply method.
    host.Handle("POST", "/kiv-login/v1/service-proxy-method-requests", [this](const host::Request& r) {
      Schedule("OnServiceProxyMethodEvent", "", Text(r, 0), Text(r, 1), Text(r, 2), Text(r, 5));
      return host::Response::Ok(host::OwnedValue::Null());
    });
  }

  // A TROV answer: `body_json` as backend class `class_name`, every time.
  void Returns(const std::string& call, const std::string& class_name, const std::string& body_json) {
    invokes_[call] =
        host::Response::Ok(FakeHost::Json(R"({"typeName":")" + class_name + R"(","body":)" + body_json + "}"));
  }
  void Accepts(const std::string& call) {
    invokes_[call] = host::Response::Ok(FakeHost::Json(R"({"typeName":"","body":null})"));
  }
  // A service-proxy answer.
  void Answers(const std::string& call, const std::string& payload_json) { proxies_[call] = {payload_json, ""}; }
  // The call fails with `error`, invoked or through the service proxy.
  void Fails(const std::string& call, const std::string& error) {
    invokes_[call] = host::Response::Error(error, 500);
    proxies_[call] = {"", error};
  }
  // Service-proxy answers leave this many host steps after their request.
  void SetStepsToAnswer(int steps) { steps_ = steps; }

  const std::vector<std::string>& calls() const { return calls_; }
  // The arguments JSON of each call of one "service.method".
  std::vector<std::string> ArgumentsOf(const std::string& call) const {
    std::vector<std::string> found;
    for (const std::string& c : calls_) {
      if (c.rfind(call + " ", 0) == 0) found.push_back(c.substr(call.size() + 1));
    }
    return found;
  }
  // The TROV invokes among the calls.
  const std::vector<std::string>& invoked() const { return invoked_; }
  int CountOf(const std::string& call) const { return static_cast<int>(ArgumentsOf(call).size()); }
  // "service.method" of each call, in order.
  std::vector<std::string> CallNames() const {
    std::vector<std::string> names;
    for (const std::string& c : calls_) names.push_back(c.substr(0, c.find(' ')));
    return names;
  }
  void ClearCalls() {
    calls_.clear();
    invoked_.clear();
  }

 private:
  static std::string Text(const host::Request& request, size_t index) {
    if (request.arguments.size() <= index) return "";
    return std::string(Quarn::FromJson(request.arguments[index].second.ToJson()).value.GetString());
  }
  host::Response Invoke(const host::Request& request) {
    if (request.arguments.size() != 3) return host::Response::Error("bad invoke", 400);
    const std::string call = Text(request, 0) + "." + Text(request, 1);
    calls_.push_back(call + " " + request.arguments[2].second.ToJson());
    invoked_.push_back(calls_.back());
    const auto found = invokes_.find(call);
    return found != invokes_.end() ? found->second : host::Response::Error("no answer for " + call, 500);
  }
  void Schedule(const std::string& event, const std::string& uuid, const std::string& service,
                const std::string& method, const std::string& answered_method, const std::string& payload) {
    const std::string call = service + "." + method;
    calls_.push_back(call + " " + payload);
    const auto found = proxies_.find(call);
    const Proxy answer = found != proxies_.end() ? found->second : Proxy{"", "no answer for " + call};
    Quarn::BindingProperty body;
    body.Member("uuid").SetString(uuid);
    body.Member("serviceName").SetString(service);
    body.Member("methodName").SetString(answered_method);
    body.Member("payload").SetString(answer.payload);
    body.Member("status").SetString(answer.error.empty() ? "OK" : "ERROR");
    body.Member("error").SetString(answer.error);
    Relay(event, Quarn::ToJson(body), steps_);
  }
  // Each hop is one item of host work.
  void Relay(const std::string& event, const std::string& json, int hops) {
    if (hops <= 0) return host_.DeliverJson(event, json);
    host_.Post([this, event, json, hops] { Relay(event, json, hops - 1); });
  }

  struct Proxy {
    std::string payload;
    std::string error;
  };
  FakeHost& host_;
  std::map<std::string, host::Response> invokes_;
  std::map<std::string, Proxy> proxies_;
  std::vector<std::string> calls_;
  std::vector<std::string> invoked_;
  int steps_ = 0;
  int next_uuid_ = 0;
};

// Pins the service's clock (2024-05-01T09:30:00Z) for its lifetime.
class ScopedClock {
 public:
  static constexpr uint64_t kMillis = 1714555800000;
  ScopedClock() {
    previous_ = Quarn::Client::Collections::SetClockForTesting([this] {
      return std::chrono::system_clock::time_point(std::chrono::milliseconds(kMillis)) + ahead_;
    });
  }
  ~ScopedClock() { Quarn::Client::Collections::SetClockForTesting(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
  void Advance(std::chrono::milliseconds by) { ahead_ += by; }

 private:
  Quarn::Client::Collections::Clock previous_;
  std::chrono::milliseconds ahead_{0};
};

class CollectionsFixture {
 public:
  // `before_init` scripts the host before the service subscribes (its first
  // reads of the session, login data, settings and mastery asset).
  explicit CollectionsFixture(const std::function<void(FakeHost&)>& before_init = {}) : backend(host) {
    Quarn::Logger& logger = Quarn::Logger::Instance();
    saved_level_ = logger.MinLevel();
    saved_muted_ = logger.MutedChannels();
    saved_stderr_ = logger.StdErrTarget().IsAttached();
    service = new Quarn::Client::Collections::CollectionsService();
    record.api_major = 18;
    Quarn::LoadPlugin(*service, record, Quarn::Client::Collections::CollectionsService::kShortName);
    host.AttachDescription(*record.description, host.handle());
    if (before_init) before_init(host);
    EXPECT_EQ(record.callbacks->init(record.plugin, host.context()), 1);
    host.RunUntilIdle();
  }
  ~CollectionsFixture() {
    if (!unloaded_) Unload();
    host.Detach(host.handle());
    Quarn::Logger& logger = Quarn::Logger::Instance();
    logger.SetMinLevel(saved_level_);
    logger.SetMutedChannels(saved_muted_);
    if (saved_stderr_) logger.StdErrTarget().Attach(logger);
  }
  CollectionsFixture(const CollectionsFixture&) = delete;
  CollectionsFixture& operator=(const CollectionsFixture&) = delete;

  // The host's unload callback; the service object is gone afterwards.
  void Unload() {
    unloaded_ = true;
    record.callbacks->unload(record.plugin);
    service = nullptr;
  }

  // A resource event, and what it starts.
  void Resource(const std::string& uri, const std::string& type, const std::string& data) {
    host.DeliverJson(Quarn::EventNameOfUri(uri),
                     R"({"uri":")" + uri + R"(","eventType":")" + type + R"(","data":)" + data + "}");
    host.RunUntilIdle();
  }
  static std::string SessionJson(const std::string& state, uint64_t summoner, uint64_t account, bool connected) {
    return R"({"state":")" + state + R"(","summonerId":)" + std::to_string(summoner) + R"(,"accountId":)" +
           std::to_string(account) + R"(,"connected":)" + (connected ? "true" : "false") + "}";
  }
  void Session(const std::string& type, const std::string& state, uint64_t summoner, uint64_t account,
               bool connected) {
    Resource("/kiv-login/v1/session", type, SessionJson(state, summoner, account, connected));
  }
  void LogIn(uint64_t summoner, bool connected = true) {
    Session("Update", "SUCCEEDED", summoner, summoner + 1000, connected);
  }
  void LogOut() { Resource("/kiv-login/v1/session", "Delete", "null"); }
  void LoginData(const std::string& spell_book_json, const std::string& mastery_book_json) {
    Resource("/kiv-login/v1/login-data-packet", "Update",
             R"({"allSummonerData":{"spellBook":)" + spell_book_json + R"(,"masteryBook":)" + mastery_book_json +
                 "}}");
  }
  void EnableMastery(bool on = true) {
    Resource("/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled", "Update", on ? "true" : "false");
  }
  // A backend push message; its handler runs on a later step.
  void Push(const std::string& class_name, const std::string& body_json) {
    host.DeliverJson(Quarn::TrovEventName(class_name), R"({"clientId":"c","subtopic":"s","typeName":")" +
                                                           class_name + R"(","body":)" + body_json + "}");
    host.RunUntilIdle();
  }

  // A request to the service's route, as another plug-in sends it.
  host::Response Send(const std::string& method, const std::string& path, const std::string& body = {}) {
    host::Response answer = host.Send(method, path, body);
    host.RunUntilIdle();
    return answer;
  }
  // "<status> <error text or body JSON>"; a success carries status 0.
  static std::string Text(const host::Response& answer) {
    return std::to_string(answer.status) + " " + (answer.error ? *answer.error : answer.body.ToJson());
  }
  std::string Call(const std::string& method, const std::string& path, const std::string& body = {}) {
    return Text(Send(method, path, body));
  }
  std::string Get(const std::string& path) { return Call("GET", path); }
  // Requests started inside one waiting step: each is queued before the
  // first one runs, so the later ones arrive while it waits.
  std::vector<std::string> Concurrently(const std::vector<std::string>& get_paths) {
    std::vector<std::string> answers(get_paths.size());
    for (size_t i = 0; i < get_paths.size(); ++i) {
      host.Post([this, &answers, &get_paths, i] { answers[i] = Text(host.Send("GET", get_paths[i])); });
    }
    host.RunUntilIdle();
    return answers;
  }

  // Published events whose URI is `uri`, as "<eventType> <data JSON>".
  std::vector<std::string> PublishedAt(const std::string& uri) const {
    std::vector<std::string> found;
    for (const std::string& payload : host.EmittedPayloads(Quarn::EventNameOfUri(uri))) {
      const Quarn::BindingResult parsed = Quarn::FromJson(payload);
      if (parsed.value.Member("uri").GetString() != uri) continue;
      found.push_back(std::string(parsed.value.Member("eventType").GetString()) + " " +
                      Quarn::ToJson(parsed.value.Member("data")));
    }
    return found;
  }
  // The URIs published, v1 ones in order, then v2 ones.
  std::vector<std::string> PublishedUris() const {
    std::vector<std::string> uris;
    for (const char* event :
         {"OnJsonApiEvent_kiv-collections_v1_inventories", "OnJsonApiEvent_kiv-collections_v2_inventories"}) {
      for (const std::string& payload : host.EmittedPayloads(event)) {
        uris.push_back(std::string(Quarn::FromJson(payload).value.Member("uri").GetString()));
      }
    }
    return uris;
  }
  // The first log line with exactly this text has this level.
  bool Logged(int64_t level, const std::string& text) const {
    for (const host::LogLine& line : host.LogLines()) {
      if (line.text == text) return line.level == level;
    }
    return false;
  }
  void ClearRecords() {
    host.ClearCalls();
    backend.ClearCalls();
  }

  FakeHost host;
  FakeBackend backend;
  ScopedClock clock;
  Quarn::Client::Collections::CollectionsService* service = nullptr;  // owned by the plug-in's unload
  PluginStartRecord record{};

 private:
  bool unloaded_ = false;
  uint32_t saved_level_ = 1;
  uint64_t saved_muted_ = 0;
  bool saved_stderr_ = false;
};

}  // namespace kiv::test
