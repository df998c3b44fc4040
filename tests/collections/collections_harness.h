// The Collections service on the fake host, loaded, described and
// initialised the way a host does it, with a scripted backend behind the
// login plug-in's invoke endpoint. Tests drive it only through the host:
// requests to its routes, resource events, backend answers and steps.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "collections/collections_service.h"
#include "collections/time_stamp.h"
#include "diagnostics/logger.h"
#include "runtime/plugin_loader.h"
#include "support/fake_host.h"

namespace kiv::test {

inline constexpr const char* kInvokePath = "/kiv-login/v1/session/invoke";
inline constexpr const char* kSessionEvent = "OnJsonApiEvent_kiv-login_v1_session";
inline constexpr const char* kLoginDataEvent = "OnJsonApiEvent_kiv-login_v1_login-data-packet";
inline constexpr const char* kCollectionsEvent = "OnJsonApiEvent_kiv-collections_v1_inventories";

inline constexpr const char* kSpellBookClass = "com.quarngames.platform.summoner.spellbook.SpellBookDTO";
inline constexpr const char* kMasteryBookClass =
    "com.quarngames.platform.summoner.masterybook.MasteryBookDTO";
inline constexpr const char* kRuneInventoryClass =
    "com.quarngames.platform.summoner.runes.SummonerRuneInventory";
inline constexpr const char* kIconInventoryClass =
    "com.quarngames.platform.summoner.icon.SummonerIconInventoryDTO";

// The backend behind the invoke endpoint: answers per "service.method",
// and every call as "service.method <arguments JSON>".
class FakeBackend {
 public:
  explicit FakeBackend(FakeHost& host) {
    host.Handle("POST", kInvokePath, [this](const host::Request& request) { return Answer(request); });
  }

  // `body_json` answered as backend class `class_name`, every time.
  void Returns(const std::string& call, const std::string& class_name, const std::string& body_json) {
    answers_[call] = host::Response::Ok(
        FakeHost::Json(R"({"typeName":")" + class_name + R"(","body":)" + body_json + "}"));
  }
  // A void method's success.
  void Accepts(const std::string& call) {
    answers_[call] = host::Response::Ok(FakeHost::Json(R"({"typeName":"","body":null})"));
  }
  void Fails(const std::string& call, const std::string& error, uint32_t status = 500) {
    answers_[call] = host::Response::Error(error, status);
  }

  const std::vector<std::string>& calls() const { return calls_; }
  // Calls of one "service.method", as their arguments JSON.
  std::vector<std::string> ArgumentsOf(const std::string& call) const {
    std::vector<std::string> found;
    for (const std::string& c : calls_) {
      if (c.rfind(call + " ", 0) == 0) found.push_back(c.substr(call.size() + 1));
    }
    return found;
  }
  void ClearCalls() { calls_.clear(); }

 private:
  host::Response Answer(const host::Request& request) {
    if (request.arguments.size() != 3) return host::Response::Error("bad invoke", 400);
    const std::string service = request.arguments[0].second.ToJson();
    const std::string method = request.arguments[1].second.ToJson();
    const std::string call =
        service.substr(1, service.size() - 2) + "." + method.substr(1, method.size() - 2);
    calls_.push_back(call + " " + request.arguments[2].second.ToJson());
    const auto found = answers_.find(call);
    if (found == answers_.end()) return host::Response::Error("no answer for " + call, 500);
    return found->second;
  }

  std::map<std::string, host::Response> answers_;
  std::vector<std::string> calls_;
};

// Pins the service's clock for its lifetime.
class ScopedClock {
 public:
  static constexpr uint64_t kMillis = 1714555800000;  // 2024-05-01T09:30:00Z
  ScopedClock() {
    previous_ = Quarn::Client::Collections::SetClockForTesting([this] {
      return std::chrono::system_clock::time_point(std::chrono::milliseconds(kMillis)) + ahead_;
    });
  }
  void Advance(std::chrono::milliseconds by) { ahead_ += by; }
  ~ScopedClock() { Quarn::Client::Collections::SetClockForTesting(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Quarn::Client::Collections::Clock previous_;
  std::chrono::milliseconds ahead_{0};
};

class CollectionsHarness {
 public:
  // `before_init` scripts the host before the service subscribes (its first
  // reads of the session, login data and mastery asset happen in init).
  explicit CollectionsHarness(const std::function<void(FakeHost&)>& before_init = {}) : backend(host) {
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
  ~CollectionsHarness() {
    record.callbacks->unload(record.plugin);
    host.Detach(host.handle());
    Quarn::Logger& logger = Quarn::Logger::Instance();
    logger.SetMinLevel(saved_level_);
    logger.SetMutedChannels(saved_muted_);
    if (saved_stderr_) logger.StdErrTarget().Attach(logger);
  }
  CollectionsHarness(const CollectionsHarness&) = delete;
  CollectionsHarness& operator=(const CollectionsHarness&) = delete;

  // Delivers a session event and runs what it starts.
  void Session(const std::string& event_type, const std::string& state, uint64_t summoner, uint64_t account,
               bool connected) {
    const std::string data = R"({"state":")" + state + R"(","summonerId":)" + std::to_string(summoner) +
                             R"(,"accountId":)" + std::to_string(account) + R"(,"connected":)" +
                             (connected ? "true" : "false") + "}";
    Resource(kSessionEvent, "/kiv-login/v1/session", event_type, data);
  }
  void LogIn(uint64_t summoner, bool connected = true) {
    Session("Update", "SUCCEEDED", summoner, summoner + 1000, connected);
  }
  void LogOut() { Resource(kSessionEvent, "/kiv-login/v1/session", "Delete", "null"); }
  // A login data packet with these two DTO bodies.
  void LoginData(const std::string& spell_book_json, const std::string& mastery_book_json) {
    Resource(kLoginDataEvent, "/kiv-login/v1/login-data-packet", "Update",
             R"({"allSummonerData":{"spellBook":)" + spell_book_json + R"(,"masteryBook":)" +
                 mastery_book_json + "}}");
  }
  void Resource(const std::string& event, const std::string& uri, const std::string& type,
                const std::string& data) {
    host.DeliverJson(event, R"({"uri":")" + uri + R"(","eventType":")" + type + R"(","data":)" + data + "}");
    host.RunUntilIdle();
  }

  // A request to the service's route, as another plug-in sends it.
  host::Response Send(const std::string& method, const std::string& path, const std::string& body = {}) {
    host::Response answer = host.Send(method, path, body);
    host.RunUntilIdle();
    return answer;
  }

  // "<status> <error text or body JSON>" of a request to the service.
  std::string Call(const std::string& method, const std::string& path, const std::string& body = {}) {
    const host::Response answer = Send(method, path, body);
    return std::to_string(answer.status) + " " + (answer.error ? *answer.error : answer.body.ToJson());
  }

  // Resource events the service published under the collections' name, as
  // "<eventType> <uri> <data JSON>".
  std::vector<std::string> Published() const {
    std::vector<std::string> events;
    for (const std::string& payload : host.EmittedPayloads(kCollectionsEvent)) events.push_back(payload);
    return events;
  }
  void ClearRecords() {
    host.ClearCalls();
    backend.ClearCalls();
  }

  FakeHost host;
  FakeBackend backend;
  // Every time stamp the service writes reads this clock: 2024-05-01T09:30:00Z.
  ScopedClock clock;
  Quarn::Client::Collections::CollectionsService* service = nullptr;
  PluginStartRecord record{};

 private:
  uint32_t saved_level_ = 1;
  uint64_t saved_muted_ = 0;
  bool saved_stderr_ = false;
};

}  // namespace kiv::test
