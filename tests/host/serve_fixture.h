// The developer host started in-process on a free port, and an HTTP client
// for it, for the tests that check kiv serve's contract over real HTTP.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>

#include <memory>
#include <string>
#include <string_view>

#include "host/dev_server.h"
#include "host/world.h"

namespace kiv::test {

// A small world: two summoners, the first logged in.
inline constexpr std::string_view kSmallWorld = R"({
  "login": {"loggedIn": true, "summonerId": 11, "connected": true},
  "summoners": [
    {"summonerId": 11, "accountId": 1001, "displayName": "Tansy", "summonerLevel": 30, "profileIconId": 7,
     "runePages": [{"pageId": 5, "name": "One", "current": true, "slotEntries": [{"runeId": 5001, "runeSlotId": 1}]},
                   {"pageId": 6, "name": "Two"}],
     "masteryPages": [{"pageId": 1, "name": "M", "current": true, "talentEntries": [{"talentId": 7111, "rank": 3}]}],
     "runes": [{"runeId": 5001, "quantity": 9}],
     "icons": [{"iconId": 40}],
     "wardSkins": [2],
     "championMasteries": [{"championId": 17, "championLevel": 5, "championPoints": 22000}],
     "chestEligibility": {"earnableChests": 2, "maximumChests": 4},
     "recentGames": [{"championId": 17, "queue": 420}, {"championId": 8, "queue": 420}]},
    {"summonerId": 12, "accountId": 1002, "displayName": "Bramble", "summonerLevel": 3, "profileIconId": 3}
  ],
  "gameData": {
    "summonerMasteries": {"tree": {"groups": [{"id": 1, "rows": [{"masteries": [7111, 7112]}]}]}},
    "summonerSpells": [{"id": 1, "summonerLevel": 1}, {"id": 2, "summonerLevel": 10}],
    "wardSkins": [{"id": 1, "name": "Plain"}, {"id": 2, "name": "Owl"}],
    "championSplashes": {"17": {"CalculatedColor": "#112233", "OverrideColor": ""}},
    "summonerBackdrops": {"webm": [7], "jpg": [7, 9]}
  },
  "platformConfig": {"ChampionMasteryConfig": {"Enabled": true, "MaxChampionLevel": 7}}
})";

inline host::World SmallWorld() {
  auto world = host::ParseWorld(kSmallWorld, "small world");
  if (world.HasFailure()) {
    ADD_FAILURE() << world.failure().message();
    return {};
  }
  return world.TakeValue();
}

struct Served {
  // The output goes last: the server writes to it until it is destroyed.
  std::vector<std::string> output;  // lines for a person, collected
  std::mutex output_mutex;
  std::unique_ptr<host::DevServer> server;
  std::unique_ptr<httplib::Client> http;

  std::vector<std::string> Output() {
    std::lock_guard lock(output_mutex);
    return output;
  }
};

// Starts the host with `plugin` over `world`; fails the test (and returns
// null) when it will not start.
inline std::unique_ptr<Served> Serve(std::string plugin, host::World world, double timeout_seconds = 30) {
  auto served = std::make_unique<Served>();
  host::DevServerOptions options;
  options.plugin_path = std::move(plugin);
  options.world = std::move(world);
  options.port = 0;
  options.request_timeout_seconds = timeout_seconds;
  options.swagger_ui_dir = KIV_SOURCE_DIR "/build/web/node_modules/swagger-ui-dist";
  Served* raw = served.get();
  options.output = [raw](std::string_view line) {
    std::lock_guard lock(raw->output_mutex);
    raw->output.emplace_back(line);
  };
  auto started = host::DevServer::Start(std::move(options));
  if (started.HasFailure()) {
    ADD_FAILURE() << "the host did not start: " << started.failure().message();
    return nullptr;
  }
  served->server = started.TakeValue();
  served->http = std::make_unique<httplib::Client>("127.0.0.1", served->server->port());
  served->http->set_read_timeout(20, 0);
  return served;
}

// The JSON of a body; fails the test on bad JSON.
inline rapidjson::Document Json(const std::string& body) {
  rapidjson::Document d;
  d.Parse(body.c_str(), body.size());
  EXPECT_FALSE(d.HasParseError()) << "not JSON: " << body;
  return d;
}

// {"httpStatus": N, "message": "..."} as "N message".
inline std::string ErrorOf(const httplib::Result& result) {
  if (!result) return "no answer";
  rapidjson::Document d = Json(result->body);
  if (!d.IsObject() || !d.HasMember("httpStatus") || !d.HasMember("message") || !d["message"].IsString() ||
      !d["httpStatus"].IsUint() || d.MemberCount() != 2)
    return "not the error shape: " + result->body;
  return std::to_string(d["httpStatus"].GetUint()) + " " + d["message"].GetString();
}

}  // namespace kiv::test
