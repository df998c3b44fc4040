// The plug-ins that only serve resources: summoner, game data, recently
// played champions, platform configuration, and the telemetry endpoint.
#include <algorithm>
#include <charconv>

#include "host/standins/stand_ins.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::Request;
using kiv::host::Response;

template <class T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

Response NotANumber(std::string_view what, std::string_view text) {
  return Response::Error(std::string(what) + " must be a number, got \"" + std::string(text) + "\"", 400);
}

Response Asset(const OwnedValue& asset, std::string_view name) {
  if (asset.tag() == KIV_VALUE_NULL) return Response::Error("The world has no " + std::string(name), 404);
  return Response::Ok(asset);
}

}  // namespace

void kiv::host::StandIns::InstallSummoner() {
  Handle(KIV_METHOD_GET, "/kiv-summoner/v1/current-summoner", [this](const Request&) {
    const WorldSummoner* player = world_.Current();
    if (player == nullptr || world_.login.state != "SUCCEEDED")
      return Response::Error("No summoner is logged in", 404);
    return Response::Ok(SummonerValue(*player));
  });
  Handle(KIV_METHOD_GET, "/kiv-summoner/v1/summoners/{id}", [this](const Request& request) {
    const auto id = ParseNumber<uint64_t>(request.Param("id"));
    if (!id) return NotANumber("A summoner id", request.Param("id"));
    const WorldSummoner* summoner = world_.Find(*id);
    if (summoner == nullptr) return Response::Error("No summoner with id " + std::to_string(*id), 404);
    return Response::Ok(SummonerValue(*summoner));
  });
}

void kiv::host::StandIns::InstallGameData() {
  const std::string assets = "/kiv-game-data/assets/v1/";
  Handle(KIV_METHOD_GET, assets + "summoner-masteries.json",
         [this](const Request&) { return Asset(world_.game_data.summoner_masteries, "mastery-tree asset"); });
  Handle(KIV_METHOD_GET, assets + "summoner-spells.json",
         [this](const Request&) { return Asset(world_.game_data.summoner_spells, "spell asset"); });
  Handle(KIV_METHOD_GET, assets + "ward-skins.json",
         [this](const Request&) { return Asset(world_.game_data.ward_skins, "ward-skin catalogue"); });
  Handle(KIV_METHOD_GET, assets + "champion-splashes/{id}/metadata.json", [this](const Request& request) {
    const auto& splashes = world_.game_data.champion_splashes;
    const auto it = splashes.find(std::string(request.Param("id")));
    if (it == splashes.end())
      return Response::Error("No splash metadata for champion " + std::string(request.Param("id")), 404);
    return Response::Ok(it->second);
  });
  // Backdrops are only checked for existence: HEAD answers without a body.
  for (const char* kind : {"webm", "jpg"}) {
    const std::string extension = kind;
    Handle(KIV_METHOD_HEAD, assets + "summoner-backdrops/{id}." + extension,
           [this, extension](const Request& request) {
             const auto id = ParseNumber<int32_t>(request.Param("id"));
             if (!id) return NotANumber("An icon id", request.Param("id"));
             const auto& backdrops = world_.game_data.summoner_backdrops;
             const auto& ids = extension == "webm" ? backdrops.webm : backdrops.jpg;
             if (std::find(ids.begin(), ids.end(), *id) == ids.end())
               return Response::Error("No ." + extension + " backdrop for icon " + std::to_string(*id), 404);
             return Response::Ok(OwnedValue());
           });
  }
}

void kiv::host::StandIns::InstallRecentlyPlayed() {
  Handle(KIV_METHOD_GET, "/kiv-acs/v2/recently-played-champions/current-summoner", [this](const Request&) {
    const WorldSummoner* player = world_.Current();
    if (player == nullptr || world_.login.state != "SUCCEEDED")
      return Response::Error("No summoner is logged in", 404);
    return Response::Ok(RecentGamesValue(*player));
  });
  Handle(KIV_METHOD_GET, "/kiv-acs/v1/recently-played-champions/{accountId}", [this](const Request& request) {
    const auto id = ParseNumber<uint64_t>(request.Param("accountId"));
    if (!id) return NotANumber("An account id", request.Param("accountId"));
    const WorldSummoner* summoner = world_.FindByAccount(*id);
    if (summoner == nullptr) return Response::Error("No account with id " + std::to_string(*id), 404);
    return Response::Ok(RecentGamesValue(*summoner));
  });
}

void kiv::host::StandIns::InstallPlatformConfig() {
  Handle(KIV_METHOD_GET, "/kiv-platform-config/v1/namespaces/{namespace}/{key}",
         [this](const Request& request) {
           const std::string name_space(request.Param("namespace"));
           const std::string key(request.Param("key"));
           const auto& config = world_.platform_config;
           const auto space = config.find(name_space);
           if (space != config.end()) {
             if (const auto it = space->second.find(key); it != space->second.end())
               return Response::Ok(it->second);
           }
           return Response::Error("No setting " + name_space + "/" + key, 404);
         });
}

void kiv::host::StandIns::InstallTelemetry() {
  // Telemetry is only collected; /sim/calls shows what was posted.
  Handle(KIV_METHOD_POST, "/telemetry/v1/events/{+name}",
         [](const Request&) { return Response::Ok(OwnedValue()); });
}
