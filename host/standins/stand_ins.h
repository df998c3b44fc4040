// StandIns: the client's other plug-ins as the developer host plays them,
// over one World, installed as request handlers of a HostLoop:
//
//   login            GET /kiv-login/v1/session (a resource with its events),
//                    GET /kiv-login/v1/login-data-packet,
//                    POST /kiv-login/v1/session/invoke (the backend's remote
//                    methods), POST /kiv-login/v1/service-proxy-uuid-requests
//                    and /kiv-login/v1/service-proxy-method-requests, whose
//                    answers arrive later as OnServiceProxyUuidEvent and
//                    OnServiceProxyMethodEvent
//   summoner         GET /kiv-summoner/v1/current-summoner (a resource),
//                    GET /kiv-summoner/v1/summoners/{id}
//   game data        GET /kiv-game-data/assets/v1/summoner-masteries.json,
//                    summoner-spells.json, ward-skins.json,
//                    champion-splashes/{id}/metadata.json; HEAD
//                    summoner-backdrops/{id}.webm and .jpg
//   recently played  GET /kiv-acs/v1/recently-played-champions/{accountId},
//                    GET /kiv-acs/v2/recently-played-champions/current-summoner
//                    (a resource)
//   platform config  GET /kiv-platform-config/v1/namespaces/{namespace}/{key}
//                    (resources)
//   telemetry        POST /telemetry/v1/events/{+name}
//
// A resource change is published the way other plug-ins publish theirs: an
// event named after the URI and the same payload {uri, eventType, data} as
// "OnJsonApiEvent".
//
// The simulation operations change the world and publish what the change
// causes. Everything here runs on the loop's thread; the loop must outlive
// this object, whose destructor removes its handlers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_loop.h"
#include "host/host_value.h"
#include "host/standins/backend.h"
#include "host/world.h"

namespace kiv::host {

// "OnJsonApiEvent" and the URI's first path segments joined with "_": three
// of them, five for "/kiv-platform-config/...".
std::string ResourceEventName(std::string_view uri);
// "OnTrovEvent_" and the class name with every "." made "_".
std::string PushEventName(std::string_view class_name);

enum class ResourceChange { kCreate, kUpdate, kDelete };

// What the simulation can grant the logged-in summoner.
struct Grant {
  std::string inventory_type;  // "SUMMONER_ICON", "WARD_SKIN", "RUNE", "SPELL_BOOK_PAGE", or any other
  int64_t item_id = 0;
  int32_t quantity = 1;  // runes
  bool rental = false;   // announce as a rental update instead of a store fulfilment
  bool notify = true;    // push the backend's notification
};

class StandIns {
 public:
  StandIns(HostLoop& loop, World world);
  ~StandIns();
  StandIns(const StandIns&) = delete;
  StandIns& operator=(const StandIns&) = delete;

  const World& world() const { return world_; }
  Backend& backend() { return backend_; }

  // Service-proxy answers arrive this long after the request (0: on the
  // next step).
  void SetServiceProxyLatency(double seconds) { proxy_latency_ = seconds; }
  double service_proxy_latency() const { return proxy_latency_; }

  // ---- simulation; failures carry an HTTP-style status (404 unknown
  // summoner or item, 409 a state that does not allow the change)
  // Logs in `summoner_id` (0: the world's login summoner, else the first
  // summoner) with a session in `state`; publishes the session, and for a
  // SUCCEEDED session the current summoner, the login data packet and the
  // recent games, each as Create.
  Quarn::Maybe<void> LogIn(uint64_t summoner_id, std::string state = "SUCCEEDED");
  // Deletes the session, current-summoner, login-data and recent-games
  // resources.
  Quarn::Maybe<void> LogOut();
  // Updates the session's `connected`.
  Quarn::Maybe<void> SetConnected(bool connected);
  // Delivers a backend push message of `class_name` with `body`.
  void Push(std::string_view class_name, OwnedValue body);
  // Sets a platform setting and publishes it.
  void SetPlatformConfig(const std::string& name_space, const std::string& key, OwnedValue value);
  // Changes the logged-in summoner's profile icon; publishes the current summoner.
  Quarn::Maybe<void> SetProfileIcon(int32_t icon_id);
  // Replaces the logged-in summoner's recent games (most recent first);
  // publishes them.
  Quarn::Maybe<void> SetRecentGames(std::vector<WorldGame> games);
  // Gives the logged-in summoner an item and pushes the store's
  // notification for it (data {inventoryType, itemId}; for a rune page the
  // whole spell book).
  Quarn::Maybe<void> GrantItem(const Grant& grant);
  // Sets the logged-in summoner's mastery of one champion (creating it) and
  // pushes the "championMastery" dialog message for it.
  Quarn::Maybe<void> SetChampionMastery(const WorldChampionMastery& mastery, bool notify = true);
  // Sets the logged-in summoner's chest eligibility and pushes the
  // "championMasteryLootGrant" dialog message.
  Quarn::Maybe<void> SetChestEligibility(const WorldChestEligibility& chests, bool notify = true);
  // Says whether backdrop assets exist for an icon.
  void SetBackdropAssets(int32_t icon_id, bool webm, bool jpg);
  // Replaces the world; publishes nothing.
  void ReplaceWorld(World world);

  // Publishes a resource change (on a later step).
  void Publish(std::string_view uri, ResourceChange change, OwnedValue data);

 private:
  void Install();
  void InstallLogin();
  void InstallSummoner();
  void InstallGameData();
  void InstallRecentlyPlayed();
  void InstallPlatformConfig();
  void InstallTelemetry();
  void Handle(uint32_t method, std::string_view path_template, RequestHandler handler);

  // Resource bodies.
  OwnedValue SessionValue() const;
  OwnedValue SummonerValue(const WorldSummoner& summoner) const;
  OwnedValue LoginDataValue(const WorldSummoner& summoner) const;
  OwnedValue RecentGamesValue(const WorldSummoner& summoner) const;
  void PushDialog(const WorldSummoner& summoner, std::string type, std::vector<std::string> params);

  HostLoop& loop_;
  World world_;
  Backend backend_;
  double proxy_latency_ = 0;
  uint64_t next_uuid_ = 1;
  uint64_t next_message_ = 1;
  std::vector<int> handlers_;
};

}  // namespace kiv::host
