// The Collections service on the fake host with the login plug-in's
// service proxy, the platform settings and backend push messages at hand:
// what the champion-mastery, ward-skin, backdrop and notification tests
// share.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/collections_harness.h"
#include "collections/service_proxy_fake.h"
#include "runtime/event_name.h"

namespace kiv::test {

inline constexpr const char* kEnabledUri = "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled";
inline constexpr const char* kMaxLevelUri =
    "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/MaxChampionLevel";
inline constexpr const char* kDialogClass =
    "com.quarngames.platform.messaging.persistence.SimpleDialogMessage";
inline constexpr const char* kFulfillmentClass =
    "com.quarngames.platform.messaging.StoreFulfillmentNotification";
inline constexpr const char* kRentalClass = "com.quarngames.platform.messaging.RentalUpdateNotification";

// A champion mastery as the backend sends it.
inline std::string MasteryJson(int32_t champion, int32_t level, int32_t points, uint64_t player = 7) {
  return R"({"playerId":)" + std::to_string(player) + R"(,"championId":)" + std::to_string(champion) +
         R"(,"championLevel":)" + std::to_string(level) + R"(,"championPoints":)" + std::to_string(points) +
         "}";
}

struct SecondHalf {
  SecondHalf() : proxy(harness.host) {}

  // A platform setting's resource event.
  void Setting(const std::string& uri, const std::string& value_json) {
    harness.Resource(Quarn::EventNameOfUri(uri), uri, "Update", value_json);
  }
  void EnableMastery(bool on = true) { Setting(kEnabledUri, on ? "true" : "false"); }

  // A backend push message; its handler runs on a later step.
  void Push(const std::string& class_name, const std::string& body_json) {
    harness.host.DeliverJson(
        Quarn::TrovEventName(class_name),
        R"({"clientId":"c","subtopic":"s","typeName":")" + class_name + R"(","body":)" + body_json + "}");
    harness.host.RunUntilIdle();
  }

  // "<status> <error text or body JSON>" of a GET to the service; a success
  // carries status 0 (none given).
  std::string Get(const std::string& path) { return harness.Call("GET", path); }

  // Published events whose URI is `uri`, as "<eventType> <data JSON>".
  std::vector<std::string> PublishedAt(const std::string& uri) const {
    std::vector<std::string> found;
    for (const std::string& payload : harness.host.EmittedPayloads(Quarn::EventNameOfUri(uri))) {
      const Quarn::BindingResult parsed = Quarn::FromJson(payload);
      if (parsed.value.Member("uri").GetString() != uri) continue;
      found.push_back(std::string(parsed.value.Member("eventType").GetString()) + " " +
                      Quarn::ToJson(parsed.value.Member("data")));
    }
    return found;
  }

  // Whether the plug-in logged exactly `text` at `level`.
  bool Logged(uint32_t level, const std::string& text) const {
    for (const host::LogLine& line : harness.host.LogLines()) {
      if (line.level == level && line.text == text) return true;
    }
    return false;
  }

  void ClearRecords() {
    harness.ClearRecords();
    proxy.ClearCalls();
  }

  CollectionsHarness harness;
  FakeServiceProxy proxy;
};

}  // namespace kiv::test
